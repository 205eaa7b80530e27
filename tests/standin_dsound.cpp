// A recording, fault-injecting dsound.dll.  It keeps the platform's contract as
// the library relies on it: failed creations leave the out handle empty, only a
// buffer with DSBCAPS_CTRLVOLUME takes or gives a volume, taking it only within
// [DSBVOLUME_MIN, DSBVOLUME_MAX].  Objects are never freed, so a call on a
// released one is logged instead of crashing.
//
// Each object is its own, as on Windows: a new device is below PRIORITY level
// and its primary buffer is stopped.  The states "priority" and "playing" model
// a device shared with a host instead, as Wine's is: one the host raised to
// PRIORITY, one whose primary buffer the host plays.
//
// With STANDIN_LOG set, every line is appended to that file as well, for calls
// made while a process ends; STANDIN_FAULTS sets the steps to fail at load.
#define STANDIN_BUILD
#include "standin_dsound.h"

#include "ds_errors.h"

#include <windows.h>
#include <dsound.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

enum Fault {
    kCreate = 1, kCoop = 2, kBuffer = 4, kVolume = 8, kPlay = 16, kStop = 32,
    kCompact = 64, kStatus = 128, kRead = 1024,
    kSharedPriority = 256, kSharedPlaying = 512, kLossy = 2048,  // states, not faults
};

CRITICAL_SECTION g_lock;
std::string g_log;
unsigned g_faults;
DWORD g_releaseDelayMs;
// Objects with references still held; lowered only once the release is logged,
// so that a host that sees it reach 0 finds every release in the log.
volatile LONG g_live;
char g_logPath[MAX_PATH];
// The output's level, which every primary buffer sets and reads.
LONG g_level;

unsigned ParseFaults(const char* text)
{
    static const struct { const char* name; Fault fault; } kNames[] = {
        {"create", kCreate}, {"coop", kCoop}, {"buffer", kBuffer},
        {"volume", kVolume}, {"play", kPlay}, {"stop", kStop}, {"compact", kCompact},
        {"status", kStatus}, {"read", kRead}, {"priority", kSharedPriority},
        {"playing", kSharedPlaying}, {"lossy", kLossy}};
    unsigned faults = 0;
    for (const auto& n : kNames)
        if (text && std::strstr(text, n.name))
            faults |= n.fault;
    return faults;
}

void Log(const char* fmt, ...)
{
    char line[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof(line), fmt, args);
    va_end(args);
    EnterCriticalSection(&g_lock);
    g_log += line;
    g_log += '\n';
    if (g_logPath[0]) {
        if (FILE* f = std::fopen(g_logPath, "a")) {
            std::fprintf(f, "%s\n", line);
            std::fclose(f);
        }
    }
    LeaveCriticalSection(&g_lock);
    // A platform call may leave any last-error value behind, success or not.
    SetLastError(ERROR_ACCESS_DENIED);
}

const char* Name(HRESULT hr)
{
    const DSErrorText* known = FindDSError(hr);
    return known ? known->name : "?";
}

// Each step fails with a code of its own, so that a host can tell which one
// decided a result.
HRESULT Result(Fault fault)
{
    if (!(g_faults & fault))
        return DS_OK;
    switch (fault) {
    case kCreate: return DSERR_NODRIVER;
    case kCoop: return DSERR_ALLOCATED;
    case kBuffer: return DSERR_OUTOFMEMORY;
    case kPlay:
    case kStop: return DSERR_BUFFERLOST;
    default: return DSERR_GENERIC;
    }
}

const char* Pointer(const void* p)
{
    return p ? "ptr" : "NULL";
}

// Reference counting shared by both kinds of object.
struct Counted {
    LONG refs = 1;

    Counted() { InterlockedIncrement(&g_live); }

    bool Alive(const char* iface, const char* method)
    {
        if (refs > 0)
            return true;
        Log("! %s::%s called after the last Release", iface, method);
        return false;
    }

