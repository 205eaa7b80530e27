// Drives Brenquisat.dll against Wine's own DirectSound.
//   wine_dsound_host null-device   ALSA's default device is a null sink
//   wine_dsound_host no-device     there is no audio device at all
#include "check.h"

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

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
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
        std::printf("usage: wine_dsound_host null-device|no-device\n");
        return 2;
    }
    ok(FreeLibrary(e.module), "FreeLibrary failed\n");
    return CheckSummary(("wine_dsound " + mode).c_str());
}
