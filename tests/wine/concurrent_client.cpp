// A multi-threaded host in one fresh process: THREADS threads meet at a
// barrier, then enter their apartments and create orbenix.vexarel at once
// (the first load of the DLL and its class object happens under contention),
// then each runs CHECKS checks against the demo panel with parameter strings
// of its own. Every qv_result must be the one its own parameter string asks
// for. A thread that has not finished within the time limit is reported by
// the stage it is stuck in, and the process ends with exit code 3.
//
// usage: concurrent_client PORT [THREADS] [CHECKS] [SECONDS] [http|https]
// prints one line per failure, a STATS line (checks per second, the
// process's working set before the first object and after the last check;
// bench/ reads it) and last "DONE failures=N".
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

enum Stage : long { kStarting, kAtBarrier, kCreating, kChecking, kFinished };
const char* const kStageNames[] = {"starting", "waiting at the barrier", "entering its apartment or in CoCreateInstance",
                                   "running checks", "finished"};

struct Shared {
    int port = 0;
    std::wstring scheme = L"http";
    int threads = 0;
    int checks = 0;
    std::atomic<long> arrived{0};
    HANDLE go = nullptr;  // manual-reset: the barrier opens when the last thread arrives
    std::atomic<long> failures{0};
};

struct Worker {
    Shared* shared = nullptr;
    int index = 0;
    std::atomic<long> stage{kStarting};
};

void Fail(const Worker& worker, const char* what, const std::wstring& detail = {}) {
    ++worker.shared->failures;
    std::printf("FAIL thread %d: %s %ls\n", worker.index, what, detail.c_str());
    std::fflush(stdout);
}

// A VARIANT that clears itself.
struct Variant {
    VARIANT value;
    Variant() { VariantInit(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value); }
};

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* argument, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT status = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(status)) return status;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    if (argument != nullptr) {
        params.rgvarg = argument;
        params.cArgs = 1;
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
}

// What each kind of check sends as its key, and what it must answer.
struct Expected {
    std::wstring key;
    bool verdict;
    std::wstring result;  // exact, or (for the echo) a text the result must contain
    bool contains;
};

Expected ExpectedFor(int thread, int check) {
    const std::wstring own = L"t" + std::to_wstring(thread) + L"c" + std::to_wstring(check);
    switch ((thread + check) % 4) {
    case 0: return {L"online", true, L"SolusVM VPS works fine", false};
    case 1: return {L"offline", false, L"VPS offline", false};
    case 2: return {L"nobody-" + own, false, L"Invalid key", false};
    default: return {L"echo", false, L"hash=" + own + L"&", true};  // the panel repeats the request
    }
}

void RunCheck(Worker& worker, IDispatch* object, int check) {
    const Expected expected = ExpectedFor(worker.index, check);
    const std::wstring own = L"t" + std::to_wstring(worker.index) + L"c" + std::to_wstring(check);
    const std::wstring parameter = L"#URL=" + worker.shared->scheme + L"://127.0.0.1:" + std::to_wstring(worker.shared->port) +
                                   L"/#KEY=" + expected.key + L"#HSH=" + own + L"#PRU=F#";
    Variant text;
    V_VT(&text.value) = VT_BSTR;
    V_BSTR(&text.value) = SysAllocString(parameter.c_str());
    if (FAILED(Invoke(object, L"qv_parameter", DISPATCH_PROPERTYPUT, &text.value, nullptr))) {
        return Fail(worker, "setting qv_parameter failed");
    }
    Variant verdict;
    if (FAILED(Invoke(object, L"qv_docheck", DISPATCH_METHOD, nullptr, &verdict.value))) {
        return Fail(worker, "qv_docheck failed");
    }
    Variant result;
    if (FAILED(Invoke(object, L"qv_result", DISPATCH_PROPERTYGET, nullptr, &result.value)) ||
        V_VT(&result.value) != VT_BSTR) {
        return Fail(worker, "qv_result is no text");
    }
    const std::wstring got(V_BSTR(&result.value), SysStringLen(V_BSTR(&result.value)));
    const bool said_true = V_VT(&verdict.value) == VT_BOOL && V_BOOL(&verdict.value) == VARIANT_TRUE;
    const bool text_ok = expected.contains ? got.find(expected.result) != std::wstring::npos : got == expected.result;
    if (said_true != expected.verdict || !text_ok) {
        Fail(worker, "wrong answer for key", expected.key + L" (" + own + L"): " + got);
    }
}

