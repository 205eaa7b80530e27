#!/bin/sh
# The README's host in C, taken from the README itself (its C block with a
# main), built with the cross compiler as a host developer would build it
# (warnings are errors) and run under Wine beside the shipped DLL.
#   readme_example.sh README CC WINE_RUN DLL WORK_DIR
set -u
readme=$1 cc=$2 wine_run=$3 dll=$4 work=$5
rm -rf "$work" && mkdir -p "$work" || exit 1
awk '/^```c$/ {inside = 1; text = ""; next}
     inside && /^```$/ {inside = 0; if (text ~ /int main\(/) {printf "%s", text; found = 1; exit} next}
     inside {text = text $0 "\n"}
     END {exit !found}' "$readme" >"$work/host.c" ||
    { echo "readme_example: $readme has no C block with a main"; exit 1; }
"$cc" -std=c99 -Wall -Wextra -Werror "$work/host.c" -o "$work/host.exe" ||
    { echo "readme_example: the README's host does not build"; exit 1; }
"$wine_run" --check || exit $?  # 77, with the reason, where this machine cannot run it
cp "$dll" "$work/" || exit 1
"$wine_run" "$work/host.exe" >"$work/out" 2>"$work/err"
status=$?
tr -d '\r' <"$work/out"
if [ "$status" -ne 0 ] || ! grep -q '^GetDSVolume(&level) -> 1' "$work/out" ||
   ! grep -q '^the level is -600' "$work/out"; then
    echo "readme_example: the README's host ended with status $status"
    exit 1
fi
echo "readme_example: the README's host built and ran"
