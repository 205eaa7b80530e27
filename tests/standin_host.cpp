// Drives Brenquisat.dll against the stand-in dsound.dll: for each sequence of
// export calls, the exact platform calls the library makes and the result of
// each export.
#include "check.h"
#include "process_counts.h"
#include "standin_dsound.h"

#include <cstdlib>

namespace {

// What the stand-in logs for each platform call, result included.
#define CREATED "DirectSoundCreate8(NULL, NULL) = DS_OK\n"
#define CREATE_FAILED "DirectSoundCreate8(NULL, NULL) = DSERR_NODRIVER\n"
#define COOP(hr) "IDirectSound8::SetCooperativeLevel(desktop, DSSCL_NORMAL) = " hr "\n"
#define COMPACT(hr) "IDirectSound8::Compact() = " hr "\n"
#define PROBED CREATED COMPACT("DSERR_PRIOLEVELNEEDED")
#define OPENED PROBED COOP("DS_OK")
#define DEVICE_RELEASED "IDirectSound8::Release() = 0\n"
#ifdef _WIN64
#define DESC_SIZE "40"
#else
#define DESC_SIZE "36"
#endif
#define BUFFER(hr) "IDirectSound8::CreateSoundBuffer({" DESC_SIZE ", 0x81, 0, 0, NULL, GUID_NULL}, NULL) = " hr "\n"
#define VOLUME(v, hr) "IDirectSoundBuffer::SetVolume(" #v ") = " hr "\n"
#define READ(v) "IDirectSoundBuffer::GetVolume() = DS_OK, " #v "\n"
#define READ_FAILED(hr) "IDirectSoundBuffer::GetVolume() = " hr "\n"
#define STATUS(hr, status) "IDirectSoundBuffer::GetStatus() = " hr ", " status "\n"
#define PLAY(hr) "IDirectSoundBuffer::Play(0, 0, DSBPLAY_LOOPING) = " hr "\n"
#define STOP(hr) "IDirectSoundBuffer::Stop() = " hr "\n"
#define BUFFER_RELEASED "IDirectSoundBuffer::Release() = 0\n"
// A level set, and what the platform reports for it right after.
#define APPLIED_READING(v, read) BUFFER("DS_OK") VOLUME(v, "DS_OK") read STATUS("DS_OK", "0") PLAY("DS_OK") \
    STOP("DS_OK") BUFFER_RELEASED
#define APPLIED(v) APPLIED_READING(v, READ(v))
#define LEVEL_READ(v) BUFFER("DS_OK") READ(v) BUFFER_RELEASED
#define REFUSED(v, hr) BUFFER("DS_OK") VOLUME(v, hr) BUFFER_RELEASED

struct Sequence {
    const char* name;
    // Export calls with their expected results; "fail:STEPS" sets the platform
    // steps to fail from there on; "releasedelay:MS" makes the final release of
    // each device created from there on take that long; "FreeLibrary" unloads
    // and "LoadLibrary" loads again at once; "Thread" starts and ends a thread;
    // "level:N" sets the output's level behind the library's back, as a host would.
    const char* steps;
    const char* platformCalls;
};

const Sequence kSequences[] = {
    {"InitDS opens the default device at normal level on the desktop window",
     "InitDS=1", OPENED},
    {"a second InitDS opens no second device",
     "InitDS=1 InitDS=1", OPENED},
    {"InitDS after ReleaseDS opens a new device",
     "InitDS=1 ReleaseDS InitDS=1", OPENED DEVICE_RELEASED OPENED},
    {"ReleaseDS on a library never opened, twice, makes no call",
     "ReleaseDS ReleaseDS", ""},
    {"a second ReleaseDS makes no call",
     "InitDS=1 ReleaseDS ReleaseDS", OPENED DEVICE_RELEASED},
    {"failed device creation is tried again by the next InitDS",
     "fail:create InitDS=0/DSERR_NODRIVER InitDS=0/DSERR_NODRIVER fail: InitDS=1",
     CREATE_FAILED CREATE_FAILED OPENED},
    {"refused cooperative level releases the new device at once",
     "fail:coop InitDS=0/DSERR_ALLOCATED fail: InitDS=1",
     PROBED COOP("DSERR_ALLOCATED") DEVICE_RELEASED OPENED},
    {"SetDSVolume on a fresh library opens the device and applies the volume",
     "SetDSVolume(-2500)=1", OPENED APPLIED(-2500)},
    {"SetDSVolume after ReleaseDS opens a new device",
     "SetDSVolume(-2500)=1 ReleaseDS SetDSVolume(-100)=1",
     OPENED APPLIED(-2500) DEVICE_RELEASED OPENED APPLIED(-100)},
    {"MuteDS then UnmuteDS, each through a new primary buffer",
     "MuteDS=1 UnmuteDS=1", OPENED APPLIED(-10000) APPLIED(0)},
    {"SetDSVolume(0) makes the same calls as UnmuteDS",
     "SetDSVolume(0)=1 UnmuteDS=1", OPENED APPLIED(0) APPLIED(0)},
    {"out-of-range volumes are passed unchanged and refused, without play or stop",
     "SetDSVolume(1)=0/DSERR_INVALIDPARAM SetDSVolume(-10001)=0/DSERR_INVALIDPARAM "
     "SetDSVolume(2147483647)=0/DSERR_INVALIDPARAM SetDSVolume(-2147483648)=0/DSERR_INVALIDPARAM",
     OPENED REFUSED(1, "DSERR_INVALIDPARAM") REFUSED(-10001, "DSERR_INVALIDPARAM")
     REFUSED(2147483647, "DSERR_INVALIDPARAM") REFUSED(-2147483648, "DSERR_INVALIDPARAM")},
    {"a volume refused by the platform makes every volume call fail",
     "fail:volume MuteDS=0/DSERR_GENERIC UnmuteDS=0/DSERR_GENERIC SetDSVolume(-5)=0/DSERR_GENERIC",
     OPENED REFUSED(-10000, "DSERR_GENERIC") REFUSED(0, "DSERR_GENERIC")
     REFUSED(-5, "DSERR_GENERIC")},
    {"failed buffer creation keeps the device open for the next call",
     "fail:buffer MuteDS=0/DSERR_OUTOFMEMORY fail: MuteDS=1",
     OPENED BUFFER("DSERR_OUTOFMEMORY") APPLIED(-10000)},
    {"failing Play and Stop do not change the result",
     "fail:play,stop SetDSVolume(-300)=1",
     OPENED BUFFER("DS_OK") VOLUME(-300, "DS_OK") READ(-300) STATUS("DS_OK", "0") PLAY("DSERR_BUFFERLOST")
     STOP("DSERR_BUFFERLOST") BUFFER_RELEASED},
    {"a device shared with a host at PRIORITY level keeps that level",
     "fail:priority InitDS=1 MuteDS=1", CREATED COMPACT("DS_OK") APPLIED(-10000)},
    {"a failing level probe sets the level as usual",
     "fail:compact InitDS=1", CREATED COMPACT("DSERR_GENERIC") COOP("DS_OK")},
    {"a primary buffer the host plays is neither played nor stopped",
     "fail:playing SetDSVolume(-600)=1",
     OPENED BUFFER("DS_OK") VOLUME(-600, "DS_OK") READ(-600) STATUS("DS_OK", "DSBSTATUS_PLAYING|DSBSTATUS_LOOPING")
     BUFFER_RELEASED},
    {"a failing play-state probe plays and stops as usual",
     "fail:status SetDSVolume(-600)=1",
     OPENED BUFFER("DS_OK") VOLUME(-600, "DS_OK") READ(-600) STATUS("DSERR_GENERIC", "0") PLAY("DS_OK")
     STOP("DS_OK") BUFFER_RELEASED},
    {"volume calls fail when the device cannot be created, and retry each time",
     "fail:create MuteDS=0/DSERR_NODRIVER UnmuteDS=0/DSERR_NODRIVER SetDSVolume(0)=0/DSERR_NODRIVER",
     CREATE_FAILED CREATE_FAILED CREATE_FAILED},
    {"a volume call whose open is refused releases the device and opens again next time",
     "fail:coop SetDSVolume(-1)=0/DSERR_ALLOCATED fail: SetDSVolume(-1)=1",
     PROBED COOP("DSERR_ALLOCATED") DEVICE_RELEASED OPENED APPLIED(-1)},
    {"unloading a library that never opened its device makes no call",
     "FreeLibrary", ""},
    {"unloading after a failed open makes no further call",
     "fail:create InitDS=0/DSERR_NODRIVER FreeLibrary", CREATE_FAILED},
    {"unloading after MuteDS sets full level back, then releases the device once",
     "MuteDS=1 FreeLibrary", OPENED APPLIED(-10000) APPLIED(0) DEVICE_RELEASED},
    {"unloading after ReleaseDS neither reopens nor restores",
     "MuteDS=1 ReleaseDS FreeLibrary", OPENED APPLIED(-10000) DEVICE_RELEASED},
    {"unloading releases the device when the restoring buffer is refused",
     "SetDSVolume(-700)=1 fail:buffer FreeLibrary",
     OPENED APPLIED(-700) BUFFER("DSERR_OUTOFMEMORY") DEVICE_RELEASED},
    {"unloading releases the device when the restoring volume is refused",
     "SetDSVolume(-700)=1 fail:volume FreeLibrary",
     OPENED APPLIED(-700) REFUSED(0, "DSERR_GENERIC") DEVICE_RELEASED},
    {"the reason for a failure is cleared by the next success, whichever export",
     "fail:buffer SetDSVolume(-5)=0/DSERR_OUTOFMEMORY fail: InitDS=1 fail:volume UnmuteDS=0/DSERR_GENERIC "
     "fail: MuteDS=1 fail:coop ReleaseDS InitDS=0/DSERR_ALLOCATED fail: SetDSVolume(-5)=1",
     OPENED BUFFER("DSERR_OUTOFMEMORY") REFUSED(0, "DSERR_GENERIC") APPLIED(-10000) DEVICE_RELEASED
     PROBED COOP("DSERR_ALLOCATED") DEVICE_RELEASED OPENED APPLIED(-5)},
    {"GetDSVolume on a fresh library opens the device and reads the level, changing nothing",
     "GetDSVolume(0)=1 GetDSVolume(0)=1", OPENED LEVEL_READ(0) LEVEL_READ(0)},
    {"a level set reads back exactly as set, though the platform reports it changed",
     "fail:lossy SetDSVolume(-5000)=1 GetDSVolume(-5000)=1 MuteDS=1 GetDSVolume(-10000)=1 "
     "SetDSVolume(-2000)=1 GetDSVolume(-2000)=1",
     OPENED APPLIED_READING(-5000, READ(-5005)) LEVEL_READ(-5005) APPLIED(-10000) LEVEL_READ(-10000)
     APPLIED(-2000) LEVEL_READ(-2000)},
    {"a level changed behind the library's back reads as the platform reports it",
     "fail:lossy SetDSVolume(-5000)=1 level:-7000 GetDSVolume(-7005)=1 level:-5000 GetDSVolume(-5000)=1",
     OPENED APPLIED_READING(-5000, READ(-5005)) LEVEL_READ(-7005) LEVEL_READ(-5005)},
    {"a read-back that fails neither fails the volume call nor makes the level read exact",
     "fail:lossy,read SetDSVolume(-5000)=1 fail:lossy GetDSVolume(-5005)=1",
     OPENED APPLIED_READING(-5000, READ_FAILED("DSERR_GENERIC")) LEVEL_READ(-5005)},
    {"GetDSVolume fails at each step with its code, keeping the device open after an open",
     "fail:create GetDSVolume=0/DSERR_NODRIVER fail:coop GetDSVolume=0/DSERR_ALLOCATED "
     "fail:buffer GetDSVolume=0/DSERR_OUTOFMEMORY fail:read GetDSVolume=0/DSERR_GENERIC fail: GetDSVolume(0)=1",
     CREATE_FAILED PROBED COOP("DSERR_ALLOCATED") DEVICE_RELEASED OPENED BUFFER("DSERR_OUTOFMEMORY")
     BUFFER("DS_OK") READ_FAILED("DSERR_GENERIC") BUFFER_RELEASED LEVEL_READ(0)},
    {"GetDSVolume given a null pointer makes no call, with the device closed or open",
     "GetDSVolume(null)=0/DSERR_INVALIDPARAM InitDS=1 GetDSVolume(null)=0/DSERR_INVALIDPARAM", OPENED},
    {"GetDSVolume after ReleaseDS opens a new device and reads the level that stayed",
     "SetDSVolume(-600)=1 ReleaseDS GetDSVolume(-600)=1",
     OPENED APPLIED(-600) DEVICE_RELEASED OPENED LEVEL_READ(-600)},
    {"unloading after GetDSVolume opened the device sets full level back",
     "GetDSVolume(0)=1 FreeLibrary", OPENED LEVEL_READ(0) APPLIED(0) DEVICE_RELEASED},
    {"thread attach and detach make no call, with the device closed or open",
     "Thread InitDS=1 Thread", OPENED},
    {"a release still under way holds up neither FreeLibrary nor a reload",
     "releasedelay:3000 MuteDS=1 releasedelay:0 FreeLibrary LoadLibrary MuteDS=1 FreeLibrary",
     OPENED APPLIED(-10000) APPLIED(0) OPENED APPLIED(-10000) APPLIED(0) DEVICE_RELEASED
     DEVICE_RELEASED},
};

DWORD WINAPI DoNothing(void*)
{
    return 0;
}

bool WaitForNoLiveObjects()
{
    // A watchdog, not a timing check: the device may be released on another
    // thread just after FreeLibrary returns.
    for (int i = 0; i < 500 && StandinLiveObjects() > 0; ++i)
        Sleep(10);
    return StandinLiveObjects() == 0;
}

// Runs one step; false when it could not be run at all.
bool RunStep(const Sequence& s, const std::string& step, LoadedBrenquisat* e)
{
    std::string name = step.substr(0, step.find_first_of("(="));
    if (step.compare(0, 5, "fail:") == 0) {
        StandinSetFaults(step.c_str() + 5);
    } else if (step.compare(0, 6, "level:") == 0) {
        StandinSetLevel(std::atol(step.c_str() + 6));
    } else if (step.compare(0, 13, "releasedelay:") == 0) {
        StandinSetReleaseDelay(std::atoi(step.c_str() + 13));
    } else if (name == "FreeLibrary") {
        SetLastError(kStaleLastError);
        ok(FreeLibrary(e->module), "%s: FreeLibrary failed\n", s.name);
        ok(GetLastError() == kStaleLastError, "%s: FreeLibrary changed GetLastError() to %s\n",
           s.name, LastErrorName(GetLastError()).c_str());
        e->module = nullptr;
    } else if (name == "LoadLibrary") {
        ok(LoadBrenquisat(e), "%s: loading the library failed (error %lu)\n", s.name, GetLastError());
    } else if (name == "Thread") {
        HANDLE thread = CreateThread(nullptr, 0, DoNothing, nullptr, 0, nullptr);
        ok(thread != nullptr, "%s: CreateThread failed\n", s.name);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    } else {
        return CallExport(*e, step, s.name);
    }
    return true;
}

void RunSequence(const Sequence& s)
{
    StandinReset("");
    LoadedBrenquisat e;
    if (!LoadBrenquisat(&e)) {
        ok(false, "%s: Brenquisat.dll or one of its exports did not load (error %lu)\n", s.name,
           GetLastError());
        return;
    }
    ok(StandinLog()[0] == '\0', "%s: loading made platform calls:\n%s", s.name, StandinLog());

    for (const std::string& step : SplitSteps(s.steps))
        if (!RunStep(s, step, &e))
            break;

    // After an unload, the device release that runs on another thread.
    if (!e.module)
        WaitForNoLiveObjects();
    std::string calls = StandinLog();
    ok(calls == s.platformCalls, "%s: platform calls were\n%s---- expected\n%s----\n", s.name,
       calls.c_str(), s.platformCalls);

    // Whatever the sequence left open must close with exactly one release each.
    StandinSetFaults("");
    if (e.module) {
        e.ReleaseDS();
        FreeLibrary(e.module);
    }
    ok(WaitForNoLiveObjects(), "%s: %d platform objects still hold references\n", s.name,
       StandinLiveObjects());
    ok(!std::strstr(StandinLog(), "! "), "%s: misuse of platform objects:\n%s", s.name,
       StandinLog());
}

int Occurrences(const std::string& text, const char* line)
{
    int count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
        ++count;
    return count;
}

// Replaces the library's import of a KERNEL32 function in its import address
// table; false if it has no such import.
bool PatchImport(HMODULE module, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name; ++dll) {
        if (_stricmp(reinterpret_cast<char*>(base + dll->Name), "KERNEL32.dll"))
            continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name,
                            function))
                continue;
            DWORD protection;
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
            return true;
        }
    }
    return false;
}

