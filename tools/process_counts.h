// The calling process's thread and handle counts, for leak checks.
#pragma once

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

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

// Wine's GetProcessHandleCount reports 0; the system's handle table, which both
// Windows and Wine fill, then gives the count.  Needs ntdll.
inline int HandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0)
        return static_cast<int>(count);

    struct Entry {
        ULONG ownerPid;
        BYTE objectType, flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    const auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    const NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
    std::vector<char> table(1 << 16);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, table.data(),
                                              static_cast<ULONG>(table.size()), nullptr)) ==
           kInfoLengthMismatch)
        table.resize(table.size() * 2);
    if (status < 0)
        return -1;
    ULONG entries = *reinterpret_cast<ULONG*>(table.data());
    const Entry* entry = reinterpret_cast<const Entry*>(table.data() + sizeof(PVOID));
    int own = 0;
    for (ULONG i = 0; i < entries; ++i)
        own += entry[i].ownerPid == GetCurrentProcessId();
    return own;
}

// After FreeLibrary the device is released on a thread that ends a moment later:
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