    ULONG Add(const char* iface)
    {
        if (!Alive(iface, "AddRef"))
            return 0;
        Log("%s::AddRef() = %ld", iface, refs + 1);
        return ++refs;
    }

    ULONG Drop(const char* iface)
    {
        if (!Alive(iface, "Release"))
            return 0;
        ULONG left = --refs;
        Log("%s::Release() = %ld", iface, left);
        if (left == 0)
            InterlockedDecrement(&g_live);
        return left;
    }
};

#define UNEXPECTED(iface, method)                                                      \
    do {                                                                                \
        Log("! %s::%s is not used by the library", iface, method);                     \
        return DSERR_GENERIC;                                                           \
    } while (0)

class Buffer final : public IDirectSoundBuffer, Counted {
public:
    explicit Buffer(DWORD flags) : flags_(flags) {}

    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        UNEXPECTED("IDirectSoundBuffer", "QueryInterface");
    }
    STDMETHODIMP_(ULONG) AddRef() override { return Add("IDirectSoundBuffer"); }
    STDMETHODIMP_(ULONG) Release() override { return Drop("IDirectSoundBuffer"); }

    STDMETHODIMP SetVolume(LONG volume) override
    {
        if (!Alive("IDirectSoundBuffer", "SetVolume"))
            return DSERR_GENERIC;
        HRESULT hr = VolumeControl(kVolume);
        if (SUCCEEDED(hr) && (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX))
            hr = DSERR_INVALIDPARAM;
        if (SUCCEEDED(hr))
            g_level = volume;
        Log("IDirectSoundBuffer::SetVolume(%ld) = %s", volume, Name(hr));
        return hr;
    }
    STDMETHODIMP GetVolume(LPLONG volume) override
    {
        if (!Alive("IDirectSoundBuffer", "GetVolume"))
            return DSERR_GENERIC;
        HRESULT hr = VolumeControl(kRead);
        // "lossy" reports levels below -2000 a little lower, as Wine's rounding does.
        LONG reported = g_level;
        if ((g_faults & kLossy) && reported < -2000)
            reported = reported - 5 < DSBVOLUME_MIN ? DSBVOLUME_MIN : reported - 5;
        if (FAILED(hr)) {
            Log("IDirectSoundBuffer::GetVolume() = %s", Name(hr));
            return hr;
        }
        *volume = reported;
        Log("IDirectSoundBuffer::GetVolume() = %s, %ld", Name(hr), reported);
        return hr;
    }
    STDMETHODIMP Play(DWORD reserved, DWORD priority, DWORD flags) override
    {
        if (!Alive("IDirectSoundBuffer", "Play"))
            return DSERR_GENERIC;
        HRESULT hr = Result(kPlay);
        playing_ = playing_ || SUCCEEDED(hr);
        Log("IDirectSoundBuffer::Play(%lu, %lu, %s) = %s", reserved, priority,
            flags == DSBPLAY_LOOPING ? "DSBPLAY_LOOPING" : "other flags", Name(hr));
        return hr;
    }
    STDMETHODIMP Stop() override
    {
        if (!Alive("IDirectSoundBuffer", "Stop"))
            return DSERR_GENERIC;
        HRESULT hr = Result(kStop);
        playing_ = playing_ && FAILED(hr);
        Log("IDirectSoundBuffer::Stop() = %s", Name(hr));
        return hr;
    }
    STDMETHODIMP GetStatus(LPDWORD status) override
    {
        if (!Alive("IDirectSoundBuffer", "GetStatus"))
            return DSERR_GENERIC;
        HRESULT hr = Result(kStatus);
        bool playing = SUCCEEDED(hr) && (playing_ || (g_faults & kSharedPlaying));
        *status = playing ? DSBSTATUS_PLAYING | DSBSTATUS_LOOPING : 0;
        Log("IDirectSoundBuffer::GetStatus() = %s, %s", Name(hr),
            playing ? "DSBSTATUS_PLAYING|DSBSTATUS_LOOPING" : "0");
        return hr;
    }

    STDMETHODIMP GetCaps(LPDSBCAPS) override { UNEXPECTED("IDirectSoundBuffer", "GetCaps"); }
    STDMETHODIMP GetCurrentPosition(LPDWORD, LPDWORD) override { UNEXPECTED("IDirectSoundBuffer", "GetCurrentPosition"); }
    STDMETHODIMP GetFormat(LPWAVEFORMATEX, DWORD, LPDWORD) override { UNEXPECTED("IDirectSoundBuffer", "GetFormat"); }
    STDMETHODIMP GetPan(LPLONG) override { UNEXPECTED("IDirectSoundBuffer", "GetPan"); }
    STDMETHODIMP GetFrequency(LPDWORD) override { UNEXPECTED("IDirectSoundBuffer", "GetFrequency"); }
    STDMETHODIMP Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) override { UNEXPECTED("IDirectSoundBuffer", "Initialize"); }
    STDMETHODIMP Lock(DWORD, DWORD, LPVOID*, LPDWORD, LPVOID*, LPDWORD, DWORD) override { UNEXPECTED("IDirectSoundBuffer", "Lock"); }
    STDMETHODIMP SetCurrentPosition(DWORD) override { UNEXPECTED("IDirectSoundBuffer", "SetCurrentPosition"); }
    STDMETHODIMP SetFormat(LPCWAVEFORMATEX) override { UNEXPECTED("IDirectSoundBuffer", "SetFormat"); }
    STDMETHODIMP SetPan(LONG) override { UNEXPECTED("IDirectSoundBuffer", "SetPan"); }
    STDMETHODIMP SetFrequency(DWORD) override { UNEXPECTED("IDirectSoundBuffer", "SetFrequency"); }
    STDMETHODIMP Unlock(LPVOID, DWORD, LPVOID, DWORD) override { UNEXPECTED("IDirectSoundBuffer", "Unlock"); }
    STDMETHODIMP Restore() override { UNEXPECTED("IDirectSoundBuffer", "Restore"); }

