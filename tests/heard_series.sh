#!/bin/sh
# The level series behind the demo's picture, from a WAV made with known levels:
# after 0.2 s of silence, a 1 kHz tone for 0.5 s each at 0, -6.02 and -20 dB,
# then digital silence, then 0 dB again, with the session lines that brq would
# print.  Every 20 ms window away from a change must give that span's level
# within 0.1 dB, and each call must be marked where its span starts.
#   heard_series.sh HEARD_LEVELS WORK_DIR
set -u
heard_levels=$1 work=$2
rm -rf "$work" && mkdir -p "$work" || exit 1
cd "$work" || exit 1
part() { sox -D -n -r 48000 -c 2 -b 16 "$1.wav" synth "$2" sine 1000 vol "$3"; }
part 0 0.2 0 && part 1 0.5 0.5 && part 2 0.5 0.25 && part 3 0.5 0.05 && part 4 0.5 0 && part 5 0.5 0.5 &&
    sox -D 0.wav 1.wav 2.wav 3.wav 4.wav 5.wav known.wav || exit 1
cat >session.log <<'END'
tone 1000 Hz at -6 dBFS -> playing
wait 500 ms (tone 0.000-0.500 s)
SetDSVolume(-600) -> 1
wait 500 ms (tone 0.500-1.000 s)
SetDSVolume(-2000) -> 1
wait 500 ms (tone 1.000-1.500 s)
MuteDS() -> true
wait 500 ms (tone 1.500-2.000 s)
UnmuteDS() -> true
wait 500 ms (tone 2.000-2.500 s)
END
"$heard_levels" known.wav series <session.log >heard || { cat heard; exit 1; }
cat heard

failures=0
awk 'function expected(t) { return t < 0.5 ? 0 : t < 1 ? -6.02 : t < 1.5 ? -20 : t < 2 ? "silence" : 0 }
    function near(t) { return (t * 2 - int(t * 2 + 0.5)) ^ 2 < 0.04 ^ 2 }
    { n++ }
    near($1) { next }
    { want = expected($1)
      wrong = want == "silence" ? $2 != "silence" : $2 == "silence" || $2 - want > 0.1 || want - $2 > 0.1
      if (wrong) { print "heard_series: at " $1 " s the series gave " $2 ", expected " want; bad++ } }
    END { if (n < 120) { print "heard_series: " n " windows, expected 125"; bad++ }; exit bad > 0 }' series.levels ||
    failures=$((failures + 1))
printf '0.000 tone 1000 Hz at -6 dBFS -> playing\n0.500 SetDSVolume(-600) -> 1\n1.000 SetDSVolume(-2000) -> 1\n1.500 MuteDS() -> true\n2.000 UnmuteDS() -> true\n' >calls.expected
cmp -s series.calls calls.expected ||
    { echo "heard_series: the calls were marked"; cat series.calls; failures=$((failures + 1)); }
echo "heard_series: $failures failed"
[ "$failures" -eq 0 ]
