#!/bin/sh
# Runs one test program with core dumps on. When the program dies on a signal
# (a crash, or the abort sent when it outlives its time), prints a symbolised
# backtrace of every thread from its core, so that a failure seen once in CI
# can be understood from the log alone.
#
#   run-with-backtrace.sh [--timeout SECONDS] PROGRAM [ARGUMENTS...]
#
# LUMIRA_TEST_TIMEOUT_S, when set, overrides --timeout (slower sanitizer
# builds). The program runs in a fresh working directory, where a core named "core" or
# "core.PID" lands when the kernel's core_pattern is relative (as on Debian).
set -u
TIMEOUT_S=0
if [ "${1:-}" = "--timeout" ]; then
    TIMEOUT_S=$2
    shift 2
fi
[ -n "${LUMIRA_TEST_TIMEOUT_S:-}" ] && TIMEOUT_S=$LUMIRA_TEST_TIMEOUT_S
PROG=$1
shift
case "$PROG" in
/*) ;;
*/*) PROG=$(pwd)/$PROG ;;
*) PROG=$(command -v "$PROG" || echo "$PROG") ;;
esac

ulimit -c unlimited 2>/dev/null || ulimit -c "$(ulimit -H -c)" 2>/dev/null || true
WORK=$(mktemp -d "${TMPDIR:-/tmp}/lumira-run-XXXXXX")
cleanup() { rm -rf "$WORK"; }
trap cleanup EXIT
trap 'kill -TERM "$CHILD" 2>/dev/null' INT TERM

# A hang is aborted shortly before the caller's own limit, so that it leaves a
# core to read as well.
if [ "$TIMEOUT_S" -gt 0 ]; then
    (cd "$WORK" && exec timeout --preserve-status -s ABRT -k 20 "$TIMEOUT_S" "$PROG" "$@") &
else
    (cd "$WORK" && exec "$PROG" "$@") &
fi
CHILD=$!
wait "$CHILD"
STATUS=$?
[ "$STATUS" -le 128 ] && exit "$STATUS"

SIG=$((STATUS - 128))
echo "=== $(basename "$PROG") died on signal $SIG ($(kill -l "$SIG" 2>/dev/null || echo '?'))" >&2
CORE=$(ls -t "$WORK"/core* 2>/dev/null | head -n 1)
if [ -z "$CORE" ]; then
    echo "=== no core file: core_pattern is '$(cat /proc/sys/kernel/core_pattern 2>/dev/null)'," \
        "core limit $(ulimit -c)" >&2
elif ! command -v gdb >/dev/null 2>&1; then
    echo "=== core kept at $CORE, but gdb is missing" >&2
    trap - EXIT
else
    echo "=== backtrace of every thread, from $CORE" >&2
    gdb -batch -nx -q -iex "set auto-load off" -ex "set print thread-events off" \
        -ex "info threads" -ex "thread apply all bt 40" "$PROG" "$CORE" 2>&1 | grep -v '^\[New LWP' >&2
fi
exit "$STATUS"
