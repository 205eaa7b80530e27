"""Brenquisat for Python (ctypes): the six exports of Brenquisat.dll.

    import brenquisat
    bq = brenquisat.load()          # Brenquisat.dll beside this file, or load(folder)
    if not bq.SetDSVolume(-600):
        print(f"SetDSVolume failed: {brenquisat.last_error():#010x}")
    level = ctypes.c_int()
    if bq.GetDSVolume(ctypes.byref(level)):
        print(level.value)
    bq.ReleaseDS()                  # before the program ends

The interpreter's width decides which DLL it loads: 32-bit Python the win32
package's, 64-bit Python the win64 package's.
"""
import ctypes
import os

# Held here for the process's life: unloading Brenquisat with the device open
# sets full level back.
_library = None


def load(folder=None):
    """Loads Brenquisat.dll from folder (by default this file's) on the first
    call, by its absolute path: Python 3.8 and later look for a bare name only
    in python.exe's folder, System32 and os.add_dll_directory() folders.
    Returns the same library, its exports declared, on every call."""
    global _library
    if _library is None:
        folder = os.path.abspath(folder or os.path.dirname(os.path.abspath(__file__)))
        # CDLL calls with cdecl; WinDLL would use stdcall on 32-bit Python.
        library = ctypes.CDLL(os.path.join(folder, "Brenquisat.dll"), use_last_error=True)
        for name, argtypes, restype in (
                ("InitDS", [], ctypes.c_int),
                ("ReleaseDS", [], None),
                ("SetDSVolume", [ctypes.c_int], ctypes.c_int),
                # One byte: the default c_int would read three undefined bytes too.
                ("MuteDS", [], ctypes.c_bool),
                ("UnmuteDS", [], ctypes.c_bool),
                ("GetDSVolume", [ctypes.POINTER(ctypes.c_int)], ctypes.c_int)):
            export = getattr(library, name)
            export.argtypes, export.restype = argtypes, restype
        _library = library
    return _library


def last_error():
    """After a 0 or False: the DirectSound HRESULT that decided it, unsigned.
    ctypes keeps its own copy for this thread until the next call through a
    library loaded with use_last_error=True."""
    return ctypes.get_last_error() & 0xFFFFFFFF
