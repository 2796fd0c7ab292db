#pragma once
// Self-registration: the class under its class id and the programmatic
// identifier orbenix.vexarel, as an in-process server in this DLL's file,
// with its type library (which also registers the interface for the
// standard automation marshaller).
#include <windows.h>

namespace orbenix::com {

inline constexpr wchar_t kProgId[] = L"orbenix.vexarel";

// S_OK, or the failure status of the registry or type-library operation.
HRESULT RegisterServer();
// Removes everything RegisterServer writes; S_OK when nothing is there.
HRESULT UnregisterServer();

}  // namespace orbenix::com
