#!/bin/sh
# Checks the shipped DLL's PE headers: a DLL of the architecture asked for that
# exports exactly the five names, imports system DLLs only, and stays small.
#   check_pe.sh win32|win64 OBJDUMP DLL
set -u
arch=$1 objdump=$2 dll=$3
case $arch in
    win32) magic=010b format=pei-i386 ;;
    win64) magic=020b format=pei-x86-64 ;;
esac
failures=0
fail() { echo "check_pe: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "check_pe: cannot read $dll"; exit 1; }

echo "$headers" | grep -q "^Magic.*$magic" || fail "optional header magic is not $magic"
echo "$headers" | grep -q "file format $format\$" || fail "not a $format image"
echo "$headers" | grep -q '^\s*DLL$' || fail "not a DLL"

exports=$(echo "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
[ "$exports" = "InitDS MuteDS ReleaseDS SetDSVolume UnmuteDS " ] ||
    fail "exports are '$exports', expected exactly InitDS MuteDS ReleaseDS SetDSVolume UnmuteDS"

imports=$(echo "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
for name in $imports; do
    case $name in
        KERNEL32.DLL|USER32.DLL|DSOUND.DLL|MSVCRT.DLL) ;;
        *) fail "imports $name, which is not a system DLL" ;;
    esac
done

size=$(wc -c < "$dll")
[ "$size" -lt 32768 ] || fail "$size bytes: a stripped build should stay under 32 KiB"

echo "check_pe: $(basename "$dll"): $size bytes; exports: $exports; imports: $imports"
[ "$failures" -eq 0 ]
