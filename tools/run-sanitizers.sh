#!/bin/sh
# Builds the test programs that do not host Chromium with sanitizers, in a
# folder of their own, and runs them headless.
#
#   tools/run-sanitizers.sh address   ASan + UBSan, leak detection on (build-asan/):
#                                     every such test program
#   tools/run-sanitizers.sh thread    TSan (build-tsan/): the recording, media,
#                                     device and upload tests
#
# Extra arguments go to ctest (for example -R test_record).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
KIND=${1:-address}
[ $# -gt 0 ] && shift
SUPP=$ROOT/tests/sanitizers
case "$KIND" in
address)
    DIR=$ROOT/build-asan
    SANITIZE=address,undefined
    SELECT=""
    ;;
thread)
    DIR=$ROOT/build-tsan
    SANITIZE=thread
    SELECT="-R ^(test_record|test_record_status|test_record_kill|test_record_names|test_upload|test_audio|test_video|test_agora|test_simroom|test_device|test_device_nosound)$"
    ;;
*)
    echo "usage: $0 address|thread [ctest arguments]" >&2
    exit 2
    ;;
esac

"$ROOT/tools/install-deps.sh"
BUILD_DIR=$DIR "$ROOT/tools/build.sh" -DLUMIRA_SANITIZE=$SANITIZE -DLUMIRA_BUILD_BENCH=OFF

# Findings fail the test that meets them. The suppression files name only
# third-party libraries (their own leaks and races, seen through our calls).
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:halt_on_error=1:print_summary=1"
export LSAN_OPTIONS="suppressions=$SUPP/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$SUPP/ubsan.supp"
export TSAN_OPTIONS="suppressions=$SUPP/tsan.supp:second_deadlock_stack=1:history_size=4:halt_on_error=0:exitcode=66"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
export LUMIRA_TEST_TIMEOUT_S=590
cd "$DIR"
# shellcheck disable=SC2086
exec xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j 2 --timeout 600 $SELECT "$@"
