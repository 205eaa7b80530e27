#!/bin/sh
# brq's process must end cleanly right after it unloads the library: 100 rounds
# of the short command lines that once ended with a segmentation fault (status
# 139) or a "wine client error" on standard error about one run in a hundred,
# while a device release still under way met the end of the process.  Every run
# must exit with status 0 and print nothing on standard error.
#   brq_exits.sh WINE_RUN BRQ_EXE NULL_ALSA_CONFIG
set -u
wine_run=$1 brq=$2
export ALSA_CONFIG_PATH=$3
"$wine_run" --check || exit $?  # 77, with the reason, where this machine cannot run it
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
runs=0 failures=0
for round in $(seq 100); do
    for command in "mute wait 100" "tone wait 100 mute wait 100" "set +0"; do
        # shellcheck disable=SC2086  # the command's words are brq's arguments
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
echo "brq_exits: $runs runs, $failures ended badly"
[ "$failures" -eq 0 ]
