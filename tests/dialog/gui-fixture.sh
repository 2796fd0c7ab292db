#!/usr/bin/env bash
# The window system for the dialog's Wine tests: a private Xvfb display and a
# Wine prefix of their own, of the build's architecture (so no wine call without DISPLAY ever
# touches it), with unmanaged window frames, Wine's fonts, and orbenix.dll
# registered.
# usage: gui-fixture.sh start STATE_DIR PREFIX WINE_RUN [DLL]   |   gui-fixture.sh stop STATE_DIR PREFIX WINE_RUN
# (WINE_RUN: the build's Wine launcher)
set -uo pipefail
action=${1:?usage: gui-fixture.sh start|stop STATE_DIR PREFIX WINE_RUN [DLL]}
state=${2:?state dir}
prefix=${3:?wine prefix}
wine_run=${4:?wine launcher}
dll=${5:-}

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=C.UTF-8

stop() {
  if [ -f "$state/display" ]; then
    DISPLAY=$(cat "$state/display") timeout 30 bash "$wine_run" wineserver -k 2>/dev/null || true
    DISPLAY=$(cat "$state/display") timeout 30 bash "$wine_run" wineserver -w 2>/dev/null || true
  fi
  if [ -f "$state/xvfb.pid" ]; then
    pid=$(cat "$state/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$state/display" "$state/xvfb.pid"
}

if [ "$action" = stop ]; then
  stop
  echo "gui fixture stopped"
  exit 0
fi

stop
mkdir -p "$state"
# A free display number: no socket and no lock file.
display=
for n in $(seq 71 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display"; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp -dpi 96 >"$state/xvfb.log" 2>&1 &
echo $! >"$state/xvfb.pid"
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "Xvfb :$display did not start"; cat "$state/xvfb.log"; exit 1; }
echo ":$display" >"$state/display"
export DISPLAY=:$display

if [ ! -f "$prefix/system.reg" ]; then
  timeout 300 bash "$wine_run" wineboot -i >/dev/null 2>&1 || true
fi
timeout 60 bash "$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
  { echo "could not set Managed=N"; exit 1; }
fonts="$prefix/drive_c/windows/Fonts"
mkdir -p "$fonts"
for font in tahoma.ttf tahomabd.ttf marlett.ttf ms_sans_serif.ttf; do
  [ -f "/usr/share/wine/fonts/$font" ] && cp -f "/usr/share/wine/fonts/$font" "$fonts/"
done
if [ -n "$dll" ]; then
  win_dll=$(timeout 60 bash "$wine_run" winepath -w "$dll" | tr -d '\r')
  timeout 120 bash "$wine_run" regsvr32 /s "$win_dll" || { echo "regsvr32 $win_dll failed"; exit 1; }
fi
echo "gui fixture ready on :$display"