// What the library finds of the system's waits, as the test chooses: WaitOnAddress
// (Windows 8 and later, Wine), only events (Windows XP to 7), or not even an event.
bool g_hideWaitOnAddress, g_failEvents;
volatile LONG g_eventsAsked;

HMODULE WINAPI TestGetModuleHandleW(LPCWSTR name)
{
    if (g_hideWaitOnAddress && name && !lstrcmpiW(name, L"kernelbase.dll")) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return GetModuleHandleW(name);
}

HANDLE WINAPI TestCreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL set, LPCWSTR name)
{
    InterlockedIncrement(&g_eventsAsked);
    if (g_failEvents) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateEventW(security, manual, set, name);
}

// Host threads calling all six exports at once, for a second, with each way the
// lock can wait: the calls take turns, so every device created is released
// exactly once, no platform call reaches a released object, and no handle is
// left behind.
void CheckThreads()
{
    static const struct {
        const char* name;
        bool hideWaitOnAddress, failEvents;
        bool eventsAsked;  // whether a waiting caller asks for an event
    } kWaits[] = {
        {"4 host threads waiting on an address", false, false, false},
        {"4 host threads waiting on events", true, false, true},
        {"4 host threads, no event to be had", true, true, true},
    };
    for (const auto& wait : kWaits) {
        StandinReset("");
        LoadedBrenquisat e;
        if (!LoadBrenquisat(&e)) {
            ok(false, "Brenquisat.dll did not load\n");
            return;
        }
        g_hideWaitOnAddress = wait.hideWaitOnAddress;
        g_failEvents = wait.failEvents;
        g_eventsAsked = 0;
        ok(PatchImport(e.module, "GetModuleHandleW", reinterpret_cast<void*>(TestGetModuleHandleW)) &&
           PatchImport(e.module, "CreateEventW", reinterpret_cast<void*>(TestCreateEventW)),
           "%s: Brenquisat.dll imports no GetModuleHandleW or CreateEventW\n", wait.name);
        int handlesBefore = HandleCount();
        RunStorm(e, 4, 700, wait.name);
        e.ReleaseDS();
        int handlesAfter = HandleCount();
        FreeLibrary(e.module);
        ok(handlesAfter == handlesBefore, "%s: %d handles after the calls, %d before\n", wait.name,
           handlesAfter, handlesBefore);
        ok((g_eventsAsked > 0) == wait.eventsAsked, "%s: CreateEventW was called %ld times\n", wait.name,
           g_eventsAsked);
        ok(WaitForNoLiveObjects(), "%s: %d platform objects still hold references\n", wait.name,
           StandinLiveObjects());
        std::string calls = StandinLog();
        int created = Occurrences(calls, CREATED), released = Occurrences(calls, DEVICE_RELEASED);
        ok(created > 0 && created == released,
           "%s: DirectSoundCreate8 made %d devices, IDirectSound8::Release() = 0 came %d times\n",
           wait.name, created, released);
        size_t misuse = calls.find("! ");
        ok(misuse == std::string::npos, "%s: misuse of platform objects, first:\n%s\n", wait.name,
           calls.substr(misuse == std::string::npos ? 0 : misuse, 200).c_str());
    }
}

