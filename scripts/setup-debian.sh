#!/bin/sh
# Installs what building and running Brenquisat needs on Debian 12 or 13, if
# missing: the MinGW-w64 cross-compilers, clang (which builds arm64 with
# MinGW-w64's headers), CMake, zip, 32-bit and 64-bit Wine, the LLVM
# import-library tools, SoX (which measures what Wine plays), gnuplot and a font
# (which draw it), pkg-config and Meson (which the developer archive's tests use),
# pefile (which reads the PE headers), for the bindings' hosts Free Pascal with
# its sources, Mono's C# compiler and npm, and for arm64's Wine qemu-user with
# binfmt-support and mmdebstrap with arch-test (scripts/wine-arm64-root).  Only
# names both releases have: clang, llvm and lld bring each release's own LLVM
# with its unversioned commands.  Then registers qemu-user for arm64 programs
# with the kernel, and where the kernel cannot execute 32-bit programs, a
# qemu-user 10 for them (scripts/qemu-i386); and says which architectures this
# machine can test.
set -eu
cd "$(dirname "$0")"

# A mirror in the middle of a sync serves an index that does not match its
# release file for a few minutes: apt-get update fails, and passes again later.
# An index can also be served broken for days; then setup goes on with the lists
# apt has.  SETUP_UPDATE_TRIES, SETUP_UPDATE_PAUSE (seconds), SETUP_OS_RELEASE and
# SETUP_BINFMT (binfmt_misc's folder) are for the tests.
failed_index=""
update_package_lists() {
    tries=${SETUP_UPDATE_TRIES:-4} try=1 errors=$(mktemp)
    until apt-get update -qq 2>"$errors"; do
        cat "$errors" >&2
        if [ "$try" -ge "$tries" ]; then
            # What failed, in apt's words: the indexes it could not fetch, else its first error.
            failed_index=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$errors" | tr '\n' ' ')
            [ -n "$failed_index" ] || failed_index=$(sed -n 's/^E: //p' "$errors" | head -n 1)
            failed_index=${failed_index:-"an index apt did not name"}
            failed_index=${failed_index% }
            echo "setup: 'apt-get update' failed $tries times, on $failed_index: going on with the package lists apt has" >&2
            break
        fi
        echo "setup: 'apt-get update' failed; trying again in ${SETUP_UPDATE_PAUSE:-15} s ($try of $tries)"
        sleep "${SETUP_UPDATE_PAUSE:-15}"
        try=$((try + 1))
    done
    rm -f "$errors"
}

# The release's own suite, from os-release: a name of lower-case letters or nothing.
release_codename() {
    sed -n 's/^VERSION_CODENAME=["]*\([a-z]*\)["]*$/\1/p' "${SETUP_OS_RELEASE:-/etc/os-release}" 2>/dev/null | head -n 1
}

install_missing() {
    DEBIAN_FRONTEND=noninteractive apt-get install "$@" -y -qq --no-install-recommends $missing >/dev/null
}

# With an index missing, apt may know a library's newer build (from -security) for
# one architecture only, and a Multi-Arch: same package must have one version on
# both: the install is refused.  The release's own builds exist for both.
install_packages() {
    install_missing && return
    if [ -z "$failed_index" ]; then
        echo "setup: 'apt-get install' failed (apt's lines above say why): mend what they name, then run the same make command again" >&2
        exit 1
    fi
    release=$(release_codename)
    if [ -n "$release" ]; then
        echo "setup: the install failed with those lists; trying once more preferring $release's own packages (-t $release): their newer security builds come with a later 'apt-get upgrade' once that index is served again" >&2
        install_missing -t "$release" && return
    fi
    echo "setup: the packages cannot be installed while $failed_index cannot be fetched (apt's lines above say why): run the same make command again once 'apt-get update' passes" >&2
    exit 1
}

missing=""
need() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed' || missing="$missing $1"; }
for package in cmake zip g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-common clang wine wine32:i386 wine64 \
        llvm lld sox gnuplot-nox fonts-dejavu-core pkgconf meson ninja-build python3-pefile fp-compiler \
        fpc-source mono-mcs qemu-user-static binfmt-support mmdebstrap arch-test; do
    need "$package"
done
# npm fetches Node.js for Windows and koffi into the build tree; any npm will do.
command -v npm >/dev/null || need npm

if [ -n "$missing" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup: missing Debian packages:$missing" >&2
        echo "setup: run this as root (or install them with: sudo dpkg --add-architecture i386 &&" >&2
        echo "       sudo apt-get update && sudo apt-get install$missing)" >&2
        exit 1
    fi
    echo "setup: installing$missing"
    case " $missing " in
        *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
    esac
    update_package_lists
    install_packages
    echo "setup: done"
fi

# qemu-user's entry for arm64 programs, registered with the kernel by the tool
# of the release's qemu: binfmt-support's update-binfmts (Debian 12), else
# systemd-binfmt with its binfmt.d file (Debian 13), even where systemd is not
# running.  binfmt_misc is mounted first where nothing has.
register_arm64() {
    binfmt=${SETUP_BINFMT:-/proc/sys/fs/binfmt_misc}
    entry=$binfmt/qemu-aarch64
    [ "$(head -n 1 "$entry" 2>/dev/null)" = enabled ] && return
    [ "$(id -u)" -eq 0 ] || { echo "setup: run this as root to register qemu-user for arm64 programs"; return; }
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
    if update-binfmts --display qemu-aarch64 >/dev/null 2>&1; then
        update-binfmts --enable qemu-aarch64 >/dev/null 2>&1
    else
        conf=$(dpkg -L qemu-user-binfmt qemu-user qemu-user-static 2>/dev/null | grep '/binfmt.d/qemu-aarch64.conf$' | head -n 1)
        for tool in /usr/lib/systemd/systemd-binfmt /lib/systemd/systemd-binfmt; do
            [ -n "$conf" ] && [ -x "$tool" ] && "$tool" "$conf" >/dev/null 2>&1 && break
        done
    fi
    [ "$(head -n 1 "$entry" 2>/dev/null)" = enabled ] ||
        echo "setup: qemu-user could not be registered for arm64 programs here: the arm64 runtime tests will be skipped"
}
register_arm64

# Where this machine's kernel cannot execute 32-bit programs, Wine's 32-bit loader
# and the win32 programs run through qemu-user 10, registered for i386 programs.
route_win32() {
    why=$(./wine-loader win32) && return
    case $why in *"Exec format error"*) ;; *) return 0 ;; esac
    ./qemu-i386 make && ./qemu-i386 register || true
}
route_win32

tested="" left_out="" routed=""
for arch in win32 win64 arm64; do
    if why=$(./wine-loader $arch); then
        tested="$tested $arch"
        [ $arch = win32 ] && ./qemu-i386 routed && routed=" (win32 through qemu-user)"
    else
        left_out="$left_out; not $arch: $why"
    fi
done
tested=$(echo $tested | sed 's/ /, /g; s/, \([^,]*\)$/ and \1/')
[ -n "$left_out" ] && tested="${tested:-no architecture} only"
echo "setup: this machine tests $tested$routed$left_out"
