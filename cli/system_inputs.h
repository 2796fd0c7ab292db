#pragma once
// The platform's half of SystemInputs(): opening a file by its UTF-16 path,
// standard input in binary mode, and the environment as UTF-16 text.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace orbenix::cli {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// nullptr and errno set when the file cannot be opened.
FileHandle OpenForReading(const std::u16string& path);
// Standard input, switched to binary mode where the platform has one.
std::FILE* BinaryStandardInput();
std::optional<std::u16string> EnvironmentVariable(const char* name);

}  // namespace orbenix::cli
