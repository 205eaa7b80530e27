/* A host written in C that links against one of Brenquisat's import libraries
 * instead of binding by name, and calls every export.  Built twice: against
 * libBrenquisat.dll.a with the MinGW toolchain, and against Brenquisat.lib with
 * lld-link and no C runtime (HOST_WITHOUT_CRT: it starts at mainCRTStartup, the
 * entry linkers give a console program, and uses the system DLLs alone). */
#include <windows.h>

#include "brenquisat.h"

static int failures;

static void Say(const char* text)
{
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)lstrlenA(text), &written, NULL);
}

static void Check(int passed, const char* what)
{
    Say(passed ? "ok:   " : "FAIL: ");
    Say(what);
    Say("\n");
    failures += !passed;
}

#ifdef BRENQUISAT_VERSION
/* File properties and installers read the version resource. */
static void CheckVersionResource(void)
{
    /* Static: a frame of 4 KiB or more calls the C runtime's stack probe. */
    static char path[MAX_PATH];
    static char info[4096];
    char* text = NULL;
    UINT length = 0;
    HMODULE library = GetModuleHandleA("Brenquisat.dll");
    GetModuleFileNameA(library, path, sizeof(path));
    Check(GetFileVersionInfoA(path, 0, sizeof(info), info) &&
          VerQueryValueA(info, "\\StringFileInfo\\040904B0\\ProductVersion", (void**)&text,
                         &length) &&
          lstrcmpA(text, BRENQUISAT_VERSION) == 0,
          "GetFileVersionInfo: ProductVersion is " BRENQUISAT_VERSION);
}
#endif

static int Run(void)
{
    bool muted;
    int level = 0;
    Check(InitDS() == 1, "InitDS() == 1");
    Check(SetDSVolume(-2500) == 1, "SetDSVolume(-2500) == 1");
    Check(GetDSVolume(&level) == 1 && level == -2500, "GetDSVolume(&level) == 1, level -2500");
    Check(GetDSVolume(NULL) == 0, "GetDSVolume(NULL) == 0");
    Check(SetDSVolume(-10001) == 0, "SetDSVolume(-10001) == 0");
    muted = MuteDS();
    Check(muted, "MuteDS() is true");
    Check(UnmuteDS(), "UnmuteDS() is true");
    ReleaseDS();
    Check(SetDSVolume(-100) == 1, "SetDSVolume(-100) == 1 after ReleaseDS");
    ReleaseDS();
#ifdef BRENQUISAT_VERSION
    CheckVersionResource();
#endif
    Say(failures ? "package host: failed\n" : "package host: passed\n");
    return failures;
}

#ifdef HOST_WITHOUT_CRT
void mainCRTStartup(void)
{
    ExitProcess((UINT)Run());
}
#else
int main(void)
{
    return Run();
}
#endif
