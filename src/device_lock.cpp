#include "device_lock.h"

#include <windows.h>

// A ticket lock of two counters rather than a CRITICAL_SECTION or an SRW lock:
// it needs no set-up that can fail, holds no kernel object while the library is
// idle, imports nothing Windows XP lacks, and serves callers in the order they
// came, so a host's UI thread is never starved by a thread that calls in a loop.
// A call holds it for a millisecond or two (the pause while the primary buffer
// plays, an open of the device): the caller next in line yields the processor
// until its turn (to any ready thread, so a holder of lower priority still runs),
// the others sleep.
static volatile LONG g_dsNextTicket = 0;
static volatile LONG g_dsNowServing = 0;

// The ticket after this one: the counters wrap around, and only equality counts.
static LONG After(LONG ticket)
{
    return static_cast<LONG>(static_cast<ULONG>(ticket) + 1);
}

void LockDS()
{
    LONG ticket = InterlockedExchangeAdd(&g_dsNextTicket, 1);
    for (;;) {
        LONG serving = InterlockedCompareExchange(&g_dsNowServing, 0, 0);
        if (serving == ticket)
            return;
        if (After(serving) == ticket)
            SwitchToThread();
        else
            Sleep(1);
    }
}

bool TryLockDS()
{
    LONG serving = InterlockedCompareExchange(&g_dsNowServing, 0, 0);
    return InterlockedCompareExchange(&g_dsNextTicket, After(serving), serving) == serving;
}

void UnlockDS()
{
    InterlockedIncrement(&g_dsNowServing);
}
