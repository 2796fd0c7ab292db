#include "engine/http/windows_build_win32.h"

#include <windows.h>

namespace orbenix::http {

std::uint32_t WindowsBuildNumber() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return 0;
    const auto get_version = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (get_version == nullptr) return 0;
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (get_version(&version) != 0) return 0;  // STATUS_SUCCESS is 0
    return version.dwBuildNumber;
}

}  // namespace orbenix::http
