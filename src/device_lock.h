// The lock that lets any thread call any export: overlapping calls take turns.
#pragma once

// Waits for the device state to be free and takes it.
void LockDS();
// Takes the device state only if it is free at once; true if taken.
bool TryLockDS();
// Hands the device state to the next caller.
void UnlockDS();
