// The device's final release, handed off at unload, and the record through
// which a copy of the library loaded later waits for it.
#pragma once

#include <windows.h>
#include <dsound.h>

// Waits, 2 s at most in all, for the device releases that copies of the library
// unloaded earlier from this process left running.  Called before every device
// open.
void WaitForPendingDSRelease();

// At FreeLibrary: releases the device (if any) on a thread of its own, off the
// loader lock, and records that thread for the next open.  Never waits.
void HandOffDSRelease(IDirectSound8* device);
