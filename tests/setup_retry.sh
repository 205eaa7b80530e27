#!/bin/sh
# Setup against a package mirror that fails: apt-get update is tried again after a
# pause; when it keeps failing setup goes on with the lists apt has, and when the
# install is then refused it tries once more preferring the release's own suite
# before it stops with a line that says what to do.  Stand-ins for dpkg-query
# (nothing installed), dpkg, id (root) and apt-get (whose update fails the first
# N times and whose install is refused the first M times) come first in PATH.
#   setup_retry.sh SETUP_SCRIPT WORK_DIR
set -u
setup=$1 work=$2
rm -rf "$work" && mkdir -p "$work/bin" || exit 1
export FAKE_INDEX=http://deb.example/debian-security/dists/testrel-security/main/binary-i386/Packages.xz
cat >"$work/bin/apt-get" <<'END'
#!/bin/sh
call=$1
[ "${2:-}" = -t ] && call="$1 -t $3"
echo "$call" >>"$FAKE_APT_LOG"
if [ "$1" = update ] && [ "$(grep -c '^update$' "$FAKE_APT_LOG")" -le "$FAKE_UPDATE_FAILURES" ]; then
    echo "E: Failed to fetch $FAKE_INDEX  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100
fi
if [ "$1" = install ] && [ "$(grep -c '^install' "$FAKE_APT_LOG")" -le "$FAKE_REFUSED_INSTALLS" ]; then
    echo "E: Unable to correct problems, you have held broken packages." >&2
    exit 100
fi
END
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho 0\n' >"$work/bin/id"
chmod +x "$work/bin/"* || exit 1
printf 'PRETTY_NAME="Debian GNU/Linux 99 (testrel)"\nVERSION_CODENAME=testrel\n' >"$work/os-release"
# qemu-user registered already, as far as setup can tell.
mkdir -p "$work/binfmt" && echo enabled >"$work/binfmt/qemu-aarch64" || exit 1

retry="setup: 'apt-get update' failed; trying again in 0 s"
going_on="setup: 'apt-get update' failed 3 times, on $FAKE_INDEX: going on with the package lists apt has"
preferring="setup: the install failed with those lists; trying once more preferring testrel's own packages (-t testrel): their newer security builds come with a later 'apt-get upgrade' once that index is served again"
failures=0
# expect UPDATE_FAILURES REFUSED_INSTALLS STATUS APT_CALLS SETUP_LINES: with 3
# tries, setup's exit status, the apt-get commands it ran, and its own lines but
# for the first and the last, which name the packages and the architectures.
expect() {
    : >"$work/apt.log"
    FAKE_APT_LOG=$work/apt.log FAKE_UPDATE_FAILURES=$1 FAKE_REFUSED_INSTALLS=$2 SETUP_UPDATE_TRIES=3 \
        SETUP_UPDATE_PAUSE=0 SETUP_OS_RELEASE=$work/os-release SETUP_BINFMT=$work/binfmt BRENQUISAT_ARCHS=none PATH="$work/bin:$PATH" \
        sh "$setup" >"$work/out" 2>&1
    status=$?
    calls=$(paste -sd, "$work/apt.log")
    lines=$(grep '^setup: ' "$work/out" | grep -v -e '^setup: installing ' -e '^setup: this machine tests ' |
        sed 's/ ([0-9] of 3)$//')
    if [ "$status" -ne "$3" ] || [ "$calls" != "$4" ] || [ "$lines" != "$5" ]; then
        echo "setup_retry: update failing $1 times, install refused $2 times: status $status, apt-get $calls;" \
            "expected status $3, apt-get $4 and the lines"
        echo "$5" | sed 's/^/    /'
        cat "$work/out"
        failures=$((failures + 1))
    fi
}

expect 0 0 0 "update,install" "setup: done"
expect 2 0 0 "update,update,update,install" "$retry
$retry
setup: done"
expect 3 0 0 "update,update,update,install" "$retry
$retry
$going_on
setup: done"
expect 3 1 0 "update,update,update,install,install -t testrel" "$retry
$retry
$going_on
$preferring
setup: done"
expect 3 2 1 "update,update,update,install,install -t testrel" "$retry
$retry
$going_on
$preferring
setup: the packages cannot be installed while $FAKE_INDEX cannot be fetched (apt's lines above say why): run the same make command again once 'apt-get update' passes"
grep -q "Mirror sync in progress" "$work/out" && grep -q "held broken packages" "$work/out" ||
    { echo "setup_retry: apt's own lines were not shown"; failures=$((failures + 1)); }
# With every index fetched, a refused install is not retried with older packages.
expect 0 1 1 "update,install" "setup: 'apt-get install' failed (apt's lines above say why): mend what they name, then run the same make command again"
echo "setup_retry: $failures failed"
[ "$failures" -eq 0 ]
