// brq: drives Brenquisat.dll from the command line, one process for all commands,
// so the device stays open between them.
#include "brenquisat_exports.h"
#include "ds_errors.h"
#include "tone.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kHelp[] =
    "usage: brq COMMAND...\n"
    "\n"
    "Loads Brenquisat.dll from brq's own folder and runs the commands in order:\n"
    "  init      InitDS: open the default playback device\n"
    "  release   ReleaseDS: close it, leaving the level as it is\n"
    "  set N     SetDSVolume(N): set the master level\n"
    "  mute      MuteDS: set -10000\n"
    "  unmute    UnmuteDS: set 0\n"
    "  get       GetDSVolume: read the master level\n"
    "  version   brq's version, and the path and file version of the\n"
    "            Brenquisat.dll it loaded (also --version)\n"
    "  wait MS   pause for MS milliseconds\n"
    "  tone      play a steady 1 kHz sine at -6 dBFS through brq's own DirectSound\n"
    "            device until brq ends, to hear the level change; from then on each\n"
    "            wait counts the tone's own playing time and shows its span\n"
    "\n"
    "Levels are whole hundredths of a decibel: 0 is full level, -10000 silence.\n"
    "Values outside that range are passed on and refused by the platform.\n"
    "Volume calls open the device themselves when it is closed.\n"
    "\n"
    "After a call that returned 0/false, the reason the library gave\n"
    "(GetLastError) follows in brackets: the platform's code and its meaning.\n"
    "\n"
    "Exit status: 0 when every call succeeded, 1 when one returned 0/false\n"
    "or the library could not be loaded, 2 for a usage error.\n";

enum class Op { Init, Release, Set, Mute, Unmute, Get, Version, Wait, Tone };

struct Command {
    Op op;
    long long value;
};

int UsageError(const char* fmt, const char* what)
{
    std::fprintf(stderr, "brq: ");
    std::fprintf(stderr, fmt, what);
    std::fprintf(stderr, "\nTry 'brq --help'.\n");
    return 0;
}

// Whole decimal number within [low, high], nothing else around it.
bool ParseNumber(const char* text, long long low, long long high, long long* out)
{
    const char* digits = (*text == '-' || *text == '+') ? text + 1 : text;
    if (*digits < '0' || *digits > '9' || std::strlen(digits) > 18)
        return false;
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || value < low || value > high)
        return false;
    *out = value;
    return true;
}

// Parses the command at argv[i] into *command; the index of the next one, or 0
// (with the message printed) for a usage error.
int ParseCommand(int argc, char** argv, int i, Command* command)
{
    const char* word = argv[i];
    command->value = 0;
    if (!std::strcmp(word, "init")) {
        command->op = Op::Init;
    } else if (!std::strcmp(word, "release")) {
        command->op = Op::Release;
    } else if (!std::strcmp(word, "mute")) {
        command->op = Op::Mute;
    } else if (!std::strcmp(word, "unmute")) {
        command->op = Op::Unmute;
    } else if (!std::strcmp(word, "get")) {
        command->op = Op::Get;
    } else if (!std::strcmp(word, "version") || !std::strcmp(word, "--version")) {
        command->op = Op::Version;
    } else if (!std::strcmp(word, "tone")) {
        command->op = Op::Tone;
    } else if (!std::strcmp(word, "set") || !std::strcmp(word, "wait")) {
        bool isSet = word[0] == 's';
        command->op = isSet ? Op::Set : Op::Wait;
        if (i + 1 >= argc)
            return UsageError("'%s' needs a number", word);
        const char* arg = argv[++i];
        bool ok = isSet ? ParseNumber(arg, INT_MIN, INT_MAX, &command->value)
                        : ParseNumber(arg, 0, INT_MAX, &command->value);
        if (!ok)
            return UsageError(isSet ? "'%s' is not a whole number in the 32-bit range"
                                    : "'%s' is not a whole number of milliseconds, 0 or more",
                              arg);
    } else {
        return UsageError("unknown command '%s'", word);
    }
    return i + 1;
}

HMODULE LoadBesideSelf()
{
    wchar_t path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    wchar_t* slash = wcsrchr(path, L'\\');
    wcscpy(slash ? slash + 1 : path, L"Brenquisat.dll");
    return LoadLibraryW(path);
}

// A path as the user's console shows it: in UTF-16 to a console, else in UTF-8.
void PrintPath(const wchar_t* path)
{
    std::fflush(stdout);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, path, static_cast<DWORD>(wcslen(path)), &written, nullptr);
        return;
    }
    char utf8[4 * (MAX_PATH + 32)];
    if (WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8, sizeof utf8, nullptr, nullptr))
        std::fputs(utf8, stdout);
}

// brq's own version, then the loaded library's file version and path: which of
// several copies a host gets is the loader's choice, not brq's.
void PrintVersions(HMODULE library)
{
    std::printf("brq %s\n", BRQ_VERSION);
    wchar_t path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameW(library, path, MAX_PATH + 32);
    if (length == 0 || length >= MAX_PATH + 32)
        wcscpy(path, L"(path unknown)");
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    void* info = size ? std::malloc(size) : nullptr;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (info && GetFileVersionInfoW(path, 0, size, info) &&
        VerQueryValueW(info, L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) &&
        fixedSize >= sizeof *fixed)
        std::printf("Brenquisat.dll %u.%u.%u.%u from ", unsigned{HIWORD(fixed->dwFileVersionMS)},
                    unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                    unsigned{LOWORD(fixed->dwFileVersionLS)});
    else
        std::printf("Brenquisat.dll (no version resource) from ");
    std::free(info);
    PrintPath(path);
}

