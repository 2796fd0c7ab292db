#include "component/com/registration.h"

#include <oleauto.h>

#include <string>

#include "component/com/com_ptr.h"
#include "component/com/module.h"
#include "component/com/orbenix_h.h"

namespace orbenix::com {
namespace {

constexpr WORD kLibraryMajor = 1;
constexpr WORD kLibraryMinor = 0;
constexpr LCID kLibraryLocale = 0x0409;
// The type library is registered for this DLL's own pointer size (its
// TypeLib\{LIBID}\1.0\409\win32 or \win64 key).
constexpr SYSKIND kLibrarySysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
constexpr const wchar_t* kOwnPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";
constexpr const wchar_t* kOtherPlatform = sizeof(void*) == 8 ? L"win32" : L"win64";

// Owns one open registry key.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    HKEY get() const { return key_; }
    HKEY* put() { return &key_; }

private:
    HKEY key_ = nullptr;
};

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Creates `path` under HKEY_CLASSES_ROOT and sets one text value (the key's
// default value when `name` is null).
LSTATUS SetText(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    RegKey key;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
}

// Deletes a key with everything below it; a key that is not there is fine.
LSTATUS DeleteTree(const std::wstring& path) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        // RegDeleteTreeW empties the key; the key itself goes with RegDeleteKeyW.
        const LSTATUS gone = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
        return gone == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : gone;
    }
    return status;
}

// Deletes a key only when nothing is left below it.
void DeleteIfEmpty(const std::wstring& path) {
    RegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    }
}

// The key's default text value, or "" when there is none.
std::wstring ReadText(const std::wstring& path) {
    wchar_t text[MAX_PATH + 1] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) {
        return {};
    }
    return text;
}

bool KeyExists(const std::wstring& path) {
    RegKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_vexarel); }
std::wstring LibraryKey() { return L"TypeLib\\" + GuidText(LIBID_orbenix); }
std::wstring InterfaceKey() { return L"Interface\\" + GuidText(IID__vexarel); }
std::wstring PlatformKey(const wchar_t* platform) { return LibraryKey() + L"\\1.0\\409\\" + platform; }

std::wstring DirectoryOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

HRESULT RegisterTypeLibrary(const std::wstring& path) {
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    // The help directory is the DLL's own folder, where orbenix.chm would sit.
    std::wstring file = path;
    std::wstring directory = DirectoryOf(path);
    return RegisterTypeLib(library.get(), file.data(), directory.empty() ? nullptr : directory.data());
}

}  // namespace

HRESULT RegisterServer() {
    const std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());

    HRESULT hr = RegisterTypeLibrary(path);
    if (FAILED(hr)) return hr;

    const std::wstring clsid = GuidText(CLSID_vexarel);
    const std::wstring progid = kProgId;
    const std::wstring key = ClassKey();
    struct Entry {
        std::wstring path;
        const wchar_t* name;
        std::wstring value;
    };
    const Entry entries[] = {
        {progid, nullptr, progid},
        {progid + L"\\CLSID", nullptr, clsid},
        {key, nullptr, progid},
        {key + L"\\InprocServer32", nullptr, path},
        {key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {key + L"\\ProgID", nullptr, progid},
        {key + L"\\TypeLib", nullptr, GuidText(LIBID_orbenix)},
        {key + L"\\VERSION", nullptr, L"1.0"},
    };
    for (const Entry& entry : entries) {
        const LSTATUS status = SetText(entry.path, entry.name, entry.value);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

// Unregisters this DLL while the DLL of the other pointer size stays
// registered. The ProgID and the type library's keys are one for both
// registry views, and removing the type library also removes the
// interface's keys, so only this DLL's own entries go: its class (in its
// own view) and its platform entry of the type library; the help folder
// then follows the DLL that stays.
HRESULT UnregisterBesideTheOther() {
    for (const std::wstring& key : {PlatformKey(kOwnPlatform), ClassKey()}) {
        const LSTATUS status = DeleteTree(key);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    const std::wstring directory = DirectoryOf(ReadText(PlatformKey(kOtherPlatform)));
    if (!directory.empty()) {
        const LSTATUS status = SetText(LibraryKey() + L"\\1.0\\HELPDIR", nullptr, directory);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT UnregisterServer() {
    if (KeyExists(PlatformKey(kOtherPlatform))) return UnregisterBesideTheOther();
    // The type library first: it also removes the interface's registration.
    // It fails when the registered file is gone; the keys below are then
    // removed directly, since this DLL knows every key it wrote.
    if (KeyExists(LibraryKey())) {
        (void)UnRegisterTypeLib(LIBID_orbenix, kLibraryMajor, kLibraryMinor, kLibraryLocale, kLibrarySysKind);
    }
    const std::wstring leftovers[] = {
        InterfaceKey(),
        LibraryKey() + L"\\1.0",
        ClassKey(),
        kProgId,
    };
    for (const std::wstring& key : leftovers) {
        const LSTATUS status = DeleteTree(key);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    DeleteIfEmpty(LibraryKey());
    return S_OK;
}

}  // namespace orbenix::com
