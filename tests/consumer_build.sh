#!/bin/sh
# Unpacks a package and builds the consumer project against it with a MinGW
# toolchain, asking for version REQUEST; the program and the DLL copied beside
# it must be of the toolchain's architecture.  Given another toolchain, a build
# of that architecture must be told that the package does not suit it; given a
# version TOO_NEW, a consumer asking for it must be told the package's version is
# not compatible.
#   consumer_build.sh ARCHIVE ROOT TOOLCHAIN CHECK_PE ARCH CONSUMER_SOURCE WORK_DIR REQUEST
#       [OTHER_TOOLCHAIN TOO_NEW]
# ROOT is the folder within the archive to put in CMAKE_PREFIX_PATH; CHECK_PE
# reads the architecture of what was built, which must be ARCH's (win32, win64,
# arm64).  CFLAGS from the environment are the consumer's (HOST_WITHOUT_CRT on arm64).
set -u
archive=$1 root=$2 toolchain=$3 check_pe=$4 arch=$5 source=$6 work=$7 request=$8
other_toolchain=${9:-} too_new=${10:-}
log=$work/log
name=$(basename "$archive")

rm -rf "$work" && mkdir -p "$work/package" || exit 1
(cd "$work/package" && cmake -E tar xf "$archive") || { echo "consumer: cannot unpack $archive"; exit 1; }

if ! cmake -S "$source" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DBRENQUISAT_REQUEST="$request" \
        -DCMAKE_PREFIX_PATH="$work/package/$root" -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1 ||
   ! cmake --build "$work/build" >>"$log" 2>&1; then
    cat "$log"
    echo "consumer: configuring or building against $name failed"
    exit 1
fi
"$check_pe" width "$arch" "$work/build/consumer.exe" "$work/build/Brenquisat.dll" ||
    { echo "consumer: what was built against $name is not $arch"; exit 1; }

if [ -n "$other_toolchain" ]; then
    if cmake -S "$source" -B "$work/other" -DCMAKE_TOOLCHAIN_FILE="$other_toolchain" \
            -DCMAKE_PREFIX_PATH="$work/package/$root" >"$log" 2>&1; then
        echo "consumer: a build of another architecture accepted $name"
        exit 1
    fi
    grep -q 'considered but not accepted' "$log" && grep -q 'BrenquisatConfig.cmake, version: .* only)' "$log" || {
        cat "$log"
        echo "consumer: a build of another architecture was not told why $name does not suit it"
        exit 1
    }
    echo "consumer: another architecture was refused $name"
fi

if [ -n "$too_new" ]; then
    if cmake -S "$source" -B "$work/too_new" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DBRENQUISAT_REQUEST="$too_new" \
            -DCMAKE_PREFIX_PATH="$work/package/$root" >"$log" 2>&1; then
        echo "consumer: a consumer asking for version $too_new accepted $name"
        exit 1
    fi
    grep -q "compatible with requested version \"$too_new\"" "$log" || {
        cat "$log"
        echo "consumer: a consumer asking for version $too_new was not told why $name does not suit it"
        exit 1
    }
    echo "consumer: a consumer asking for version $too_new was refused $name"
fi
echo "consumer: built against $name, $arch, asking for version $request"
