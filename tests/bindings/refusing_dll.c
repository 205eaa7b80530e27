/* A Brenquisat.dll with the same exports whose volume calls all refuse, as on a
 * driver without primary volume control, each leaving DSERR_CONTROLUNAVAIL.
 * MuteDS and UnmuteDS leave the three upper bytes of the result register set, as
 * a one-byte result may: a binding that reads four bytes takes the refusal for
 * success. */
#include <windows.h>

#define DSERR_CONTROLUNAVAIL ((DWORD)0x8878001E)

static int refuse(void)
{
    SetLastError(DSERR_CONTROLUNAVAIL);
    return 0;
}

__declspec(dllexport) int __cdecl InitDS(void) { return 1; }
__declspec(dllexport) void __cdecl ReleaseDS(void) {}
__declspec(dllexport) int __cdecl SetDSVolume(int volume) { (void)volume; return refuse(); }
__declspec(dllexport) int __cdecl GetDSVolume(int *volume) { (void)volume; return refuse(); }
/* Declared with a four-byte result so that its upper bytes are defined here. */
__declspec(dllexport) unsigned __cdecl MuteDS(void) { return refuse() | 0xFFFFFF00u; }
__declspec(dllexport) unsigned __cdecl UnmuteDS(void) { return refuse() | 0xFFFFFF00u; }
