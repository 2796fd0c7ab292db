#!/usr/bin/env bash
# Runs a Windows program of the mingw32 build under its own 32-bit Wine prefix.
# CMake uses this as CMAKE_CROSSCOMPILING_EMULATOR.
here=$(cd "$(dirname "$0")" && pwd)
export WINEARCH=win32
export WINEPREFIX=${WINEPREFIX:-$here/../build/mingw32/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Western code page for the ANSI conversions, whatever the machine's locale.
export LC_ALL=${ORBENIX_WINE_LOCALE:-C.UTF-8}
exec wine "$@"
