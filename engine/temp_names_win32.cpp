// The documents folder through the shell, the local time through the system.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <memory>

#include "core/ansi_codepage.h"
#include "engine/temp_names.h"

namespace orbenix {
namespace {

struct CoTaskMemDeleter {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};

}  // namespace

std::u16string GetSpecialFolderLocation(std::int32_t csidl) {
    ITEMIDLIST* raw = nullptr;
    // No owner window: the shell wants one only to show a dialog, and a check
    // must never create (or load) a window just to name a temporary file.
    if (SHGetSpecialFolderLocation(nullptr, csidl, &raw) != 0) return u"";
    const std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter> list(raw);

    std::string buffer = AnsiFromText(std::u16string(260, u' '));
    buffer.push_back('\0');
    if (SHGetPathFromIDListA(list.get(), buffer.data()) == 0) return u"";
    return TextFromAnsi(std::string_view(buffer.c_str()));
}

LocalTime LocalNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace orbenix
