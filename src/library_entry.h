// The library's entry routine: full level back and the device released at unload.
#pragma once

// Waits, 2 s at most, for the device release that an instance of the library
// unloaded earlier from this process left running, and forgets it.  Called
// before every device open.
void WaitForPendingDSRelease();
