// Minimal checks for the test hosts, in the manner of Wine's conformance tests:
// each failed check prints where it is and what it got; the exit code is the
// number of failures.
#pragma once

#include "brenquisat_exports.h"
#include "ds_errors.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

inline int g_checkFailures = 0;
inline int g_checkCount = 0;

#define ok(cond, ...)                                                                   \
    do {                                                                                \
        ++g_checkCount;                                                                 \
        if (!(cond)) {                                                                  \
            ++g_checkFailures;                                                          \
            std::printf("%s:%d: Test failed: ", __FILE__, __LINE__);                    \
            std::printf(__VA_ARGS__);                                                   \
            std::fflush(stdout);                                                        \
        }                                                                               \
    } while (0)

inline int CheckSummary(const char* name)
{
    std::printf("%s: %d checks, %d failed\n", name, g_checkCount, g_checkFailures);
    std::fflush(stdout);
    return g_checkFailures ? 1 : 0;
}

// Brenquisat.dll loaded by name, with its exports bound.
struct LoadedBrenquisat : BrenquisatExports {
    HMODULE module;
};

inline bool LoadBrenquisat(LoadedBrenquisat* e)
{
    e->module = LoadLibraryA("Brenquisat.dll");
    return e->module && BindBrenquisat(e->module, e);
}

// The space-separated steps of a sequence.
inline std::vector<std::string> SplitSteps(const char* steps)
{
    std::istringstream words(steps);
    std::vector<std::string> split;
    for (std::string step; words >> step;)
        split.push_back(step);
    return split;
}

// A last-error value that no platform call leaves by chance, set before each
// export: a success must clear it, ReleaseDS must leave it.
const DWORD kStaleLastError = 0x0badf00d;

inline std::string LastErrorName(DWORD error)
{
    if (const DSErrorText* known = FindDSError(static_cast<HRESULT>(error)))
        return known->name;
    char number[16];
    std::snprintf(number, sizeof(number), "%#lx", error);
    return number;
}

// After an export's result: GetLastError() is 0 after a success, and after a
// failure the HRESULT named, or one of those named as "A|B" where platforms
// differ (with none named, some failing HRESULT).
inline void CheckLastError(const char* context, const std::string& call, int result, DWORD error,
                           const std::string& expected)
{
    std::string got = LastErrorName(error);
    if (result != 0) {
        ok(error == ERROR_SUCCESS, "%s: GetLastError() after %s succeeded was %s, expected 0\n",
           context, call.c_str(), got.c_str());
    } else if (!expected.empty()) {
        ok(("|" + expected + "|").find("|" + got + "|") != std::string::npos,
           "%s: GetLastError() after %s failed was %s, expected %s\n", context, call.c_str(),
           got.c_str(), expected.c_str());
    } else {
        ok(FAILED(static_cast<HRESULT>(error)),
           "%s: GetLastError() after %s failed was %s, expected a failing HRESULT\n", context,
           call.c_str(), got.c_str());
    }
}

// Calls the export a step names ("InitDS=1", "ReleaseDS", "SetDSVolume(-600)=1",
// "MuteDS=0", "GetDSVolume(-600)=1" reading -600, "GetDSVolume(null)=0" given a
// null pointer) and checks its result against the one after "=", and the reason
// GetLastError() gives against the HRESULT named after "/" ("InitDS=0/DSERR_NODRIVER");
// false when the step names no export or the library is not loaded.
inline bool CallExport(const LoadedBrenquisat& e, const std::string& step, const char* context)
{
    std::string name = step.substr(0, step.find_first_of("(="));
    size_t eq = step.find('=');
    int expected = eq == std::string::npos ? -1 : std::atoi(step.c_str() + eq + 1);
    size_t slash = step.find('/');
    std::string expectedError = slash == std::string::npos ? "" : step.substr(slash + 1);
    if (!e.module) {
        ok(false, "%s: %s after FreeLibrary\n", context, step.c_str());
        return false;
    }

    std::string call = name + "()";
    const int kUntouchedLevel = 0x5eed;
    int level = kUntouchedLevel;
    SetLastError(kStaleLastError);
    int result = 0;
    if (name == "InitDS") {
        result = e.InitDS();
    } else if (name == "ReleaseDS") {
        e.ReleaseDS();
        DWORD error = GetLastError();
        ok(error == kStaleLastError, "%s: ReleaseDS() changed GetLastError() to %s\n", context,
           LastErrorName(error).c_str());
        return true;
    } else if (name == "SetDSVolume") {
        int volume = static_cast<int>(std::strtoll(step.c_str() + name.size() + 1, nullptr, 10));
        result = e.SetDSVolume(volume);
        call = name + "(" + std::to_string(volume) + ")";
    } else if (name == "MuteDS" || name == "UnmuteDS") {
        result = (name == "MuteDS" ? e.MuteDS() : e.UnmuteDS()) ? 1 : 0;
    } else if (name == "GetDSVolume") {
        result = e.GetDSVolume(step.compare(name.size(), 6, "(null)") ? &level : nullptr);
        call = step.compare(name.size(), 6, "(null)") ? "GetDSVolume(&level)" : "GetDSVolume(NULL)";
    } else {
        ok(false, "%s: unknown step %s\n", context, step.c_str());
        return false;
    }
    DWORD error = GetLastError();
    ok(result == expected, "%s: %s returned %d, expected %d\n", context, call.c_str(), result,
       expected);
    CheckLastError(context, call, result, error, expectedError);
    if (name == "GetDSVolume" && result == 0) {
        ok(level == kUntouchedLevel, "%s: a failed %s changed the level it was given to %d\n",
           context, call.c_str(), level);
    } else if (name == "GetDSVolume" && step[name.size()] == '(') {
        int read = std::atoi(step.c_str() + name.size() + 1);
        ok(level == read, "%s: %s read %d, expected %d\n", context, call.c_str(), level, read);
    }
    return true;
}

