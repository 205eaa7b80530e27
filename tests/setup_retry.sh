#!/bin/sh
# Setup against a package mirror in the middle of a sync: a failed apt-get
# update is tried again after a pause, and when it keeps failing setup stops
# with a line that says what failed and what to do.  Stand-ins for dpkg-query
# (nothing installed), dpkg, id (root) and apt-get (whose update fails the first
# N times) come first in PATH.
#   setup_retry.sh SETUP_SCRIPT WORK_DIR
set -u
setup=$1 work=$2
rm -rf "$work" && mkdir -p "$work/bin" || exit 1
cat >"$work/bin/apt-get" <<'END'
#!/bin/sh
echo "$1" >>"$FAKE_APT_LOG"
if [ "$1" = update ] && [ "$(grep -c '^update$' "$FAKE_APT_LOG")" -le "$FAKE_UPDATE_FAILURES" ]; then
    echo "E: Failed to fetch Packages.xz  File has unexpected size. Mirror sync in progress?" >&2
    exit 100
fi
END
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"* || exit 1

failures=0
# expect FAILING_UPDATES TRIES STATUS APT_CALLS: setup's exit status and the
# apt-get commands it ran, in order.
expect() {
    : >"$work/apt.log"
    FAKE_APT_LOG=$work/apt.log FAKE_UPDATE_FAILURES=$1 SETUP_UPDATE_TRIES=$2 SETUP_UPDATE_PAUSE=0 \
        BRENQUISAT_ARCHS=none PATH="$work/bin:$PATH" sh "$setup" >"$work/out" 2>&1
    status=$?
    calls=$(tr '\n' ' ' <"$work/apt.log")
    if [ "$status" -ne "$3" ] || [ "$calls" != "$4" ]; then
        echo "setup_retry: update failing $1 times of $2 tries: status $status, apt-get $calls;" \
            "expected status $3, apt-get $4"
        cat "$work/out"
        failures=$((failures + 1))
    fi
}

expect 0 3 0 "update install "
expect 2 3 0 "update update update install "
[ "$(grep -c "^setup: 'apt-get update' failed; trying again" "$work/out")" -eq 2 ] ||
    { echo "setup_retry: no line for each retry"; cat "$work/out"; failures=$((failures + 1)); }
expect 3 3 1 "update update update "
tail -n 1 "$work/out" | grep -q "^setup: 'apt-get update' failed 3 times .*wait a few minutes, then run the same make command again$" ||
    { echo "setup_retry: setup stopped without saying what to do"; cat "$work/out"; failures=$((failures + 1)); }
grep -q "Mirror sync in progress" "$work/out" ||
    { echo "setup_retry: apt's own lines were not shown"; failures=$((failures + 1)); }
echo "setup_retry: $failures failed"
[ "$failures" -eq 0 ]
