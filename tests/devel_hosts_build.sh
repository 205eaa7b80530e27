#!/bin/sh
# Builds C hosts of one width against the developer archives as their users do,
# each of that width (the *.devel_*_run tests run them):
#   pkg-config  the MinGW archive copied into a cross toolchain's root by its own
#               Makefile, so that the .pc file is read away from where it was made
#   Meson       dependency('brenquisat') with the unpacked MinGW archive, through
#               a cross file for the triplet
#   lld-link    the VC archive's Brenquisat.lib, the program beside the DLL
# and reads the VC archive's CMake files as MSVC would (devel_vc_config.cmake).
# Inputs, from the environment: ARCHIVE (the archives' path without its
# -mingw.tar.gz or -VC.zip), TRIPLE, VC_ARCH, ARCH (win32, win64, arm64), the
# build's C compiler as CC with its CC_TARGET (clang's --target=, if any), CFLAGS,
# LDFLAGS (with the system libraries) and AR,
# CHECK_PE (which reads an image's width), MSVC_HOST_LINK (lld-link with its
# options and object), TESTS (this folder) and WORK.
set -u
failures=0
fail() { echo "devel_hosts: $*"; failures=$((failures + 1)); }
of_width() { "$CHECK_PE" width "$ARCH" "$1" || fail "$1 is not $ARCH"; }
log=$WORK/log

rm -rf "$WORK" && mkdir -p "$WORK/mingw" "$WORK/vc" "$WORK/pkgconfig" || exit 1
(cd "$WORK/mingw" && cmake -E tar xf "$ARCHIVE-mingw.tar.gz") &&
    (cd "$WORK/vc" && cmake -E tar xf "$ARCHIVE-VC.zip") || { echo "devel_hosts: cannot unpack $ARCHIVE-*"; exit 1; }
mingw=$(echo "$WORK"/mingw/Brenquisat-*) vc=$(echo "$WORK"/vc/Brenquisat-*)

cross=$WORK/cross/$TRIPLE
if make -C "$mingw" install-"$TRIPLE" CROSS_PATH="$WORK/cross" >"$log" 2>&1 &&
   flags=$(PKG_CONFIG_LIBDIR=$cross/lib/pkgconfig pkg-config --cflags --libs brenquisat 2>>"$log") &&
   version=$(PKG_CONFIG_LIBDIR=$cross/lib/pkgconfig pkg-config --modversion brenquisat 2>>"$log") &&
   "$CC" $CC_TARGET $CFLAGS -std=c99 -DBRENQUISAT_VERSION="\"$version\"" "$TESTS/package_host.c" $flags -lversion \
       $LDFLAGS -o "$WORK/pkgconfig/pkgconfig_host.exe" >>"$log" 2>&1 &&
   cp "$cross/bin/Brenquisat.dll" "$WORK/pkgconfig/"; then
    of_width "$WORK/pkgconfig/pkgconfig_host.exe"
    case $flags in
        *"-I$cross/"*"-L$cross/"*) ;;
        *) fail "pkg-config gave '$flags', not paths within $cross: brenquisat.pc is not relocatable" ;;
    esac
    # A request for any release of this major version up to this one is met; the next major's is not.
    [ "$version" = "$VERSION" ] || fail "pkg-config gave version '$version', not $VERSION"
    major=${VERSION%%.*} minor=${VERSION#*.} minor=${minor%%.*}
    for request in $(seq -f "$major.%g" 0 "$minor") "$((major + 1)).0"; do
        found=no expected=yes
        PKG_CONFIG_LIBDIR=$cross/lib/pkgconfig pkg-config --exists "brenquisat >= $request" && found=yes
        [ "$request" = "$((major + 1)).0" ] && expected=no
        [ "$found" = "$expected" ] || fail "pkg-config 'brenquisat >= $request' of version $VERSION: $found"
    done
else
    cat "$log"; fail "pkg-config: no host built from $cross"
fi

# words FLAGS...: the flags as a Meson array.  clang takes its linker from
# -fuse-ld=, so Meson is told which one it is.
words() { [ $# -eq 0 ] || printf '%s\n' "$@" | sed "s/.*/'&',/" | tr -d '\n'; }
cpu=${TRIPLE%%-*}
cat >"$WORK/$TRIPLE.ini" <<END
[binaries]
c = [$(words "$CC" $CC_TARGET)]
$([ -n "$CC_TARGET" ] && echo "c_ld = 'lld'")
ar = '$AR'
pkgconfig = 'pkg-config'

[built-in options]
c_args = [$(words $CFLAGS)]
c_link_args = [$(words $LDFLAGS)]
# The system libraries are in LDFLAGS: none of Meson's own list, which names more.
c_winlibs = []

[properties]
pkg_config_libdir = '$mingw/$TRIPLE/lib/pkgconfig'
# Where there is no C runtime, Meson's test program (which has main) cannot link.
skip_sanity_check = true

[host_machine]
system = 'windows'
cpu_family = '$(echo "$cpu" | sed 's/i686/x86/')'
cpu = '$cpu'
endian = 'little'
END
if meson setup "$WORK/meson" "$TESTS/meson" --cross-file "$WORK/$TRIPLE.ini" >"$log" 2>&1 &&
   meson compile -C "$WORK/meson" >>"$log" 2>&1 &&
   cp "$mingw/$TRIPLE/bin/Brenquisat.dll" "$WORK/meson/"; then
    of_width "$WORK/meson/meson_host.exe"
else
    cat "$log"; fail "Meson: no host built with dependency('brenquisat')"
fi

if $MSVC_HOST_LINK "$vc/lib/$VC_ARCH/Brenquisat.lib" /out:"$vc/lib/$VC_ARCH/vc_host.exe"; then
    of_width "$vc/lib/$VC_ARCH/vc_host.exe"
else
    fail "lld-link: no host linked against $vc/lib/$VC_ARCH/Brenquisat.lib"
fi

cmake -DCONFIG_DIR="$vc/cmake" -DVERSION="$VERSION" -P "$TESTS/devel_vc_config.cmake" || fail "the VC archive's CMake files"
echo "devel_hosts: $failures failed"
[ "$failures" -eq 0 ]
