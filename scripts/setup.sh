#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, fuzzing, the tools
# and the demo need. Safe to run again: apt only installs what is missing.
set -euo pipefail
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

PACKAGES=(
  build-essential cmake ninja-build pkg-config git python3
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libssh2-1-dev libssl-dev
  qt6-base-dev fonts-liberation xvfb
  libvterm-dev putty xdotool
  inetutils-telnetd inetutils-telnet rsh-redone-server openssh-server openssh-client
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi


# The terminal type the sessions announce, for the loopback hosts of the
# demo and the tests: without it top and vi on them know no "korvex".
$SUDO tic -x -o /etc/terminfo "$(dirname "$0")/../tools/terminfo/korvex.ti"
