// The settings window under Wine on a private X display: a host creates the
// object through COM, calls qv_showGUI, and a second thread works the dialog
// with real keyboard and mouse input.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "dialog/caption_measure_win32.h"
#include "dialog/dialog_layout.h"
#include "dialog/make_topmost.h"
#include "gui_driver.h"
#include "tests/wine/com_client_support.h"

namespace orbenix {
namespace {

using enum ControlId;
using gui_tests::Driver;
using gui_tests::Narrow;
using wine_tests::Call;
using wine_tests::ComTest;
using wine_tests::Get;
using wine_tests::OwnedVariant;
using wine_tests::Put;

constexpr wchar_t kStored[] =
    L"#URL=https://panel.example:5656/#KEY=key1#HSH=hash1#PAA=T#PAU=au#PAP=QQ==#PRU=T#PRH=127.0.0.1"
    L"#PRP=443#PRT=SOCKS4A#PRA=T#PRAU=user#PRAP=c2VjcmV0#";
constexpr wchar_t kEmptyDialogString[] = L"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#";

class DialogWindow : public ComTest {
protected:
    void SetUp() override {
        ComTest::SetUp();
        object_ = wine_tests::CreateByProgId();
        ASSERT_TRUE(object_);
    }
    void TearDown() override {
        object_ = {};
        ComTest::TearDown();
    }

    void PutParameter(const VARIANT& value) { ASSERT_HRESULT_SUCCEEDED(Put(object_.get(), L"qv_parameter", value).status); }
    void PutTimeout(const VARIANT& value) { ASSERT_HRESULT_SUCCEEDED(Put(object_.get(), L"qv_timeout", value).status); }
    OwnedVariant Property(const wchar_t* name) {
        OwnedVariant value;
        EXPECT_HRESULT_SUCCEEDED(Get(object_.get(), name, value).status);
        return value;
    }

    // Calls qv_showGUI on this thread while `script` works the dialog from a
    // second one; a dialog the script leaves open is closed so the call returns.
    void ShowAndDrive(const std::function<void(Driver&)>& script) {
        const DWORD ui_thread = GetCurrentThreadId();
        std::vector<std::string> problems;
        std::thread driver([&] {
            HWND dialog = gui_tests::WaitForDialog(20000);
            if (dialog == nullptr) {
                problems.push_back("the dialog did not appear");
                return;
            }
            Driver d(ui_thread, dialog);
            script(d);
            problems = d.problems();
            if (IsWindow(dialog) && IsWindowVisible(dialog)) {
                problems.push_back("the dialog was still open after the script");
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            }
        });
        OwnedVariant nothing;
        const auto result = Call(object_.get(), L"qv_showGUI", nothing);
        driver.join();
        EXPECT_HRESULT_SUCCEEDED(result.status) << Narrow(result.description);
        for (const auto& p : problems) ADD_FAILURE() << p;
    }

