// Windows paths and environment values are UTF-16; the narrow C functions
// would lose what the ANSI code page cannot hold.
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <wchar.h>

#include "cli/system_inputs.h"
#include "core/utf8.h"

namespace orbenix::cli {

FileHandle OpenForReading(const std::u16string& path) {
    return FileHandle(_wfopen(reinterpret_cast<const wchar_t*>(path.c_str()), L"rb"));
}

std::FILE* BinaryStandardInput() {
    _setmode(_fileno(stdin), _O_BINARY);
    return stdin;
}

std::optional<std::u16string> EnvironmentVariable(const char* name) {
    const std::u16string wide = TextFromUtf8(name);
    const wchar_t* value = _wgetenv(reinterpret_cast<const wchar_t*>(wide.c_str()));
    if (value == nullptr) return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(value));
}

}  // namespace orbenix::cli
