#!/bin/sh
# Starts the development service on a free port, checks its pages over real
# HTTP and stops it by PID whatever happens.
set -eu
BIN=$1
DIR=$(mktemp -d)
PORT=$((20000 + $$ % 20000))
PID=""
cleanup() { [ -n "$PID" ] && kill "$PID" 2>/dev/null; wait 2>/dev/null; rm -rf "$DIR"; }
trap cleanup EXIT INT TERM

"$BIN" --port "$PORT" --pid-file "$DIR/pid" >"$DIR/out" 2>"$DIR/err" &
PID=$!
for _ in $(seq 100); do
    grep -q "listening on http://127.0.0.1:$PORT" "$DIR/out" && break
    kill -0 "$PID" || { cat "$DIR/err"; exit 1; }
    sleep 0.05
done
grep -q listening "$DIR/out"
[ "$(cat "$DIR/pid")" = "$PID" ]

fail() { echo "FAIL: $*"; cat "$DIR/err"; exit 1; }
# get PATH: the status line, then the body.
get() { python3 -c "import sys,urllib.request,urllib.error
try:
    r = urllib.request.urlopen('http://127.0.0.1:$PORT' + sys.argv[1], timeout=5); code, body = r.status, r.read()
except urllib.error.HTTPError as e:
    code, body = e.code, e.read()
sys.stdout.write(str(code) + chr(10) + body.decode())" "$1" >"$DIR/body"; cat "$DIR/body"; }
status() { get "$1" >/dev/null; sed -n 1p "$DIR/body"; }

[ "$(get /ping)" = "$(printf '200\npong')" ] || fail ping
[ "$(status /libs/guid.txt)" = 200 ] || fail guid
[ "$(get /libs/guid.txt)" = "$(get /qt1/libs/guid.txt)" ] || fail "guid differs"
get /qt1 | grep -q 'src="/qchannel-js/lmrqml.js"' || fail "lesson page"
[ "$(status /qt1/)" = 200 ] || fail "lesson page with slash"
get /qt1/app.js | grep -q qtQuery || fail app.js
get /qchannel-js/lmrqml.js | grep -q qtQueryCallback || fail "bridge library"
[ "$(status /status/503)" = 503 ] || fail status
[ "$(status /no/such/page)" = 404 ] || fail 404

# A second instance on the same port fails with a clear message.
if timeout 5 "$BIN" --port "$PORT" >/dev/null 2>"$DIR/err2"; then fail "second instance started"; fi
grep -q "cannot listen" "$DIR/err2" || fail "second instance message"

kill "$PID"
wait "$PID" || true
PID=""
[ ! -e "$DIR/pid" ] || fail "pid file left behind"
echo "devservice ok"
