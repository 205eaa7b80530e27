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

// Bytes of private memory committed in the process's own address space, as
// VirtualQuery sees it.  Under an emulator this is what stands for the program:
// PrivateBytes then counts the emulator's own memory too, which grows with the
// translations of code mapped anew (57 KB for each load and unload of a DLL
// under qemu-user 10, where 0.1 KB natively).
inline long long CommittedPrivateBytes()
{
    long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* at = nullptr; VirtualQuery(at, &region, sizeof(region)) == sizeof(region);) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += static_cast<long long>(region.RegionSize);
        char* next = static_cast<char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return total;
}

// True where wine-run said the program runs through an emulator (qemu-user).
inline bool Emulated()
{
    return GetEnvironmentVariableA("BRENQUISAT_EMULATOR", nullptr, 0) > 0;
}
