#!/bin/sh
# Configures and builds into build/ (Release with debug info).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$ROOT/build" -j "$(nproc)"