    wine_tests::ComPtr<IDispatch> object_;
};

int Px(int twips, int dpi) { return MulDiv(twips, dpi, kTwipsPerInch); }

std::string NameOf(const ControlDesign& design) { return Narrow(std::wstring(design.name.begin(), design.name.end())); }

RECT PlaceInParent(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// No caption is clipped: its extent in the control's own font fits the
// client width beside what the control draws before and after the text.
void CheckCaptions(Driver& d, int dpi) {
    for (const ControlDesign& design : DialogDesign()) {
        if (design.id == frmmain || !ShowsCaption(design.kind)) continue;
        HWND control = d.Control(design.id);
        if (d.Text(design.id).empty()) continue;
        // The caption's advance (GetTextExtentPoint32) and where its drawn ink ends, in the control's font.
        const CaptionMetrics measured = MeasureCaption(control, design.kind, dpi);
        const int ink = measured.ink_width;
        RECT client{};
        GetClientRect(control, &client);
        int before = 0;  // pixels the control draws left of the text
        int after = 0;
        int text = ink;  // one line, clipped at the edge
        switch (design.kind) {
        case ControlKind::Label:  // word-wrapped: the whole advance, and the ink
            text = std::max(measured.text_width, ink);
            break;
        case ControlKind::CheckBox:  // where Wine starts the text: at 17, 21 and 24 px (96, 120, 144 DPI)
            before = 12 * dpi / 96 + 1 + measured.zero_width / 2 + 1;
            break;
        case ControlKind::Frame:  // our frame: the caption a character in, with gaps, inside the edge
            before = measured.average_char_width + 2 + measured.average_char_width / 2 + 1;
            after = measured.average_char_width / 2 + 1 + 2;
            text = measured.text_width;
            break;
        default:  // the button: raised edges
            before = after = 2;
            break;
        }
        d.Expect(before + text + after <= client.right,
                 NameOf(design) + " clips its caption at " + std::to_string(dpi) + " DPI: " + std::to_string(text) +
                     " px of text and " + std::to_string(before + after) + " px of margins in " +
                     std::to_string(client.right) + " px");
    }
}

// Every control within one pixel of its designed place, and the check boxes
// above their frames. Beyond 96 DPI a control with a caption may be wider,
// into free space only: never over a control beside it, nor past its container.
void CheckLayout(Driver& d) {
    int dpi_x = 96, dpi_y = 96;
    {
        HDC screen = GetDC(nullptr);
        dpi_x = GetDeviceCaps(screen, LOGPIXELSX);
        dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    const char* wanted_dpi = std::getenv("ORBENIX_LOG_PIXELS");
    if (wanted_dpi != nullptr) d.Expect(dpi_x == std::atoi(wanted_dpi), "the screen runs at " + std::to_string(dpi_x) + " DPI");
    RECT client{};
    GetClientRect(d.dialog(), &client);
    d.Expect(std::abs(client.right - Px(kClientWidthTwips, dpi_x)) <= 1 &&
                 std::abs(client.bottom - Px(kClientHeightTwips, dpi_y)) <= 1,
             "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
    for (const ControlDesign& design : DialogDesign()) {
        if (design.id == frmmain) continue;
        HWND control = d.Control(design.id);
        if (control == nullptr) {
            d.Expect(false, "no window for " + NameOf(design));
            continue;
        }
        d.Expect(GetParent(control) == d.Control(design.parent), NameOf(design) + " has the wrong container");
        const RECT r = PlaceInParent(control);
        const int want[4] = {Px(design.left, dpi_x), Px(design.top, dpi_y), Px(design.width, dpi_x),
                             Px(design.height, dpi_y)};
        const int got[4] = {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
                            static_cast<int>(r.bottom - r.top)};
        const bool may_widen = dpi_x != 96 && ShowsCaption(design.kind);
        for (int i = 0; i < 4; ++i) {
            const bool ok = std::abs(want[i] - got[i]) <= 1 || (i == 2 && may_widen && got[i] > want[i]);
            d.Expect(ok, NameOf(design) + " edge " + std::to_string(i) + " is " + std::to_string(got[i]) +
                             ", designed " + std::to_string(want[i]));
        }
        if (got[2] <= want[2] + 1) continue;
        RECT container{};
        GetClientRect(GetParent(control), &container);
        d.Expect(r.right <= container.right, NameOf(design) + " was widened past its container");
        for (const ControlDesign& other : DialogDesign()) {
            if (other.id == design.id || other.id == frmmain || other.parent != design.parent) continue;
            const RECT o = PlaceInParent(d.Control(other.id));
            const bool beside = o.top < r.bottom && r.top < o.bottom && o.left >= r.left + want[2];
            d.Expect(!beside || r.right <= o.left, NameOf(design) + " was widened over " + NameOf(other));
        }
    }
    for (ControlId box : {chkUseProxy, chkUseProxyAuthentication}) {
        RECT r{};
        GetWindowRect(d.Control(box), &r);
        const POINT middle{r.left + 4, (r.top + r.bottom) / 2};
        d.Expect(WindowFromPoint(middle) == d.Control(box), "a check box is not drawn above its frame");
    }
    d.Expect(!IsWindowVisible(d.Control(txtTimeout)) && !IsWindowEnabled(d.Control(txtTimeout)),
             "txtTimeout is visible or enabled");
    CheckCaptions(d, dpi_x);
}

TEST(MakeTopmost, TogglesTheTopmostPlaceAndKeepsPositionAndSize) {
    HWND window = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP | WS_VISIBLE, 30, 40, 200, 100, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    RECT before{}, after{};
    GetWindowRect(window, &before);
    MakeTopmost(reinterpret_cast<std::intptr_t>(window), true);
    EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    MakeTopmost(reinterpret_cast<std::intptr_t>(window), false);
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    DestroyWindow(window);
}

TEST_F(DialogWindow, EmptyParameterOpensTheDesignAndSpaceOnOkStoresTheExactString) {
    PutTimeout(*OwnedVariant::Text(L" 30 "));
    ShowAndDrive([](Driver& d) {
        CheckLayout(d);
        d.Expect(d.Text(frmmain) == L"SolusVM client checker: External COM check ", "caption");
        d.Expect(d.Text(lblVersion) == L"version 1.0 build 5", "version label");
        d.Expect(d.Text(txtTimeout) == L"30", "timeout box");
        d.Expect(SendMessageW(d.Control(cmbProxyType), CB_GETCOUNT, 0, 0) == 5, "five proxy types");
        d.Expect(d.Text(cmbProxyType) == L"Web Standard", "Web Standard shown");
        d.Expect((GetWindowLongW(d.dialog(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, "not topmost");
        d.Expect(Driver::WaitUntil([&] { return d.FocusIs(btOK); }), "focus does not start on OK");

        // Tab visits the focus order and wraps; Shift+Tab goes back.
        const ControlId order[] = {chkUseProxy, txtProxyUsername, txtProxyPassword, chkUseProxyAuthentication,
                                   txtProxyPort, txtProxyHost, cmbProxyType, txtAPIHash, txtAPIKey, txtSolusVMURL,
                                   btOK};
        for (ControlId next : order) {
            d.Press(VK_TAB);
            d.Expect(Driver::WaitUntil([&] { return d.FocusIs(next); }, 1000),
                     "Tab did not reach control " + std::to_string(static_cast<int>(next)));
        }
        d.PressWith(VK_SHIFT, VK_TAB);
        d.Expect(Driver::WaitUntil([&] { return d.FocusIs(txtSolusVMURL); }, 1000), "Shift+Tab");
        d.Press(VK_TAB);

        // F1 asks HTML Help for topic 10 of orbenix.chm beside the DLL.
        d.Press(VK_F1);
        using LastRequest = LONG(WINAPI*)(wchar_t*, int, UINT*, DWORD_PTR*);
        HMODULE help = GetModuleHandleW(L"hhctrl.ocx");
        auto last = help ? reinterpret_cast<LastRequest>(reinterpret_cast<void*>(GetProcAddress(help, "FakeHelpLastRequest")))
                         : nullptr;
        d.Expect(last != nullptr, "F1 did not load HTML Help (or Wine's own was loaded)");
        if (last != nullptr) {
            wchar_t file[MAX_PATH * 2] = {};
            UINT command = 0;
            DWORD_PTR data = 0;
            const LONG calls = last(file, MAX_PATH * 2, &command, &data);
            d.Expect(calls == 1, "F1 made " + std::to_string(calls) + " help calls");
            std::wstring dll = wine_tests::RegisteredDllPath();
            const std::wstring chm = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"orbenix.chm";
            d.Expect(_wcsicmp(file, chm.c_str()) == 0, "help file " + Narrow(file) + ", expected " + Narrow(chm));
            d.Expect(command == 0x000F && data == 10, "help command " + std::to_string(command) + " context " +
                                                          std::to_string(data));
        }
        // Also from a control inside a frame.
        d.Click(txtAPIKey);
        d.Press(VK_F1);
        if (last != nullptr) d.Expect(last(nullptr, 0, nullptr, nullptr) == 2, "F1 in a frame asked for no help");
        d.Press(VK_TAB);  // txtSolusVMURL, then back on OK
        d.Press(VK_TAB);
        d.Expect(Driver::WaitUntil([&] { return d.FocusIs(btOK); }), "Tab from the last box does not wrap to OK");
        d.Expect(SendMessageW(d.dialog(), WM_GETICON, ICON_BIG, 0) != 0 &&
                     SendMessageW(d.dialog(), WM_GETICON, ICON_SMALL, 0) != 0,
                 "the window has no icon of its own");

        // Text typed into the list's edit field selects no entry, which stores "WST".
        d.Click(cmbProxyType);
        d.Press(VK_DOWN);
        d.Expect(Driver::WaitUntil([&] { return d.Text(cmbProxyType) == L"Socks 4"; }), "Down in the list");
        d.Type(L"x");
        for (int i = 0; i < 4; ++i) d.Press(VK_TAB);  // hash, key, URL, OK

        // Escape does not close.
        d.Press(VK_ESCAPE);
        Sleep(200);
        d.Expect(IsWindowVisible(d.dialog()) != FALSE, "Escape closed the dialog");
        d.Expect(Driver::WaitUntil([&] { return d.FocusIs(btOK); }), "focus left OK");
        d.Press(VK_SPACE);
        d.Expect(Driver::WaitUntil([&] { return !IsWindow(d.dialog()); }), "Space on OK did not close");
    });
    EXPECT_EQ(Property(L"qv_parameter").text(), kEmptyDialogString);
    const OwnedVariant timeout = Property(L"qv_timeout");
    EXPECT_EQ(timeout.text(), L" 30 ");
}

TEST_F(DialogWindow, StoredStringRoundTripsThroughTypingClickingAndAltO) {
    PutParameter(*OwnedVariant::Text(kStored));
    const std::wstring screenshot = [] {
        const char* path = std::getenv("ORBENIX_SCREENSHOT");
        return path ? std::wstring(path, path + strlen(path)) : std::wstring();
    }();
    ShowAndDrive([&](Driver& d) {
        // Filled from the stored string.
        d.Expect(d.Text(txtSolusVMURL) == L"https://panel.example:5656/", "URL");
        d.Expect(d.Text(txtAPIKey) == L"key1", "key");
        d.Expect(d.Text(txtAPIHash) == L"hash1", "hash");
        d.Expect(d.Text(txtProxyHost) == L"127.0.0.1", "host");
        d.Expect(d.Text(txtProxyPort) == L" 443", "port with its leading blank");
        d.Expect(d.Checked(chkUseProxy) && d.Checked(chkUseProxyAuthentication), "check boxes");
        d.Expect(d.Text(cmbProxyType) == L"Socks 4a", "proxy type");
        d.Expect(d.Text(txtProxyUsername) == L"user", "user");
        d.Expect(d.Text(txtProxyPassword) == L"secret", "password");
        d.Expect(SendMessageW(d.Control(txtProxyPassword), EM_GETPASSWORDCHAR, 0, 0) == L'*', "password mask");

        // Spaces around the URL are dropped by OK; Enter in a text box presses nothing.
        d.Click(txtSolusVMURL);
        d.SelectLine();
        d.Type(L"  https://panel.test/ ");
        d.Press(VK_RETURN);
        Sleep(200);
        d.Expect(IsWindowVisible(d.dialog()) != FALSE, "Enter in a text box closed the dialog");

        // "#" is refused, typed or pasted, where the text is stored as it stands.
        d.Click(txtAPIKey);
        d.Press(VK_END);
        d.Type(L"a#b");
        d.Expect(Driver::WaitUntil([&] { return d.Text(txtAPIKey) == L"key1ab"; }), "typed # in the key: " + Narrow(d.Text(txtAPIKey)));
        d.Click(txtAPIHash);
        d.Press(VK_END);
        d.Expect(gui_tests::SetClipboardText(L"x#y"), "clipboard");
        d.PressWith(VK_CONTROL, 'V');
        Sleep(200);
        d.Expect(d.Text(txtAPIHash) == L"hash1", "pasted # in the hash: " + Narrow(d.Text(txtAPIHash)));
        d.Expect(gui_tests::SetClipboardText(L"Z9"), "clipboard");
        d.PressWith(VK_CONTROL, 'V');
        d.Expect(Driver::WaitUntil([&] { return d.Text(txtAPIHash) == L"hash1Z9"; }), "paste: " + Narrow(d.Text(txtAPIHash)));
        // The password box keeps every character.
        d.Click(txtProxyPassword);
        d.SelectLine();
        d.Type(L" p#w ");
        d.Expect(Driver::WaitUntil([&] { return d.Text(txtProxyPassword) == L" p#w "; }), "password: " + Narrow(d.Text(txtProxyPassword)));

        // Clearing the proxy box blocks both groups: clicks and typing there change nothing.
        d.Click(chkUseProxy);
        d.Expect(Driver::WaitUntil([&] { return !d.Checked(chkUseProxy); }), "proxy box did not clear");
        d.Expect(!IsWindowEnabled(d.Control(frame_UseProxy)), "proxy group still enabled");
        d.Expect(Driver::WaitUntil([&] { return d.FocusIs(chkUseProxy); }), "the clicked box has no focus");
        d.Press(VK_TAB);
        d.Expect(Driver::WaitUntil([&] { return d.FocusIs(txtAPIHash); }), "Tab entered the blocked group");
        d.PressWith(VK_SHIFT, VK_TAB);
        d.Expect(Driver::WaitUntil([&] { return d.FocusIs(chkUseProxy); }), "Shift+Tab entered the blocked group");
        d.Click(txtProxyHost);
        d.Type(L"zzz");
        d.Click(chkUseProxyAuthentication);
        d.Expect(d.Text(txtProxyHost) == L"127.0.0.1", "a blocked box took typing");
        d.Expect(d.Checked(chkUseProxyAuthentication), "a blocked check box changed");
        d.Click(chkUseProxy);
        d.Expect(Driver::WaitUntil([&] { return d.Checked(chkUseProxy) && IsWindowEnabled(d.Control(frame_UseProxy)); }),
                 "proxy group did not come back");

        // The port box reads its number; the list moves with the arrow key.
        d.Click(txtProxyPort);
        d.SelectLine();
        d.Type(L"8080 x");
        d.Click(cmbProxyType);
        d.Press(VK_DOWN);
        d.Expect(Driver::WaitUntil([&] { return SendMessageW(d.Control(cmbProxyType), CB_GETCURSEL, 0, 0) == 3; }),
                 "Down did not select Socks 5");

        if (!screenshot.empty()) {
            Sleep(300);
            d.Expect(gui_tests::SaveWindowBitmap(d.dialog(), screenshot), "screenshot");
        }
        d.PressWith(VK_MENU, 'O');
        d.Expect(Driver::WaitUntil([&] { return !IsWindow(d.dialog()); }), "Alt+O did not close");
    });
    EXPECT_EQ(Property(L"qv_parameter").text(),
              L"#URL=https://panel.test/#KEY=key1ab#HSH=hash1Z9#PRU=T#PRH=127.0.0.1#PRP=8080#PRT=SOCKS5#PRA=T"
              L"#PRAU=user#PRAP=IHAjdyA=#");
}

TEST_F(DialogWindow, TheCloseBoxLeavesTheParameterUnchanged) {
    PutParameter(*OwnedVariant::Text(kStored));
    // A window of the host's: the modal dialog blocks it while open.
    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(host, nullptr);
    ShowAndDrive([host](Driver& d) {
        d.Expect(!IsWindowEnabled(host), "the host's window stays usable under the modal dialog");
        d.Click(txtAPIKey);
        d.Type(L"changed");
        POINT close{};
        d.Expect(gui_tests::FindCloseBox(d.dialog(), close), "no close box found");
        d.ClickAt(close);
        d.Expect(Driver::WaitUntil([&] { return !IsWindow(d.dialog()); }), "the close box did not close");
    });
    EXPECT_EQ(Property(L"qv_parameter").text(), kStored);
    EXPECT_TRUE(IsWindowEnabled(host));
    DestroyWindow(host);
}

TEST_F(DialogWindow, AFailureReachesTheHostAsAFailedCallAndShowsNoDialog) {
    PutParameter(*OwnedVariant::Text(L"#URL=u#PRAP=QUJD=#"));
    OwnedVariant nothing;
    const auto result = Call(object_.get(), L"qv_showGUI", nothing);
    EXPECT_EQ(result.status, DISP_E_EXCEPTION);
    EXPECT_EQ(result.scode, MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 5));
    EXPECT_EQ(result.description, L"Invalid procedure call or argument");
    EXPECT_EQ(FindWindowW(L"OrbenixSettingsForm", nullptr), nullptr);
    EXPECT_EQ(Property(L"qv_parameter").text(), L"#URL=u#PRAP=QUJD=#");
}

TEST_F(DialogWindow, ANewCheckClosedWithoutOkStaysEmpty) {
    ShowAndDrive([](Driver& d) { PostMessageW(d.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0); 
        d.Expect(Driver::WaitUntil([&] { return !IsWindow(d.dialog()); }), "SC_CLOSE did not close"); });
    EXPECT_EQ(Property(L"qv_parameter").type(), VT_EMPTY);
}

}  // namespace
}  // namespace orbenix
