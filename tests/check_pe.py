#!/usr/bin/python3
"""Reads Windows images with pefile, whatever binutils prints.

  check_pe.py dll ARCH DLL VERSION  the shipped DLL: an ARCH image (win32, win64 or
                                    arm64) that is a DLL, exports exactly the six
                                    names, imports system DLLs only (no C runtime;
                                    from KERNEL32, only what Windows XP has), is at
                                    most 8 KiB and grows no bigger, and whose version
                                    resource gives
                                    VERSION (e.g. 1.1.0) and names the license
  check_pe.py width ARCH FILE...    each file is an image of ARCH's width
"""
import os
import sys

import pefile

WIDTHS = {
    "win32": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], pefile.OPTIONAL_HEADER_MAGIC_PE),
    "win64": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"], pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS),
    "arm64": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_ARM64"], pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS),
}
EXPORTS = ["GetDSVolume", "InitDS", "MuteDS", "ReleaseDS", "SetDSVolume", "UnmuteDS"]
# The DLLs the library calls, and nothing else: no C runtime on any architecture.
SYSTEM_DLLS = {"KERNEL32.DLL", "USER32.DLL", "DSOUND.DLL"}
# The DLL must keep loading on Windows XP: every KERNEL32 function it imports is
# one XP has.  A new import is added here only once XP is known to have it (an SRW
# lock, for one, would not load there).
XP_KERNEL32 = {
    "CloseHandle", "CreateEventW", "CreateThread", "DeleteCriticalSection",
    "EnterCriticalSection", "FreeLibrary", "GetLastError", "GetModuleHandleA",
    "GetModuleHandleExW", "GetModuleHandleW", "GetProcAddress", "InitializeCriticalSection",
    "LeaveCriticalSection", "LoadLibraryA", "SetEvent", "SetLastError", "Sleep",
    "SwitchToThread", "TlsGetValue", "VirtualProtect", "VirtualQuery", "WaitForSingleObject",
}
# The size of each architecture's DLL when it last grew on purpose: a change that
# makes it bigger has to say why here.  None may pass SIZE_LIMIT, the project's aim
# for a DLL as small as its job.
MAX_SIZE = {"win32": 7680, "win64": 7680, "arm64": 7168}
SIZE_LIMIT = 8192


def open_image(path):
    try:
        return pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        sys.exit(f"check_pe: cannot read {path}: {error}")


def width_problems(pe, arch):
    machine, magic = WIDTHS[arch]
    if pe.FILE_HEADER.Machine != machine or pe.OPTIONAL_HEADER.Magic != magic:
        return [f"machine {pe.FILE_HEADER.Machine:#x}, optional header magic "
                f"{pe.OPTIONAL_HEADER.Magic:#x}: not an image for {arch}"]
    return []


def dll_problems(pe, arch, path):
    problems = width_problems(pe, arch)
    if not pe.is_dll():
        problems.append("not a DLL")
    exported = pe.DIRECTORY_ENTRY_EXPORT.symbols if hasattr(pe, "DIRECTORY_ENTRY_EXPORT") else []
    exports = sorted(symbol.name.decode() for symbol in exported if symbol.name)
    if exports != EXPORTS:
        problems.append(f"exports are {exports}, expected exactly {EXPORTS}")
    imports = sorted(i.dll.decode().upper() for i in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
    problems += [f"imports {name}, not one of the system DLLs the library may use: {' '.join(sorted(SYSTEM_DLLS))}"
                 for name in imports if name not in SYSTEM_DLLS]
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        if entry.dll.decode().upper() == "KERNEL32.DLL":
            problems += [f"imports KERNEL32!{i.name.decode()}, not known to be on Windows XP"
                         for i in entry.imports if i.name and i.name.decode() not in XP_KERNEL32]
    size = os.path.getsize(path)
    if size > SIZE_LIMIT:
        problems.append(f"{size} bytes, more than {SIZE_LIMIT // 1024} KiB")
    if size > MAX_SIZE[arch]:
        problems.append(f"{size} bytes, more than the {MAX_SIZE[arch]} of the last build that grew on purpose")
    print(f"check_pe: {os.path.basename(path)}: {size} bytes; exports: {' '.join(exports)}; "
          f"imports: {' '.join(imports)}")
    return problems


def version_problems(pe, version):
    """The version resource, as file properties and installers read it: the fixed
    FileVersion and ProductVersion VERSION.0, the strings VERSION."""
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return ["no version resource"]
    numbers = [int(part) for part in version.split(".")] + [0]
    expected = (numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
    problems = []
    for name in ("FileVersion", "ProductVersion"):
        got = (getattr(fixed[0], name + "MS"), getattr(fixed[0], name + "LS"))
        if got != expected:
            problems.append(f"fixed {name} is {got[0] >> 16}.{got[0] & 0xffff}.{got[1] >> 16}."
                            f"{got[1] & 0xffff}, expected {version}.0")
    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    problems += [f"string {name} is {strings.get(name)!r}, expected {version!r}"
                 for name in ("FileVersion", "ProductVersion") if strings.get(name) != version]
    if not strings.get("LegalCopyright", "").endswith("; zlib license"):
        problems.append(f"string LegalCopyright is {strings.get('LegalCopyright')!r}, which does not name the zlib license")
    return problems


def main(argv):
    mode = argv[1] if len(argv) > 1 else None
    if mode == "dll" and len(argv) == 5 and argv[2] in WIDTHS:
        arch, path, version = argv[2:]
        checks = [(path, lambda pe: dll_problems(pe, arch, path) + version_problems(pe, version))]
    elif mode == "width" and len(argv) >= 4 and argv[2] in WIDTHS:
        arch = argv[2]
        checks = [(path, lambda pe: width_problems(pe, arch)) for path in argv[3:]]
    else:
        sys.exit(__doc__)
    failures = 0
    for path, problems_of in checks:
        problems = problems_of(open_image(path))
        for problem in problems:
            print(f"check_pe: {path}: {problem}")
        failures += bool(problems)
    return 1 if failures else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv))
