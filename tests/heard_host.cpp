// Plays a tone through a DirectSound device of its own, set up as one kind of
// host does, and calls the library's exports on Wine's DirectSound, whose
// device the library shares with the host.  For each step it prints what the
// host should hear after it, then the span of the tone that followed:
//   SetDSVolume(-600)=1, expect -6 dB
//   wait 400 ms (tone 0.832-1.264 s)
// heard.sh measures each span in Wine's captured output.  The host's own checks
// (the step's result; the host's cooperative level and primary buffer left as
// they were) decide the exit code.
//   heard_host --list      the kinds of host, one a line
//   heard_host KIND        one kind of host
#include "check.h"
#include "tone.h"

namespace {

enum class HostPrimary {
    None,      // secondary buffers only
    Released,  // a primary buffer made to set the format, then released
    Playing,   // a primary buffer kept and played, as some hosts do to keep output running
    Written,   // DSSCL_WRITEPRIMARY: the tone is written into the primary buffer itself
};

struct Host {
    const char* kind;
    DWORD level;
    HostPrimary primary;
    DWORD primaryFlags;
    // Steps (an export call with its result, FreeLibrary, or HostVolume(N): the
    // host sets the level through its own primary buffer), each with what is heard
    // after it: a level in dB (volume / 100, as DirectSound defines it) or
    // silence.  GetDSVolume(host) expects the level the host's primary reports.
    const char* steps;
};

const Host kHosts[] = {
    {"normal", DSSCL_NORMAL, HostPrimary::None, 0,
     "InitDS=1:0 SetDSVolume(-600)=1:-6 SetDSVolume(-2000)=1:-20 MuteDS=1:silence UnmuteDS=1:0 "
     "SetDSVolume(-1200)=1:-12 SetDSVolume(1)=0/DSERR_INVALIDPARAM:-12 ReleaseDS:-12 "
     "GetDSVolume(-1200)=1:-12 MuteDS=1:silence FreeLibrary:0"},
    {"priority-primary-playing", DSSCL_PRIORITY, HostPrimary::Playing, DSBCAPS_CTRLVOLUME,
     "InitDS=1:0 SetDSVolume(-600)=1:-6 MuteDS=1:silence UnmuteDS=1:0 SetDSVolume(-1200)=1:-12 "
     "GetDSVolume(-1200)=1:-12 HostVolume(-2500):-25 GetDSVolume(host)=1:-25 ReleaseDS:-25 "
     "GetDSVolume(host)=1:-25 FreeLibrary:0"},
    // The platform hands every later primary buffer the host's flags: no volume control.
    {"priority-format-set", DSSCL_PRIORITY, HostPrimary::Released, 0,
     "InitDS=1:0 SetDSVolume(-600)=0/DSERR_CONTROLUNAVAIL:0 MuteDS=0/DSERR_CONTROLUNAVAIL:0 "
     "GetDSVolume=0/DSERR_CONTROLUNAVAIL:0 FreeLibrary:0"},
    {"writeprimary", DSSCL_WRITEPRIMARY, HostPrimary::Written, DSBCAPS_CTRLVOLUME,
     "InitDS=1:0 SetDSVolume(-600)=1:-6 MuteDS=1:silence UnmuteDS=1:0 SetDSVolume(-1200)=1:-12 "
     "HostVolume(-2500):-25 GetDSVolume(host)=1:-25 FreeLibrary:0"},
    {"writeprimary-no-volume", DSSCL_WRITEPRIMARY, HostPrimary::Written, 0,
     "InitDS=1:0 SetDSVolume(-600)=0/DSERR_CONTROLUNAVAIL:0 MuteDS=0/DSERR_CONTROLUNAVAIL:0 "
     "GetDSVolume=0/DSERR_CONTROLUNAVAIL:0 FreeLibrary:0"},
};

const DWORD kSpanMs = 400;

// The host's own device and what plays on it.
struct HostAudio {
    IDirectSound8* device;
    IDirectSoundBuffer* primary;
    IDirectSoundBuffer* tone;
    ToneClock clock;
};

bool OpenHostAudio(const Host& host, HostAudio* audio)
{
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | host.primaryFlags;
    HRESULT hr = DirectSoundCreate8(nullptr, &audio->device, nullptr);
    if (SUCCEEDED(hr))
        hr = audio->device->SetCooperativeLevel(GetDesktopWindow(), host.level);
    if (SUCCEEDED(hr) && host.primary != HostPrimary::None)
        hr = audio->device->CreateSoundBuffer(&desc, &audio->primary, nullptr);
    if (SUCCEEDED(hr) && host.primary != HostPrimary::None)
        hr = audio->primary->SetFormat(&format);
    ok(SUCCEEDED(hr), "%s: the host's own device: %#lx\n", host.kind, static_cast<unsigned long>(hr));
    if (FAILED(hr))
        return false;

    switch (host.primary) {
    case HostPrimary::Released:
        audio->primary->Release();
        audio->primary = nullptr;
        break;
    case HostPrimary::Playing:
        hr = audio->primary->Play(0, 0, DSBPLAY_LOOPING);
        break;
    case HostPrimary::Written:
        hr = audio->primary->GetFormat(&format, sizeof(format), nullptr);
        if (SUCCEEDED(hr) && format.wBitsPerSample != 16)
            hr = E_FAIL;  // The tone is written as 16-bit samples.
        if (SUCCEEDED(hr) && !(FillToneBuffer(audio->primary, format) &&
                               SUCCEEDED(audio->primary->Play(0, 0, DSBPLAY_LOOPING)) &&
                               StartToneClock(&audio->clock, audio->primary, format)))
            hr = E_FAIL;
        ok(SUCCEEDED(hr), "%s: the tone in the host's primary buffer: %#lx\n", host.kind,
           static_cast<unsigned long>(hr));
        return SUCCEEDED(hr);
    case HostPrimary::None:
        break;
    }
    ok(SUCCEEDED(hr) && PlayTone(audio->device, &audio->tone, &audio->clock),
       "%s: the tone in the host's secondary buffer did not play\n", host.kind);
    return SUCCEEDED(hr) && audio->tone;
}

// What the library must leave as the host set it: a level above NORMAL, and
// its primary buffer playing.
void CheckHostUntouched(const Host& host, const HostAudio& audio, const std::string& step)
{
    if (host.level >= DSSCL_PRIORITY) {
        HRESULT hr = audio.device->Compact();
        ok(hr == DS_OK, "%s: after %s the host's IDirectSound8::Compact() returned %#lx, "
           "expected DS_OK: its level was lowered\n", host.kind, step.c_str(),
           static_cast<unsigned long>(hr));
    }
    if (audio.primary) {
        DWORD status = 0;
        audio.primary->GetStatus(&status);
        ok(status & DSBSTATUS_PLAYING, "%s: after %s the host's primary buffer was stopped\n",
           host.kind, step.c_str());
    }
}

// Prints what should be heard after a step, then lets a span of the tone play.
bool Hear(HostAudio* audio, const std::string& what, const std::string& expected)
{
    std::printf("%s, expect %s\n", what.c_str(),
                expected == "silence" ? "silence" : (expected + " dB").c_str());
    bool played = WaitForToneAndPrint(&audio->clock, kSpanMs);
    ok(played, "the tone stood still at %.3f s\n", ToneSeconds(audio->clock));
    return played;
}

int RunHost(const Host& host)
{
    HostAudio audio = {};
    LoadedBrenquisat e;
    if (!OpenHostAudio(host, &audio) || !LoadBrenquisat(&e)) {
        ok(e.module, "%s: Brenquisat.dll did not load\n", host.kind);
        return CheckSummary(host.kind);
    }
    bool playing = Hear(&audio, std::string("host tone, ") + host.kind, "0");

    for (std::string step : SplitSteps(host.steps)) {
        if (!playing)
            break;
        std::string heard = step.substr(step.find(':') + 1);
        step.erase(step.find(':'));

        if (step == "FreeLibrary") {
            ok(FreeLibrary(e.module), "%s: FreeLibrary failed\n", host.kind);
            e.module = nullptr;
        } else if (step.compare(0, 11, "HostVolume(") == 0) {
            LONG volume = std::atol(step.c_str() + 11);
            HRESULT hr = audio.primary ? audio.primary->SetVolume(volume) : E_NOINTERFACE;
            ok(hr == DS_OK, "%s: the host's IDirectSoundBuffer::SetVolume(%ld) returned %#lx\n",
               host.kind, volume, static_cast<unsigned long>(hr));
        } else {
            size_t hostLevel = step.find("(host)");
            if (hostLevel != std::string::npos) {
                LONG reported = 0;
                HRESULT hr = audio.primary ? audio.primary->GetVolume(&reported) : E_NOINTERFACE;
                ok(hr == DS_OK, "%s: the host's IDirectSoundBuffer::GetVolume returned %#lx\n",
                   host.kind, static_cast<unsigned long>(hr));
                step.replace(hostLevel, 6, "(" + std::to_string(reported) + ")");
            }
            if (!CallExport(e, step, host.kind))
                break;
        }
        CheckHostUntouched(host, audio, step);
        playing = Hear(&audio, step, heard);
    }
    // The tone's clock counts what Wine has mixed, not what it has written out yet:
    // a loaded machine's output lagged by more than a span, and an ending process
    // does not drain it.  Wine mixes ahead only as far as its buffer allows, so one
    // more span of tone, not measured, carries the last measured one into the capture.
    if (playing) {
        std::printf("the end of the session, not measured\n");
        WaitForToneAndPrint(&audio.clock, kSpanMs);
    }

    if (e.module)
        FreeLibrary(e.module);
    for (IUnknown* object : {static_cast<IUnknown*>(audio.tone), static_cast<IUnknown*>(audio.primary),
                             static_cast<IUnknown*>(audio.device)})
        if (object)
            object->Release();
    return CheckSummary(host.kind);
}

} // namespace

int main(int argc, char** argv)
{
    std::string kind = argc > 1 ? argv[1] : "";
    for (const Host& host : kHosts) {
        if (kind == "--list")
            std::printf("%s\n", host.kind);
        else if (kind == host.kind)
            return RunHost(host);
    }
    if (kind == "--list")
        return 0;
    std::printf("usage: heard_host --list | KIND\n");
    return 2;
}
