#!/bin/sh
# Runs the host simulator's tests without CMake.
exec python3 -m unittest discover -s "$(dirname "$0")" -v "$@"
