/* A host in C that needs no C runtime, only the system's DLLs, so that it builds
 * for every architecture, Arm64 included, where no C runtime exists here.  It
 * binds the exports by name and drives them on Wine's DirectSound:
 *   system_host sequence   open, set and read back, mute and unmute, a refused
 *                          level and its code, ReleaseDS and reopening
 *   system_host no-device  there is no audio device: every open fails with its code
 *   system_host unload     the host's own device sees full level back when the
 *                          library is unloaded with its device open, and again after
 *                          a reload; after ReleaseDS the level stays
 *   system_host threads    two threads calling at once, every call succeeding
 *   system_host heard      a tone of its own playing while it calls the exports,
 *                          each call followed by what should be heard and the span
 *                          of tone after it, for heard.sh to measure (--list names
 *                          this one session, as heard.sh asks)
 *   system_host bench      (make bench, where brq_bench cannot be built) what a
 *                          volume call costs against the Sleep(1) it contains
 * Prints a line a check, then "N failed"; the exit code is N.  No call into a
 * system DLL takes a variable argument list: under Wine 8 for Arm64 one faulted. */
#define COBJMACROS
#include <stdbool.h>
#include <windows.h>
#include <dsound.h>

typedef int(__cdecl *InitFn)(void);
typedef void(__cdecl *ReleaseFn)(void);
typedef int(__cdecl *SetFn)(int);
typedef bool(__cdecl *MuteFn)(void);
typedef int(__cdecl *GetFn)(int *);

static struct {
    HMODULE module;
    InitFn InitDS;
    ReleaseFn ReleaseDS;
    SetFn SetDSVolume;
    MuteFn MuteDS, UnmuteDS;
    GetFn GetDSVolume;
} lib;

static int failures;

static void Say(const char *text)
{
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)lstrlenA(text), &written, NULL);
}

/* A number in decimal, or in hexadecimal with 0x, as text. */
static void SayNumber(long long value, int hex)
{
    char text[24];
    char *at = text + sizeof(text);
    unsigned long long left = hex ? (unsigned long)value : (unsigned long long)(value < 0 ? -value : value);
    *--at = '\0';
    do {
        *--at = "0123456789abcdef"[left % (hex ? 16 : 10)];
        left /= hex ? 16 : 10;
    } while (left);
    if (hex) {
        *--at = 'x';
        *--at = '0';
    } else if (value < 0) {
        *--at = '-';
    }
    Say(at);
}

static int Check(int passed, const char *what)
{
    Say(passed ? "ok    " : "FAIL  ");
    Say(what);
    Say("\n");
    failures += !passed;
    return passed;
}

/* A check printed, when it fails, with the result got and a second value (the
 * code left in GetLastError(), or the level read). */
static void CheckGot(int passed, const char *what, int result, const char *label, long long value, int hex)
{
    if (!Check(passed, what)) {
        Say("      got ");
        SayNumber(result, 0);
        Say(label);
        SayNumber(value, hex);
        Say("\n");
    }
}

static void CheckCode(int passed, const char *what, int result, DWORD code)
{
    CheckGot(passed, what, result, ", GetLastError() ", code, 1);
}

static void CheckLevel(int result, int level, int expected, const char *what)
{
    CheckGot(result == 1 && level == expected, what, result, ", level ", level, 0);
}

static FARPROC Export(const char *name)
{
    return GetProcAddress(lib.module, name);
}

static int Load(void)
{
    lib.module = LoadLibraryA("Brenquisat.dll");
    if (!lib.module)
        return 0;
    lib.InitDS = (InitFn)(void (*)(void))Export("InitDS");
    lib.ReleaseDS = (ReleaseFn)(void (*)(void))Export("ReleaseDS");
    lib.SetDSVolume = (SetFn)(void (*)(void))Export("SetDSVolume");
    lib.MuteDS = (MuteFn)(void (*)(void))Export("MuteDS");
    lib.UnmuteDS = (MuteFn)(void (*)(void))Export("UnmuteDS");
    lib.GetDSVolume = (GetFn)(void (*)(void))Export("GetDSVolume");
    return lib.InitDS && lib.ReleaseDS && lib.SetDSVolume && lib.MuteDS && lib.UnmuteDS && lib.GetDSVolume;
}

#define STALE_ERROR 0x0badf00dUL
#define INVALIDPARAM ((DWORD)DSERR_INVALIDPARAM)

