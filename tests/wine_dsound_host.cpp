// Drives Brenquisat.dll against Wine's own DirectSound.
//   wine_dsound_host null-device   ALSA's default device is a null sink
//   wine_dsound_host no-device     there is no audio device at all
//   wine_dsound_host unload        null device; unloading with the device open
#include "check.h"
#include "process_counts.h"

namespace {

void WithNullDevice(const LoadedBrenquisat& e)
{
    int result = e.InitDS();
    ok(result == 1, "InitDS() returned %d, expected 1\n", result);
    result = e.InitDS();
    ok(result == 1, "second InitDS() returned %d, expected 1\n", result);

    static const struct { int volume; int expected; } kVolumes[] = {
        {0, 1}, {-2500, 1}, {-10000, 1}, {-1, 1},
        {1, 0}, {-10001, 0}, {2147483647, 0}, {-2147483647 - 1, 0}};
    for (const auto& v : kVolumes) {
        result = e.SetDSVolume(v.volume);
        ok(result == v.expected, "SetDSVolume(%d) returned %d, expected %d\n", v.volume, result,
           v.expected);
    }
    ok(e.MuteDS(), "MuteDS() returned false\n");
    ok(e.UnmuteDS(), "UnmuteDS() returned false\n");

    e.ReleaseDS();
    e.ReleaseDS();
    result = e.SetDSVolume(-600);
    ok(result == 1, "SetDSVolume(-600) after ReleaseDS returned %d, expected 1\n", result);
    e.ReleaseDS();
    result = e.InitDS();
    ok(result == 1, "InitDS() after ReleaseDS returned %d, expected 1\n", result);
    e.ReleaseDS();
}

void WithNoDevice(const LoadedBrenquisat& e)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        int result = e.InitDS();
        ok(result == 0, "InitDS() returned %d, expected 0\n", result);
        result = e.SetDSVolume(-2500);
        ok(result == 0, "SetDSVolume(-2500) returned %d, expected 0\n", result);
        ok(!e.MuteDS(), "MuteDS() returned true\n");
        ok(!e.UnmuteDS(), "UnmuteDS() returned true\n");
        e.ReleaseDS();
    }
}

// Without msvcrt: a thread stuck in the loader may hold what printf needs.
[[noreturn]] void Abort(const char* message)
{
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), message, lstrlenA(message), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) {
    }
}

DWORD WINAPI FreeLibraryThread(void* module)
{
    return FreeLibrary(static_cast<HMODULE>(module));
}

// Unloads on another thread, so that a hang fails the test instead of blocking it;
// returns the time FreeLibrary took in microseconds.
long long FreeLibraryWatched(HMODULE module)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    HANDLE thread = CreateThread(nullptr, 0, FreeLibraryThread, module, 0, nullptr);
    if (!thread)
        Abort("CreateThread for FreeLibrary failed\n");
    if (WaitForSingleObject(thread, 10000) != WAIT_OBJECT_0)
        Abort("Test failed: FreeLibrary with the device open did not return within 10 s\n");
    QueryPerformanceCounter(&end);
    DWORD freed = 0;
    GetExitCodeThread(thread, &freed);
    CloseHandle(thread);
    ok(freed, "FreeLibrary failed\n");
    return (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
}

void LoadMuteUnload(long long* microseconds)
{
    LoadedBrenquisat e;
    if (!LoadBrenquisat(&e))
        Abort("Brenquisat.dll or one of its exports did not load\n");
    ok(e.MuteDS(), "MuteDS() returned false\n");
    *microseconds = FreeLibraryWatched(e.module);
}

void Unloading(const char* self)
{
    long long first = 0;
    int threadsAtStart = ThreadCount();
    LoadMuteUnload(&first);
    int threadsAfterFirst = ThreadCountSettledAt(threadsAtStart);
    int handlesAfterFirst = HandleCount();

    long long slowest = 0;
    for (int cycle = 0; cycle < 20; ++cycle) {
        long long microseconds = 0;
        LoadMuteUnload(&microseconds);
        slowest = microseconds > slowest ? microseconds : slowest;
    }
    int threadsAfterCycles = ThreadCountSettledAt(threadsAfterFirst);
    int handlesAfterCycles = HandleCount();
    ok(threadsAfterCycles == threadsAfterFirst,
       "CreateToolhelp32Snapshot: %d threads after 20 load, mute, unload cycles, %d before\n",
       threadsAfterCycles, threadsAfterFirst);
    ok(handlesAfterCycles == handlesAfterFirst,
       "%d handles after 20 load, mute, unload cycles, %d before\n", handlesAfterCycles,
       handlesAfterFirst);
    std::printf("FreeLibrary with the device open: %lld us the first time, at most %lld us "
                "over 20 cycles; threads %d at start, %d after the first cycle, %d after 20; "
                "handles %d after the first cycle, %d after 20\n",
                first, slowest, threadsAtStart, threadsAfterFirst, threadsAfterCycles,
                handlesAfterFirst, handlesAfterCycles);

    // The hang at process exit was intermittent: several children, each must end.
    for (int child = 0; child < 8; ++child) {
        int code = RunSelf(self, "exit-with-device-open");
        ok(code == 0, "child %d that exits with the device open ended with %d, expected 0%s\n",
           child, code, code == -2 ? " (hung)" : "");
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "exit-with-device-open")
        return ExitWithDeviceOpen();
    if (mode == "unload") {
        Unloading(argv[0]);
        return CheckSummary("wine_dsound unload");
    }
    LoadedBrenquisat e;
    if (!LoadBrenquisat(&e)) {
        std::printf("Brenquisat.dll or one of its exports did not load (error %lu)\n",
                    GetLastError());
        return 1;
    }
    if (mode == "null-device") {
        WithNullDevice(e);
    } else if (mode == "no-device") {
        WithNoDevice(e);
    } else {
        std::printf("usage: wine_dsound_host null-device|no-device|unload\n");
        return 2;
    }
    ok(FreeLibrary(e.module), "FreeLibrary failed\n");
    return CheckSummary(("wine_dsound " + mode).c_str());
}
