// Without a system debugger channel the lines go nowhere unless a caller
// asks for stderr (SetDebugLogToStderr).
#include "engine/debug_log.h"

namespace orbenix {

void PlatformDebugLog(std::u16string_view) {}

}  // namespace orbenix