// Host threads that call the six exports in a random mix until a deadline, as
// a host's UI, audio and hotkey threads would.  Every call must succeed (each
// volume call reopens a closed device) and leave its own thread's GetLastError()
// as a lone caller's would: 0 after a success, untouched by ReleaseDS.
struct Storm {
    const LoadedBrenquisat* e;
    DWORD until;                 // GetTickCount() at which the threads stop
    volatile LONG calls;
    volatile LONG failures;      // calls that returned 0 or false
    volatile LONG firstFailure;  // the step and GetLastError() of the first, for the message
    volatile LONG firstError;
    volatile LONG lastErrorsWrong;
};

inline DWORD WINAPI StormThread(void* param)
{
    Storm* s = static_cast<Storm*>(param);
    unsigned seed = GetCurrentThreadId() * 2654435761u ^ GetTickCount();
    while (static_cast<LONG>(GetTickCount() - s->until) < 0) {
        seed = seed * 1103515245u + 12345u;
        unsigned pick = (seed >> 16) % 6;
        int level = 0;
        SetLastError(kStaleLastError);
        bool succeeded = true;
        switch (pick) {
        case 0: succeeded = s->e->InitDS() == 1; break;
        case 1: s->e->ReleaseDS(); break;
        case 2: succeeded = s->e->SetDSVolume(-static_cast<int>((seed >> 4) % 10001)) == 1; break;
        case 3: succeeded = s->e->MuteDS(); break;
        case 4: succeeded = s->e->UnmuteDS(); break;
        case 5: succeeded = s->e->GetDSVolume(&level) == 1; break;
        }
        DWORD error = GetLastError();
        InterlockedIncrement(&s->calls);
        if (!succeeded && InterlockedIncrement(&s->failures) == 1) {
            s->firstFailure = static_cast<LONG>(pick);
            s->firstError = static_cast<LONG>(error);
        }
        if (succeeded && error != (pick == 1 ? kStaleLastError : ERROR_SUCCESS))
            InterlockedIncrement(&s->lastErrorsWrong);
    }
    return 0;
}

// Runs the threads for the given time; false (with a message) if any call
// failed or a thread had not ended 30 s after the deadline.
inline bool RunStorm(const LoadedBrenquisat& e, int threadCount, DWORD milliseconds, const char* context)
{
    static const char* const kStep[] = {"InitDS", "ReleaseDS", "SetDSVolume", "MuteDS", "UnmuteDS",
                                        "GetDSVolume"};
    Storm s = {&e, GetTickCount() + milliseconds, 0, 0, 0, 0, 0};
    std::vector<HANDLE> threads;
    for (int i = 0; i < threadCount; ++i)
        if (HANDLE thread = CreateThread(nullptr, 0, StormThread, &s, 0, nullptr))
            threads.push_back(thread);
    ok(static_cast<int>(threads.size()) == threadCount, "%s: CreateThread failed\n", context);
    DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE,
                                          milliseconds + 30000);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    ok(waited == WAIT_OBJECT_0, "%s: the threads had not ended 30 s after the deadline (hung)\n",
       context);
    if (waited != WAIT_OBJECT_0)
        ExitProcess(3);  // The threads still use s.
    ok(s.failures == 0, "%s: %ld of %ld calls failed; the first, %s(), with GetLastError() %s\n",
       context, s.failures, s.calls, kStep[s.firstFailure],
       LastErrorName(static_cast<DWORD>(s.firstError)).c_str());
    ok(s.lastErrorsWrong == 0, "%s: after %ld of %ld calls GetLastError() was not what that "
       "thread's own call left\n", context, s.lastErrorsWrong, s.calls);
    std::printf("%s: %d threads made %ld calls in %lu ms\n", context, threadCount, s.calls,
                milliseconds);
    return s.failures == 0 && s.lastErrorsWrong == 0;
}

// The child mode of the test hosts: ends its process with the device open.
inline int ExitWithDeviceOpen()
{
    LoadedBrenquisat e;
    return LoadBrenquisat(&e) && e.MuteDS() ? 0 : 1;
}

// Runs this program again with one argument; its exit code, -1 if it could not
// start, -2 if it had not ended within 30 s (and was ended).
inline int RunSelf(const char* self, const char* argument)
{
    std::string commandLine = std::string("\"") + self + "\" " + argument;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child))
        return -1;
    DWORD code = 0;
    if (WaitForSingleObject(child.hProcess, 30000) != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 1);
        code = static_cast<DWORD>(-2);
    } else {
        GetExitCodeProcess(child.hProcess, &code);
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return static_cast<int>(code);
}
