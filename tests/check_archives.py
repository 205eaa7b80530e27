#!/usr/bin/python3
"""The four archives as a host developer or packager gets them.

  check_archives.py SOURCE_DIR ARCHIVES_DIR WORK_DIR

Each holds LICENSE.txt (the source tree's) and CHANGELOG.md beside its read-me;
every entry is dated by the sources' time (SOURCE_DATE_EPOCH, else the last
commit's); and the same sources, copied to another path and built there, give
the same bytes: two clones of one commit make the same archives.
"""
import calendar
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tarfile
import time
import zipfile


def entries(path):
    """(name, seconds since 1970 in UTC, contents of a file or None) of each entry."""
    if path.endswith(".zip"):
        with zipfile.ZipFile(path) as archive:
            # The zip's DOS time holds even seconds, in UTC as the archives are made.
            return [(i.filename, calendar.timegm(i.date_time + (0, 0, 0)), archive.read(i))
                    for i in archive.infolist()]
    with tarfile.open(path) as archive:
        return [(m.name, m.mtime, archive.extractfile(m).read() if m.isfile() else None)
                for m in archive.getmembers()]


def utc(seconds):
    return time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(seconds))


def content_problems(path, epoch, license_text):
    listed = entries(path)
    files = {name: data for name, _, data in listed if data is not None}
    readmes = sorted((name for name in files if os.path.basename(name) == "README.txt"), key=len)
    if not readmes:
        return ["no README.txt"]
    folder = os.path.dirname(readmes[0])
    problems = [f"no {name} beside {readmes[0]}" for name in ("LICENSE.txt", "CHANGELOG.md")
                if os.path.join(folder, name) not in files]
    if files.get(os.path.join(folder, "LICENSE.txt"), license_text) != license_text:
        problems.append("LICENSE.txt is not the source tree's")
    misdated = [(name, when) for name, when, _ in listed if not epoch <= when <= epoch + 1]
    if misdated:
        problems.append(f"{len(misdated)} of {len(listed)} entries not dated {utc(epoch)} (the sources' "
                        f"time), {misdated[0][0]} for one: {utc(misdated[0][1])}")
    return problems


def differing_entries(first, second):
    ours = {name: (when, data) for name, when, data in entries(first)}
    theirs = {name: (when, data) for name, when, data in entries(second)}
    return sorted(name for name in ours.keys() | theirs.keys() if ours.get(name) != theirs.get(name))


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def rebuild_elsewhere(source, work, epoch):
    """Copies the source tree (what git tracks or would) to WORK and makes the
    archives there: the library, brq and the import libraries of both widths."""
    copy = os.path.join(work, "elsewhere")
    shutil.rmtree(work, ignore_errors=True)
    listed = subprocess.run(["git", "-C", source, "ls-files", "-z", "-co", "--exclude-standard"],
                            check=True, capture_output=True).stdout.decode().split("\0")
    for name in filter(None, listed):
        if os.path.isfile(os.path.join(source, name)):
            os.makedirs(os.path.dirname(os.path.join(copy, name)), exist_ok=True)
            shutil.copy2(os.path.join(source, name), os.path.join(copy, name))
    log = open(os.path.join(work, "log"), "w")
    for arch in ("win32", "win64"):
        for command in (["cmake", "--preset", arch, "-DBUILD_TESTING=OFF"],
                        ["cmake", "--build", "--preset", arch, "--target", "Brenquisat", "brq",
                         "msvc_import_library"]):
            subprocess.run(command, cwd=copy, stdout=log, stderr=log, check=True)
    subprocess.run(["sh", "scripts/archives", "build"], cwd=copy, stdout=log, stderr=log, check=True,
                   env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)))
    return os.path.join(copy, "build", "archives")


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    source, archives, work = argv[1:]
    epoch = os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
        ["git", "-C", source, "log", "-1", "--format=%ct"], check=True, capture_output=True).stdout
    epoch = int(epoch)
    with open(os.path.join(source, "LICENSE.txt"), "rb") as file:
        license_text = file.read()
    names = sorted(os.path.basename(p) for p in glob.glob(os.path.join(archives, "Brenquisat-*"))
                   if p.endswith((".zip", ".tar.gz")))
    problems = [] if len(names) == 4 else [f"{archives}: {len(names)} archives, not 4: {names}"]
    for name in names:
        problems += [f"{name}: {p}" for p in content_problems(os.path.join(archives, name), epoch,
                                                              license_text)]
    try:
        again = rebuild_elsewhere(source, work, epoch)
    except subprocess.CalledProcessError as error:
        sys.exit(f"check_archives: the build at another path failed ({error}); see {work}/log")
    for name in names:
        first, second = os.path.join(archives, name), os.path.join(again, name)
        if not os.path.exists(second):
            problems.append(f"{name}: not made by the build at {again}")
        elif sha256(first) != sha256(second):
            differ = differing_entries(first, second) or "none: their order or attributes"
            problems.append(f"{name}: built again at {again}, other bytes; entries that differ: {differ}")
    for problem in problems:
        print(f"check_archives: {problem}")
    print(f"check_archives: {len(names)} archives, dated {utc(epoch)}, built twice: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
