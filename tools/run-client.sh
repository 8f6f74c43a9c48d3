#!/bin/sh
# Installs what is missing, builds, and runs the client. Without a display the
# client runs on a private Xvfb server.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/tools/install-deps.sh"
"$ROOT/tools/build.sh"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$ROOT/build/bin/lumira_app" "$@"
fi
exec "$ROOT/build/bin/lumira_app" "$@"
