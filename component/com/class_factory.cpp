#include "component/com/class_factory.h"

#include "component/com/module.h"
#include "component/com/vexarel_object.h"

namespace orbenix::com {

// References to the class object count as locks on the module, so that
// the DLL stays loaded while a host holds the class object.
HRESULT ClassFactory::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
    LockModule();
    return 2;
}

ULONG ClassFactory::Release() {
    UnlockModule();
    return 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return VexarelObject::Create(iid, out);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        LockModule();
    } else {
        UnlockModule();
    }
    return S_OK;
}

namespace {

// Constant-initialised: no guard runs when the first threads ask for it.
constinit ClassFactory factory;

}  // namespace

ClassFactory& VexarelClassFactory() { return factory; }

}  // namespace orbenix::com
