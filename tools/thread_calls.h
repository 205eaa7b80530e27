// Host threads that call SetDSVolume in a loop for a while, and what that cost
// the process in processor time: the measure of how callers wait their turn.
#pragma once

#include "brenquisat_exports.h"

#include <windows.h>

#include <vector>

// Processor times, user and kernel, come in whole clock ticks: 10 ms on Wine
// (GetProcessTimes and GetThreadTimes alike; Wine 8 has no cycle counts), 15.6 ms
// on Windows.  A figure means something only when it is many ticks long.
struct ThreadCalls {
    long calls;
    long failures;
    double cpuSeconds;        // the whole process's
    double callerCpuSeconds;  // the calling threads' own, from their start to their end
    double wallSeconds;
};

struct ThreadCallsRun {
    const BrenquisatExports* e;
    DWORD until;  // GetTickCount() at which the threads stop
    volatile LONG calls;
    volatile LONG failures;
    volatile LONG callerCpu100ns;  // in 100 ns units, summed as each thread ends
};

inline ULONGLONG Units100ns(const FILETIME& t)
{
    return static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

inline DWORD WINAPI CallVolumeUntil(void* param)
{
    auto* run = static_cast<ThreadCallsRun*>(param);
    for (int i = 0; static_cast<LONG>(GetTickCount() - run->until) < 0; ++i) {
        if (run->e->SetDSVolume(-2500 - i % 2) != 1)
            InterlockedIncrement(&run->failures);
        InterlockedIncrement(&run->calls);
    }
    FILETIME created, exited, kernel, user;
    if (GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        InterlockedExchangeAdd(&run->callerCpu100ns, static_cast<LONG>(Units100ns(kernel) + Units100ns(user)));
    return 0;
}

inline double ProcessCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    return (Units100ns(kernel) + Units100ns(user)) / 1e7;
}

// Calls from the given number of threads for the given time; the device should
// be open already, so that no call pays for opening it.
inline ThreadCalls CallFromThreads(const BrenquisatExports& e, int threadCount, DWORD milliseconds)
{
    ThreadCallsRun run = {&e, GetTickCount() + milliseconds, 0, 0, 0};
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
    return {run.calls, run.failures, ProcessCpuSeconds() - cpuBefore, run.callerCpu100ns / 1e7,
            static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart};
}
