#include "master_volume.h"

#include "brenquisat.h"
#include "device_lock.h"
#include "device_state.h"

// The DirectSound 7+ buffer description: 36 bytes on x86, 40 on x86-64, where
// the format pointer is 8 bytes wide and aligned.
static_assert(sizeof(DSBUFFERDESC) == (sizeof(void*) == 4 ? 36 : 40),
              "the DirectSound 7+ buffer description");

// The last level this library set, and what the platform reported for it right
// after.  Wine keeps the level as a 16-bit gain, so its GetVolume gives low
// levels back changed (-7000 reads -7006, -9000 reads -9599); while it still
// reports what it reported then, nothing has changed the level since (or changed
// it to one the platform cannot tell from ours), and the level set is the answer.
static bool g_dsLevelKnown = false;
static LONG g_dsLevelSet = 0;
static LONG g_dsLevelReported = 0;

// On a shared device (Wine's) the primary buffer may be the host's, playing:
// stopping it would stop the host's sound.  Any other answer plays as usual.
static bool AlreadyPlaying(IDirectSoundBuffer* primary)
{
    DWORD status = 0;
    return primary->GetStatus(&status) == DS_OK && (status & DSBSTATUS_PLAYING);
}

// A new reference to the device's primary buffer, opening the device first when
// it is closed; null, with the reason reported, when either fails.
static IDirectSoundBuffer* CreatePrimaryBuffer()
{
    if (!g_dsReady && !EnsureDS())
        return nullptr;
    if (!g_dsDevice) {
        ReportDSResult(DSERR_UNINITIALIZED);
        return nullptr;
    }

    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    // Without CTRLVOLUME the primary buffer refuses every SetVolume and GetVolume.
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME;
    desc.guid3DAlgorithm = GUID_NULL;

    IDirectSoundBuffer* buffer = nullptr;
    HRESULT hr = g_dsDevice->CreateSoundBuffer(&desc, &buffer, nullptr);
    if (SUCCEEDED(hr) && buffer)
        return buffer;
    ReportDSResult(FAILED(hr) ? hr : DSERR_GENERIC);
    return nullptr;
}

static void RememberLevel(IDirectSoundBuffer* primary, LONG volume)
{
    LONG reported = 0;
    g_dsLevelKnown = SUCCEEDED(primary->GetVolume(&reported));
    g_dsLevelSet = volume;
    g_dsLevelReported = reported;
}

bool ApplyDSVolume(LONG volume)
{
    IDirectSoundBuffer* buffer = CreatePrimaryBuffer();
    if (!buffer)
        return false;

    HRESULT hr = buffer->SetVolume(volume);
    if (SUCCEEDED(hr))
        RememberLevel(buffer, volume);
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

static bool ReadDSVolume(LONG* volume)
{
    IDirectSoundBuffer* buffer = CreatePrimaryBuffer();
    if (!buffer)
        return false;

    LONG reported = 0;
    HRESULT hr = buffer->GetVolume(&reported);
    buffer->Release();
    if (SUCCEEDED(hr))
        *volume = g_dsLevelKnown && reported == g_dsLevelReported ? g_dsLevelSet : reported;
    return ReportDSResult(hr);
}

static bool ApplyDSVolumeLocked(LONG volume)
{
    DSLockTurn turn;
    LockDS(&turn);
    bool accepted = ApplyDSVolume(volume);
    UnlockDS(&turn);
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

extern "C" int __cdecl GetDSVolume(int* volume)
{
    if (!volume) {
        ReportDSResult(DSERR_INVALIDPARAM);
        return 0;
    }
    DSLockTurn turn;
    LockDS(&turn);
    LONG level = 0;
    bool read = ReadDSVolume(&level);
    UnlockDS(&turn);
    if (read)
        *volume = level;
    return read ? 1 : 0;
}