private:
    // Only a buffer made with volume control takes or gives a volume.
    HRESULT VolumeControl(Fault fault) const
    {
        return flags_ & DSBCAPS_CTRLVOLUME ? Result(fault) : DSERR_CONTROLUNAVAIL;
    }

    DWORD flags_;
    bool playing_ = false;
};

class Device final : public IDirectSound8, Counted {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        UNEXPECTED("IDirectSound8", "QueryInterface");
    }
    STDMETHODIMP_(ULONG) AddRef() override { return Add("IDirectSound8"); }
    STDMETHODIMP_(ULONG) Release() override
    {
        // The platform's final release waits for its mixer thread; this one can
        // take as long as it is told to, and logs when it has ended.
        if (refs == 1 && releaseDelayMs_)
            Sleep(releaseDelayMs_);
        return Drop("IDirectSound8");
    }

    STDMETHODIMP SetCooperativeLevel(HWND window, DWORD level) override
    {
        if (!Alive("IDirectSound8", "SetCooperativeLevel"))
            return DSERR_GENERIC;
        HRESULT hr = Result(kCoop);
        if (SUCCEEDED(hr))
            level_ = level;
        char windowName[32];
        if (window == GetDesktopWindow())
            std::strcpy(windowName, "desktop");
        else
            std::snprintf(windowName, sizeof(windowName), "%p", static_cast<void*>(window));
        Log("IDirectSound8::SetCooperativeLevel(%s, %s) = %s", windowName,
            level == DSSCL_NORMAL ? "DSSCL_NORMAL" : "other level", Name(hr));
        return hr;
    }

    STDMETHODIMP Compact() override
    {
        if (!Alive("IDirectSound8", "Compact"))
            return DSERR_GENERIC;
        HRESULT hr = Result(kCompact);
        if (SUCCEEDED(hr) && level_ < DSSCL_PRIORITY && !(g_faults & kSharedPriority))
            hr = DSERR_PRIOLEVELNEEDED;
        Log("IDirectSound8::Compact() = %s", Name(hr));
        return hr;
    }

    STDMETHODIMP CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* out,
                                   LPUNKNOWN outer) override
    {
        if (!Alive("IDirectSound8", "CreateSoundBuffer"))
            return DSERR_GENERIC;
        *out = nullptr;
        HRESULT hr = Result(kBuffer);
        if (desc->dwSize != sizeof(DSBUFFERDESC) || outer)
            hr = DSERR_INVALIDPARAM;
        Log("IDirectSound8::CreateSoundBuffer({%lu, 0x%lx, %lu, %lu, %s, %s}, %s) = %s",
            desc->dwSize, desc->dwFlags, desc->dwBufferBytes, desc->dwReserved,
            Pointer(desc->lpwfxFormat),
            IsEqualGUID(desc->guid3DAlgorithm, GUID_NULL) ? "GUID_NULL" : "other GUID",
            Pointer(outer), Name(hr));
        if (SUCCEEDED(hr))
            *out = new Buffer(desc->dwFlags);
        return hr;
    }

    STDMETHODIMP GetCaps(LPDSCAPS) override { UNEXPECTED("IDirectSound8", "GetCaps"); }
    STDMETHODIMP DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER, LPDIRECTSOUNDBUFFER*) override { UNEXPECTED("IDirectSound8", "DuplicateSoundBuffer"); }
    STDMETHODIMP GetSpeakerConfig(LPDWORD) override { UNEXPECTED("IDirectSound8", "GetSpeakerConfig"); }
    STDMETHODIMP SetSpeakerConfig(DWORD) override { UNEXPECTED("IDirectSound8", "SetSpeakerConfig"); }
    STDMETHODIMP Initialize(LPCGUID) override { UNEXPECTED("IDirectSound8", "Initialize"); }
    STDMETHODIMP VerifyCertification(LPDWORD) override { UNEXPECTED("IDirectSound8", "VerifyCertification"); }

