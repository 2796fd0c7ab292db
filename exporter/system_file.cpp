#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "exporter/exporter_config.h"

namespace orbenix::exporter {
namespace {

// Configurations, parameter strings and secrets are short; more is a wrong file.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

FileContents ReadSystemFile(const std::string& path) {
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
        if (contents.bytes.size() > kMaxFileBytes) {
            contents.error = path + " is larger than 64 KiB";
            return contents;
        }
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file.get())) contents.error = "cannot read " + path;
    return contents;
}

}  // namespace orbenix::exporter
