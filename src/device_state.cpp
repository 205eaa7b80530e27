#include "device_state.h"

#include "brenquisat.h"
#include "device_lock.h"

IDirectSound8* g_dsDevice = nullptr;
bool g_dsReady = false;

bool ReportDSResult(HRESULT hr)
{
    SetLastError(FAILED(hr) ? static_cast<DWORD>(hr) : ERROR_SUCCESS);
    return SUCCEEDED(hr);
}

bool EnsureDS()
{
    if (g_dsReady)
        return ReportDSResult(DS_OK);

    HRESULT hr = DirectSoundCreate8(nullptr, &g_dsDevice, nullptr);
    if (FAILED(hr)) {
        g_dsDevice = nullptr;
        return ReportDSResult(hr);
    }

    // Where every DirectSound object of a process shares one device (Wine's), a
    // host may have raised the level already: NORMAL would lower it, and the
    // host's own calls that need the higher level would fail, or its sound stop.
    // Compact succeeds only at PRIORITY or higher, which a new object can have
    // only on a shared device; any other answer sets the level as usual.
    if (g_dsDevice->Compact() != DS_OK)
        hr = g_dsDevice->SetCooperativeLevel(GetDesktopWindow(), DSSCL_NORMAL);
    if (SUCCEEDED(hr))
        g_dsReady = true;
    else
        CloseDS();
    return ReportDSResult(hr);
}

void CloseDS()
{
    if (g_dsDevice) {
        // No result to explain: the host's last-error value stays as it was.
        DWORD lastError = GetLastError();
        g_dsDevice->Release();
        g_dsDevice = nullptr;
        SetLastError(lastError);
    }
    g_dsReady = false;
}

extern "C" int __cdecl InitDS(void)
{
    DSLockTurn turn;
    LockDS(&turn);
    bool open = EnsureDS();
    UnlockDS(&turn);
    return open ? 1 : 0;
}

extern "C" void __cdecl ReleaseDS(void)
{
    DSLockTurn turn;
    LockDS(&turn);
    CloseDS();
    UnlockDS(&turn);
}
