#!/bin/sh
# The client's Debian package: made with cpack from this build, its list of
# files and control fields checked, installed with dpkg into a throw-away
# root (never the machine's), the launcher there started until the client is
# up; then offered by the development service as the update, signed.
# Usage: test_package.sh BUILD_DIR CPACK DEVSERVICE DEV_UPDATE_KEY
set -eu
BUILD=$1
CPACK=$2
DEVSERVICE=$3
KEY=$4
WORK=$(mktemp -d /tmp/lumira-package-XXXXXX)
SERVICE_PID=""
CLIENT_PID=""
cleanup() {
    [ -n "$CLIENT_PID" ] && kill "$CLIENT_PID" 2>/dev/null && wait "$CLIENT_PID" 2>/dev/null
    [ -n "$SERVICE_PID" ] && kill "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

"$CPACK" -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log" >&2; fail "cpack"; }
DEB=$(ls "$WORK"/out/lumira_*.deb)
echo "package: $(basename "$DEB") $(du -h "$DEB" | cut -f1)"

# The files, where the program and the adapters look for them.
dpkg-deb --contents "$DEB" >"$WORK/contents"
for entry in ./opt/lumira/bin/lumira_app ./opt/lumira/bin/liblumira_simroom.so ./opt/lumira/bin/LiteAV/libliteav.so \
    ./opt/lumira/bin/lang_Chinese.qm ./opt/lumira/bin/TestDeviceMusic.mp3 \
    ./opt/lumira/bin/res/html/404.html ./opt/lumira/bin/res/qchannel-js/lmrqml.js \
    ./usr/share/applications/lumira.desktop ./usr/share/icons/hicolor/scalable/apps/lumira.svg; do
    grep -q " $entry\$" "$WORK/contents" || fail "$entry not in the package"
done
grep -q " ./usr/bin/lumira -> ../../opt/lumira/bin/lumira_app\$" "$WORK/contents" || fail "launcher link"
# Nothing of the development tree: no tests, benchmarks or service.
if grep -E "test_|bench_|devservice|/build/" "$WORK/contents"; then fail "development files packaged"; fi

[ "$(dpkg-deb -f "$DEB" Package)" = lumira ] || fail "package name"
[ "$(dpkg-deb -f "$DEB" Version)" = 5.0.6 ] || fail "version"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
for dep in libqt5webengine5 libqt5quick5 qml-module-qtwebengine qml-module-qtquick-controls2 libavcodec; do
    echo "$DEPENDS" | grep -q "$dep" || fail "Depends lacks $dep: $DEPENDS"
done

# Installed into a throw-away root: its own dpkg database, no scripts run.
ROOT=$WORK/root
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates"
touch "$ROOT/var/lib/dpkg/status"
dpkg --root="$ROOT" --log=/dev/null --force-depends --force-not-root -i "$DEB" >"$WORK/dpkg.log" 2>&1 ||
    { cat "$WORK/dpkg.log" >&2; fail "dpkg -i"; }
dpkg --root="$ROOT" -s lumira | grep -q "^Status: install ok installed" || fail "not installed"
readelf -d "$ROOT/opt/lumira/bin/lumira_app" | grep -q 'RUNPATH.*\[\$ORIGIN\]' || fail "RUNPATH is not \$ORIGIN"
if readelf -d "$ROOT/opt/lumira/bin/lumira_app" | grep -q "$BUILD"; then fail "build folder in RUNPATH"; fi
[ -x "$ROOT/usr/bin/lumira" ] || fail "launcher"

# The launcher starts the installed client (a private HOME, the X server of
# the test run), which finds its libraries and translation in the tree.
[ -n "${DISPLAY:-}" ] || fail "needs an X server (run under xvfb-run)"
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_CACHE_HOME="$WORK/home/.cache"
export XDG_RUNTIME_DIR="$WORK/run" LUMIRA_DIALOG_AUTO_ACCEPT_MS=300 QTWEBENGINE_DISABLE_SANDBOX=1
mkdir -p "$HOME/.config" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
"$ROOT/usr/bin/lumira" >"$WORK/client.out" 2>&1 &
CLIENT_PID=$!
LOG="$HOME/.config/kestrelon/lumira/log/LMRApp_$(date +%Y%m%d).log"
i=0
until grep -q "启动：启动完成" "$LOG" 2>/dev/null; do
    i=$((i + 1))
    kill -0 "$CLIENT_PID" 2>/dev/null || { cat "$WORK/client.out" "$LOG" >&2; fail "the installed client ended"; }
    [ $i -lt 600 ] || { cat "$LOG" >&2; fail "the installed client did not come up"; }
    sleep 0.1
done
if grep -q "translator error" "$LOG"; then fail "translation not found"; fi
kill -TERM "$CLIENT_PID"
wait "$CLIENT_PID" || fail "the installed client did not quit cleanly"
CLIENT_PID=""
echo "installed client started and quit"

# The development service offers exactly this package, signed with the
# development update key.
PORTS=$(python3 -c 'import socket
s=[socket.socket() for _ in range(3)]
[x.bind(("127.0.0.1",0)) for x in s]
print(" ".join(str(x.getsockname()[1]) for x in s))')
set -- $PORTS
"$DEVSERVICE" --port "$1" --oss-port "$2" --tls-port "$3" --oss-dir "$WORK/oss" \
    >"$WORK/service.out" 2>&1 &
SERVICE_PID=$!
i=0
until grep -q listening "$WORK/service.out"; do
    i=$((i + 1))
    [ $i -lt 100 ] || fail "the development service did not start"
    sleep 0.1
done
curl -sf -X POST -H 'Content-Type: application/octet-stream' --data-binary "@$DEB" \
    "http://127.0.0.1:$1/dev/update?version=5.1.0&name=lumira_5.1.0_amd64.deb" >"$WORK/answer"
curl -sf "https://127.0.0.1:$3/lumira/app/app_update?app_id=com.lumira.pc" -k >"$WORK/answer"
grep -q "\"download_url\":\"http://127.0.0.1:$1/packages/pc/lumira_5.1.0_amd64.deb\"" "$WORK/answer" ||
    fail "answer: $(cat "$WORK/answer")"
curl -sf "http://127.0.0.1:$1/packages/pc/lumira_5.1.0_amd64.deb" -o "$WORK/offered.deb"
curl -sf "http://127.0.0.1:$1/packages/pc/lumira_5.1.0_amd64.deb.sig" -o "$WORK/offered.sig"
cmp "$DEB" "$WORK/offered.deb" || fail "the offered package differs"
openssl pkey -in "$KEY" -pubout -out "$WORK/pub.pem"
openssl pkeyutl -verify -pubin -inkey "$WORK/pub.pem" -rawin -in "$WORK/offered.deb" -sigfile "$WORK/offered.sig" \
    >/dev/null || fail "the signature does not verify"
echo "offered as the update, signed"
