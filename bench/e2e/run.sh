#!/usr/bin/env bash
# End-to-end benchmark of the program against PuTTY, both windowed under one
# Xvfb server, in one run:
#  1. time from start to exit: connect to a loopback telnet host that sends
#     10 MiB of mixed terminal output and closes; the session ends and the
#     program exits (korvex with AutoExit=ON, PuTTY with CloseOnExit=2);
#  2. resident memory with 8 sessions open to an idle loopback telnet host:
#     one korvex process against the sum over 8 PuTTY processes.
#
# Usage: bench/e2e/run.sh [BUILD_DIR]     (default: build)
# Environment: RUNS (timed runs per program, default 10), KORVEX_BIN (the
# program, default BUILD_DIR/bin/korvex), OUT (also write
# the results to this file).
# Needs: Xvfb, putty, xdotool, python3; hyperfine if present (otherwise
# repeated runs timed here).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build}
KORVEX_BIN=${KORVEX_BIN:-$BUILD/bin/korvex}
RUNS=${RUNS:-10}
SESSIONS=8
HOST_PY=$ROOT/bench/e2e/flood_host.py

for tool in Xvfb putty xdotool python3; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool not found (scripts/setup.sh installs it)" >&2; exit 1; }
done
[ -x "$KORVEX_BIN" ] || { echo "run.sh: $KORVEX_BIN not built" >&2; exit 1; }

