#!/usr/bin/env bash
# Runs a Windows program of a mingw build under Wine, in that build's own
# prefix and with the loader of that build's architecture. Each Windows build
# dir has a launcher, BUILD/wine-run, that names its architecture and prefix
# and comes here; CMake uses it as CMAKE_CROSSCOMPILING_EMULATOR.
# usage: [ORBENIX_WINE_ARCH=win32|win64] wine-run.sh PROGRAM [ARGS...]
#        wine-run.sh wineserver [ARGS...]   (that prefix's server)
here=$(cd "$(dirname "$0")" && pwd)
arch=${ORBENIX_WINE_ARCH:-win32}
case $arch in
  win32) build=mingw32 loader=wine server=wineserver ;;
  # With wine32 installed too, /usr/bin/wine and /usr/bin/wineserver start
  # the 32-bit ones, so the 64-bit loader and server are called by path.
  win64) build=mingw64 loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
         export WINESERVER=$server ;;
  *) echo "wine-run.sh: ORBENIX_WINE_ARCH is '$arch', not win32 or win64" >&2; exit 2 ;;
esac
export WINEARCH=$arch
export WINEPREFIX=${WINEPREFIX:-$here/../build/$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Western code page for the ANSI conversions, whatever the machine's locale.
export LC_ALL=${ORBENIX_WINE_LOCALE:-C.UTF-8}
if [ "${1:-}" = wineserver ]; then
  shift
  exec "$server" "$@"
fi
exec "$loader" "$@"
