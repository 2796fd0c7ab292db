// The object as a late-bound host sees it: created by name, driven through
// IDispatch, with the property semantics and error reporting of a host's
// own automation objects.
#include "tests/wine/com_client_support.h"

#include <cstring>

namespace orbenix::wine_tests {
namespace {

constexpr const wchar_t* kProperties[] = {L"qv_result", L"qv_parameter", L"qv_timeout", L"qv_hostname"};

class ComObjectTest : public ComTest {};

TEST_F(ComObjectTest, ProgIdNamesTheClassAndCreatesAnObject) {
    CLSID clsid{};
    ASSERT_HRESULT_SUCCEEDED(CLSIDFromProgID(L"orbenix.vexarel", &clsid));
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_vexarel));
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    ComPtr<_vexarel> dual;
    EXPECT_HRESULT_SUCCEEDED(object->QueryInterface(IID__vexarel, dual.put_void()));
    ComPtr<ISupportErrorInfo> errors;
    ASSERT_HRESULT_SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo, errors.put_void()));
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID__vexarel), S_OK);
}

TEST_F(ComObjectTest, NamesResolveInAnyLetterCaseAndUnknownNamesFail) {
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    const struct {
        const wchar_t* name;
        DISPID id;
    } names[] = {
        {L"qv_docheck", 0x60030004},  {L"QV_DOCHECK", 0x60030004},   {L"qv_showGUI", 0x60030005},
        {L"qv_showgui", 0x60030005},  {L"qv_result", 0x68030003},    {L"Qv_Result", 0x68030003},
        {L"qv_parameter", 0x68030002}, {L"QV_PARAMETER", 0x68030002}, {L"qv_timeout", 0x68030001},
        {L"qV_tImEoUt", 0x68030001},  {L"qv_hostname", 0x68030000},  {L"QV_HOSTNAME", 0x68030000},
    };
    for (const auto& entry : names) {
        EXPECT_EQ(IdOf(object.get(), entry.name), entry.id) << Narrow(entry.name);
    }
    DISPID id = 0;
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"qv_nothing")};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(ComObjectTest, FreshObjectHasFourEmptyProperties) {
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    ComPtr<_vexarel> dual;
    ASSERT_HRESULT_SUCCEEDED(object->QueryInterface(IID__vexarel, dual.put_void()));
    for (const wchar_t* name : kProperties) {
        OwnedVariant value = OwnedVariant::Int(99);
        ASSERT_HRESULT_SUCCEEDED(Get(object.get(), name, value).status) << Narrow(name);
        EXPECT_EQ(value.type(), VT_EMPTY) << Narrow(name);
    }
    OwnedVariant direct;
    ASSERT_HRESULT_SUCCEEDED(dual->get_qv_result(direct.get()));
    EXPECT_EQ(direct.type(), VT_EMPTY);
}

