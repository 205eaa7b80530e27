#include "device_release.h"

// The device's final Release waits for the audio service's worker thread to end,
// and that thread cannot end while the loader lock is held, as it is for the
// whole of DllMain; so at FreeLibrary the release runs on a thread of its own.
// That thread outlives this copy of the library, and a copy loaded next must not
// open a device while it runs: Wine's DirectSound hands a device in its final
// release to a new open, then frees it under the new owner.  The unloaded copy
// tells the next one through a small named mapping, private to the process by
// the id in its name.
//
// Any process of the same user can create or write that object, so it holds ids
// only, and each is checked before use: a thread is waited on only if it belongs
// to this process and was created at the recorded time, and nothing read from
// the record is ever closed or used as a handle.
namespace {

const DWORD kPendingReleaseWaitMs = 2000;

struct PendingRelease {
    volatile LONG threadId;  // 0 when the slot is free; written last
    DWORD unused;
    ULONGLONG createdAt;     // the thread's creation time, as GetThreadTimes gives it
};

struct ReleaseRecord {
    DWORD processId;
    DWORD unused;
    // Copies of the library loaded side by side may all be unloaded before the
    // next open: one slot each, up to a few.
    PendingRelease pending[4];
};

// This copy's view of the record: mapped before its first open, written and
// let go at FreeLibrary.
ReleaseRecord* g_dsReleaseRecord = nullptr;

// A record written for another process, or not by the library at all, is
// started afresh.
void ClaimRecord(ReleaseRecord* record)
{
    if (record->processId == GetCurrentProcessId())
        return;
    for (PendingRelease& pending : record->pending) {
        pending.threadId = 0;
        pending.createdAt = 0;
    }
    record->processId = GetCurrentProcessId();
}

ReleaseRecord* MapReleaseRecord()
{
    if (g_dsReleaseRecord)
        return g_dsReleaseRecord;

    wchar_t name[64];
    wsprintfW(name, L"Local\\Brenquisat-pending-release-%lu", GetCurrentProcessId());
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(ReleaseRecord), name);
    if (!mapping)
        return nullptr;  // The name is taken by another kind of object.
    bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    // A view is whole pages, so even a mapping made smaller than the record, if
    // the platform maps it at all, can be read and written in full.
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(ReleaseRecord));
    // The copy that creates the record keeps this one handle for the life of the
    // process, so the record outlives every copy of the library; the others hold
    // it through their view while they are loaded.
    if (!created || !view)
        CloseHandle(mapping);
    if (!view)
        return nullptr;

    g_dsReleaseRecord = static_cast<ReleaseRecord*>(view);
    ClaimRecord(g_dsReleaseRecord);
    return g_dsReleaseRecord;
}

ULONGLONG CreationTime(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    return (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The thread a record names, opened to be waited on, if it is another thread
// of this process created at the recorded time; otherwise null.
HANDLE OpenRecordedThread(DWORD threadId, ULONGLONG createdAt)
{
    if (createdAt == 0 || threadId == GetCurrentThreadId())
        return nullptr;
    HANDLE thread = OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId);
    if (!thread)
        return nullptr;  // Ended: nothing to wait for.
    if (GetProcessIdOfThread(thread) == GetCurrentProcessId() && CreationTime(thread) == createdAt)
        return thread;
    CloseHandle(thread);
    return nullptr;
}

void RecordPendingRelease(DWORD threadId, HANDLE thread)
{
    ReleaseRecord* record = g_dsReleaseRecord;
    ULONGLONG createdAt = CreationTime(thread);
    if (!record || !createdAt)
        return;  // The release runs unannounced, as it would without a record.

    ClaimRecord(record);
    // A free slot, or else the one whose release started first.
    PendingRelease* slot = &record->pending[0];
    for (PendingRelease& pending : record->pending) {
        if (!pending.threadId) {
            slot = &pending;
            break;
        }
        if (pending.createdAt < slot->createdAt)
            slot = &pending;
    }
    slot->createdAt = createdAt;
    InterlockedExchange(&slot->threadId, static_cast<LONG>(threadId));
}

// Starts a thread whose start routine is the device's Release method itself: a
// COM method has exactly the shape of a thread routine (one pointer argument;
// stdcall on x86, and x86-64 has only one calling convention).  The thread
// starts once the loader lock is free, by which time this library may be gone;
// pinning the module that holds Release keeps every instruction it runs in
// place.  Null when it cannot: the device is then left to the process, a leak
// but never a hang or a crash.
HANDLE StartReleaseThread(IDirectSound8* device, DWORD* threadId)
{
    // IUnknown::Release is the third slot of every COM interface's table.
    void* release = (*reinterpret_cast<void***>(device))[2];
    HMODULE platform = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            static_cast<LPCWSTR>(release), &platform))
        return nullptr;
    return CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(release), device, 0,
                        threadId);
}

} // namespace

void WaitForPendingDSRelease()
{
    ReleaseRecord* record = MapReleaseRecord();
    if (!record)
        return;

    // One bound for all: past it, the open goes on as it would without the record.
    DWORD start = GetTickCount();
    for (PendingRelease& pending : record->pending) {
        LONG threadId = pending.threadId;
        if (!threadId)
            continue;
        if (HANDLE thread = OpenRecordedThread(static_cast<DWORD>(threadId), pending.createdAt)) {
            DWORD elapsed = GetTickCount() - start;
            WaitForSingleObject(thread, elapsed < kPendingReleaseWaitMs ? kPendingReleaseWaitMs - elapsed : 0);
            CloseHandle(thread);
        }
        // Over, waited for as long as the bound allows, or never a release.
        InterlockedCompareExchange(&pending.threadId, 0, threadId);
    }
}

void HandOffDSRelease(IDirectSound8* device)
{
    DWORD threadId = 0;
    if (HANDLE thread = device ? StartReleaseThread(device, &threadId) : nullptr) {
        RecordPendingRelease(threadId, thread);
        CloseHandle(thread);
    }
    if (g_dsReleaseRecord) {
        UnmapViewOfFile(g_dsReleaseRecord);
        g_dsReleaseRecord = nullptr;
    }
}