// brq's own DirectSound device and the tone playing on it, once started.
struct Tone {
    IDirectSound8* device;
    IDirectSoundBuffer* buffer;
    ToneClock clock;
};

bool StartTone(Tone* tone)
{
    if (tone->buffer)
        return true;
    if (FAILED(DirectSoundCreate8(nullptr, &tone->device, nullptr)))
        return false;
    if (SUCCEEDED(tone->device->SetCooperativeLevel(GetDesktopWindow(), DSSCL_NORMAL)) &&
        PlayTone(tone->device, &tone->buffer, &tone->clock))
        return true;
    tone->device->Release();
    tone->device = nullptr;
    return false;
}

bool Wait(Tone* tone, DWORD milliseconds)
{
    if (!tone->buffer) {
        Sleep(milliseconds);
        std::printf("wait %lu ms\n", milliseconds);
        return true;
    }
    return WaitForToneAndPrint(&tone->clock, milliseconds);
}

void StopTone(Tone* tone)
{
    if (tone->buffer) {
        tone->buffer->Stop();
        tone->buffer->Release();
    }
    if (tone->device)
        tone->device->Release();
}

// Why a call returned 0 or false, from GetLastError() read right after it: the
// code's name and what it means here.  Wine 8 answers an open with no playback
// device with DSERR_INVALIDPARAM (Wine 10, as Windows, with DSERR_NODRIVER), so
// that code means a volume out of range only when the volume was out of range.
void PrintReason(DWORD error, const Command& c)
{
    const DSErrorText* known = FindDSError(static_cast<HRESULT>(error));
    if (!known) {
        std::printf(" (error %#lx)", error);
        return;
    }
    const char* meaning = known->meaning;
    bool volumeInRange = c.op != Op::Set || (c.value >= DSBVOLUME_MIN && c.value <= DSBVOLUME_MAX);
    if (known->code == DSERR_INVALIDPARAM && volumeInRange)
        meaning = "the default playback device could not be opened";
    std::printf(" (%s: %s)", known->name, meaning);
}

// Runs one command, prints its line and says whether it succeeded.  The reason
// for a failure is read at once: printing may change it.
bool Run(HMODULE library, const BrenquisatExports& e, const Command& c, Tone* tone)
{
    bool ok = true;
    DWORD error = 0;
    switch (c.op) {
    case Op::Init: {
        int result = e.InitDS();
        error = GetLastError();
        ok = result == 1;
        std::printf("InitDS() -> %d", result);
        break;
    }
    case Op::Release:
        e.ReleaseDS();
        std::printf("ReleaseDS()");
        break;
    case Op::Set: {
        int result = e.SetDSVolume(static_cast<int>(c.value));
        error = GetLastError();
        ok = result == 1;
        std::printf("SetDSVolume(%d) -> %d", static_cast<int>(c.value), result);
        break;
    }
    case Op::Mute:
    case Op::Unmute:
        ok = c.op == Op::Mute ? e.MuteDS() : e.UnmuteDS();
        error = GetLastError();
        std::printf("%s() -> %s", c.op == Op::Mute ? "MuteDS" : "UnmuteDS", ok ? "true" : "false");
        break;
    case Op::Get: {
        int level = 0;
        int result = e.GetDSVolume(&level);
        error = GetLastError();
        ok = result == 1;
        std::printf("GetDSVolume() -> %d", result);
        if (ok)
            std::printf(" (%d)", level);
        break;
    }
    case Op::Version:
        PrintVersions(library);
        break;
    case Op::Wait:
        ok = Wait(tone, static_cast<DWORD>(c.value));
        std::fflush(stdout);
        return ok;
    case Op::Tone:
        ok = StartTone(tone);
        std::printf("tone %lu Hz at -6 dBFS -> %s\n", kToneHz, ok ? "playing" : "no audio device");
        std::fflush(stdout);
        return ok;
    }
    if (!ok)
        PrintReason(error, c);
    std::printf("\n");
    std::fflush(stdout);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc < 2) {
        UsageError("%s", "no command given");
        return 2;
    }
    // Every command is checked before any runs, so bad input calls no export.
    Command command = {Op::Init, 0};
    for (int i = 1; i < argc;)
        if (!(i = ParseCommand(argc, argv, i, &command)))
            return 2;

    HMODULE library = LoadBesideSelf();
    BrenquisatExports exports;
    if (!library || !BindBrenquisat(library, &exports)) {
        std::fprintf(stderr, "brq: cannot load Brenquisat.dll from brq's folder (error %lu)\n",
                     GetLastError());
        return 1;
    }

    bool allOk = true;
    Tone tone = {};
    for (int i = 1; i < argc;) {
        i = ParseCommand(argc, argv, i, &command);
        allOk = Run(library, exports, command, &tone) && allOk;
    }

    // Every device closed before the process ends: Wine (8.0 at least) can crash
    // in its exit while a DirectSound device's worker thread still runs, and the
    // library leaves its device to the process there when it is unloaded open.
    exports.ReleaseDS();
    StopTone(&tone);
    FreeLibrary(library);
    return allOk ? 0 : 1;
}
