// The in-process server frame: exports, class object, unload rule, type
// library, version resource and the interface id resource of orbenix.dll.
#include "tests/wine/com_client_support.h"

#include <cstring>
#include <thread>
#include <vector>

namespace orbenix::wine_tests {
namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// The module COM loaded for the class, and its two class-object exports.
struct LoadedServer {
    HMODULE module = nullptr;
    GetClassObjectFn get_class_object = nullptr;
    CanUnloadNowFn can_unload_now = nullptr;
};

LoadedServer ServerOf(HMODULE module) {
    LoadedServer out;
    out.module = module;
    if (module == nullptr) return out;
    out.get_class_object = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    out.can_unload_now =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return out;
}

// Owns a module loaded by the test itself.
class Library {
public:
    explicit Library(const std::wstring& path, DWORD flags = 0) : module_(LoadLibraryExW(path.c_str(), nullptr, flags)) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() { release(); }
    HMODULE get() const { return module_; }
    void release() {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
    }

private:
    HMODULE module_;
};

class ComServerTest : public ComTest {};

TEST_F(ComServerTest, CanUnloadOnlyWhenNoObjectAndNoLockRemain) {
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    const LoadedServer server = ServerOf(GetModuleHandleW(L"orbenix.dll"));
    ASSERT_NE(server.can_unload_now, nullptr);
    EXPECT_EQ(server.can_unload_now(), S_FALSE);
    object.reset();
    EXPECT_EQ(server.can_unload_now(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_HRESULT_SUCCEEDED(server.get_class_object(CLSID_vexarel, IID_IClassFactory, factory.put_void()));
    EXPECT_EQ(server.can_unload_now(), S_FALSE);  // a held class object keeps the DLL
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(TRUE));
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(TRUE));
    factory.reset();
    EXPECT_EQ(server.can_unload_now(), S_FALSE);  // two locks remain

    ASSERT_HRESULT_SUCCEEDED(server.get_class_object(CLSID_vexarel, IID_IClassFactory, factory.put_void()));
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(FALSE));
    ASSERT_HRESULT_SUCCEEDED(factory->LockServer(FALSE));
    ComPtr<IUnknown> made;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_IUnknown, made.put_void()));
    factory.reset();
    EXPECT_EQ(server.can_unload_now(), S_FALSE);  // the object made last
    made.reset();
    EXPECT_EQ(server.can_unload_now(), S_OK);
}

TEST_F(ComServerTest, ClassObjectRefusesAggregationAndOtherClasses) {
    ComPtr<IDispatch> keep_loaded = CreateByProgId();
    const LoadedServer server = ServerOf(GetModuleHandleW(L"orbenix.dll"));
    ASSERT_NE(server.get_class_object, nullptr);

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(server.get_class_object(IID__vexarel, IID_IClassFactory, factory.put_void()),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(factory);
    ASSERT_HRESULT_SUCCEEDED(server.get_class_object(CLSID_vexarel, IID_IClassFactory, factory.put_void()));

    ComPtr<IDispatch> outer = MakePlainObject();
    ComPtr<IUnknown> inner;
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, inner.put_void()), CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(inner);
    ComPtr<IUnknown> unknown_interface;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, unknown_interface.put_void()), E_NOINTERFACE);

    // Each request makes a new, independent object.
    ComPtr<_vexarel> first;
    ComPtr<_vexarel> second;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID__vexarel, first.put_void()));
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID__vexarel, second.put_void()));
    EXPECT_NE(first.get(), second.get());
    OwnedVariant text = OwnedVariant::Text(L"first");
    ASSERT_HRESULT_SUCCEEDED(first->put_qv_hostname(*text));
    OwnedVariant other;
    ASSERT_HRESULT_SUCCEEDED(second->get_qv_hostname(other.get()));
    EXPECT_EQ(other.type(), VT_EMPTY);
}