// put stores any value unchanged, by-reference inputs dereferenced; get
// returns an equal copy of the same type.
TEST_F(ComObjectTest, PutStoresTheValueUnchangedAndGetReturnsACopy) {
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);

    LONG referenced_number = 443;
    OwnedVariant referenced_text = OwnedVariant::Text(L"by reference");
    VARIANT by_ref_number;
    VariantInit(&by_ref_number);
    V_VT(&by_ref_number) = VT_I4 | VT_BYREF;
    V_I4REF(&by_ref_number) = &referenced_number;
    VARIANT by_ref_variant;
    VariantInit(&by_ref_variant);
    V_VT(&by_ref_variant) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&by_ref_variant) = referenced_text.get();

    OwnedVariant text = OwnedVariant::Text(L"#URL=https://127.0.0.1/#");
    OwnedVariant empty_text = OwnedVariant::Text(L"");
    OwnedVariant number = OwnedVariant::Int(30);
    OwnedVariant real;
    V_VT(real.get()) = VT_R8;
    V_R8(real.get()) = 2.5;
    OwnedVariant flag;
    V_VT(flag.get()) = VT_BOOL;
    V_BOOL(flag.get()) = VARIANT_TRUE;
    OwnedVariant null;
    V_VT(null.get()) = VT_NULL;
    OwnedVariant small;
    V_VT(small.get()) = VT_I2;
    V_I2(small.get()) = -7;

    const struct {
        const char* what;
        const VARIANT* input;
        VARTYPE stored_type;
    } cases[] = {
        {"text", text.get(), VT_BSTR},           {"empty text", empty_text.get(), VT_BSTR},
        {"long", number.get(), VT_I4},           {"double", real.get(), VT_R8},
        {"boolean", flag.get(), VT_BOOL},        {"null", null.get(), VT_NULL},
        {"integer", small.get(), VT_I2},         {"long by reference", &by_ref_number, VT_I4},
        {"variant by reference", &by_ref_variant, VT_BSTR},
    };
    for (const wchar_t* name : kProperties) {
        for (const auto& entry : cases) {
            SCOPED_TRACE(Narrow(name) + " <- " + entry.what);
            ASSERT_HRESULT_SUCCEEDED(Put(object.get(), name, *entry.input).status);
            OwnedVariant back;
            ASSERT_HRESULT_SUCCEEDED(Get(object.get(), name, back).status);
            ASSERT_EQ(back.type(), entry.stored_type);
            OwnedVariant expected;
            ASSERT_HRESULT_SUCCEEDED(VariantCopyInd(expected.get(), const_cast<VARIANT*>(entry.input)));
            EXPECT_EQ(VarCmp(back.get(), expected.get(), LOCALE_USER_DEFAULT, 0),
                      V_VT(expected.get()) == VT_NULL ? static_cast<HRESULT>(VARCMP_NULL)
                                                      : static_cast<HRESULT>(VARCMP_EQ));
        }
    }
    // The stored copy does not follow the caller's variable afterwards.
    ASSERT_HRESULT_SUCCEEDED(Put(object.get(), L"qv_timeout", by_ref_number).status);
    referenced_number = 1;
    OwnedVariant back;
    ASSERT_HRESULT_SUCCEEDED(Get(object.get(), L"qv_timeout", back).status);
    EXPECT_EQ(V_I4(back.get()), 443);
}

// Put by reference stores the object itself: get hands out the same object,
// and the object's references come and go with the stored value.
TEST_F(ComObjectTest, PutByReferenceStoresTheObjectReference) {
    ComPtr<IDispatch> holder = CreateByProgId();
    ASSERT_TRUE(holder);
    ComPtr<IDispatch> held = MakePlainObject();
    const ULONG alone = ReferenceCount(held.get());
    ASSERT_EQ(alone, 1u);

    for (const wchar_t* name : kProperties) {
        SCOPED_TRACE(Narrow(name));
        {
            OwnedVariant argument = OwnedVariant::Object(held.get());
            ASSERT_HRESULT_SUCCEEDED(Put(holder.get(), name, *argument, DISPATCH_PROPERTYPUTREF).status);
        }
        EXPECT_EQ(ReferenceCount(held.get()), alone + 1);  // the stored reference
        {
            OwnedVariant back;
            ASSERT_HRESULT_SUCCEEDED(Get(holder.get(), name, back).status);
            ASSERT_EQ(back.type(), VT_DISPATCH);
            EXPECT_EQ(V_DISPATCH(back.get()), held.get());
            EXPECT_EQ(ReferenceCount(held.get()), alone + 2);  // stored + the copy handed out
        }
        EXPECT_EQ(ReferenceCount(held.get()), alone + 1);
        // Replacing the value lets the object go.
        OwnedVariant text = OwnedVariant::Text(L"x");
        ASSERT_HRESULT_SUCCEEDED(Put(holder.get(), name, *text).status);
        EXPECT_EQ(ReferenceCount(held.get()), alone);
    }

    // Through the vtable, and the reference goes when the holder goes.
    ComPtr<_vexarel> dual;
    ASSERT_HRESULT_SUCCEEDED(holder->QueryInterface(IID__vexarel, dual.put_void()));
    {
        OwnedVariant argument = OwnedVariant::Object(held.get());
        ASSERT_HRESULT_SUCCEEDED(dual->putref_qv_hostname(*argument));
    }
    EXPECT_EQ(ReferenceCount(held.get()), alone + 1);
    dual.reset();
    holder.reset();
    EXPECT_EQ(ReferenceCount(held.get()), alone);
}

TEST_F(ComObjectTest, PutByReferenceRefusesAValueThatIsNoObject) {
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    ComPtr<_vexarel> dual;
    ASSERT_HRESULT_SUCCEEDED(object->QueryInterface(IID__vexarel, dual.put_void()));
    OwnedVariant text = OwnedVariant::Text(L"no object");
    EXPECT_EQ(dual->putref_qv_parameter(*text), MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 424));
    const InvokeResult late = Put(object.get(), L"qv_parameter", *text, DISPATCH_PROPERTYPUTREF);
    EXPECT_EQ(late.status, DISP_E_EXCEPTION);
    EXPECT_EQ(late.description, L"Object required");
    OwnedVariant back;
    ASSERT_HRESULT_SUCCEEDED(Get(object.get(), L"qv_parameter", back).status);
    EXPECT_EQ(back.type(), VT_EMPTY);  // nothing was stored
}

