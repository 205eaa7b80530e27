// The library's one DirectSound 8 device, opened on demand.
#pragma once

#include <windows.h>
#include <dsound.h>

// Holds one reference of its own while not null.
extern IDirectSound8* g_dsDevice;
// True only after the device was created and its cooperative level set.
extern bool g_dsReady;

// Both below, and everything that reads or changes the device state, run with
// the lock of device_lock.h held: the exports take it.

// Opens the device unless it is already open; true if it is open afterwards.
bool EnsureDS();

// Releases the device, if any, and marks the state closed.
void CloseDS();

// Leaves the platform result that decided a call for the host's GetLastError():
// the HRESULT of a failure, 0 after a success.  True for a success.  Called last,
// after every other platform call, which may change the value as it likes.
bool ReportDSResult(HRESULT hr);
