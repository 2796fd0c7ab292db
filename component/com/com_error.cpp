#include "component/com/com_error.h"

#include <oleauto.h>

#include "component/com/com_ptr.h"
#include "component/com/orbenix_h.h"

namespace orbenix::com {
namespace {

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

}  // namespace

HRESULT HresultOf(const Error& error) {
    const std::int32_t number = error.number();
    if (number > 0 && number <= 0xFFFF) return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
    if (number < 0) return static_cast<HRESULT>(number);
    return E_FAIL;
}

void PublishErrorInfo(const Error& error) {
    ComPtr<ICreateErrorInfo> creator;
    if (FAILED(CreateErrorInfo(creator.put()))) return;
    creator->SetGUID(IID__vexarel);
    creator->SetSource(const_cast<LPOLESTR>(kErrorSource));
    creator->SetDescription(const_cast<LPOLESTR>(Wide(error.description())));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, info.put_void()))) SetErrorInfo(0, info.get());
}

void FillExcepInfo(const Error& error, EXCEPINFO* info) {
    if (info == nullptr) return;
    *info = EXCEPINFO{};
    info->scode = HresultOf(error);
    info->bstrSource = SysAllocString(kErrorSource);
    info->bstrDescription = SysAllocString(Wide(error.description()));
}

}  // namespace orbenix::com
