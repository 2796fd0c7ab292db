#include "tests/wine/com_client_support.h"

#include <atomic>

namespace orbenix::wine_tests {

OwnedVariant OwnedVariant::Text(const wchar_t* text) {
    OwnedVariant out;
    V_VT(&out.value_) = VT_BSTR;
    V_BSTR(&out.value_) = SysAllocString(text);
    return out;
}

OwnedVariant OwnedVariant::Int(LONG number) {
    OwnedVariant out;
    V_VT(&out.value_) = VT_I4;
    V_I4(&out.value_) = number;
    return out;
}

OwnedVariant OwnedVariant::Object(IUnknown* object) {
    OwnedVariant out;
    IDispatch* dispatch = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        V_VT(&out.value_) = VT_DISPATCH;
        V_DISPATCH(&out.value_) = dispatch;
    } else {
        object->AddRef();
        V_VT(&out.value_) = VT_UNKNOWN;
        V_UNKNOWN(&out.value_) = object;
    }
    return out;
}

std::wstring OwnedVariant::text() const {
    if (V_VT(&value_) != VT_BSTR) return L"<not text>";
    return std::wstring(V_BSTR(&value_), SysStringLen(V_BSTR(&value_)));
}

ComPtr<IDispatch> CreateByProgId() {
    CLSID clsid{};
    EXPECT_HRESULT_SUCCEEDED(CLSIDFromProgID(L"orbenix.vexarel", &clsid));
    ComPtr<IDispatch> object;
    EXPECT_HRESULT_SUCCEEDED(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()));
    return object;
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_HRESULT_SUCCEEDED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) << Narrow(name);
    return id;
}

namespace {

InvokeResult Invoke(IDispatch* object, const wchar_t* name, WORD kind, DISPPARAMS& params, VARIANT* result) {
    InvokeResult out;
    EXCEPINFO exception{};
    UINT argument_error = 0;
    out.status = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result,
                                &exception, &argument_error);
    if (out.status == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
        out.scode = exception.scode;
        if (exception.bstrDescription) out.description = exception.bstrDescription;
        if (exception.bstrSource) out.source = exception.bstrSource;
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return out;
}

}  // namespace

InvokeResult Get(IDispatch* object, const wchar_t* name, OwnedVariant& value) {
    DISPPARAMS none{};
    VariantClear(value.get());
    return Invoke(object, name, DISPATCH_PROPERTYGET, none, value.get());
}

InvokeResult Put(IDispatch* object, const wchar_t* name, const VARIANT& value, WORD kind) {
    VARIANT argument = value;  // Invoke does not own or change its arguments
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&argument, &named, 1, 1};
    return Invoke(object, name, kind, params, nullptr);
}

InvokeResult Call(IDispatch* object, const wchar_t* name, OwnedVariant& result) {
    DISPPARAMS none{};
    VariantClear(result.get());
    return Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none, result.get());
}

std::wstring RegisteredDllPath() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = sizeof(path);
    const LSTATUS status =
        RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{5CB5B383-5FBA-43D6-911F-8587FEEC2588}\\InprocServer32", nullptr,
                     RRF_RT_REG_SZ, nullptr, path, &size);
    EXPECT_EQ(status, ERROR_SUCCESS) << "the DLL is not registered";
    return path;
}

ULONG ReferenceCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

namespace {

class PlainObject final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace

ComPtr<IDispatch> MakePlainObject() { return ComPtr<IDispatch>::Attach(new PlainObject()); }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace orbenix::wine_tests