#ifndef _WIN64
// x86 has several calling conventions, x86-64 one.  Calls fn(arg) and returns
// how many bytes of arguments the callee popped: 0 for the C calling convention,
// where the caller pops.
extern "C" int __cdecl BytesPoppedByCallee(void* fn, int arg);
asm(R"(
    .text
    .globl _BytesPoppedByCallee
_BytesPoppedByCallee:
    pushl %ebp
    movl  %esp, %ebp
    pushl %esi
    movl  %esp, %esi
    pushl 12(%ebp)
    call  *8(%ebp)
    movl  %esp, %eax
    subl  %esi, %eax
    addl  $4, %eax
    movl  %esi, %esp
    popl  %esi
    popl  %ebp
    ret
)");

void CheckCallingConvention()
{
    LoadedBrenquisat e;
    StandinReset("");
    if (!LoadBrenquisat(&e)) {
        ok(false, "Brenquisat.dll did not load\n");
        return;
    }
    int popped = BytesPoppedByCallee(reinterpret_cast<void*>(e.SetDSVolume), -2500);
    ok(popped == 0, "SetDSVolume popped %d bytes: the caller must pop its argument\n", popped);
    e.ReleaseDS();
    FreeLibrary(e.module);
    WaitForNoLiveObjects();
}
#endif

