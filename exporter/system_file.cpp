#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "exporter/exporter_config.h"

namespace orbenix::exporter {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// "64 KiB", "1 MiB": the limit as the error names it.
std::string SizeText(std::size_t bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

FileContents SystemFileReader::operator()(const std::string& path) const {
    FileContents contents;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        contents.error = "cannot open " + path + ": " + std::strerror(errno);
        return contents;
    }
    struct stat facts {};
    if (fstat(fileno(file.get()), &facts) != 0 || !S_ISREG(facts.st_mode)) {
        contents.error = path + " is not a regular file";
        return contents;
    }
    contents.others_can_read = (facts.st_mode & S_IROTH) != 0;
    char buffer[4096];
    while (true) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        contents.bytes.append(buffer, got);
        if (contents.bytes.size() > max_bytes) {
            contents.error = path + " is larger than " + SizeText(max_bytes);
            return contents;
        }
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file.get())) contents.error = "cannot read " + path;
    return contents;
}

}  // namespace orbenix::exporter
