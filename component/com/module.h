#pragma once
// What the DLL knows about itself: its handle, its own file, and the counts
// of live objects and class-object locks that decide whether it may unload.
#include <windows.h>

#include <string>

namespace orbenix::com {

void SetModuleHandle(HINSTANCE module);
HINSTANCE ModuleHandle();
// The full path of this DLL's file.
std::wstring ModulePath();

void ObjectCreated();
void ObjectDestroyed();
void LockModule();
void UnlockModule();
// True when no object and no lock on the class object remain.
bool ModuleIdle();

}  // namespace orbenix::com
