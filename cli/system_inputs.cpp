#include <cerrno>
#include <cstring>

#include "cli/configuration.h"
#include "cli/system_inputs.h"
#include "core/utf8.h"

namespace orbenix::cli {
namespace {

// Parameter strings and secrets are short; anything larger is a wrong file.
constexpr std::size_t kMaxInputBytes = 64 * 1024;

std::variant<std::string, ArgumentError> ReadAll(std::FILE* file, const std::string& name) {
    std::string bytes;
    char buffer[4096];
    while (true) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        bytes.append(buffer, got);
        if (bytes.size() > kMaxInputBytes) return ArgumentError{name + " is larger than 64 KiB", false};
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file)) return ArgumentError{"cannot read " + name, false};
    return bytes;
}

std::variant<std::string, ArgumentError> ReadInput(const std::u16string& path) {
    if (path == u"-") return ReadAll(BinaryStandardInput(), "standard input");
    const std::string name = Utf8FromText(path);
    FileHandle file = OpenForReading(path);
    if (!file) return ArgumentError{"cannot open " + name + ": " + std::strerror(errno), false};
    return ReadAll(file.get(), name);
}

}  // namespace

Inputs SystemInputs() { return Inputs{ReadInput, EnvironmentVariable}; }

}  // namespace orbenix::cli
