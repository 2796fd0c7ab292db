#pragma once
// Puts a window above all others (on) or back among the normal ones (off),
// keeping its position and size. The result of the call is ignored.
#include <cstdint>

namespace orbenix {

void MakeTopmost(std::intptr_t window, bool on);

}  // namespace orbenix