/* GetDSVolume(), which must read the level expected. */
static void ReadLevel(int expected, const char *what)
{
    int level = 1;
    int read = lib.GetDSVolume(&level);
    CheckLevel(read, level, expected, what);
}

/* SetDSVolume(volume), then the level read back. */
static void SetAndRead(int volume, const char *what)
{
    if (lib.SetDSVolume(volume) == 1)
        ReadLevel(volume, what);
    else
        Check(0, what);
}

static void Sequence(void)
{
    int level = 1, result;
    DWORD code;
    SetLastError(STALE_ERROR);
    result = lib.InitDS();
    code = GetLastError();
    CheckCode(result == 1 && code == 0, "InitDS() == 1, GetLastError() == 0", result, code);
    SetAndRead(-600, "SetDSVolume(-600) == 1, GetDSVolume() reads -600");
    Check(lib.MuteDS() == true, "MuteDS() is true");
    ReadLevel(-10000, "GetDSVolume() reads -10000 after MuteDS()");
    Check(lib.UnmuteDS() == true, "UnmuteDS() is true");
    ReadLevel(0, "GetDSVolume() reads 0 after UnmuteDS()");
    result = lib.SetDSVolume(1);
    code = GetLastError();
    CheckCode(result == 0 && code == INVALIDPARAM, "SetDSVolume(1) == 0, GetLastError() == DSERR_INVALIDPARAM",
              result, code);
    /* Wine reports -7000 as -7006: the level the library set reads back exactly. */
    SetAndRead(-7000, "SetDSVolume(-7000) == 1, GetDSVolume() reads -7000");
    result = lib.GetDSVolume(NULL);
    code = GetLastError();
    CheckCode(result == 0 && code == INVALIDPARAM, "GetDSVolume(NULL) == 0, GetLastError() == DSERR_INVALIDPARAM",
              result, code);
    SetLastError(STALE_ERROR);
    lib.ReleaseDS();
    code = GetLastError();
    CheckCode(code == STALE_ERROR, "ReleaseDS() leaves GetLastError() as it was", 0, code);
    lib.ReleaseDS();
    /* Reopened.  What it reads is the platform's: Wine's device went with the last
     * reference, and a new one starts at full level. */
    result = lib.GetDSVolume(&level);
    CheckCode(result == 1, "GetDSVolume() == 1 after ReleaseDS(), reopening", result, GetLastError());
    SetAndRead(-100, "SetDSVolume(-100) == 1 after reopening, GetDSVolume() reads -100");
    lib.ReleaseDS();
}

static void NoDevice(void)
{
    /* Wine 8 refuses the open with DSERR_INVALIDPARAM, Wine 10 and Windows with
     * DSERR_NODRIVER; each call tries again. */
#define NO_DEVICE ", GetLastError() == DSERR_NODRIVER or DSERR_INVALIDPARAM"
    static const char *const calls[] = {"InitDS() == 0" NO_DEVICE, "SetDSVolume(-2500) == 0" NO_DEVICE,
                                        "MuteDS() is false" NO_DEVICE, "InitDS() == 0 again" NO_DEVICE};
    int i;
    for (i = 0; i < 4; ++i) {
        int result = i == 1 ? lib.SetDSVolume(-2500) : i == 2 ? lib.MuteDS() : lib.InitDS();
        DWORD code = GetLastError();
        CheckCode(result == 0 && (code == (DWORD)DSERR_NODRIVER || code == INVALIDPARAM), calls[i], result, code);
    }
}

/* The level of the host's own primary buffer, as the platform reports it. */
static void CheckHostLevel(IDirectSoundBuffer *primary, LONG expected, const char *what)
{
    LONG level = 1;
    HRESULT hr = IDirectSoundBuffer_GetVolume(primary, &level);
    CheckLevel(SUCCEEDED(hr), level, expected, what);
}

