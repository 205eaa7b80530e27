// The library's entry routine: full level back at unload, then the device handed off.
#include "device_lock.h"
#include "device_release.h"
#include "device_state.h"
#include "master_volume.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason != DLL_PROCESS_DETACH)
        return TRUE;

    // Never wait for the lock here.  DllMain holds the loader lock, which a thread
    // inside an export may be waiting for (opening the device loads modules); and
    // when the process ends, its other threads were stopped wherever they were,
    // perhaps holding the lock or waiting in line for it.  A lock that is not free
    // at once therefore means a call still under way, or one cut short: the device
    // state is not this routine's to touch, and the device is left to the process.
    // (At FreeLibrary that is the host's fault; at the end of the process it is not,
    // and the process must still end.)
    // Taken for good: the library is leaving, and no call may follow.
    static DSLockTurn unloading;
    if (!TryLockDS(&unloading))
        return TRUE;

    // The host's last-error value is its own: the unload leaves it as it was.
    DWORD lastError = GetLastError();

    // Full level back before the host gets control again.
    if (g_dsReady && g_dsDevice)
        ApplyDSVolume(DSBVOLUME_MAX);

    IDirectSound8* device = g_dsDevice;
    g_dsDevice = nullptr;
    g_dsReady = false;

    // A null reserved pointer means FreeLibrary.  When the process is ending its
    // other threads are already stopped, and waiting on them would hang the exit;
    // the ending process reclaims the device.
    if (!reserved)
        HandOffDSRelease(device);
    SetLastError(lastError);
    return TRUE;
}
