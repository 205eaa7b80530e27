; Brenquisat for AutoHotkey v2: the six exports of Brenquisat.dll.
;
;   #Include Brenquisat.ahk
;   BrenquisatLoad()            ; Brenquisat.dll beside the script, or BrenquisatLoad(folder)
;   if !SetDSVolume(-600)
;       MsgBox Format("SetDSVolume failed: {:#010x}", A_LastError)
;   level := 0
;   if GetDSVolume(&level)
;       MsgBox "level " level
;   ReleaseDS()                 ; before the script ends
;
; 32-bit AutoHotkey needs the win32 package's DLL, 64-bit AutoHotkey the win64
; package's.  A_LastError, read right after a 0 or false, is the DirectSound
; HRESULT that decided it.
#Requires AutoHotkey v2.0

; Loads the DLL once and keeps it for the script's life: DllCall on a DLL that is
; not loaded loads it and frees it after the call, and unloading Brenquisat with
; the device open sets full level back.  Throws an OSError when it cannot load.
BrenquisatLoad(folder := A_ScriptDir) {
    static module := 0
    if !module {
        module := DllCall("LoadLibrary", "Str", folder "\Brenquisat.dll", "Ptr")
        if !module
            throw OSError(A_LastError, -1, folder "\Brenquisat.dll")
    }
    return module
}

; The address of an export, looked up once; loads the DLL if no call did.
BrenquisatExport(name) {
    static addresses := Map()
    if !addresses.Has(name)
        addresses[name] := DllCall("GetProcAddress", "Ptr", BrenquisatLoad(), "AStr", name, "Ptr")
    return addresses[name]
}

; Cdecl: DllCall's default on 32-bit AutoHotkey is stdcall.  UChar: MuteDS and
; UnmuteDS set one byte; the default Int would read three undefined bytes too.
InitDS() => DllCall(BrenquisatExport("InitDS"), "Cdecl Int")
ReleaseDS() => DllCall(BrenquisatExport("ReleaseDS"), "Cdecl")
SetDSVolume(volume) => DllCall(BrenquisatExport("SetDSVolume"), "Int", volume, "Cdecl Int")
MuteDS() => DllCall(BrenquisatExport("MuteDS"), "Cdecl UChar")
UnmuteDS() => DllCall(BrenquisatExport("UnmuteDS"), "Cdecl UChar")
GetDSVolume(&volume) => DllCall(BrenquisatExport("GetDSVolume"), "Int*", &volume, "Cdecl Int")