static void Unload(void)
{
    IDirectSound8 *device = NULL;
    IDirectSoundBuffer *primary = NULL;
    DSBUFFERDESC desc = {sizeof(desc), DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME, 0, 0, NULL, {0}};
    HRESULT hr = DirectSoundCreate8(NULL, &device, NULL);
    if (SUCCEEDED(hr))
        hr = IDirectSound8_SetCooperativeLevel(device, GetDesktopWindow(), DSSCL_NORMAL);
    if (SUCCEEDED(hr))
        hr = IDirectSound8_CreateSoundBuffer(device, &desc, &primary, NULL);
    if (!Check(SUCCEEDED(hr), "the host's own device and primary buffer open")) {
        if (device)
            IDirectSound8_Release(device);
        return;
    }

    SetAndRead(-900, "SetDSVolume(-900) == 1, GetDSVolume() reads -900");
    CheckHostLevel(primary, -900, "the host's primary buffer reads -900");
    Check(FreeLibrary(lib.module), "FreeLibrary() with the device open");
    CheckHostLevel(primary, 0, "the host's primary buffer reads 0 after the unload");

    Check(Load(), "Brenquisat.dll loads again");
    Check(lib.MuteDS() == true, "MuteDS() is true after reloading");
    CheckHostLevel(primary, -10000, "the host's primary buffer reads -10000");
    Check(FreeLibrary(lib.module), "FreeLibrary() with the device open, again");
    CheckHostLevel(primary, 0, "the host's primary buffer reads 0 after the second unload");

    Check(Load(), "Brenquisat.dll loads a third time");
    SetAndRead(-1200, "SetDSVolume(-1200) == 1, GetDSVolume() reads -1200");
    lib.ReleaseDS();
    Check(FreeLibrary(lib.module), "FreeLibrary() after ReleaseDS()");
    CheckHostLevel(primary, -1200, "the host's primary buffer still reads -1200: ReleaseDS() left the level");
    IDirectSoundBuffer_Release(primary);
    IDirectSound8_Release(device);
    lib.module = NULL;
}

/* Two threads, each making its calls at once with the other's: every call
 * succeeds, whatever the other does (a volume call reopens a closed device). */
static volatile LONG failedCalls;

static void Count(int succeeded)
{
    if (!succeeded)
        InterlockedIncrement(&failedCalls);
}

static DWORD WINAPI CallVolumes(void *parameter)
{
    int i, level;
    (void)parameter;
    for (i = 0; i < 150; ++i) {
        Count(lib.SetDSVolume(-(i * 67 % 10001)) == 1);
        Count(lib.GetDSVolume(&level) == 1);
    }
    return 0;
}

static DWORD WINAPI OpenMuteClose(void *parameter)
{
    int i, level;
    (void)parameter;
    for (i = 0; i < 60; ++i) {
        Count(lib.InitDS() == 1);
        Count(lib.MuteDS() == true);
        Count(lib.UnmuteDS() == true);
        Count(lib.GetDSVolume(&level) == 1);
        lib.ReleaseDS();
    }
    return 0;
}

static void Threads(void)
{
    HANDLE threads[2];
    threads[0] = CreateThread(NULL, 0, CallVolumes, NULL, 0, NULL);
    threads[1] = CreateThread(NULL, 0, OpenMuteClose, NULL, 0, NULL);
    if (!Check(threads[0] && threads[1], "CreateThread() twice"))
        ExitProcess(1);
    /* A watchdog against a hang, far beyond the calls' few seconds under emulation. */
    Check(WaitForMultipleObjects(2, threads, TRUE, 120000) == WAIT_OBJECT_0, "both threads end");
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    if (!Check(failedCalls == 0, "600 calls from 2 threads at once, none failing")) {
        Say("      ");
        SayNumber(failedCalls, 0);
        Say(" failed\n");
    }
    lib.ReleaseDS();
}

/* A 1 kHz tone at -6 dBFS, 16-bit mono at 48 kHz, looping in a buffer of one
 * second on the host's own device; and how much of it has played, counted from
 * its play cursor: the audio device's clock, which over ALSA's null device runs
 * faster than the wall clock.  Polled every millisecond, so the cursor never moves
 * by half the buffer between two reads: a cursor that seems to has stepped back. */
#define TONE_RATE 48000
#define TONE_BYTES (TONE_RATE * 2)

static struct {
    IDirectSound8 *device;
    IDirectSoundBuffer *buffer;
    DWORD cursor;
    unsigned long long played;
} tone;

/* One period of the sine, 48 samples, by the recurrence s[n] = 2 cos(w) s[n-1] - s[n-2]
 * from s[0] = 0, s[1] = sin(w), w = 2 pi / 48: no maths library needed. */
