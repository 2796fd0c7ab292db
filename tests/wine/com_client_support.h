#pragma once
// What the COM client tests share: an apartment per test, an owned VARIANT,
// late-bound property and method calls through IDispatch::Invoke, and the
// registered DLL's path.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "component/com/com_ptr.h"
#include "component/com/orbenix_h.h"

namespace orbenix::wine_tests {

using com::Bstr;
using com::ComPtr;

// A VARIANT that clears itself.
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&value_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    OwnedVariant(OwnedVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    OwnedVariant& operator=(OwnedVariant&&) = delete;
    ~OwnedVariant() { VariantClear(&value_); }

    static OwnedVariant Text(const wchar_t* text);
    static OwnedVariant Int(LONG number);
    static OwnedVariant Object(IUnknown* object);  // VT_DISPATCH when the object has IDispatch

    VARIANT* get() { return &value_; }
    const VARIANT& operator*() const { return value_; }
    VARTYPE type() const { return V_VT(&value_); }
    std::wstring text() const;  // for VT_BSTR only

private:
    VARIANT value_;
};

// A kernel handle that closes itself.
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle = nullptr) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

// Every test runs in its own single-threaded apartment.
class ComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    void TearDown() override { CoUninitialize(); }
};

// A new object created by its programmatic identifier, as a host does it.
ComPtr<IDispatch> CreateByProgId();

DISPID IdOf(IDispatch* object, const wchar_t* name);

// Late-bound calls; each returns Invoke's status and leaves what came back.
struct InvokeResult {
    HRESULT status = E_FAIL;
    std::wstring description;  // EXCEPINFO's description, when the call failed with one
    SCODE scode = S_OK;
    std::wstring source;
};
InvokeResult Get(IDispatch* object, const wchar_t* name, OwnedVariant& value);
InvokeResult Put(IDispatch* object, const wchar_t* name, const VARIANT& value, WORD kind = DISPATCH_PROPERTYPUT);
InvokeResult Call(IDispatch* object, const wchar_t* name, OwnedVariant& result);

// The path that registration wrote as the class's InprocServer32.
std::wstring RegisteredDllPath();

// The reference count of an object, read by one AddRef and one Release.
ULONG ReferenceCount(IUnknown* object);

// A bare IDispatch object whose only job is to be referenced.
ComPtr<IDispatch> MakePlainObject();

std::string Narrow(const std::wstring& text);

}  // namespace orbenix::wine_tests
