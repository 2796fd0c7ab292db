#include "component/com/module.h"

#include <atomic>

namespace orbenix::com {
namespace {

HINSTANCE module_handle = nullptr;
std::atomic<long> live_objects{0};
std::atomic<long> locks{0};

}  // namespace

void SetModuleHandle(HINSTANCE module) { module_handle = module; }
HINSTANCE ModuleHandle() { return module_handle; }

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length = GetModuleFileNameW(module_handle, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // truncated: try a larger buffer
    }
    return {};
}

void ObjectCreated() { ++live_objects; }
void ObjectDestroyed() { --live_objects; }
void LockModule() { ++locks; }
void UnlockModule() { --locks; }
bool ModuleIdle() { return live_objects == 0 && locks == 0; }

}  // namespace orbenix::com
