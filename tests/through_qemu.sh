#!/bin/sh
# The route of machines that cannot execute 32-bit programs, tried on this one
# whatever it can: a win32 program run through qemu-user 10 in a binfmt_misc
# instance of its own (scripts/qemu-i386 run) is emulated, and passes as natively.
#   through_qemu.sh SCRIPTS_DIR PROGRAM ARGUMENTS...
set -u
scripts=$1
shift
"$scripts/qemu-i386" make || exit $?  # 77, with the reason, where it cannot be had
loader=$("$scripts/wine-loader" win32) || { echo "$loader"; exit 77; }
# qemu-user traces a program's system calls when asked: Wine's loader ran through it.
trace=$("$scripts/qemu-i386" run env QEMU_STRACE=1 "$loader" --version 2>&1)
status=$?
[ "$status" -eq 77 ] && { echo "$trace"; exit 77; }
case $trace in
    *" brk("*) ;;
    *) echo "through_qemu: $loader --version did not run through qemu-user (status $status): $trace"; exit 1 ;;
esac
exec "$scripts/qemu-i386" run "$@"
