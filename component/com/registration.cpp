#include "component/com/registration.h"

#include <oleauto.h>

#include <iterator>
#include <string>

#include "component/com/com_ptr.h"
#include "component/com/module.h"
#include "component/com/orbenix_h.h"
#include "component/com/registration_rows.h"
#include "component/com/registration_table.h"

namespace orbenix::com {
namespace {

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

RegistrationValues Values(std::wstring dll, const wchar_t* platform) {
    return {kProgId, GuidText(CLSID_vexarel), GuidText(LIBID_orbenix), GuidText(IID__vexarel), std::move(dll),
            platform};
}

// Wine splits HKEY_CLASSES_ROOT between the views otherwise than Windows
// (registration_table.h); its ntdll says so by exporting wine_get_version.
RegistryKind ThisRegistry() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr ? RegistryKind::Wine
                                                                                     : RegistryKind::Windows;
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

// A row's key with everything below it, then its parents that are left empty.
LSTATUS RemoveRow(const RegistrationRow& row, const RegistrationValues& values) {
    const std::wstring key = Expand(row.key, values);
    const LSTATUS status = DeleteTree(key);
    if (status != ERROR_SUCCESS) return status;
    for (const std::wstring& parent : ParentsToPrune(key)) DeleteIfEmpty(parent);
    return ERROR_SUCCESS;
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

// The row whose key (or text) holds the placeholder, or null.
const RegistrationRow* RowWith(const wchar_t* placeholder, bool in_key) {
    for (const RegistrationRow& row : kRegistrationRows) {
        if (std::wstring_view(in_key ? row.key : row.text).find(placeholder) != std::wstring_view::npos) return &row;
    }
    return nullptr;
}

// Unregisters this DLL while the DLL of the other pointer size stays
// registered: only this DLL's own rows go (its type-library entry and what
// lives in its view only); the help folder then follows the DLL that stays.
HRESULT UnregisterBesideTheOther(const std::wstring& other_dll) {
    const RegistrationValues own = Values(ModulePath(), kOwnPlatform);
    const RegistryKind kind = ThisRegistry();
    for (const RegistrationRow& row : kRegistrationRows) {
        if (!RemovedBesideTheOther(row, kind)) continue;
        const LSTATUS status = RemoveRow(row, own);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    if (const RegistrationRow* helpdir = RowWith(L"%DIR%", false)) {
        const RegistrationValues other = Values(other_dll, kOtherPlatform);
        const LSTATUS status = SetText(Expand(helpdir->key, other), helpdir->name, Expand(helpdir->text, other));
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

}  // namespace

HRESULT RegisterServer() {
    const std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    // The rows name the type library inside this file: it must load.
    ComPtr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;

    const RegistrationValues values = Values(path, kOwnPlatform);
    for (const RegistrationRow& row : kRegistrationRows) {
        const LSTATUS status = SetText(Expand(row.key, values), row.name, Expand(row.text, values));
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

HRESULT UnregisterServer() {
    const RegistrationValues own = Values(ModulePath(), kOwnPlatform);
    // The other kind's DLL is registered when its type-library entry is there.
    const RegistrationRow* platform_row = RowWith(L"%PLATFORM%", true);
    const std::wstring other_dll =
        platform_row == nullptr ? std::wstring() : ReadText(Expand(platform_row->key, Values({}, kOtherPlatform)));
    if (!other_dll.empty()) return UnregisterBesideTheOther(other_dll);
    for (auto row = std::rbegin(kRegistrationRows); row != std::rend(kRegistrationRows); ++row) {
        const LSTATUS status = RemoveRow(*row, own);
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    }
    return S_OK;
}

}  // namespace orbenix::com
