#!/bin/sh
# What each kind of host hears: runs heard_host for every kind under Wine with
# Wine's output captured to a WAV file, measures each span of the host's tone
# with heard-levels, and checks every level against the one expected, within
# 0.1 dB (Wine's scale is 2^(volume/600) in amplitude: -2000 is -20.07 dB).
#   heard.sh WINE_RUN HEARD_HOST CAPTURE_CONFIG HEARD_LEVELS WORK_DIR
set -u
wine_run=$1 host=$2 capture=$3 heard_levels=$4 work=$5
"$wine_run" --check || exit $?  # 77, with the reason, where this machine cannot run it
rm -rf "$work" && mkdir -p "$work" || exit 1
export ALSA_CONFIG_PATH="$capture" WINEDLLOVERRIDES="dsound=b"

"$wine_run" "$host" --list >"$work/kinds" 2>&1 || { cat "$work/kinds"; exit 1; }
failures=0
for kind in $(tr -d '\r' <"$work/kinds"); do
    export BRENQUISAT_HEARD_WAV="$work/$kind.wav"
    "$wine_run" "$host" "$kind" >"$work/$kind.log" 2>&1 || failures=$((failures + 1))
    echo "== $kind"
    "$heard_levels" "$BRENQUISAT_HEARD_WAV" <"$work/$kind.log" >"$work/$kind.heard" ||
        failures=$((failures + 1))
    cat "$work/$kind.heard"
    awk '/, expect / {
        expected = $0; sub(/.*, expect /, "", expected); sub(/ +heard .*/, "", expected)
        heard = $0; if (!sub(/.* heard /, "", heard)) heard = "nothing"
        if (expected == "silence")
            wrong = heard != "silence"
        else
            wrong = heard !~ / dB$/ || heard - expected > 0.1 || expected - heard > 0.1
        if (wrong) { print "heard.sh: expected " expected ", heard " heard; n++ }
    }
    END { exit n > 0 }' "$work/$kind.heard" || failures=$((failures + 1))
done
echo "heard: $failures kinds of host failed"
[ "$failures" -eq 0 ]
