#!/usr/bin/python3
"""The five archives, the npm package and, where the .NET SDK is, the NuGet
package, as a host developer or packager gets them.

  check_archives.py SOURCE_DIR ARCHIVES_DIR WORK_DIR

Each holds the source tree's LICENSE.txt, CHANGELOG.md and bindings/ beside its
read-me (the NuGet package compiles the C# one, the npm package holds the Node.js
one, and neither has another); every entry is dated by the sources' time
(SOURCE_DATE_EPOCH, else the last commit's), but in the npm package, which npm
pack dates 1985-10-26 08:15 UTC; and the same sources, copied to another path
and built there, give the same bytes, as two clones of one commit must.
"""
import calendar
import glob
import os
import shutil
import subprocess
import sys
import tarfile
import time
import zipfile

# The copy holds what git tracks or would; only what the archives hold is built.
REBUILD = """git -C "$SOURCE" ls-files -z -co --exclude-standard |
    tar -C "$SOURCE" --null --ignore-failed-read -T - -cf - | tar -C elsewhere -xf - && cd elsewhere &&
    for arch in win32 win64 arm64; do
        targets="Brenquisat msvc_import_library" && [ $arch = arm64 ] || targets="$targets brq"
        cmake --preset $arch -DBUILD_TESTING=OFF &&
        cmake --build --preset $arch --target $targets || exit 1
    done && sh scripts/archives build"""


# What npm pack dates every entry of its tarball.
NPM_PACK_DATE = calendar.timegm((1985, 10, 26, 8, 15, 0))


def entries(path):
    """{name: (seconds since 1970, contents or None)}; a zip's DOS time holds even
    seconds, in UTC as the archives are made: zip rounds an odd one up, dotnet
    pack down."""
    if path.endswith((".zip", ".nupkg")):
        with zipfile.ZipFile(path) as archive:
            return {i.filename: (calendar.timegm(i.date_time + (0, 0, 0)), archive.read(i))
                    for i in archive.infolist()}
    with tarfile.open(path) as archive:
        return {m.name: (m.mtime, archive.extractfile(m).read() if m.isfile() else None)
                for m in archive.getmembers()}


def utc(seconds):
    return time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(seconds))


def problems_of(listed, date, from_source, readme):
    folder = os.path.dirname(min((n for n in listed if n.endswith(readme)), key=len, default="?"))
    problems = [f"no {name} beside the read-me" for name in [readme, *from_source]
                if os.path.join(folder, name) not in listed]
    problems += [f"{name} is not the source tree's" for name, text in from_source.items()
                 if listed.get(os.path.join(folder, name), (0, text))[1] != text]
    misdated = [(name, when) for name, (when, _) in listed.items() if not date - 1 <= when <= date + 1]
    if misdated:
        problems.append(f"{len(misdated)} of {len(listed)} entries not dated {utc(date)}, "
                        f"{misdated[0][0]} for one: {utc(misdated[0][1])}")
    return problems


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    source, archives, work = argv[1:]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
        ["git", "-C", source, "log", "-1", "--format=%ct"], check=True, capture_output=True).stdout)
    # Carried beside the read-me as they are in the source tree: every file of bindings/ too.
    from_source = {}
    for name in ["LICENSE.txt", "CHANGELOG.md"] + [f"bindings/{b}" for b in os.listdir(f"{source}/bindings")]:
        with open(os.path.join(source, name), "rb") as file:
            from_source[name] = file.read()
    names = sorted(os.path.basename(p) for p in glob.glob(os.path.join(archives, "Brenquisat-*"))
                   if p.endswith((".zip", ".tar.gz")))
    problems = [] if len(names) == 5 else [f"{archives}: {len(names)} archives, not 5: {names}"]
    problems += [f"{name}: {p}" for name in names
                 for p in problems_of(entries(os.path.join(archives, name)), epoch, from_source, "README.txt")]
    # The packages of other languages' package managers, each with its one binding.
    for pattern, present, binding, date in [("Brenquisat.*.nupkg", shutil.which("dotnet"), None, epoch),
                                            ("brenquisat-*.tgz", True, "brenquisat.js", NPM_PACK_DATE)]:
        packages = sorted(os.path.basename(p) for p in glob.glob(os.path.join(archives, pattern)))
        if present and len(packages) != 1:
            problems.append(f"{archives}: {len(packages)} packages {pattern}, not 1: {packages}")
        beside = {name: text for name, text in from_source.items() if not name.startswith("bindings/")}
        if binding:
            beside[binding] = from_source[f"bindings/{binding}"]
        problems += [f"{name}: {p}" for name in packages
                     for p in problems_of(entries(os.path.join(archives, name)), date, beside, "README.md")]
        names += packages

    subprocess.run(["rm", "-rf", work], check=True)
    os.makedirs(os.path.join(work, "elsewhere"))
    with open(os.path.join(work, "log"), "w") as log:
        built = subprocess.run(["sh", "-c", REBUILD], cwd=work, stdout=log, stderr=log,
                               env=dict(os.environ, SOURCE=os.path.abspath(source), SOURCE_DATE_EPOCH=str(epoch)))
    if built.returncode:
        sys.exit(f"check_archives: the build at another path failed: see {work}/log")
    again = os.path.join(work, "elsewhere", "build", "archives")
    for name in names:
        first, second = os.path.join(archives, name), os.path.join(again, name)
        if not os.path.exists(second):
            problems.append(f"{name}: not made again in {again}")
            continue
        with open(first, "rb") as a, open(second, "rb") as b:
            if a.read() != b.read():
                ours, theirs = entries(first), entries(second)
                differ = sorted(n for n in ours.keys() | theirs.keys() if ours.get(n) != theirs.get(n))
                problems.append(f"{name}: built again in {again}, other bytes; entries that differ: "
                                f"{differ or 'none, in another order or with other attributes'}")
    for problem in problems:
        print(f"check_archives: {problem}")
    print(f"check_archives: {len(names)} archives, dated {utc(epoch)}, built twice: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
