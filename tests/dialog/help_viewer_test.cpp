// F1 in the settings dialog with the real HTML Help viewer and the real
// orbenix.chm beside the DLL. Runs only when real-help-run.sh asks for it
// (ORBENIX_REAL_HELP=1, Wine's own hhctrl.ocx); the other window tests run
// with the recording stand-in, which checks the exact call.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "gui_driver.h"
#include "tests/wine/com_client_support.h"

namespace orbenix {
namespace {

using gui_tests::Driver;
using gui_tests::Narrow;

// Collects the visible top-level help window of this process.
BOOL CALLBACK FindHelpWindow(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (process != GetCurrentProcessId() || wcscmp(name, L"HH Parent") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND WaitForHelpWindow(int ms) {
    HWND found = nullptr;
    Driver::WaitUntil(
        [&] {
            EnumWindows(FindHelpWindow, reinterpret_cast<LPARAM>(&found));
            return found != nullptr;
        },
        ms);
    return found;
}

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

class RealHelpViewer : public wine_tests::ComTest {};

TEST_F(RealHelpViewer, F1OpensTheHelpWindowOfOrbenixChm) {
    const char* wanted = std::getenv("ORBENIX_REAL_HELP");
    if (wanted == nullptr || std::string(wanted) != "1") GTEST_SKIP() << "runs under real-help-run.sh only";
    auto object = wine_tests::CreateByProgId();
    ASSERT_TRUE(object);
    ASSERT_HRESULT_SUCCEEDED(wine_tests::Put(object.get(), L"qv_parameter", *wine_tests::OwnedVariant::Text(L"")).status);

    const DWORD ui_thread = GetCurrentThreadId();
    std::wstring title;
    std::string problem;
    std::thread driver([&] {
        HWND dialog = gui_tests::WaitForDialog(20000);
        if (dialog == nullptr) {
            problem = "the dialog did not appear";
            return;
        }
        Driver d(ui_thread, dialog);
        d.Press(VK_F1);
        HWND help = WaitForHelpWindow(15000);
        if (help == nullptr) {
            problem = "F1 opened no help window";
        } else {
            title = WindowText(help);
            PostMessageW(help, WM_CLOSE, 0, 0);
            Driver::WaitUntil([&] { return !IsWindow(help); });
        }
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    wine_tests::OwnedVariant nothing;
    const auto shown = wine_tests::Call(object.get(), L"qv_showGUI", nothing);
    driver.join();
    EXPECT_HRESULT_SUCCEEDED(shown.status);
    EXPECT_EQ(problem, "");
    // The caption is the title compiled into orbenix.chm: the viewer opened our file.
    EXPECT_EQ(Narrow(title), "orbenix Help");
}

}  // namespace
}  // namespace orbenix