static void FillTone(short *samples, DWORD count)
{
    short period[48];
    double before = 0, now = 0.13052619222005157, twiceCos = 2 * 0.9914448613738104;
    DWORD i;
    for (i = 0; i < 48; ++i) {
        double next = twiceCos * now - before;
        double value = 16383.5 * before;
        period[i] = (short)(value < 0 ? value - 0.5 : value + 0.5);
        before = now;
        now = next;
    }
    for (i = 0; i < count; ++i)
        samples[i] = period[i % 48];
}

static int PlayTone(void)
{
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 1, TONE_RATE, TONE_BYTES, 2, 16, 0};
    DSBUFFERDESC desc = {sizeof(desc), DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2, TONE_BYTES, 0,
                         &format, {0}};
    void *data = NULL;
    DWORD bytes = 0;
    HRESULT hr = DirectSoundCreate8(NULL, &tone.device, NULL);
    if (SUCCEEDED(hr))
        hr = IDirectSound8_SetCooperativeLevel(tone.device, GetDesktopWindow(), DSSCL_NORMAL);
    if (SUCCEEDED(hr))
        hr = IDirectSound8_CreateSoundBuffer(tone.device, &desc, &tone.buffer, NULL);
    if (SUCCEEDED(hr))
        hr = IDirectSoundBuffer_Lock(tone.buffer, 0, 0, &data, &bytes, NULL, NULL, DSBLOCK_ENTIREBUFFER);
    if (SUCCEEDED(hr)) {
        FillTone(data, bytes / 2);
        hr = IDirectSoundBuffer_Unlock(tone.buffer, data, bytes, NULL, 0);
    }
    if (SUCCEEDED(hr))
        hr = IDirectSoundBuffer_Play(tone.buffer, 0, 0, DSBPLAY_LOOPING);
    if (SUCCEEDED(hr))
        hr = IDirectSoundBuffer_GetCurrentPosition(tone.buffer, &tone.cursor, NULL);
    return Check(SUCCEEDED(hr), "the host's tone plays on a device of its own");
}

static void SaySeconds(unsigned long long bytes)
{
    unsigned long long milliseconds = bytes * 1000 / TONE_BYTES;
    SayNumber((long long)(milliseconds / 1000), 0);
    Say(milliseconds % 1000 < 100 ? (milliseconds % 1000 < 10 ? ".00" : ".0") : ".");
    SayNumber((long long)(milliseconds % 1000), 0);
}

/* Lets 400 ms of tone play and prints the span it covered, "wait 400 ms (tone A-B s)",
 * the line heard-levels measures; false if the play cursor stood still for 2 s of
 * wall-clock time. */
static int PlaySpan(void)
{
    unsigned long long from = tone.played, until = from + TONE_BYTES * 400ULL / 1000;
    DWORD stillSince = GetTickCount();
    while (tone.played < until) {
        DWORD cursor, advance;
        Sleep(1);
        if (FAILED(IDirectSoundBuffer_GetCurrentPosition(tone.buffer, &cursor, NULL)))
            return Check(0, "IDirectSoundBuffer_GetCurrentPosition() on the tone");
        advance = (cursor + TONE_BYTES - tone.cursor) % TONE_BYTES;
        if (advance > TONE_BYTES / 2)
            advance = 0;
        if (advance) {
            tone.cursor = cursor;
            tone.played += advance;
            stillSince = GetTickCount();
        } else if (GetTickCount() - stillSince > 2000) {
            return Check(0, "the tone plays on (its play cursor stood still for 2 s)");
        }
    }
    Say("wait 400 ms (tone ");
    SaySeconds(from);
    Say("-");
    SaySeconds(tone.played);
    Say(" s)\n");
    return 1;
}

/* What should be heard after a step, then the span of tone that follows it. */
static int Hear(const char *step, const char *expected)
{
    Say(step);
    Say(", expect ");
    Say(expected);
    Say("\n");
    return PlaySpan();
}

static const char *const heardSteps[][2] = {
    {"InitDS() == 1", "0 dB"}, {"SetDSVolume(-600) == 1", "-6 dB"}, {"MuteDS() is true", "silence"},
    {"UnmuteDS() is true", "0 dB"}, {"SetDSVolume(-1200) == 1", "-12 dB"}, {"FreeLibrary()", "0 dB"},
};

static int HeardStep(int step)
{
    switch (step) {
    case 0: return lib.InitDS() == 1;
    case 1: return lib.SetDSVolume(-600) == 1;
    case 2: return lib.MuteDS() == true;
    case 3: return lib.UnmuteDS() == true;
    case 4: return lib.SetDSVolume(-1200) == 1;
    default: return FreeLibrary(lib.module) != 0;
    }
}