// The type library a binding host reads: library attributes, the dual
// interface's 14 members in order, and the creatable class.
TEST_F(ComServerTest, TypeLibraryDescribesTheInterfaceInOrder) {
    ComPtr<ITypeLib> library;
    ASSERT_HRESULT_SUCCEEDED(LoadRegTypeLib(LIBID_orbenix, 1, 0, 0x0409, library.put()));
    TLIBATTR* library_attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(library->GetLibAttr(&library_attributes));
    EXPECT_EQ(library_attributes->lcid, 0x0409u);
    // Registered for the client's own pointer size: a 64-bit client reads the win64 entry.
    EXPECT_EQ(library_attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    EXPECT_EQ(library_attributes->wMajorVerNum, 1);
    EXPECT_EQ(library_attributes->wMinorVerNum, 0);
    library->ReleaseTLibAttr(library_attributes);
    Bstr name;
    Bstr help_file;
    ASSERT_HRESULT_SUCCEEDED(library->GetDocumentation(-1, name.put(), nullptr, nullptr, help_file.put()));
    EXPECT_EQ(std::wstring(name.get()), L"orbenix");
    ASSERT_NE(help_file.get(), nullptr);
    const std::wstring help(help_file.get());
    EXPECT_TRUE(help.size() >= 11 && help.compare(help.size() - 11, 11, L"orbenix.chm") == 0) << Narrow(help);

    ComPtr<ITypeInfo> dispatch;
    ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(IID__vexarel, dispatch.put()));
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetTypeAttr(&attributes));
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    // hidden, dual, non-extensible, OLE-automation compatible: the library
    // stores all four. Through GetTypeAttr the platform never reports
    // oleautomation on a dispatch type (it is not allowed on dispinterfaces;
    // Windows' oleaut32 reads a dual's dispatch half the same way), so a client
    // sees it on the vtable half below and in the stored flags.
    constexpr WORD kInterfaceFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                     TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(attributes->wTypeFlags, kInterfaceFlags & ~TYPEFLAG_FOLEAUTOMATION) << std::hex << attributes->wTypeFlags;
    dispatch->ReleaseTypeAttr(attributes);
    ComPtr<ITypeInfo2> stored;
    ASSERT_HRESULT_SUCCEEDED(dispatch->QueryInterface(IID_ITypeInfo2, stored.put_void()));
    ULONG stored_flags = 0;
    ASSERT_HRESULT_SUCCEEDED(stored->GetTypeFlags(&stored_flags));
    EXPECT_EQ(stored_flags, ULONG{kInterfaceFlags}) << std::hex << stored_flags;

    // The vtable half of the dual interface holds the 14 members.
    HREFTYPE vtable_ref = 0;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &vtable_ref));
    ComPtr<ITypeInfo> vtable;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeInfo(vtable_ref, vtable.put()));
    ASSERT_HRESULT_SUCCEEDED(vtable->GetTypeAttr(&attributes));
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->wTypeFlags, kInterfaceFlags) << std::hex << attributes->wTypeFlags;
    const WORD functions = attributes->cFuncs;
    vtable->ReleaseTypeAttr(attributes);
    ASSERT_EQ(functions, 14);

    const struct {
        const wchar_t* name;
        MEMBERID id;
        INVOKEKIND kind;
        SHORT parameters;
        VARTYPE parameter_type;
    } expected[] = {
        {L"qv_docheck", 0x60030004, INVOKE_FUNC, 1, VT_PTR},
        {L"qv_showGUI", 0x60030005, INVOKE_FUNC, 0, VT_EMPTY},
        {L"qv_result", 0x68030003, INVOKE_PROPERTYPUT, 1, VT_VARIANT},
        {L"qv_result", 0x68030003, INVOKE_PROPERTYPUTREF, 1, VT_VARIANT},
        {L"qv_result", 0x68030003, INVOKE_PROPERTYGET, 1, VT_PTR},
        {L"qv_parameter", 0x68030002, INVOKE_PROPERTYPUT, 1, VT_VARIANT},
        {L"qv_parameter", 0x68030002, INVOKE_PROPERTYPUTREF, 1, VT_VARIANT},
        {L"qv_parameter", 0x68030002, INVOKE_PROPERTYGET, 1, VT_PTR},
        {L"qv_timeout", 0x68030001, INVOKE_PROPERTYPUT, 1, VT_VARIANT},
        {L"qv_timeout", 0x68030001, INVOKE_PROPERTYPUTREF, 1, VT_VARIANT},
        {L"qv_timeout", 0x68030001, INVOKE_PROPERTYGET, 1, VT_PTR},
        {L"qv_hostname", 0x68030000, INVOKE_PROPERTYPUT, 1, VT_VARIANT},
        {L"qv_hostname", 0x68030000, INVOKE_PROPERTYPUTREF, 1, VT_VARIANT},
        {L"qv_hostname", 0x68030000, INVOKE_PROPERTYGET, 1, VT_PTR},
    };
    for (UINT index = 0; index < functions; ++index) {
        SCOPED_TRACE(index);
        FUNCDESC* function = nullptr;
        ASSERT_HRESULT_SUCCEEDED(vtable->GetFuncDesc(index, &function));
        EXPECT_EQ(function->memid, expected[index].id);
        EXPECT_EQ(function->invkind, expected[index].kind);
        EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
        ASSERT_EQ(function->cParams, expected[index].parameters);
        if (function->cParams == 1) {
            const ELEMDESC& parameter = function->lprgelemdescParam[0];
            EXPECT_EQ(parameter.tdesc.vt, expected[index].parameter_type);
            const USHORT flags = parameter.paramdesc.wParamFlags;
            if (expected[index].kind == INVOKE_PROPERTYPUT || expected[index].kind == INVOKE_PROPERTYPUTREF) {
                EXPECT_EQ(flags, PARAMFLAG_FIN);
            } else {
                EXPECT_EQ(flags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
                const VARTYPE pointee = parameter.tdesc.lptdesc->vt;
                EXPECT_EQ(pointee, index == 0 ? VT_BOOL : VT_VARIANT);
            }
        }
        Bstr member_name;
        ASSERT_HRESULT_SUCCEEDED(vtable->GetDocumentation(function->memid, member_name.put(), nullptr, nullptr,
                                                          nullptr));
        EXPECT_EQ(std::wstring(member_name.get()), expected[index].name);
        vtable->ReleaseFuncDesc(function);
    }

    ComPtr<ITypeInfo> coclass;
    ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(CLSID_vexarel, coclass.put()));
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(&attributes));
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_EQ(attributes->wTypeFlags & TYPEFLAG_FCANCREATE, TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attributes->cImplTypes, 1);
    coclass->ReleaseTypeAttr(attributes);
    INT implementation_flags = 0;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetImplTypeFlags(0, &implementation_flags));
    EXPECT_EQ(implementation_flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE), IMPLTYPEFLAG_FDEFAULT);
}

