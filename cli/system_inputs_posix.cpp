#include <cstdlib>

#include "cli/system_inputs.h"
#include "core/utf8.h"

namespace orbenix::cli {

FileHandle OpenForReading(const std::u16string& path) {
    return FileHandle(std::fopen(Utf8FromText(path).c_str(), "rb"));
}

std::FILE* BinaryStandardInput() { return stdin; }

std::optional<std::u16string> EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return TextFromUtf8(value);
}

}  // namespace orbenix::cli
