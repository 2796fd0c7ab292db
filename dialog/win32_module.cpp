#include "dialog/win32_module.h"

#include <vector>

namespace orbenix {

HINSTANCE CodeModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CodeModule), &module);
    return module;
}

std::wstring CodeModuleFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (int attempt = 0; attempt < 6; ++attempt) {
        const DWORD n = GetModuleFileNameW(CodeModule(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L"";
        if (n < path.size()) {
            std::wstring file(path.data(), n);
            const auto slash = file.find_last_of(L"\\/");
            return slash == std::wstring::npos ? L"" : file.substr(0, slash + 1);
        }
        path.resize(path.size() * 2);
    }
    return L"";
}

}  // namespace orbenix
