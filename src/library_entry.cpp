// The library's entry routine: full level back at unload, then the device handed off.
#include "device_release.h"
#include "device_state.h"
#include "master_volume.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason != DLL_PROCESS_DETACH)
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
