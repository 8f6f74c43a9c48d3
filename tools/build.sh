#!/bin/sh
# Configures and builds into build/ (Release with debug info); extra arguments
# go to the configure step. BUILD_DIR picks another folder (sanitizer builds).
# ccache is used when the machine has it.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
LAUNCHER=""
command -v ccache >/dev/null 2>&1 && LAUNCHER="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
# shellcheck disable=SC2086
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $LAUNCHER "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
