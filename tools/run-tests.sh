#!/bin/sh
# Installs what is missing, builds, and runs the whole test suite headless.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/tools/install-deps.sh"
"$ROOT/tools/build.sh"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
cd "$ROOT/build"
# One X server for the GUI tests; they take their own HOME and runtime dirs.
exec xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 2 --timeout 300
