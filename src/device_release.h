// The device's final release, handed off at unload.
#pragma once

#include <windows.h>
#include <dsound.h>

// At FreeLibrary: releases the device (if any) on a thread of its own, off the
// loader lock; or, where the device is shared by the whole process (Wine's
// built-in DirectSound), leaves it to the process.  Never waits.
void HandOffDSRelease(IDirectSound8* device);