private:
    DWORD releaseDelayMs_ = g_releaseDelayMs;
    DWORD level_ = 0;  // none set yet
};

} // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI DirectSoundCreate8(LPCGUID device,
                                                                    LPDIRECTSOUND8* out,
                                                                    LPUNKNOWN outer)
{
    *out = nullptr;
    HRESULT hr = Result(kCreate);
    if (outer)
        hr = DSERR_INVALIDPARAM;
    Log("DirectSoundCreate8(%s, %s) = %s", Pointer(device), Pointer(outer), Name(hr));
    if (SUCCEEDED(hr))
        *out = new Device;
    return hr;
}

STANDIN_API void __cdecl StandinReset(const char* faults)
{
    EnterCriticalSection(&g_lock);
    g_log.clear();
    g_live = 0;
    g_faults = ParseFaults(faults);
    g_releaseDelayMs = 0;
    g_level = 0;
    LeaveCriticalSection(&g_lock);
}

STANDIN_API void __cdecl StandinSetFaults(const char* faults)
{
    g_faults = ParseFaults(faults);
}

STANDIN_API void __cdecl StandinSetReleaseDelay(unsigned milliseconds)
{
    g_releaseDelayMs = milliseconds;
}

STANDIN_API void __cdecl StandinSetLevel(long level)
{
    g_level = level;
}

STANDIN_API const char* __cdecl StandinLog(void)
{
    // A copy: a release thread may still be appending to the log.
    static std::string snapshot;
    EnterCriticalSection(&g_lock);
    snapshot = g_log;
    LeaveCriticalSection(&g_lock);
    return snapshot.c_str();
}

STANDIN_API int __cdecl StandinLiveObjects(void)
{
    return g_live;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&g_lock);
        if (!GetEnvironmentVariableA("STANDIN_LOG", g_logPath, sizeof(g_logPath)))
            g_logPath[0] = '\0';
        char faults[128];
        if (GetEnvironmentVariableA("STANDIN_FAULTS", faults, sizeof(faults)))
            g_faults = ParseFaults(faults);
    }
    return TRUE;
}
