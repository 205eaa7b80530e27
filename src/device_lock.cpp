#include "device_lock.h"

// A queue lock (after Mellor-Crummey and Scott) rather than a CRITICAL_SECTION or
// an SRW lock: it needs no set-up that can fail, imports nothing Windows XP lacks,
// and serves callers in the order they came, so a host's UI thread is never
// starved by a thread that calls in a loop.
//
// Each caller brings its place in line, a DSLockTurn in its own frame, and joins
// the line by one atomic exchange on its tail; a caller that finds the lock free
// takes it with no system call at all.  One that finds it taken links its place
// behind the one before and waits, blocked, using no processor, until the caller
// before it hands over:
//   - on its granted flag with WaitOnAddress, where the system has it (Windows 8
//     and later, and Wine, where it is the cheap wait: an event's costs the
//     process four times the processor time there); the hand-over sets the flag
//     and wakes it with WakeByAddressSingle;
//   - else on an auto-reset event of its own, made for this wait and closed after
//     it, so no kernel object outlives a wait; the hand-over sets the event;
//   - and if that event cannot be made, by checking its flag once a millisecond:
//     slower, but still in turn.
// A caller that hands over and finds a newcomer that has joined the line but not
// yet linked its place (two adjacent instructions) yields until the link is
// there: it waits for those instructions only, never for a call.
static DSLockTurn* volatile g_dsLastTurn = nullptr;

// The Interlocked pointer functions take untyped slots.
static PVOID volatile* Slot(DSLockTurn* volatile* turn)
{
    return reinterpret_cast<PVOID volatile*>(turn);
}

typedef BOOL(WINAPI* WaitOnAddressFn)(volatile void*, void*, SIZE_T, DWORD);
typedef void(WINAPI* WakeByAddressFn)(void*);
static WaitOnAddressFn volatile g_dsWaitOnAddress = nullptr;
static WakeByAddressFn volatile g_dsWakeByAddress = nullptr;
static volatile LONG g_dsLookedUp = 0;

// Found on first contention, not at load: the same on every call, so a race
// between two threads writes the same values.  Wake first: once a waiter can
// wait on an address, whoever hands over to it can wake it.
static void LookUpWaitOnAddress()
{
    if (g_dsLookedUp)
        return;
    if (HMODULE system = GetModuleHandleW(L"kernelbase.dll")) {
        auto wake = reinterpret_cast<WakeByAddressFn>(
            reinterpret_cast<void*>(GetProcAddress(system, "WakeByAddressSingle")));
        auto wait = reinterpret_cast<WaitOnAddressFn>(
            reinterpret_cast<void*>(GetProcAddress(system, "WaitOnAddress")));
        if (wake && wait) {
            g_dsWakeByAddress = wake;
            g_dsWaitOnAddress = wait;
        }
    }
    InterlockedExchange(&g_dsLookedUp, 1);
}

static bool Granted(DSLockTurn* turn)
{
    return InterlockedCompareExchange(&turn->granted, 0, 0) != 0;
}

static void WaitForTurn(DSLockTurn* turn)
{
    if (turn->wake) {
        WaitForSingleObject(turn->wake, INFINITE);
        CloseHandle(turn->wake);
    } else if (WaitOnAddressFn wait = g_dsWaitOnAddress) {
        LONG notYet = 0;
        while (!Granted(turn))
            wait(&turn->granted, &notYet, sizeof(notYet), INFINITE);
    } else {
        while (!Granted(turn))
            Sleep(1);
    }
}

bool TryLockDS(DSLockTurn* turn)
{
    turn->next = nullptr;
    turn->granted = 0;
    turn->wake = nullptr;
    return InterlockedCompareExchangePointer(Slot(&g_dsLastTurn), turn, nullptr) == nullptr;
}

void LockDS(DSLockTurn* turn)
{
    if (TryLockDS(turn))
        return;

    // The host's last-error value is its own: the wait leaves it as it was.
    DWORD lastError = GetLastError();
    LookUpWaitOnAddress();
    if (!g_dsWaitOnAddress)
        turn->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (auto* before = static_cast<DSLockTurn*>(InterlockedExchangePointer(Slot(&g_dsLastTurn), turn))) {
        InterlockedExchangePointer(Slot(&before->next), turn);
        WaitForTurn(turn);
    } else if (turn->wake) {
        CloseHandle(turn->wake);  // the lock came free meanwhile
    }
    SetLastError(lastError);
}

void UnlockDS(DSLockTurn* turn)
{
    DSLockTurn* next = turn->next;
    if (!next) {
        if (InterlockedCompareExchangePointer(Slot(&g_dsLastTurn), nullptr, turn) == turn)
            return;
        while (!(next = turn->next))
            SwitchToThread();
    }
    // Once its flag is set, the next caller may go on and its place be gone:
    // its event is read before, and only the flag's address is used after.
    DWORD lastError = GetLastError();
    if (HANDLE wake = next->wake) {
        SetEvent(wake);
    } else {
        volatile LONG* granted = &next->granted;
        InterlockedExchange(granted, 1);
        if (WakeByAddressFn wakeByAddress = g_dsWakeByAddress)
            wakeByAddress(const_cast<LONG*>(granted));
    }
    SetLastError(lastError);
}
