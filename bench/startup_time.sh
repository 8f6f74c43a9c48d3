#!/bin/sh
# Start-up time to window shown: the client's own "app_start_time" figure, and a
# bare QQuickView as the floor. Runs under xvfb-run.
set -eu
BIN=${1:-build/bin}
for i in 1 2 3; do
    H=$(mktemp -d)
    HOME=$H XDG_CONFIG_HOME=$H/.config XDG_RUNTIME_DIR=$H QTWEBENGINE_DISABLE_SANDBOX=1 \
        timeout 15 "$BIN/lumira_app" >/dev/null 2>&1 &
    P=$!
    sleep 7
    kill -TERM $P 2>/dev/null || true
    wait $P 2>/dev/null || true
    grep -ho "app_start_time [0-9]*" "$H"/.config/kestrelon/lumira/log/*.log
    rm -rf "$H"
done

for i in 1 2 3; do
    "$BIN/bench_bare_view" 2>/dev/null
done
