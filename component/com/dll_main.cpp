// The DLL's entry point and its four exports.
#include <windows.h>
#include <objbase.h>

#include "component/com/class_factory.h"
#include "component/com/module.h"
#include "component/com/orbenix_h.h"
#include "component/com/registration.h"
#include "component/com/thread_records.h"

using namespace orbenix::com;

// Per-process set-up: the module handle (the DLL finds its own file by it)
// and the per-thread records' TLS slots; per-thread tear-down: the detaching
// thread's records.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        SetModuleHandle(instance);
        return OpenThreadRecords() ? TRUE : FALSE;
    case DLL_THREAD_DETACH:
        EndThreadRecords();
        break;
    case DLL_PROCESS_DETACH:
        CloseThreadRecords(reserved != nullptr);
        break;
    default:
        break;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_vexarel)) return CLASS_E_CLASSNOTAVAILABLE;
    return VexarelClassFactory().QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return ModuleIdle() ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    try {
        return RegisterServer();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return UnregisterServer();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
