#include "device_release.h"

// The device's final Release waits for the audio service's worker thread to end,
// and that thread cannot end while the loader lock is held, as it is for the
// whole of DllMain; so at FreeLibrary the release runs on a thread of its own.
//
// Wine's built-in DirectSound shares one device among all DirectSound objects of
// a process, and a final release there takes the device out of the process's
// list only after its worker thread has ended: an open in between, the host's
// own or a reloaded copy's, gets the dying device and is then freed under it.
// There the device is left to the process instead, as at process exit.  It is
// the host's device anyway, so no open ever needs this reference gone, and any
// later open joins a live device.
namespace {

// Wine marks its built-in modules with this text right after the DOS header,
// and its loader tells built-in from native by it.
const char kWineBuiltinSignature[] = "Wine builtin DLL";

// The module that implements the device: the one holding its Release method,
// the third slot of every COM interface's table.
void* ReleaseMethod(IDirectSound8* device)
{
    return (*reinterpret_cast<void***>(device))[2];
}

bool IsWineBuiltin(HMODULE module)
{
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
        dos->e_lfanew < static_cast<LONG>(sizeof(*dos) + sizeof(kWineBuiltinSignature)))
        return false;
    // Compared here, not with memcmp: the library has no C runtime.
    auto* text = reinterpret_cast<const char*>(dos + 1);
    for (size_t i = 0; i < sizeof(kWineBuiltinSignature); ++i)
        if (text[i] != kWineBuiltinSignature[i])
            return false;
    return true;
}

// Starts a thread whose start routine is the device's Release method itself: a
// COM method has exactly the shape of a thread routine (one pointer argument;
// stdcall on x86, and x86-64 has only one calling convention).  When it cannot,
// the device is left to the process: a leak but never a hang or a crash.
void StartReleaseThread(IDirectSound8* device)
{
    auto release = reinterpret_cast<LPTHREAD_START_ROUTINE>(ReleaseMethod(device));
    if (HANDLE thread = CreateThread(nullptr, 0, release, device, 0, nullptr))
        CloseHandle(thread);
}

} // namespace

void HandOffDSRelease(IDirectSound8* device)
{
    // Whether released on its thread, which starts once the loader lock is free
    // and this library may be gone, or left to the process with the platform's
    // worker thread running, the device's code must stay: the module that holds
    // it is pinned.  A device whose code is in no module is left alone.
    HMODULE platform = nullptr;
    if (device &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           static_cast<LPCWSTR>(ReleaseMethod(device)), &platform) &&
        !IsWineBuiltin(platform))
        StartReleaseThread(device);
}