TMP=$(mktemp -d /tmp/kvx-e2e.XXXXXX)
PIDS=()
stop_pid() {  # stop_pid PID: SIGTERM, then SIGKILL after 5 s
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    kill -KILL "$1" 2>/dev/null || true
}
cleanup() {
    # Newest first, so that the clients go before their display and hosts.
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${PIDS[i]}"; done
    rm -rf "$TMP"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

wait_file() {  # wait_file FILE: until FILE exists and is not empty (10 s)
    for _ in $(seq 200); do [ -s "$1" ] && return 0; sleep 0.05; done
    echo "run.sh: timed out waiting for $1" >&2; exit 1
}

# Connections established to a local port.
established() { ss -Htn state established "( sport = :$1 )" | wc -l; }

wait_established() {  # wait_established PORT COUNT (30 s)
    for _ in $(seq 600); do [ "$(established "$1")" -ge "$2" ] && return 0; sleep 0.05; done
    echo "run.sh: only $(established "$1") of $2 connections to port $1" >&2; exit 1
}

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
pss_kb() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup"; }

# ---- the display ----
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$TMP/display" 2>"$TMP/xvfb.log" &
PIDS+=($!)
wait_file "$TMP/display"
export DISPLAY=":$(cat "$TMP/display")"
export QT_QPA_PLATFORM=xcb

# ---- configurations ----
korvex_config() {  # korvex_config DIR TELNET_PORT AUTOEXIT
    mkdir -p "$1"
    cat >"$1/korvex.ini" <<EOF
[Options]
Splash=0
AutoExit=$3
Port=$(free_port)
[Hosts]
H00=127.0.0.1
Protocol00=Telnet
TelnetPort00=$2
DefaultUserID=bench
EOF
}
PUTTY_HOME=$TMP/putty-home
mkdir -p "$PUTTY_HOME/.putty/sessions"
printf 'CloseOnExit\\2\\\n' >"$PUTTY_HOME/.putty/sessions/Default%20Settings"

# ---- 1. start to exit through 10 MiB ----
python3 "$HOST_PY" --mode flood --port-file "$TMP/flood.port" --log "$TMP/flood.log" >/dev/null &
PIDS+=($!)
wait_file "$TMP/flood.port"
FLOOD_PORT=$(cat "$TMP/flood.port")
korvex_config "$TMP/kvx-flood" "$FLOOD_PORT" ON

KORVEX_CMD="env KORVEX=$TMP/kvx-flood $KORVEX_BIN 127.0.0.1"
PUTTY_CMD="env HOME=$PUTTY_HOME putty -telnet -P $FLOOD_PORT 127.0.0.1"
echo "korvex: $KORVEX_CMD"
echo "putty:  $PUTTY_CMD"

if command -v hyperfine >/dev/null; then
    hyperfine --warmup 1 --runs "$RUNS" --export-json "$TMP/flood.json" \
        -n korvex "$KORVEX_CMD" -n putty "$PUTTY_CMD"
    TIMING=hyperfine
else
    # Alternate the two programs so that background load hits both alike.
    for i in $(seq 0 "$RUNS"); do
        for name in korvex putty; do
            cmd=$KORVEX_CMD; [ "$name" = putty ] && cmd=$PUTTY_CMD
            t0=$(date +%s.%N); $cmd; t1=$(date +%s.%N)
            if [ "$i" -gt 0 ]; then python3 -c "print($t1 - $t0)" >>"$TMP/$name.times"; fi
        done
    done
    python3 - "$TMP" >"$TMP/flood.json" <<'EOF'
import json, sys
d = sys.argv[1]
res = [{"command": n, "times": [float(x) for x in open("%s/%s.times" % (d, n))]} for n in ("korvex", "putty")]
print(json.dumps({"results": res}))
EOF
    TIMING="repeated runs, timed by run.sh"
fi

# Every connection must have received the whole output before the client
# closed (a program that quits early, or resets, fails the run).
EXPECTED=$((2 * (RUNS + 1)))
GOOD=$(grep -c '^sent 10485760$' "$TMP/flood.log" || true)
if [ "$GOOD" -ne "$EXPECTED" ]; then
    echo "run.sh: $GOOD of $EXPECTED connections got the whole output:" >&2
    sort "$TMP/flood.log" | uniq -c >&2
    exit 1
fi

# ---- 2. memory with 8 sessions ----
python3 "$HOST_PY" --mode idle --port-file "$TMP/idle.port" >/dev/null &
PIDS+=($!)
wait_file "$TMP/idle.port"
IDLE_PORT=$(cat "$TMP/idle.port")
korvex_config "$TMP/kvx-idle" "$IDLE_PORT" OFF

KORVEX="$TMP/kvx-idle" "$KORVEX_BIN" 127.0.0.1 &
KPID=$!
PIDS+=($KPID)
wait_established "$IDLE_PORT" 1
# The other sessions as a user opens them: File, "Open Session...", then
# Enter in the "Open Session" box (the first host is selected). The mouse
# drives the menu: without a window manager the keyboard focus is not
# reliably the frame's.
FRAME=$(timeout 20 xdotool search --sync --onlyvisible --pid "$KPID" | head -1 || true)
[ -n "$FRAME" ] || { echo "run.sh: no korvex window" >&2; exit 1; }
open_session() {
    for _ in $(seq 10); do
        xdotool mousemove --window "$FRAME" 15 10 click 1
        sleep 0.5
        MENU=$(xdotool search --onlyvisible --pid "$KPID" | grep -vx "$FRAME" | head -1 || true)
        [ -n "$MENU" ] && xdotool mousemove --window "$MENU" 40 12 click 1
        DLG=$(timeout 3 xdotool search --sync --onlyvisible --name '^Open Session$' | head -1 || true)
        if [ -n "$DLG" ]; then
            xdotool mousemove --window "$DLG" 20 20 key Return
            return 0
        fi
        xdotool key Escape
    done
    echo "run.sh: no Open Session box" >&2; exit 1
}
for n in $(seq 2 "$SESSIONS"); do
    open_session
    wait_established "$IDLE_PORT" "$n"
done
sleep 2
KORVEX_RSS=$(rss_kb "$KPID")
KORVEX_PSS=$(pss_kb "$KPID")
stop_pid "$KPID"

PUTTY_PIDS=()
for n in $(seq 1 "$SESSIONS"); do
    HOME=$PUTTY_HOME putty -telnet -P "$IDLE_PORT" 127.0.0.1 &
    PUTTY_PIDS+=($!)
    PIDS+=($!)
done
wait_established "$IDLE_PORT" "$SESSIONS"
sleep 2
PUTTY_RSS=0; PUTTY_PSS=0
for p in "${PUTTY_PIDS[@]}"; do
    PUTTY_RSS=$((PUTTY_RSS + $(rss_kb "$p")))
    PUTTY_PSS=$((PUTTY_PSS + $(pss_kb "$p")))
done
for p in "${PUTTY_PIDS[@]}"; do stop_pid "$p"; done

# ---- results ----
python3 - "$TMP/flood.json" "$TIMING" "$RUNS" "$KORVEX_RSS" "$KORVEX_PSS" "$PUTTY_RSS" "$PUTTY_PSS" "$SESSIONS" <<'EOF' | tee "${OUT:-/dev/null}"
import json, statistics, sys
path, timing, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
krss, kpss, prss, ppss, n = (int(x) for x in sys.argv[4:9])
res = {r["command"]: r["times"] for r in json.load(open(path))["results"]}
med = {k: statistics.median(v) for k, v in res.items()}
print("Start to exit through 10 MiB (%s, %d runs each, 1 warm-up):" % (timing, runs))
print()
print("| Program | Median | Min | Max |")
print("|---|---|---|---|")
for k in ("korvex", "putty"):
    print("| %s | %.3f s | %.3f s | %.3f s |" % (k, med[k], min(res[k]), max(res[k])))
print()
print("korvex / PuTTY median time: %.2f (below 1: korvex faster)" % (med["korvex"] / med["putty"]))
print()
print("Resident memory, %d sessions open:" % n)
print()
print("| | VmRSS | Pss |")
print("|---|---|---|")
print("| korvex, 1 process | %.1f MiB | %.1f MiB |" % (krss / 1024, kpss / 1024))
print("| PuTTY, sum of %d processes | %.1f MiB | %.1f MiB |" % (n, prss / 1024, ppss / 1024))
print()
print("PuTTY / korvex VmRSS: %.2f x" % (prss / krss))
EOF
