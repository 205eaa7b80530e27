// The platform results a host meets in GetLastError() after an export returned
// 0 or false: each code's name and what it means for a master volume call.
#pragma once

#include <windows.h>
#include <dsound.h>

#include <cstring>

struct DSErrorText {
    HRESULT code;
    const char* name;
    const char* meaning;
};

const DSErrorText kDSErrors[] = {
    {DS_OK, "DS_OK", "success"},
    {DSERR_NODRIVER, "DSERR_NODRIVER", "no audio playback device"},
    {DSERR_ALLOCATED, "DSERR_ALLOCATED", "the audio device is in use by another program"},
    {DSERR_CONTROLUNAVAIL, "DSERR_CONTROLUNAVAIL",
     "the process's primary buffer was made without volume control"},
    {DSERR_INVALIDPARAM, "DSERR_INVALIDPARAM", "outside -10000..0"},
    {DSERR_PRIOLEVELNEEDED, "DSERR_PRIOLEVELNEEDED", "the device's cooperative level is too low"},
    {DSERR_OUTOFMEMORY, "DSERR_OUTOFMEMORY", "out of memory"},
    {DSERR_BUFFERLOST, "DSERR_BUFFERLOST", "the primary buffer was lost to another program"},
    {DSERR_UNINITIALIZED, "DSERR_UNINITIALIZED", "the device is not open"},
    {DSERR_UNSUPPORTED, "DSERR_UNSUPPORTED", "the audio device does not support this"},
    {DSERR_GENERIC, "DSERR_GENERIC", "the audio service failed"},
};

// The entry for a code, or null for one not listed.
inline const DSErrorText* FindDSError(HRESULT code)
{
    for (const DSErrorText& error : kDSErrors)
        if (error.code == code)
            return &error;
    return nullptr;
}

// The entry for a name, or null for one not listed.
inline const DSErrorText* FindDSError(const char* name)
{
    for (const DSErrorText& error : kDSErrors)
        if (!std::strcmp(error.name, name))
            return &error;
    return nullptr;
}
