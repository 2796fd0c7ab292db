#pragma once
// Drives the settings window from a second thread with real input (SendInput),
// the way a user at the keyboard and mouse would, and looks at its windows.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "dialog/dialog_layout.h"

namespace orbenix::gui_tests {

class Driver {
public:
    Driver(DWORD ui_thread, HWND dialog) : ui_thread_(ui_thread), dialog_(dialog) {}

    HWND dialog() const { return dialog_; }
    HWND Control(ControlId id) const;
    std::wstring Text(ControlId id) const;
    bool Checked(ControlId id) const;
    // The control that has the focus (a combo box for its edit field), or nullptr.
    HWND Focus() const;
    bool FocusIs(ControlId id) const;

    // Real input; each waits a moment for the dialog to take it.
    void Press(WORD key);
    void PressWith(WORD modifier, WORD key);
    void Type(const std::wstring& text);
    void Click(ControlId id);
    void ClickAt(POINT screen);
    // Selects the whole text of the focused single-line box (End, Shift+Home).
    void SelectLine();

    // Polls `done` every 20 ms for up to `ms`.
    static bool WaitUntil(const std::function<bool()>& done, int ms = 3000);
    void Expect(bool ok, const std::string& what);
    const std::vector<std::string>& problems() const { return problems_; }

private:
    DWORD ui_thread_;
    HWND dialog_;
    std::vector<std::string> problems_;
};

// The visible settings window, once it appears (nullptr after `ms`).
HWND WaitForDialog(int ms);
// Puts `text` on the clipboard.
bool SetClipboardText(const std::wstring& text);
// Writes the screen area of `window` as a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::wstring& path);
// A point of `window`'s caption on which a click hits the close box.
bool FindCloseBox(HWND window, POINT& at);

std::string Narrow(const std::wstring& text);

}  // namespace orbenix::gui_tests
