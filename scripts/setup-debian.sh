#!/bin/sh
# Installs what building and running Brenquisat needs on Debian 12 or 13, if
# missing: the MinGW-w64 cross-compilers, CMake, zip, 32-bit and 64-bit Wine,
# the LLVM import-library tools, SoX (which measures what Wine plays), gnuplot
# and a font (which draw it), pkg-config and Meson (which the developer archive's tests use), and pefile
# (which reads the PE headers).  Only names both releases have: llvm and lld
# bring each release's own LLVM with its unversioned commands.  Then says
# which architectures this machine can test.
set -eu
cd "$(dirname "$0")"

# A mirror in the middle of a sync serves an index that does not match its
# release file for a few minutes: apt-get update fails, and passes again later.
# SETUP_UPDATE_TRIES and SETUP_UPDATE_PAUSE (seconds) are for the tests.
update_package_lists() {
    tries=${SETUP_UPDATE_TRIES:-4} try=1
    until apt-get update -qq; do
        if [ "$try" -ge "$tries" ]; then
            echo "setup: 'apt-get update' failed $tries times (apt's lines above say why; a mirror in the middle of a sync passes within minutes): wait a few minutes, then run the same make command again" >&2
            exit 1
        fi
        echo "setup: 'apt-get update' failed; trying again in ${SETUP_UPDATE_PAUSE:-15} s ($try of $tries)"
        sleep "${SETUP_UPDATE_PAUSE:-15}"
        try=$((try + 1))
    done
}

missing=""
need() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed' || missing="$missing $1"; }
for package in cmake zip g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 llvm lld sox \
        gnuplot-nox fonts-dejavu-core pkgconf meson ninja-build python3-pefile; do
    need "$package"
done

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
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
    echo "setup: done"
fi

tested="" left_out=""
for arch in win32 win64; do
    if why=$(./wine-loader $arch); then
        tested="$tested $arch"
    else
        left_out="$left_out; not $arch: $why"
    fi
done
tested=$(echo $tested | sed 's/ / and /')
[ -n "$left_out" ] && tested="${tested:-no architecture} only"
echo "setup: this machine tests $tested$left_out"
