#include "library_entry.h"

#include "device_state.h"
#include "master_volume.h"

// The release handed to a thread at unload outlives this instance of the library,
// and an instance loaded next must not open a device while it runs: Wine's
// DirectSound hands a device in its final release to a new open, then frees it
// under the new owner.  So the thread's handle is left with the process in a
// small named mapping, private to the process by the id in its name, that the
// next instance's first open finds, waits on and closes.  It also holds the
// mapping's own handle, which keeps it alive between the two instances.
namespace {

const DWORD kPendingReleaseWaitMs = 2000;

struct PendingRelease {
    HANDLE mapping;
    HANDLE thread;
};

void PendingReleaseName(wchar_t (&name)[64])
{
    wsprintfW(name, L"Local\\Brenquisat-pending-release-%lu", GetCurrentProcessId());
}

// Never waits: an unload must not.  When the record cannot be made, the thread
// runs unannounced, as it would without one.
void PublishPendingRelease(HANDLE thread)
{
    wchar_t name[64];
    PendingReleaseName(name);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(PendingRelease), name);
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(PendingRelease)) : nullptr;
    if (!view) {
        if (mapping)
            CloseHandle(mapping);
        CloseHandle(thread);
        return;
    }
    auto* pending = static_cast<PendingRelease*>(view);
    // Only two copies of the library loaded side by side leave a record that no
    // open has taken yet; the newer release is the one still likely to run.
    if (existed) {
        CloseHandle(mapping);
        CloseHandle(pending->thread);
    } else {
        pending->mapping = mapping;
    }
    pending->thread = thread;
    UnmapViewOfFile(view);
}

// The device's final Release waits for the audio service's worker thread to end,
// and that thread cannot end while the loader lock is held, as it is for the whole
// of DllMain.  So the release runs on a thread of its own whose start routine is
// the device's Release method itself: a COM method has exactly the shape of a
// thread routine (one pointer argument; stdcall on x86, and x86-64 has only one
// calling convention).  The thread starts once the loader lock is free, by which
// time this library may be gone; pinning the module that holds Release keeps
// every instruction it runs in place.
void ReleaseOffLoaderLock(IDirectSound8* device)
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
        PublishPendingRelease(thread);
}

} // namespace

void WaitForPendingDSRelease()
{
    wchar_t name[64];
    PendingReleaseName(name);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, name);
    if (!mapping)
        return;  // No release pending: the usual case.

    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(PendingRelease))) {
        auto* pending = static_cast<PendingRelease*>(view);
        if (pending->thread) {
            // Bounded: past it, the open goes on as it would without the record.
            WaitForSingleObject(pending->thread, kPendingReleaseWaitMs);
            CloseHandle(pending->thread);
            pending->thread = nullptr;
        }
        if (pending->mapping) {
            CloseHandle(pending->mapping);
            pending->mapping = nullptr;
        }
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);  // The last handle: the record is gone.
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
