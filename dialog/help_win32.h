#pragma once
// HTML Help, reached without linking its import library.
#include <windows.h>

namespace orbenix {

// Asks HTML Help for topic `context` of the component's help file, which lies
// beside the module. Does nothing when HTML Help is not installed.
void ShowHelpTopic(HWND caller, int context);

}  // namespace orbenix