// A process that ends with the device open sets full level back and leaves the
// device to the ending process: no Release, which could wait on stopped threads.
void CheckProcessExit(const char* self)
{
    char logPath[MAX_PATH], dir[MAX_PATH];
    GetTempPathA(sizeof(dir), dir);
    GetTempFileNameA(dir, "brq", 0, logPath);
    SetEnvironmentVariableA("STANDIN_LOG", logPath);

    int code = RunSelf(self, "exit-with-device-open");
    SetEnvironmentVariableA("STANDIN_LOG", nullptr);
    ok(code == 0, "the child that exits with the device open ended with %d, expected 0\n", code);

    std::string calls;
    if (FILE* f = std::fopen(logPath, "r")) {
        char line[512];
        while (std::fgets(line, sizeof(line), f))
            calls += line;
        std::fclose(f);
    }
    DeleteFileA(logPath);
    const char* expected = OPENED APPLIED(-10000) APPLIED(0);
    ok(calls == expected, "process exit: platform calls were\n%s---- expected\n%s----\n",
       calls.c_str(), expected);
}


} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && !std::strcmp(argv[1], "exit-with-device-open"))
        return ExitWithDeviceOpen();
    for (const Sequence& s : kSequences)
        RunSequence(s);
    CheckThreads();
#ifndef _WIN64
    CheckCallingConvention();
#endif
    CheckProcessExit(argv[0]);
    return CheckSummary("standin_sequences");
}
