#!/bin/sh
# Installs what is missing, builds, and runs the whole test suite headless;
# then builds the programs that do not host Chromium with AddressSanitizer and
# UndefinedBehaviorSanitizer (leak detection on) in build-asan/ and runs them.
# A test program that dies prints every thread's backtrace.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/tools/install-deps.sh"
"$ROOT/tools/build.sh"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
ulimit -c unlimited 2>/dev/null || true

status=0
# One X server for the GUI tests; they take their own HOME and runtime dirs.
(cd "$ROOT/build" && xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 2 --timeout 300) || status=1
"$ROOT/tools/run-sanitizers.sh" address || status=1
exit $status
