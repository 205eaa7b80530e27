#!/bin/sh
# brq's process must end cleanly right after it unloads the library.  Wine's
# exit crashed (status 139, or a "wine client error" on standard error) about one
# short run in 300 under load while a DirectSound device was still open, so brq
# closes every device before it unloads the library.
#   1. The cause, every time: brq under the stand-in dsound.dll, which logs each
#      platform call to a file, closes the library's device itself (ReleaseDS),
#      so unloading restores nothing and the device's release is the last call.
#   2. The effect, as a smoke test: 10 rounds of short command lines on Wine's
#      own DirectSound must each exit with status 0 and print nothing on stderr.
#   brq_exits.sh WINE_RUN BRQ_EXE NULL_ALSA_CONFIG STANDIN_BRQ_EXE
set -u
wine_run=$1 brq=$2 null_device=$3 standin_brq=$4
"$wine_run" --check || exit $?  # 77, with the reason, where this machine cannot run it
out=$(mktemp) err=$(mktemp) log=$(mktemp)
trap 'rm -f "$out" "$err" "$log"' EXIT
failures=0

for command in "mute wait 100" "set -600"; do
    : >"$log"
    # shellcheck disable=SC2086  # the command's words are brq's arguments
    STANDIN_LOG=$log WINEDLLOVERRIDES=dsound=n "$wine_run" "$standin_brq" $command >"$out" 2>"$err"
    status=$?
    calls=$(tr -d '\r' <"$log")
    if [ "$status" -ne 0 ] || [ "$(printf '%s\n' "$calls" | grep -c 'SetVolume(')" -ne 1 ] ||
       [ "$(printf '%s\n' "$calls" | tail -n 1)" != "IDirectSound8::Release() = 0" ]; then
        failures=$((failures + 1))
        echo "brq $command on the stand-in: exit status $status; the device was not closed before" \
            "the unload (one SetVolume, then IDirectSound8::Release() = 0 last, expected); platform calls:"
        printf '%s\n' "$calls"
    fi
done

export ALSA_CONFIG_PATH="$null_device"
runs=0
for round in $(seq 10); do
    for command in "mute wait 100" "tone wait 100 mute wait 100" "set +0"; do
        # shellcheck disable=SC2086
        "$wine_run" "$brq" $command >"$out" 2>"$err"
        status=$?
        runs=$((runs + 1))
        if [ "$status" -ne 0 ] || [ -s "$err" ]; then
            failures=$((failures + 1))
            echo "round $round: brq $command: exit status $status, stdout '$(tr -d '\r' <"$out")'," \
                "stderr '$(tr -d '\r' <"$err")'"
        fi
    done
done
echo "brq_exits: 2 runs on the stand-in and $runs on Wine's DirectSound, $failures ended badly"
[ "$failures" -eq 0 ]
