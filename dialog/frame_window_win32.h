#pragma once
// A frame: a borderless child window that draws an etched rectangle (and its
// caption, if any) and contains controls. Disabling it blocks every control
// inside. The notifications of its controls go on to its parent.
#include <windows.h>

namespace orbenix {

// Registers the frame class in `module` once; returns its name.
const wchar_t* FrameClass(HINSTANCE module);

}  // namespace orbenix
