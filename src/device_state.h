// The library's one DirectSound 8 device, opened on demand.
#pragma once

#include <windows.h>
#include <dsound.h>

// Holds one reference of its own while not null.
extern IDirectSound8* g_dsDevice;
// True only after the device was created and its cooperative level set.
extern bool g_dsReady;

// Opens the device unless it is already open; true if it is open afterwards.
bool EnsureDS();

// Leaves the platform result that decided a call for the host's GetLastError():
// the HRESULT of a failure, 0 after a success.  True for a success.  Called last,
// after every other platform call, which may change the value as it likes.
bool ReportDSResult(HRESULT hr);
