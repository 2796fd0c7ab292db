#pragma once
// The registration as data: the rows of registration.rows (every value
// DllRegisterServer writes under HKEY_CLASSES_ROOT) and the decisions made
// over them, free of any registry call so that they can be tested anywhere.
#include <string>
#include <string_view>
#include <vector>

namespace orbenix::com {

// One REG_SZ value: a key below HKEY_CLASSES_ROOT, the value's name (null for
// the key's default value) and its text, with %NAME% placeholders.
struct RegistrationRow {
    const wchar_t* key;
    const wchar_t* name;
    const wchar_t* text;
};

// What the placeholders stand for in one DLL's registration.
struct RegistrationValues {
    std::wstring progid;    // %PROGID%
    std::wstring clsid;     // %CLSID%, braced
    std::wstring libid;     // %LIBID%
    std::wstring iid;       // %IID%
    std::wstring dll;       // %DLL%, the DLL's full path
    std::wstring platform;  // %PLATFORM%, win32 or win64
};

// The text with every placeholder replaced; %DIR% is the DLL's folder with a
// trailing backslash, as Windows Installer writes a folder.
std::wstring Expand(std::wstring_view text, const RegistrationValues& values);

// The folder of a path, with its trailing backslash ("" without one).
std::wstring FolderOf(std::wstring_view path);

// Whose registry splits HKEY_CLASSES_ROOT into a 32-bit and a 64-bit view.
enum class RegistryKind {
    Windows,  // 64-bit Windows 7 and later
    Wine,     // a 64-bit Wine prefix
};

// Whether a key below HKEY_CLASSES_ROOT is one key for both views. Windows
// keeps CLSID, Interface, DirectShow, Media Type and MediaFoundation per view
// and shares the rest, ProgIDs and TypeLib among them; Wine keeps everything
// per view but TypeLib (a ProgID written by a 32-bit program lands in
// Wow6432Node).
bool OneForBothViews(std::wstring_view key, RegistryKind kind);

// Whether unregistering one DLL, while the DLL of the other kind stays
// registered, removes this row: yes for this DLL's own type-library entry
// and for what lives in this DLL's view only; no for what both share.
bool RemovedBesideTheOther(const RegistrationRow& row, RegistryKind kind);

// The parents of a key that removal takes too once they are empty, deepest
// first: all but the top-level key (CLSID, TypeLib, ... stay).
std::vector<std::wstring> ParentsToPrune(std::wstring_view key);

}  // namespace orbenix::com
