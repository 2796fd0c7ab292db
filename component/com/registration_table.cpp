#include "component/com/registration_table.h"

#include <array>
#include <utility>

namespace orbenix::com {
namespace {

bool StartsWithKey(std::wstring_view key, std::wstring_view top) {
    if (key.size() < top.size()) return false;
    for (std::size_t i = 0; i < top.size(); ++i) {
        wchar_t a = key[i];
        wchar_t b = top[i];
        if (a >= L'a' && a <= L'z') a = static_cast<wchar_t>(a - L'a' + L'A');
        if (b >= L'a' && b <= L'z') b = static_cast<wchar_t>(b - L'a' + L'A');
        if (a != b) return false;
    }
    return key.size() == top.size() || key[top.size()] == L'\\';
}

}  // namespace

std::wstring FolderOf(std::wstring_view path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, slash + 1));
}

std::wstring Expand(std::wstring_view text, const RegistrationValues& values) {
    const std::array<std::pair<std::wstring_view, std::wstring>, 7> names = {{
        {L"%PROGID%", values.progid},
        {L"%CLSID%", values.clsid},
        {L"%LIBID%", values.libid},
        {L"%IID%", values.iid},
        {L"%DLL%", values.dll},
        {L"%DIR%", FolderOf(values.dll)},
        {L"%PLATFORM%", values.platform},
    }};
    std::wstring out;
    std::size_t at = 0;
    while (at < text.size()) {
        bool replaced = false;
        if (text[at] == L'%') {
            for (const auto& [name, value] : names) {
                if (text.substr(at, name.size()) == name) {
                    out += value;
                    at += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[at++];
    }
    return out;
}

bool OneForBothViews(std::wstring_view key, RegistryKind kind) {
    if (kind == RegistryKind::Wine) return StartsWithKey(key, L"TypeLib");
    for (std::wstring_view redirected : {L"CLSID", L"Interface", L"DirectShow", L"Media Type", L"MediaFoundation"}) {
        if (StartsWithKey(key, redirected)) return false;
    }
    return true;
}

bool RemovedBesideTheOther(const RegistrationRow& row, RegistryKind kind) {
    const std::wstring_view key = row.key;
    return key.find(L"%PLATFORM%") != std::wstring_view::npos || !OneForBothViews(key, kind);
}

std::vector<std::wstring> ParentsToPrune(std::wstring_view key) {
    std::vector<std::wstring> parents;
    for (auto slash = key.rfind(L'\\'); slash != std::wstring_view::npos && slash > 0; slash = key.rfind(L'\\')) {
        key = key.substr(0, slash);
        if (key.find(L'\\') == std::wstring_view::npos) break;  // the top-level key stays
        parents.emplace_back(key);
    }
    return parents;
}

}  // namespace orbenix::com
