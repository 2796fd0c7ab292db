#pragma once
// The class object of vexarel: makes new objects, refuses aggregation and
// counts LockServer calls. It lives as long as the DLL.
#include <unknwn.h>

namespace orbenix::com {

class ClassFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};

// The one class object.
ClassFactory& VexarelClassFactory();

}  // namespace orbenix::com
