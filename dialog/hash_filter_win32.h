#pragma once
// Text boxes whose text is stored as it stands refuse "#", typed or pasted:
// a "#" would split the stored entry and lose what follows it.
#include <windows.h>

namespace orbenix {

void RefuseHash(HWND edit);

}  // namespace orbenix
