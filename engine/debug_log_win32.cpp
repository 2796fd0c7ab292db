// The debugger channel: one OutputDebugStringA call per line, ANSI, no terminator.
#include <windows.h>

#include "core/ansi_codepage.h"
#include "engine/debug_log.h"

namespace orbenix {

void PlatformDebugLog(std::u16string_view line) {
    const std::string ansi = AnsiFromText(line);
    OutputDebugStringA(ansi.c_str());
}

}  // namespace orbenix