TEST_F(ComServerTest, VersionResourceCarriesTheTabledValues) {
    const std::wstring path = RegisteredDllPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000005u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000005u);
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    const struct {
        const wchar_t* key;
        const wchar_t* value;
    } strings[] = {
        {L"ProductName", L"vexarel"},   {L"FileVersion", L"1.00.0005"},
        {L"ProductVersion", L"1.00.0005"}, {L"InternalName", L"orbenix"},
        {L"OriginalFilename", L"orbenix.dll"}, {L"OLESelfRegister", L""},
    };
    for (const auto& entry : strings) {
        SCOPED_TRACE(Narrow(entry.key));
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + entry.key;
        wchar_t* text = nullptr;
        length = 0;
        ASSERT_TRUE(VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
        EXPECT_EQ(std::wstring(text != nullptr && length > 0 ? text : L""), entry.value);
    }
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);
}

TEST_F(ComServerTest, ResourcesHoldTheInterfaceIdTypeLibraryAndIcon) {
    Library image(RegisteredDllPath(), LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image.get(), nullptr);
    HRSRC found = FindResourceW(image.get(), MAKEINTRESOURCEW(1), L"_IID_VEXAREL");
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(SizeofResource(image.get(), found), 20u);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(image.get(), found)));
    ASSERT_NE(bytes, nullptr);
    const BYTE length[4] = {16, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, length, 4), 0);
    EXPECT_EQ(std::memcmp(bytes + 4, &IID__vexarel, 16), 0);

    // The library's help context, read from the compiled header: Wine's
    // GetDocumentation reports another header field in its place.
    //   +0 "MSFT"  +4 version  ... +36 help string (-1: none)  +44 help context
    HRSRC library = FindResourceW(image.get(), MAKEINTRESOURCEW(1), L"TYPELIB");
    ASSERT_NE(library, nullptr);
    ASSERT_GT(SizeofResource(image.get(), library), 48u);
    const auto* header = static_cast<const BYTE*>(LockResource(LoadResource(image.get(), library)));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(std::memcmp(header, "MSFT", 4), 0);
    DWORD help_string = 0;
    DWORD help_context = 0;
    std::memcpy(&help_string, header + 36, 4);
    std::memcpy(&help_context, header + 44, 4);
    EXPECT_EQ(help_string, 0xFFFFFFFFu);
    EXPECT_EQ(help_context, 201u);
    EXPECT_NE(FindResourceW(image.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */), nullptr);
}

