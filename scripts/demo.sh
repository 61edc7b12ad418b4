#!/usr/bin/env bash
# Korvex with a session to a telnet host on loopback that this script starts
# (inetutils telnetd under scripts/test-servers/inetd.py, a shell as its
# login). With a display the window stays until you close it; without one
# it runs on Qt's offscreen platform, types a short command and writes
# build/demo/screen.png and build/demo/screen.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${KVX_SKIP_SETUP:-0}" = 1 ] || scripts/setup.sh
build=${KVX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j"$(nproc)" --target korvex

demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo/cfg"
python3 scripts/test-servers/inetd.py --port 0 --log "$demo/telnetd.log" -- \
  /usr/sbin/telnetd --no-hostinfo --exec-login=/bin/sh >"$demo/port" &
host_pid=$!
trap 'kill "$host_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q '^port ' "$demo/port" 2>/dev/null && break
  sleep 0.1
done
port=$(awk '/^port /{print $2}' "$demo/port")
[ -n "$port" ] || { echo "demo: the telnet host did not start" >&2; exit 1; }

cat >"$demo/cfg/korvex.ini" <<INI
[Options]
Splash=1
Protocol=Telnet
[Hosts]
H00=127.0.0.1
Protocol00=Telnet
TelnetPort00=$port
INI
export KORVEX="$(cd "$demo/cfg" && pwd)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/bin/korvex" 127.0.0.1
else
  QT_QPA_PLATFORM=offscreen "$build/bin/korvex" \
    --keys 'echo Hello from Korvex, $((6*7)) sessions of fun; uname -sr\n' \
    --wait 'Korvex, 42 sessions' --wait 'Linux ' \
    --screen "$demo/screen.txt" --image "$demo/screen.png" 127.0.0.1
  sed '/^$/d' "$demo/screen.txt"
  echo "demo: screen text in $demo/screen.txt, screenshot in $demo/screen.png"
fi
