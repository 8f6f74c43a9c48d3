#!/bin/sh
# Starts a private PulseAudio server from devsound.pa under the runtime dir
# given ($1), waits until it answers and prints its PID. The caller stops it
# by that PID. The socket is "$1/pulse/native".
set -eu
RUNTIME=$1
# The server and the check below talk over this runtime dir only.
unset PULSE_SERVER
HERE=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$RUNTIME"
chmod 700 "$RUNTIME"
XDG_RUNTIME_DIR=$RUNTIME HOME=$RUNTIME pulseaudio -n -F "$HERE/devsound.pa" --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --log-target=file:"$RUNTIME/pulse.log" >/dev/null 2>&1 &
PID=$!
for _ in $(seq 50); do
    if XDG_RUNTIME_DIR=$RUNTIME HOME=$RUNTIME pactl info >/dev/null 2>&1; then
        echo "$PID"
        exit 0
    fi
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.1
done
kill "$PID" 2>/dev/null || true
echo "sound server did not start, see $RUNTIME/pulse.log" >&2
exit 1
