#include "master_volume.h"

#include "brenquisat.h"
#include "device_state.h"

static_assert(sizeof(DSBUFFERDESC) == 36, "the DirectSound 7+ buffer description");

bool ApplyDSVolume(LONG volume)
{
    if (!g_dsReady && !EnsureDS())
        return false;
    if (!g_dsDevice)
        return false;

    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    // Without CTRLVOLUME the primary buffer refuses every SetVolume.
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME;
    desc.guid3DAlgorithm = GUID_NULL;

    IDirectSoundBuffer* buffer = nullptr;
    HRESULT hr = g_dsDevice->CreateSoundBuffer(&desc, &buffer, nullptr);
    if (FAILED(hr) || !buffer)
        return false;

    hr = buffer->SetVolume(volume);
    if (SUCCEEDED(hr)) {
        // Playing for a moment lets the new level take effect on the output;
        // these results do not decide the call.
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        Sleep(1);
        buffer->Stop();
    }
    buffer->Release();
    return SUCCEEDED(hr);
}

extern "C" int __cdecl SetDSVolume(int volume)
{
    return ApplyDSVolume(volume) ? 1 : 0;
}

extern "C" bool __cdecl MuteDS(void)
{
    return ApplyDSVolume(DSBVOLUME_MIN);
}

extern "C" bool __cdecl UnmuteDS(void)
{
    return ApplyDSVolume(DSBVOLUME_MAX);
}
