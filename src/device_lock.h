// The lock that lets any thread call any export: overlapping calls take turns.
#pragma once

#include <windows.h>

// A caller's place in line, in the caller's own frame from LockDS to UnlockDS.
struct DSLockTurn {
    DSLockTurn* volatile next;  // the caller after this one, once it has linked its place
    volatile LONG granted;      // set by the caller before this one when this one's turn comes
    HANDLE wake;                // where there is no WaitOnAddress: an event set instead
};

// Waits for the device state to be free and takes it.
void LockDS(DSLockTurn* turn);
// Takes the device state only if it is free at once; true if taken.
bool TryLockDS(DSLockTurn* turn);
// Hands the device state to the next caller.
void UnlockDS(DSLockTurn* turn);
