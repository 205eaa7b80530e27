// The library's six exports, bound by name from a loaded Brenquisat.dll, as
// hosts that load it at run time bind them.
#pragma once

#include <windows.h>

struct BrenquisatExports {
    int(__cdecl* InitDS)();
    void(__cdecl* ReleaseDS)();
    int(__cdecl* SetDSVolume)(int);
    bool(__cdecl* MuteDS)();
    bool(__cdecl* UnmuteDS)();
    int(__cdecl* GetDSVolume)(int*);
};

template <typename Fn>
inline void BindExport(HMODULE library, const char* name, Fn* fn)
{
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// True when all six were found.
inline bool BindBrenquisat(HMODULE library, BrenquisatExports* e)
{
    BindExport(library, "InitDS", &e->InitDS);
    BindExport(library, "ReleaseDS", &e->ReleaseDS);
    BindExport(library, "SetDSVolume", &e->SetDSVolume);
    BindExport(library, "MuteDS", &e->MuteDS);
    BindExport(library, "UnmuteDS", &e->UnmuteDS);
    BindExport(library, "GetDSVolume", &e->GetDSVolume);
    return e->InitDS && e->ReleaseDS && e->SetDSVolume && e->MuteDS && e->UnmuteDS && e->GetDSVolume;
}