// A host thread that used the component may end after the host released
// the DLL; the thread's records must then go without calling into unloaded
// code or deadlocking in the thread's exit. A copy under another name gives
// a module this test alone loads and frees.
TEST_F(ComServerTest, HostThreadEndsSafelyAfterTheDllWasReleased) {
    wchar_t folder[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring copy = std::wstring(folder) + L"orbenix_unload_copy.dll";
    ASSERT_TRUE(CopyFileW(RegisteredDllPath().c_str(), copy.c_str(), FALSE));

    const UniqueHandle used(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle released(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(used);
    ASSERT_TRUE(released);
    Library module(copy);
    ASSERT_NE(module.get(), nullptr);
    const LoadedServer server = ServerOf(module.get());
    ASSERT_NE(server.get_class_object, nullptr);

    HRESULT checked = E_FAIL;
    OwnedVariant result;
    std::thread host([&] {
        if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
            ComPtr<IClassFactory> factory;
            ComPtr<_vexarel> object;
            VARIANT_BOOL verdict = VARIANT_TRUE;
            if (SUCCEEDED(server.get_class_object(CLSID_vexarel, IID_IClassFactory, factory.put_void())) &&
                SUCCEEDED(factory->CreateInstance(nullptr, IID__vexarel, object.put_void()))) {
                OwnedVariant timeout = OwnedVariant::Text(L"abc");  // ends the check at once
                object->put_qv_timeout(*timeout);
                checked = object->qv_docheck(&verdict);
                object->get_qv_result(result.get());
            }
            object.reset();
            factory.reset();
            CoUninitialize();
        }
        SetEvent(used.get());
        WaitForSingleObject(released.get(), 10000);
    });
    EXPECT_EQ(WaitForSingleObject(used.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(checked, S_OK);
    EXPECT_EQ(result.text(), L"ERR: Type mismatch( 30)");
    EXPECT_EQ(server.can_unload_now(), S_OK);
    module.release();
    EXPECT_EQ(GetModuleHandleW(copy.c_str()), nullptr);  // nothing keeps it loaded
    SetEvent(released.get());
    host.join();
    DeleteFileW(copy.c_str());
}

}  // namespace
}  // namespace orbenix::wine_tests
