#!/bin/sh
# Unpacks a package zip and builds the consumer project against it with the
# package's toolchain; a build of the other width must be told that the package
# does not suit it.
#   consumer_build.sh ZIP TOOLCHAIN OTHER_TOOLCHAIN CONSUMER_SOURCE WORK_DIR
set -u
zip=$1 toolchain=$2 other_toolchain=$3 source=$4 work=$5
log=$work/log

rm -rf "$work" && mkdir -p "$work/package" || exit 1
(cd "$work/package" && cmake -E tar xf "$zip") || { echo "consumer: cannot unpack $zip"; exit 1; }

if ! cmake -S "$source" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_PREFIX_PATH="$work/package" -DCMAKE_BUILD_TYPE=Release >"$log" 2>&1 ||
   ! cmake --build "$work/build" >>"$log" 2>&1; then
    cat "$log"
    echo "consumer: configuring or building against $(basename "$zip") failed"
    exit 1
fi
[ -f "$work/build/consumer.exe" ] && [ -f "$work/build/Brenquisat.dll" ] ||
    { echo "consumer: consumer.exe with Brenquisat.dll beside it was not built"; exit 1; }

if cmake -S "$source" -B "$work/other" -DCMAKE_TOOLCHAIN_FILE="$other_toolchain" \
        -DCMAKE_PREFIX_PATH="$work/package" >"$log" 2>&1; then
    echo "consumer: a build of the other width accepted $(basename "$zip")"
    exit 1
fi
grep -q 'considered but not accepted' "$log" && grep -q 'BrenquisatConfig.cmake, version: .*bit)' "$log" || {
    cat "$log"
    echo "consumer: a build of the other width was not told why the package does not suit it"
    exit 1
}
echo "consumer: built against $(basename "$zip"); the other width was refused it"
