#!/bin/sh
# Installs what is missing, builds, and runs the client against the local
# development service (started here unless one already answers on its port).
# Without a display the client runs on a private Xvfb server.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/tools/install-deps.sh"
"$ROOT/tools/build.sh"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

SERVICE_PID=""
SOUND_PID=""
stop_service() {
    [ -n "$SERVICE_PID" ] && kill "$SERVICE_PID" 2>/dev/null
    [ -n "$SOUND_PID" ] && kill "$SOUND_PID" 2>/dev/null
    true
}
trap stop_service EXIT INT TERM
# No sound server (a machine without a desktop session): a private one with a
# speaker, a headset and a microphone that hears a tone, for the device test.
if ! pactl info >/dev/null 2>&1; then
    SOUND_RUNTIME="$ROOT/build/run-sound"
    if SOUND_PID=$("$ROOT/tools/sound/start-devsound.sh" "$SOUND_RUNTIME"); then
        export PULSE_SERVER="unix:$SOUND_RUNTIME/pulse/native"
    else
        SOUND_PID=""
    fi
fi
# A service already on the port (a second run) is simply used.
"$ROOT/build/bin/lumira_devservice" >"$ROOT/build/devservice.out" 2>"$ROOT/build/devservice.log" &
SERVICE_PID=$!
for _ in $(seq 50); do
    grep -q listening "$ROOT/build/devservice.out" 2>/dev/null && break
    kill -0 "$SERVICE_PID" 2>/dev/null || { SERVICE_PID=""; break; }
    sleep 0.1
done

if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1920x1080x24" "$ROOT/build/bin/lumira_app" "$@"
else
    "$ROOT/build/bin/lumira_app" "$@"
fi
