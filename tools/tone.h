// A steady test tone for hearing what the library does: a 1 kHz sine at
// -6 dBFS, looping in a DirectSound buffer of the host's own, and a clock that
// counts how much of it has played.
#pragma once

#include <windows.h>
#include <dsound.h>

#include <cmath>
#include <cstdio>

const DWORD kToneHz = 1000;
const double kToneAmplitude = 0.5;  // -6.02 dBFS peak

// Fills 16-bit PCM frames of the given format with the tone, every channel alike.
inline void FillTone(void* data, DWORD bytes, const WAVEFORMATEX& format)
{
    auto* samples = static_cast<short*>(data);
    DWORD frames = bytes / format.nBlockAlign;
    for (DWORD frame = 0; frame < frames; ++frame) {
        double phase = 2 * 3.14159265358979323846 * kToneHz * frame / format.nSamplesPerSec;
        short value = static_cast<short>(std::lround(32767 * kToneAmplitude * std::sin(phase)));
        for (WORD channel = 0; channel < format.nChannels; ++channel)
            *samples++ = value;
    }
}

inline bool FillToneBuffer(IDirectSoundBuffer* buffer, const WAVEFORMATEX& format)
{
    void* data = nullptr;
    DWORD bytes = 0;
    if (FAILED(buffer->Lock(0, 0, &data, &bytes, nullptr, nullptr, DSBLOCK_ENTIREBUFFER)))
        return false;
    FillTone(data, bytes, format);
    return SUCCEEDED(buffer->Unlock(data, bytes, nullptr, 0));
}

// How much of a looping buffer has played, from its play cursor.  That is the
// audio device's clock, which a device with no hardware behind it (ALSA's null
// device) runs faster than the wall clock.  Polled often enough that the cursor
// never moves on by half the buffer between two reads, so a cursor that seems to
// move on by more has stepped back: Wine's primary buffer cursor, which counts
// what the device has not played yet, jitters back over a null device.
struct ToneClock {
    IDirectSoundBuffer* buffer;
    DWORD bufferBytes;
    DWORD bytesPerSecond;
    DWORD cursor;
    ULONGLONG played;
};

inline bool StartToneClock(ToneClock* clock, IDirectSoundBuffer* buffer, const WAVEFORMATEX& format)
{
    DSBCAPS caps = {};
    caps.dwSize = sizeof(caps);
    if (FAILED(buffer->GetCaps(&caps)) || FAILED(buffer->GetCurrentPosition(&clock->cursor, nullptr)))
        return false;
    clock->buffer = buffer;
    clock->bufferBytes = caps.dwBufferBytes;
    clock->bytesPerSecond = format.nAvgBytesPerSec;
    clock->played = 0;
    return true;
}

inline double ToneSeconds(const ToneClock& clock)
{
    return static_cast<double>(clock.played) / clock.bytesPerSecond;
}

// Waits until milliseconds more of the tone have played; false if the play
// cursor stood still for 2 s of wall-clock time.
inline bool WaitForTone(ToneClock* clock, DWORD milliseconds)
{
    ULONGLONG until = clock->played + static_cast<ULONGLONG>(milliseconds) * clock->bytesPerSecond / 1000;
    DWORD stillSince = GetTickCount();
    while (clock->played < until) {
        Sleep(1);
        DWORD cursor;
        if (FAILED(clock->buffer->GetCurrentPosition(&cursor, nullptr)))
            return false;
        DWORD advance = (cursor + clock->bufferBytes - clock->cursor) % clock->bufferBytes;
        if (advance > clock->bufferBytes / 2)
            advance = 0;
        if (advance) {
            clock->cursor = cursor;
            clock->played += advance;
            stillSince = GetTickCount();
        } else if (GetTickCount() - stillSince > 2000) {
            return false;
        }
    }
    return true;
}

// Waits as WaitForTone and prints the span of the tone it covered, the line
// that scripts/heard-levels measures: "wait MS ms (tone A-B s)".
inline bool WaitForToneAndPrint(ToneClock* clock, DWORD milliseconds)
{
    double from = ToneSeconds(*clock);
    bool played = WaitForTone(clock, milliseconds);
    if (played)
        std::printf("wait %lu ms (tone %.3f-%.3f s)\n", milliseconds, from, ToneSeconds(*clock));
    else
        std::printf("wait %lu ms (tone stalled at %.3f s)\n", milliseconds, ToneSeconds(*clock));
    std::fflush(stdout);
    return played;
}

// The tone in a secondary buffer of one second, playing on the device given.
inline bool PlayTone(IDirectSound8* device, IDirectSoundBuffer** buffer, ToneClock* clock)
{
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, 48000, 96000, 2, 16, 0};
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
    desc.dwBufferBytes = format.nAvgBytesPerSec;
    desc.lpwfxFormat = &format;
    *buffer = nullptr;
    if (FAILED(device->CreateSoundBuffer(&desc, buffer, nullptr)))
        return false;
    if (FillToneBuffer(*buffer, format) && SUCCEEDED((*buffer)->Play(0, 0, DSBPLAY_LOOPING)) &&
        StartToneClock(clock, *buffer, format))
        return true;
    (*buffer)->Release();
    *buffer = nullptr;
    return false;
}
