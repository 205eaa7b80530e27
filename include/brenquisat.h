/*
 * Brenquisat: the master level of a host's DirectSound output.
 *
 * Volumes are in hundredths of a decibel: 0 is full level, -10000 is silence.
 * Values outside that range are passed on unchanged; the platform refuses them
 * and the call reports 0 / false.  The device opens on the first call that needs
 * it and stays open until ReleaseDS or unload; unloading the library with the
 * device open sets full level back.  On Wine, call ReleaseDS before FreeLibrary or
 * before the process ends when you can: a process that ends with a DirectSound
 * device open can fail in Wine's exit, and the library leaves its device to the
 * process at unload there (releasing it then crashed hosts that opened their
 * own device right after).
 *
 * Why a call failed: after InitDS, SetDSVolume, MuteDS, UnmuteDS or GetDSVolume
 * returns 0 or false, GetLastError() on the same thread returns the DirectSound
 * HRESULT that decided it (DSERR_NODRIVER, on Wine 8 DSERR_INVALIDPARAM: no
 * playback device; DSERR_CONTROLUNAVAIL: the process's primary buffer was made
 * without DSBCAPS_CTRLVOLUME; DSERR_INVALIDPARAM from a volume call: a volume
 * outside -10000..0, or from GetDSVolume a null pointer); after a success it
 * returns 0.
 * ReleaseDS and unloading leave it as it was.
 *
 * Any thread may call any export at any time: overlapping calls take turns, in
 * the order they came, and each gets the result it would get if the calls had
 * been made one after another; a caller waiting its turn is blocked, using no
 * processor.  GetLastError() stays per thread.  Do not call FreeLibrary while
 * another thread may still be inside an export.
 */
#ifndef BRENQUISAT_H
#define BRENQUISAT_H

#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef BRENQUISAT_BUILD
#define BRENQUISAT_API
#else
#define BRENQUISAT_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the default playback device; 1 if it is open, 0 if opening failed. */
BRENQUISAT_API int __cdecl InitDS(void);

/* Closes the device without touching the level. */
BRENQUISAT_API void __cdecl ReleaseDS(void);

/* Sets the master level; 1 if the platform accepted it, 0 otherwise. */
BRENQUISAT_API int __cdecl SetDSVolume(int volume);

/* Sets -10000 (silence); true if accepted.  Only the low byte of the result is defined. */
BRENQUISAT_API bool __cdecl MuteDS(void);

/* Sets 0 (full level), whatever was set before MuteDS; true if accepted. */
BRENQUISAT_API bool __cdecl UnmuteDS(void);

/* Reads the master level into *volume: 1, or 0 (leaving *volume as it was) if it
 * could not be read.  A level this library set reads back exactly as it was set,
 * as long as nothing else has changed it since; any other level reads as the
 * platform reports it (on Wine, low levels come back rounded).  Opens the device
 * when it is closed; changes nothing else. */
BRENQUISAT_API int __cdecl GetDSVolume(int* volume);

#ifdef __cplusplus
}
#endif

#endif /* BRENQUISAT_H */
