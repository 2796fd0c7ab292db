#include "dialog/help_win32.h"

#include <string>

#include "dialog/settings_form.h"
#include "dialog/win32_module.h"

namespace orbenix {
namespace {

using HtmlHelpW_t = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kHhHelpContext = 0x000F;  // HH_HELP_CONTEXT

HtmlHelpW_t HtmlHelpEntry() {
    // The library stays loaded for the life of the process: a help window it
    // opened may outlive the dialog, and unloading it under that window would crash.
    static const HtmlHelpW_t entry = []() -> HtmlHelpW_t {
        HMODULE library = LoadLibraryW(L"hhctrl.ocx");
        if (library == nullptr) return nullptr;
        return reinterpret_cast<HtmlHelpW_t>(
            reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpW")));
    }();
    return entry;
}

}  // namespace

void ShowHelpTopic(HWND caller, int context) {
    const HtmlHelpW_t html_help = HtmlHelpEntry();
    if (html_help == nullptr) return;
    const std::u16string name = kHelpFile;
    const std::wstring file = CodeModuleFolder() + std::wstring(name.begin(), name.end());
    html_help(caller, file.c_str(), kHhHelpContext, static_cast<DWORD_PTR>(context));
}

}  // namespace orbenix
