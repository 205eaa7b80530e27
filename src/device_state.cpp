#include "device_state.h"

#include "brenquisat.h"
#include "device_release.h"

IDirectSound8* g_dsDevice = nullptr;
bool g_dsReady = false;

bool EnsureDS()
{
    if (g_dsReady)
        return true;

    // The platform may hand a device still being released to this open.
    WaitForPendingDSRelease();
    HRESULT hr = DirectSoundCreate8(nullptr, &g_dsDevice, nullptr);
    if (FAILED(hr)) {
        g_dsDevice = nullptr;
        return false;
    }

    hr = g_dsDevice->SetCooperativeLevel(GetDesktopWindow(), DSSCL_NORMAL);
    if (SUCCEEDED(hr)) {
        g_dsReady = true;
        return true;
    }

    ReleaseDS();
    return false;
}

extern "C" int __cdecl InitDS(void)
{
    return EnsureDS() ? 1 : 0;
}

extern "C" void __cdecl ReleaseDS(void)
{
    if (g_dsDevice) {
        g_dsDevice->Release();
        g_dsDevice = nullptr;
    }
    g_dsReady = false;
}
