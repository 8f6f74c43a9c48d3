#!/bin/sh
# The test runner on a program that crashes: it must fail with the signal's
# status and print the backtraces of both threads, with our function names.
set -u
RUNNER=$1
CHILD=$2
OUT=$(sh "$RUNNER" "$CHILD" 2>&1)
STATUS=$?
fail() { echo "FAIL: $1"; echo "$OUT"; exit 1; }
[ "$STATUS" -eq 139 ] || fail "exit status $STATUS, not 139"
echo "$OUT" | grep -q "died on signal 11 (SEGV)" || fail "no signal line"
echo "$OUT" | grep -q "lumiraCrashHere" || fail "no frame of the crashing thread"
echo "$OUT" | grep -q "lumiraSecondThreadWaits" || fail "no frame of the other thread"
echo "ok"
