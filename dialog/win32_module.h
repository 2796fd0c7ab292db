#pragma once
// The module (DLL or program) that holds the dialog's code and resources.
#include <windows.h>

#include <string>

namespace orbenix {

HINSTANCE CodeModule();
// The folder of that module's file, with a trailing backslash.
std::wstring CodeModuleFolder();

}  // namespace orbenix
