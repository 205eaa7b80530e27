// Host threads that call SetDSVolume in a loop for a while, and what that cost
// the process in processor time: the measure of how callers wait their turn.
#pragma once

#include "brenquisat_exports.h"

#include <windows.h>

#include <vector>

struct ThreadCalls {
    long calls;
    long failures;
    double cpuSeconds;   // the whole process's, user and kernel
    double wallSeconds;
};

struct ThreadCallsRun {
    const BrenquisatExports* e;
    DWORD until;  // GetTickCount() at which the threads stop
    volatile LONG calls;
    volatile LONG failures;
};

inline DWORD WINAPI CallVolumeUntil(void* param)
{
    auto* run = static_cast<ThreadCallsRun*>(param);
    for (int i = 0; static_cast<LONG>(GetTickCount() - run->until) < 0; ++i) {
        if (run->e->SetDSVolume(-2500 - i % 2) != 1)
            InterlockedIncrement(&run->failures);
        InterlockedIncrement(&run->calls);
    }
    return 0;
}

inline double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    auto seconds = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// Calls from the given number of threads for the given time; the device should
// be open already, so that no call pays for opening it.
inline ThreadCalls CallFromThreads(const BrenquisatExports& e, int threadCount, DWORD milliseconds)
{
    ThreadCallsRun run = {&e, GetTickCount() + milliseconds, 0, 0};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double cpuBefore = ProcessCpuSeconds();
    QueryPerformanceCounter(&start);
    std::vector<HANDLE> threads;
    for (int i = 0; i < threadCount; ++i)
        if (HANDLE thread = CreateThread(nullptr, 0, CallVolumeUntil, &run, 0, nullptr))
            threads.push_back(thread);
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    QueryPerformanceCounter(&end);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    return {run.calls, run.failures, ProcessCpuSeconds() - cpuBefore,
            static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart};
}
