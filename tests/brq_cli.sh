#!/bin/sh
# brq's command line: results and exit status of real sessions, and bad input
# refused with a message and exit status 2 before any export is called.
#   brq_cli.sh WINE_RUN BRQ_EXE NULL_ALSA_CONFIG NO_DEVICE_ALSA_CONFIG VERSION
set -u
wine_run=$1 brq=$2 null_device=$3 no_device=$4 version=$5
"$wine_run" --check || exit $?  # 77, with the reason, where this machine cannot run it
failures=0
out=$(mktemp) err=$(mktemp)
trap 'rm -rf "$out" "$err" "${alone:-}"' EXIT

# expect CODE STDOUT STDERR ARGS...: exit status and standard output exactly;
# standard error matching the grep pattern STDERR, empty for '', anything for '*'.
expect() {
    code=$1 stdout=$2 stderr=$3
    shift 3
    "$wine_run" "$brq" "$@" >"$out" 2>"$err"
    got=$?
    sed -i 's/\r$//' "$out" "$err"
    problem=""
    [ "$got" -eq "$code" ] || problem="exit status $got, expected $code"
    [ "$(cat "$out")" = "$stdout" ] || problem="$problem; stdout was '$(cat "$out")', expected '$stdout'"
    if [ "$stderr" = "*" ]; then
        :
    elif [ -n "$stderr" ]; then
        grep -q -- "$stderr" "$err" || problem="$problem; stderr '$(cat "$err")' lacks '$stderr'"
    elif [ -s "$err" ]; then
        problem="$problem; unexpected stderr '$(cat "$err")'"
    fi
    if [ -n "$problem" ]; then
        echo "brq $*: $problem"
        failures=$((failures + 1))
    fi
}

export ALSA_CONFIG_PATH="$null_device"
expect 0 "InitDS() -> 1
SetDSVolume(-2500) -> 1
MuteDS() -> true
UnmuteDS() -> true
ReleaseDS()
wait 5 ms
SetDSVolume(-1200) -> 1" '' init set -2500 mute unmute release wait 5 set -1200
# A refused call says why: the code the library left in GetLastError.
expect 1 "SetDSVolume(1) -> 0 (DSERR_INVALIDPARAM: outside -10000..0)
SetDSVolume(-10000) -> 1" '' set 1 set -10000
expect 1 "SetDSVolume(-2147483648) -> 0 (DSERR_INVALIDPARAM: outside -10000..0)" '' set -2147483648
expect 0 "SetDSVolume(0) -> 1" '' set +0
# The level reads back as set, the low ones Wine rounds too.
expect 0 "SetDSVolume(-600) -> 1
GetDSVolume() -> 1 (-600)
SetDSVolume(-9000) -> 1
GetDSVolume() -> 1 (-9000)" '' set -600 get set -9000 get

# Which library brq loaded: the one beside it, as Wine names it (drive Z: is /).
dll_path=Z:$(cd "$(dirname "$brq")" && pwd | tr / '\\')\\Brenquisat.dll
for word in version --version; do
    expect 0 "brq $version
Brenquisat.dll $version.0 from $dll_path" '' $word
done

# A tone: waits count its playing time and show their span of it.
"$wine_run" "$brq" tone wait 100 mute wait 100 >"$out" 2>"$err"
got=$?
sed -i 's/\r$//' "$out"
if [ "$got" -ne 0 ] || ! grep -qx 'tone 1000 Hz at -6 dBFS -> playing' "$out" ||
   [ "$(grep -cx 'wait 100 ms (tone [0-9.]*-[0-9.]* s)' "$out")" -ne 2 ] ||
   grep -vqx -e 'tone 1000 Hz at -6 dBFS -> playing' -e 'MuteDS() -> true' \
       -e 'wait 100 ms (tone [0-9.]*-[0-9.]* s)' "$out"; then
    echo "brq tone wait 100 mute wait 100: exit status $got, stdout '$(cat "$out")'"
    failures=$((failures + 1))
fi

# Bad input: nothing printed on stdout, so no export was called.
expect 2 "" "no command given"
expect 2 "" "unknown command 'frobnicate'" init frobnicate
expect 2 "" "'set' needs a number" set
expect 2 "" "'wait' needs a number" mute wait
for volume in abc 1.5 0x10 "" " 5" 2147483648 -2147483649 99999999999999999999 -; do
    expect 2 "" "'$volume' is not a whole number in the 32-bit range" set -2500 set "$volume"
done
expect 2 "" "'-1' is not a whole number of milliseconds" wait -1
expect 2 "" "'soon' is not a whole number of milliseconds" wait soon

"$wine_run" "$brq" --help >"$out" 2>&1
[ $? -eq 0 ] && grep -q "usage: brq" "$out" && grep -q -- "-10000 silence" "$out" ||
    { echo "brq --help: no help text with the volume scale"; failures=$((failures + 1)); }

export ALSA_CONFIG_PATH="$no_device"
# With no playback device, Wine 8 answers the open with DSERR_INVALIDPARAM, Wine 10
# (as Windows) with DSERR_NODRIVER: brq explains either.
"$wine_run" "$brq" init >"$out" 2>/dev/null
case $(cat "$out") in
    *DSERR_INVALIDPARAM*) no_device_reason="(DSERR_INVALIDPARAM: the default playback device could not be opened)" ;;
    *) no_device_reason="(DSERR_NODRIVER: no audio playback device)" ;;
esac
expect 1 "InitDS() -> 0 $no_device_reason
MuteDS() -> false $no_device_reason
SetDSVolume(-5) -> 0 $no_device_reason
GetDSVolume() -> 0 $no_device_reason" '*' init mute set -5 get
expect 1 "tone 1000 Hz at -6 dBFS -> no audio device
wait 5 ms" '*' tone wait 5

# Without Brenquisat.dll beside it.
alone=$(mktemp -d)
cp "$brq" "$alone/"
brq="$alone/$(basename "$brq")"
expect 1 "" "cannot load Brenquisat.dll" init
expect 1 "" "cannot load Brenquisat.dll" version

echo "brq_cli: $failures failed"
[ "$failures" -eq 0 ]
