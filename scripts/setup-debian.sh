#!/bin/sh
# Installs what building and running Brenquisat needs on Debian 12, if missing:
# the MinGW-w64 cross-compiler, CMake, 32-bit Wine and the LLVM import-library
# tools.
set -eu

missing=""
need() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed' || missing="$missing $1"; }
for package in cmake g++-mingw-w64-i686 wine wine32:i386 llvm-14 lld-14; do
    need "$package"
done
[ -z "$missing" ] && exit 0

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
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
echo "setup: done"
