// Setting the level of the device's primary buffer.
#pragma once

#include <windows.h>

// Applies a volume in hundredths of a decibel, unchanged, opening the device if
// needed; true if the primary buffer accepted it.  Called with the lock held.
bool ApplyDSVolume(LONG volume);