/* A host at the normal level with its tone in a secondary buffer: each call's
 * level is heard on the host's output, and full level again after the unload. */
static void Heard(void)
{
    int step, playing = PlayTone() && Hear("host tone", "0 dB");
    for (step = 0; playing && step < 6; ++step) {
        Check(HeardStep(step), heardSteps[step][0]);
        playing = Hear(heardSteps[step][0], heardSteps[step][1]);
    }
    /* The tone's clock counts what Wine has mixed, not yet what it wrote out: one
     * more span carries the last measured one into the capture. */
    if (playing) {
        Say("the end of the session, not measured\n");
        PlaySpan();
    }
    if (step == 6)
        lib.module = NULL;
    if (tone.buffer)
        IDirectSoundBuffer_Release(tone.buffer);
    if (tone.device)
        IDirectSound8_Release(tone.device);
}

/* The median of some timings, which it sorts. */
static LONGLONG Median(LONGLONG *samples, int count)
{
    int i, j;
    for (i = 1; i < count; ++i)
        for (j = i; j > 0 && samples[j - 1] > samples[j]; --j) {
            LONGLONG swap = samples[j];
            samples[j] = samples[j - 1];
            samples[j - 1] = swap;
        }
    return samples[count / 2];
}

/* 200 volume calls and 200 Sleep(1) alongside, interleaved so that both see the
 * same conditions: their medians in microseconds, and the ratio of the two. */
static void Bench(void)
{
    static LONGLONG calls[200], sleeps[200];
    LARGE_INTEGER frequency, start, end;
    LONGLONG call, sleep;
    int i;
    QueryPerformanceFrequency(&frequency);
    Check(lib.InitDS() == 1, "InitDS() == 1");
    for (i = 0; i < 200; ++i) {
        QueryPerformanceCounter(&start);
        Sleep(1);
        QueryPerformanceCounter(&end);
        sleeps[i] = end.QuadPart - start.QuadPart;
        QueryPerformanceCounter(&start);
        Count(lib.SetDSVolume(-2500 - i % 2) == 1);
        QueryPerformanceCounter(&end);
        calls[i] = end.QuadPart - start.QuadPart;
    }
    Check(failedCalls == 0, "200 calls to SetDSVolume(), none failing");
    call = Median(calls, 200) * 1000000 / frequency.QuadPart;
    sleep = Median(sleeps, 200) * 1000000 / frequency.QuadPart;
    Say("SetDSVolume, median: ");
    SayNumber(call, 0);
    Say(" us\nSleep(1) alongside, median: ");
    SayNumber(sleep, 0);
    Say(" us\nratio: ");
    SayNumber(sleep ? call * 1000 / sleep : 0, 0);
    Say(" thousandths\n");
}

/* The command line's last word. */
static const char *Mode(void)
{
    const char *line = GetCommandLineA(), *word = line;
    for (; *line; ++line)
        if (*line == ' ' && line[1] && line[1] != ' ')
            word = line + 1;
    return word;
}

static void Run(void)
{
    const char *mode = Mode();
    if (!lstrcmpA(mode, "--list")) {
        Say("heard\n");
        ExitProcess(0);
    }
    if (!Load()) {
        Say("cannot load Brenquisat.dll, or it lacks an export\n");
        ExitProcess(100);
    }
    if (!lstrcmpA(mode, "sequence"))
        Sequence();
    else if (!lstrcmpA(mode, "no-device"))
        NoDevice();
    else if (!lstrcmpA(mode, "unload"))
        Unload();
    else if (!lstrcmpA(mode, "threads"))
        Threads();
    else if (!lstrcmpA(mode, "heard"))
        Heard();
    else if (!lstrcmpA(mode, "bench"))
        Bench();
    else {
        Say("usage: system_host sequence|no-device|unload|threads|heard|bench|--list\n");
        ExitProcess(2);
    }
    /* Closed before the process ends: Wine's exit can fail with a device open. */
    if (lib.module) {
        lib.ReleaseDS();
        FreeLibrary(lib.module);
    }
    SayNumber(failures, 0);
    Say(" failed\n");
    ExitProcess((UINT)failures);
}

#ifdef HOST_WITHOUT_CRT
void mainCRTStartup(void)
{
    Run();
}
#else
int main(void)
{
    Run();
    return 0;
}
#endif
