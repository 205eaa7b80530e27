// The calling process's thread and handle counts and private memory, for leak
// checks.
#pragma once

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

inline int ThreadCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// Wine's GetProcessHandleCount reports 0, and Wine 8's server crashes when its
// system handle table is read while another process starts, so the handle
// values themselves are probed.  Both Windows and Wine hand out the lowest free
// multiple of 4; a long run of unused values means the end of the table.
inline int HandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0)
        return static_cast<int>(count);

    int own = 0;
    DWORD flags;
    for (ULONG_PTR value = 4, unused = 0; unused < 1024; value += 4) {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++own;
            unused = 0;
        } else {
            ++unused;
        }
    }
    return own;
}

// After FreeLibrary the device may be released on a thread that ends a moment later:
// waits, at most 5 s, for the thread count to fall back to an expected value.
inline int ThreadCountSettledAt(int expected)
{
    int count = ThreadCount();
    for (int i = 0; i < 500 && count > expected; ++i) {
        Sleep(10);
        count = ThreadCount();
    }
    return count;
}

// Bytes of memory private to the process: its commit charge (on Wine, its
// anonymous resident pages and swap; Wine 8 leaves PrivateUsage at 0).
inline long long PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return -1;
    return static_cast<long long>(counters.PagefileUsage);
}
