#!/usr/bin/env bash
# Runs a mingw32 build's tests under Wine, one after another, with a
# persistent wineserver in that build's own 32-bit prefix.
# usage: wine-tests.sh [BUILD_DIR] [ctest arguments...]   (default build/mingw32)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/mingw32}
[ $# -gt 0 ] && shift

export WINEARCH=win32
export WINEPREFIX=$PWD/$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
export LC_ALL=C.UTF-8

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
wineserver -p 2>/dev/null || true  # already running is fine
# Start Wine's background services now, with no pipe of ctest's as their
# output: a service started during a test would keep the test's pipe open.
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
trap 'wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true' EXIT
ctest --test-dir "$build" -j1 --output-on-failure "$@"
