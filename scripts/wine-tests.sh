#!/usr/bin/env bash
# Runs a mingw build's tests under Wine, one after another, with a
# persistent wineserver in that build's own prefix (32-bit for mingw32,
# 64-bit for mingw64: the build's launcher BUILD/wine-run knows which).
# usage: wine-tests.sh [BUILD_DIR] [ctest arguments...]   (default build/mingw32)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/mingw32}
[ $# -gt 0 ] && shift
run=$PWD/$build/wine-run
[ -x "$run" ] || { echo "wine-tests.sh: $run is missing: configure $build with a mingw preset first" >&2; exit 2; }

export WINEPREFIX=$PWD/$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
export LC_ALL=C.UTF-8

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$run" wineboot -i >/dev/null 2>&1 || true
  "$run" wineserver -w
fi
"$run" wineserver -p 2>/dev/null || true  # already running is fine
# Start Wine's background services now, with no pipe of ctest's as their
# output: a service started during a test would keep the test's pipe open.
"$run" cmd /c exit >/dev/null 2>&1 </dev/null || true
trap '"$run" wineserver -k 2>/dev/null || true; "$run" wineserver -w 2>/dev/null || true' EXIT
ctest --test-dir "$build" -j1 --output-on-failure "$@"