DWORD WINAPI WorkerMain(void* argument) {
    Worker& worker = *static_cast<Worker*>(argument);
    Shared& shared = *worker.shared;
    // The threads enter their apartments and create their objects at the
    // same moment, so that entering an apartment meets the first load of
    // the DLL, as in a host that starts its checker threads together.
    worker.stage = kAtBarrier;
    if (++shared.arrived == shared.threads) SetEvent(shared.go);
    WaitForSingleObject(shared.go, INFINITE);

    worker.stage = kCreating;
    if (FAILED(CoInitialize(nullptr))) {
        Fail(worker, "CoInitialize failed");
        worker.stage = kFinished;
        return 0;
    }
    CLSID clsid{};
    IDispatch* object = nullptr;
    HRESULT status = CLSIDFromProgID(L"orbenix.vexarel", &clsid);
    if (SUCCEEDED(status)) {
        status = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&object));
    }
    if (FAILED(status) || object == nullptr) {
        Fail(worker, "creating orbenix.vexarel failed");
    } else {
        worker.stage = kChecking;
        for (int check = 0; check < shared.checks; ++check) RunCheck(worker, object, check);
        object->Release();
    }
    CoUninitialize();
    worker.stage = kFinished;
    return 0;
}

SIZE_T WorkingSetKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) ? counters.WorkingSetSize / 1024 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: concurrent_client PORT [THREADS] [CHECKS] [SECONDS] [http|https]\n");
        return 2;
    }
    Shared shared;
    shared.port = std::atoi(argv[1]);
    shared.threads = argc > 2 ? std::atoi(argv[2]) : 8;
    shared.checks = argc > 3 ? std::atoi(argv[3]) : 4;
    const int seconds = argc > 4 ? std::atoi(argv[4]) : 60;
    if (argc > 5) shared.scheme = std::wstring(argv[5], argv[5] + std::strlen(argv[5]));
    if (shared.threads < 1 || shared.threads > 64 || shared.checks < 0 || seconds < 1) return 2;
    shared.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const SIZE_T memory_before = WorkingSetKiB();
    LARGE_INTEGER frequency{}, started{}, ended{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);

    std::vector<Worker> workers(static_cast<size_t>(shared.threads));
    std::vector<HANDLE> handles;
    for (int i = 0; i < shared.threads; ++i) {
        workers[static_cast<size_t>(i)].shared = &shared;
        workers[static_cast<size_t>(i)].index = i;
        HANDLE thread = CreateThread(nullptr, 0, WorkerMain, &workers[static_cast<size_t>(i)], 0, nullptr);
        if (thread == nullptr) return 2;
        handles.push_back(thread);
    }
    const DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE,
                                                static_cast<DWORD>(seconds) * 1000);
    if (waited == WAIT_TIMEOUT) {
        for (const Worker& worker : workers) {
            if (worker.stage != kFinished) {
                std::printf("HANG thread %d: still %s after %d s\n", worker.index, kStageNames[worker.stage.load()],
                            seconds);
            }
        }
        std::fflush(stdout);
        ExitProcess(3);  // the stuck threads cannot be joined
    }
    QueryPerformanceCounter(&ended);
    const double seconds_taken = static_cast<double>(ended.QuadPart - started.QuadPart) /
                                 static_cast<double>(frequency.QuadPart);
    const int checks = shared.threads * shared.checks;
    std::printf("STATS threads=%d checks=%d seconds=%.3f checks_per_second=%.1f memory_before_kib=%lu "
                "memory_after_kib=%lu\n",
                shared.threads, checks, seconds_taken, seconds_taken > 0 ? checks / seconds_taken : 0.0,
                static_cast<unsigned long>(memory_before), static_cast<unsigned long>(WorkingSetKiB()));
    for (HANDLE thread : handles) CloseHandle(thread);
    CloseHandle(shared.go);
    std::printf("DONE failures=%ld\n", shared.failures.load());
    return shared.failures == 0 ? 0 : 1;
}
