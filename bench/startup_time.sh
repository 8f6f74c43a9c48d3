#!/bin/sh
# Start-up time to window shown, all figures from one run: the client's own
# "app_start_time" and the time of its device step (from the step's log line
# to the next one) on warm starts (the second start of a data folder, with the
# page served by the development service when it runs), then the floors: a
# bare QQuickView and a QQuickView with a Qt WebEngine view on a local page.
# Runs under xvfb-run; set PULSE_SERVER for real audio devices.
set -eu
BIN=${1:-build/bin}
RUNS=${RUNS:-3}
ms() { # "HH:MM:SS.mmm" of a log line -> milliseconds of the day
    echo "$1" | sed -E 's/^\[[0-9-]+ ([0-9]+):([0-9]+):([0-9]+)\.([0-9]+)\].*/\1 \2 \3 \4/' |
        awk '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }'
}
settle() { # the browser's helper processes of the last run end in the background
    sleep 2
}
run_client() { # $1 home
    HOME=$1 XDG_CONFIG_HOME=$1/.config XDG_CACHE_HOME=$1/.cache QTWEBENGINE_DISABLE_SANDBOX=1 \
        timeout 30 "$BIN/lumira_app" >/dev/null 2>&1 &
    P=$!
    sleep 8
    kill -TERM $P 2>/dev/null || true
    wait $P 2>/dev/null || true
    settle
}
for i in $(seq "$RUNS"); do
    H=$(mktemp -d)
    run_client "$H" # cold: first-start settings, page cache
    run_client "$H"
    LOG=$(ls "$H"/.config/kestrelon/lumira/log/LMRApp_*.log)
    START=$(grep -o "app_start_time [0-9]*" "$LOG" | tail -1)
    STEP=$(grep -n "启动：初始化麦克风、扬声器、摄像头设备" "$LOG" | tail -1 | cut -d: -f1)
    A=$(ms "$(sed -n "${STEP}p" "$LOG")")
    B=$(ms "$(sed -n "$((STEP + 1)),\$p" "$LOG" | grep -m1 "\[Other_Type\] 启动：")")
    echo "warm $START device_step $((B - A))"
    rm -rf "$H"
done
for i in $(seq "$RUNS"); do
    "$BIN/bench_bare_view" 2>/dev/null
    settle
    "$BIN/bench_bare_view" --web 2>/dev/null
    settle
done
