#include "master_volume.h"

#include "brenquisat.h"
#include "device_lock.h"
#include "device_state.h"

// The DirectSound 7+ buffer description: 36 bytes on x86, 40 on x86-64, where
// the format pointer is 8 bytes wide and aligned.
static_assert(sizeof(DSBUFFERDESC) == (sizeof(void*) == 4 ? 36 : 40),
              "the DirectSound 7+ buffer description");

// On a shared device (Wine's) the primary buffer may be the host's, playing:
// stopping it would stop the host's sound.  Any other answer plays as usual.
static bool AlreadyPlaying(IDirectSoundBuffer* primary)
{
    DWORD status = 0;
    return primary->GetStatus(&status) == DS_OK && (status & DSBSTATUS_PLAYING);
}

bool ApplyDSVolume(LONG volume)
{
    if (!g_dsReady && !EnsureDS())
        return false;
    if (!g_dsDevice)
        return ReportDSResult(DSERR_UNINITIALIZED);

    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    // Without CTRLVOLUME the primary buffer refuses every SetVolume.
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME;
    desc.guid3DAlgorithm = GUID_NULL;

    IDirectSoundBuffer* buffer = nullptr;
    HRESULT hr = g_dsDevice->CreateSoundBuffer(&desc, &buffer, nullptr);
    if (FAILED(hr) || !buffer)
        return ReportDSResult(FAILED(hr) ? hr : DSERR_GENERIC);

    hr = buffer->SetVolume(volume);
    if (SUCCEEDED(hr) && !AlreadyPlaying(buffer)) {
        // Playing for a moment lets the new level take effect on the output;
        // these results do not decide the call.
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        Sleep(1);
        buffer->Stop();
    }
    buffer->Release();
    return ReportDSResult(hr);
}

static bool ApplyDSVolumeLocked(LONG volume)
{
    LockDS();
    bool accepted = ApplyDSVolume(volume);
    UnlockDS();
    return accepted;
}

extern "C" int __cdecl SetDSVolume(int volume)
{
    return ApplyDSVolumeLocked(volume) ? 1 : 0;
}

extern "C" bool __cdecl MuteDS(void)
{
    return ApplyDSVolumeLocked(DSBVOLUME_MIN);
}

extern "C" bool __cdecl UnmuteDS(void)
{
    return ApplyDSVolumeLocked(DSBVOLUME_MAX);
}
