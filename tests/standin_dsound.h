// Control interface of the stand-in dsound.dll that the tests load in place of the
// platform's: it records every call it receives and fails the steps it is told to.
#pragma once

#ifdef STANDIN_BUILD
#define STANDIN_API extern "C" __declspec(dllexport)
#else
#define STANDIN_API extern "C" __declspec(dllimport)
#endif

// Forgets the log, the objects and the release delay, and sets the steps to
// fail, a comma-separated list of create, coop, compact, buffer, volume, read
// (GetVolume), status, play, stop (empty for none), and the states of a device
// shared with a host: priority (the host raised the level to PRIORITY), playing
// (the host plays the primary buffer), lossy (levels below -2000 read back 5
// lower, as Wine rounds them).  The output's level goes back to 0.
STANDIN_API void __cdecl StandinReset(const char* faults);
// Changes the steps to fail and the states, keeping the log and the objects.
STANDIN_API void __cdecl StandinSetFaults(const char* faults);
// Sets the output's level behind the library's back, as the host's own primary
// buffer would.
STANDIN_API void __cdecl StandinSetLevel(long level);
// Makes the final Release of each device created from now on take this long.
STANDIN_API void __cdecl StandinSetReleaseDelay(unsigned milliseconds);
// One line per call, "Interface::Method(arguments) = result".  Misuse of an
// object (a call after its last release) shows as a line starting with "!".
STANDIN_API const char* __cdecl StandinLog(void);
// Objects with references still held.
STANDIN_API int __cdecl StandinLiveObjects(void);
