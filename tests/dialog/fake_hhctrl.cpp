// Stands in for HTML Help in the window tests: records each HtmlHelpW call
// and opens nothing. Loaded from the test program's folder ahead of Wine's own.
#include <windows.h>

#include <cwchar>

namespace {

LONG g_calls = 0;
UINT g_command = 0;
DWORD_PTR g_data = 0;
wchar_t g_file[MAX_PATH * 2] = {};

}  // namespace

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpW(HWND, LPCWSTR file, UINT command, DWORD_PTR data) {
    ++g_calls;
    g_command = command;
    g_data = data;
    wcsncpy(g_file, file ? file : L"", MAX_PATH * 2 - 1);
    return nullptr;
}

// How many calls came, and the last one's file, command and data.
extern "C" __declspec(dllexport) LONG WINAPI FakeHelpLastRequest(wchar_t* file, int capacity, UINT* command,
                                                                 DWORD_PTR* data) {
    if (file && capacity > 0) {
        wcsncpy(file, g_file, static_cast<std::size_t>(capacity - 1));
        file[capacity - 1] = L'\0';
    }
    if (command) *command = g_command;
    if (data) *data = g_data;
    return g_calls;
}
