#pragma once
// The COM face of one vexarel object: the dual interface _vexarel over an
// orbenix::Vexarel. IDispatch goes through the type library's ITypeInfo;
// every method catches everything and answers with a status code.
#include <windows.h>

#include <atomic>
#include <optional>

#include "component/com/com_ptr.h"
#include "component/com/orbenix_h.h"
#include "component/vexarel.h"
#include "core/error.h"

namespace orbenix::com {

class VexarelObject final : public _vexarel, public ISupportErrorInfo {
public:
    // Makes a new object and hands out its interface `iid` in `out`.
    static HRESULT Create(REFIID iid, void** out);

    VexarelObject(const VexarelObject&) = delete;
    VexarelObject& operator=(const VexarelObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override;

    // _vexarel
    HRESULT STDMETHODCALLTYPE qv_docheck(VARIANT_BOOL* result) override;
    HRESULT STDMETHODCALLTYPE qv_showGUI() override;
    HRESULT STDMETHODCALLTYPE put_qv_result(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE putref_qv_result(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_qv_result(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_qv_parameter(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE putref_qv_parameter(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_qv_parameter(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_qv_timeout(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE putref_qv_timeout(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_qv_timeout(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_qv_hostname(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE putref_qv_hostname(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_qv_hostname(VARIANT* value) override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    explicit VexarelObject(ComPtr<ITypeInfo> type_info);
    ~VexarelObject();

    // Runs `body`; anything it throws becomes a failure status, this thread's
    // error object, and the failure Invoke reports in its EXCEPINFO.
    template <typename Body>
    HRESULT Guarded(Body&& body);

    std::atomic<ULONG> references_{1};
    ComPtr<ITypeInfo> type_info_;
    Vexarel object_;
    std::optional<Error> failure_;  // the last failed method's error
};

}  // namespace orbenix::com