TEST_F(ComObjectTest, CheckWithATimeoutThatIsNoNumberFailsAtLine30) {
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    OwnedVariant timeout = OwnedVariant::Text(L"abc");
    ASSERT_HRESULT_SUCCEEDED(Put(object.get(), L"qv_timeout", *timeout).status);

    OwnedVariant verdict;
    const InvokeResult call = Call(object.get(), L"qv_docheck", verdict);
    ASSERT_EQ(call.status, S_OK);  // never a failure towards the host
    ASSERT_EQ(verdict.type(), VT_BOOL);
    EXPECT_EQ(V_BOOL(verdict.get()), VARIANT_FALSE);
    OwnedVariant result;
    ASSERT_HRESULT_SUCCEEDED(Get(object.get(), L"qv_result", result).status);
    EXPECT_EQ(result.text(), L"ERR: Type mismatch( 30)");

    // The same through the vtable.
    ComPtr<_vexarel> dual;
    ASSERT_HRESULT_SUCCEEDED(object->QueryInterface(IID__vexarel, dual.put_void()));
    VARIANT_BOOL direct = VARIANT_TRUE;
    ASSERT_EQ(dual->qv_docheck(&direct), S_OK);
    EXPECT_EQ(direct, VARIANT_FALSE);
}

// A failing qv_showGUI reaches a vtable caller as 0x800A0000 + number with
// the thread's error object set, and a late-bound caller as DISP_E_EXCEPTION
// with the same code and source and its description in EXCEPINFO. The port
// overflows, so the dialog is never shown (without a display the window
// itself cannot be made, which fails the call before that).
TEST_F(ComObjectTest, SettingsFailureReachesTheHostWithItsDescription) {
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    OwnedVariant parameter = OwnedVariant::Text(L"#URL=https://127.0.0.1/#PRP=99999999999#");
    ASSERT_HRESULT_SUCCEEDED(Put(object.get(), L"qv_parameter", *parameter).status);

    ComPtr<_vexarel> dual;
    ASSERT_HRESULT_SUCCEEDED(object->QueryInterface(IID__vexarel, dual.put_void()));
    const HRESULT direct = dual->qv_showGUI();
    ASSERT_TRUE(FAILED(direct));
    EXPECT_EQ(HRESULT_FACILITY(direct), FACILITY_CONTROL);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    Bstr description;
    ASSERT_HRESULT_SUCCEEDED(info->GetDescription(description.put()));
    const std::wstring expected(description.get());
    EXPECT_FALSE(expected.empty());
    if (HRESULT_CODE(direct) == 6) {
        EXPECT_EQ(expected, L"Overflow");
    }
    Bstr source;
    ASSERT_HRESULT_SUCCEEDED(info->GetSource(source.put()));
    EXPECT_EQ(std::wstring(source.get()), L"orbenix.vexarel");

    OwnedVariant nothing;
    const InvokeResult late = Call(object.get(), L"qv_showGUI", nothing);
    EXPECT_EQ(late.status, DISP_E_EXCEPTION);
    EXPECT_EQ(late.scode, direct);
    EXPECT_FALSE(late.description.empty());
    if (HRESULT_CODE(direct) == 6) {
        EXPECT_EQ(late.description, L"Overflow");
    }
    EXPECT_EQ(late.source, L"orbenix.vexarel");

    OwnedVariant after;
    ASSERT_HRESULT_SUCCEEDED(Get(object.get(), L"qv_parameter", after).status);
    EXPECT_EQ(after.text(), parameter.text());  // unchanged by the failed call
}

TEST_F(ComObjectTest, NullOutPointersAreRefused) {
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    ComPtr<_vexarel> dual;
    ASSERT_HRESULT_SUCCEEDED(object->QueryInterface(IID__vexarel, dual.put_void()));
    EXPECT_EQ(dual->qv_docheck(nullptr), E_POINTER);
    EXPECT_EQ(dual->get_qv_parameter(nullptr), E_POINTER);
    EXPECT_EQ(dual->GetTypeInfoCount(nullptr), E_POINTER);
    ComPtr<ITypeInfo> info;
    EXPECT_EQ(dual->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
}

}  // namespace
}  // namespace orbenix::wine_tests
