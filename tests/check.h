// Minimal checks for the test hosts, in the manner of Wine's conformance tests:
// each failed check prints where it is and what it got; the exit code is the
// number of failures.
#pragma once

#include "brenquisat_exports.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

inline bool LoadBrenquisat(LoadedBrenquisat* e, const char* name = "Brenquisat.dll")
{
    e->module = LoadLibraryA(name);
    return e->module && BindBrenquisat(e->module, e);
}

// Calls the export a step names ("InitDS=1", "ReleaseDS", "SetDSVolume(-600)=1",
// "MuteDS=0") and checks its result against the one after "="; false when the
// step names no export or the library is not loaded.
inline bool CallExport(const LoadedBrenquisat& e, const std::string& step, const char* context)
{
    std::string name = step.substr(0, step.find_first_of("(="));
    size_t eq = step.find('=');
    int expected = eq == std::string::npos ? -1 : std::atoi(step.c_str() + eq + 1);
    if (!e.module) {
        ok(false, "%s: %s after FreeLibrary\n", context, step.c_str());
        return false;
    } else if (name == "InitDS") {
        int result = e.InitDS();
        ok(result == expected, "%s: InitDS() returned %d, expected %d\n", context, result, expected);
    } else if (name == "ReleaseDS") {
        e.ReleaseDS();
    } else if (name == "SetDSVolume") {
        int volume = static_cast<int>(std::strtoll(step.c_str() + name.size() + 1, nullptr, 10));
        int result = e.SetDSVolume(volume);
        ok(result == expected, "%s: SetDSVolume(%d) returned %d, expected %d\n", context, volume,
           result, expected);
    } else if (name == "MuteDS" || name == "UnmuteDS") {
        bool result = name == "MuteDS" ? e.MuteDS() : e.UnmuteDS();
        ok(result == (expected != 0), "%s: %s() returned %d, expected %d\n", context, name.c_str(),
           result, expected);
    } else {
        ok(false, "%s: unknown step %s\n", context, step.c_str());
        return false;
    }
    return true;
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
