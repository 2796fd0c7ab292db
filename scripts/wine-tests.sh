#!/usr/bin/env bash
# Runs the mingw32 build's tests under Wine, one after another, with a
# persistent wineserver in the build's own 32-bit prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEARCH=win32
export WINEPREFIX=$PWD/build/mingw32/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=
export LC_ALL=C.UTF-8

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
wineserver -p
trap 'wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true' EXIT
ctest --preset mingw32 "$@"
