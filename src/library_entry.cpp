#include "device_state.h"
#include "master_volume.h"

// The device's final Release waits for the audio service's worker thread to end,
// and that thread cannot end while the loader lock is held, as it is for the whole
// of DllMain.  So the release runs on a thread of its own whose start routine is
// the device's Release method itself: a COM method has exactly the shape of a
// thread routine (one pointer argument; stdcall on x86, and x86-64 has only one
// calling convention).  The thread starts
// once the loader lock is free, by which time this library may be gone; pinning
// the module that holds Release keeps every instruction it runs in place.
static void ReleaseOffLoaderLock(IDirectSound8* device)
{
    // IUnknown::Release is the third slot of every COM interface's table.
    void* release = (*reinterpret_cast<void***>(device))[2];
    HMODULE platform = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            static_cast<LPCWSTR>(release), &platform))
        return;  // Left to the process: a leak, never a hang or a crash.

    HANDLE thread = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(release),
                                 device, 0, nullptr);
    if (thread)
        CloseHandle(thread);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason != DLL_PROCESS_DETACH)
        return TRUE;

    // Full level back before the host gets control again.
    if (g_dsReady && g_dsDevice)
        ApplyDSVolume(DSBVOLUME_MAX);

    IDirectSound8* device = g_dsDevice;
    g_dsDevice = nullptr;
    g_dsReady = false;

    // A null reserved pointer means FreeLibrary.  When the process is ending its
    // other threads are already stopped, and waiting on them would hang the exit;
    // the ending process reclaims the device.
    if (device && !reserved)
        ReleaseOffLoaderLock(device);
    return TRUE;
}
