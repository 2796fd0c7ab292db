#include "dialog/make_topmost.h"

#include <windows.h>

namespace orbenix {

void MakeTopmost(std::intptr_t window, bool on) {
    // SWP_NOSIZE | SWP_NOMOVE (3); nothing keeps the call from activating the window.
    constexpr UINT kNoSizeNoMove = SWP_NOSIZE | SWP_NOMOVE;
    static_assert(kNoSizeNoMove == 3);
    (void)SetWindowPos(reinterpret_cast<HWND>(window), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0,
                       0, kNoSizeNoMove);
}

}  // namespace orbenix
