#include "component/com/vexarel_object.h"

#include <oleauto.h>

#include <exception>
#include <new>
#include <string>

#include "component/com/com_error.h"
#include "component/com/module.h"
#include "core/variant_win32.h"

namespace orbenix::com {
namespace {

inline constexpr std::int32_t kObjectRequired = 424;

// The interface description, from the type library inside this DLL.
ComPtr<ITypeInfo> LoadInterfaceTypeInfo() {
    const std::wstring path = ModulePath();
    ComPtr<ITypeLib> library;
    if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()))) {
        throw Error(errors::CantCreateObject);
    }
    ComPtr<ITypeInfo> info;
    if (FAILED(library->GetTypeInfoOfGuid(IID__vexarel, info.put()))) throw Error(errors::CantCreateObject);
    return info;
}

// Put by reference: only an object reference may be stored this way.
Variant ObjectReference(const VARIANT& value) {
    const VARIANT* inner = &value;
    if (V_VT(inner) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(inner) != nullptr) inner = V_VARIANTREF(inner);
    switch (V_VT(inner) & ~VT_BYREF) {
    case VT_DISPATCH:
    case VT_UNKNOWN: return VariantFromNative(*inner);
    default: throw Error(kObjectRequired, u"Object required");
    }
}

void CopyOut(const Variant& stored, VARIANT* out) {
    VariantInit(out);
    if (FAILED(VariantCopy(out, const_cast<VARIANT*>(&NativeOf(stored))))) throw Error(errors::OutOfMemory);
}

void ClearExcepInfo(EXCEPINFO& info) {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
}

}  // namespace

VexarelObject::VexarelObject(ComPtr<ITypeInfo> type_info) : type_info_(std::move(type_info)) { ObjectCreated(); }

VexarelObject::~VexarelObject() { ObjectDestroyed(); }

HRESULT VexarelObject::Create(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    try {
        // The first reference is the holder's; QueryInterface adds the caller's.
        const auto object = ComPtr<_vexarel>::Attach(new VexarelObject(LoadInterfaceTypeInfo()));
        return object->QueryInterface(iid, out);
    } catch (...) {
        try {
            const Error error = ToError(std::current_exception());
            PublishErrorInfo(error);
            return HresultOf(error);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
}

template <typename Body>
HRESULT VexarelObject::Guarded(Body&& body) {
    failure_.reset();
    try {
        body();
        return S_OK;
    } catch (...) {
        try {
            failure_ = ToError(std::current_exception());
            PublishErrorInfo(*failure_);
            return HresultOf(*failure_);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
}

HRESULT VexarelObject::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID__vexarel)) {
        *out = static_cast<_vexarel*>(this);
    } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
        *out = static_cast<ISupportErrorInfo*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG VexarelObject::AddRef() { return ++references_; }

ULONG VexarelObject::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT VexarelObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT VexarelObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    type_info_->AddRef();
    *info = type_info_.get();
    return S_OK;
}

HRESULT VexarelObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return DispGetIDsOfNames(type_info_.get(), names, count, ids);
}

HRESULT VexarelObject::Invoke(DISPID member, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argument_error) {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    failure_.reset();
    EXCEPINFO local{};
    const HRESULT hr = type_info_->Invoke(static_cast<_vexarel*>(this), member, flags, params, result, &local,
                                          argument_error);
    if (failure_) {
        // One of our methods failed: the host gets its own number and description.
        ClearExcepInfo(local);
        FillExcepInfo(*failure_, exception);
        return DISP_E_EXCEPTION;
    }
    if (exception != nullptr) {
        *exception = local;
    } else {
        ClearExcepInfo(local);
    }
    return hr;
}

HRESULT VexarelObject::qv_docheck(VARIANT_BOOL* result) {
    if (result == nullptr) return E_POINTER;
    *result = VARIANT_FALSE;
    return Guarded([&] { *result = object_.qv_docheck() ? VARIANT_TRUE : VARIANT_FALSE; });
}

HRESULT VexarelObject::qv_showGUI() {
    return Guarded([&] { object_.qv_showGUI(); });
}

#define ORBENIX_VARIANT_PROPERTY(name)                                                  \
    HRESULT VexarelObject::put_##name(VARIANT value) {                                  \
        return Guarded([&] { object_.name = VariantFromNative(value); });               \
    }                                                                                   \
    HRESULT VexarelObject::putref_##name(VARIANT value) {                               \
        return Guarded([&] { object_.name = ObjectReference(value); });                 \
    }                                                                                   \
    HRESULT VexarelObject::get_##name(VARIANT* value) {                                 \
        if (value == nullptr) return E_POINTER;                                         \
        VariantInit(value);                                                             \
        return Guarded([&] { CopyOut(object_.name, value); });                          \
    }

ORBENIX_VARIANT_PROPERTY(qv_result)
ORBENIX_VARIANT_PROPERTY(qv_parameter)
ORBENIX_VARIANT_PROPERTY(qv_timeout)
ORBENIX_VARIANT_PROPERTY(qv_hostname)

#undef ORBENIX_VARIANT_PROPERTY

HRESULT VexarelObject::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsEqualIID(iid, IID__vexarel) ? S_OK : S_FALSE;
}

}  // namespace orbenix::com
