#!/usr/bin/env bash
# Runs a Windows program in the dialog tests' own prefix, on their Xvfb display.
# usage: [ORBENIX_LOG_PIXELS=DPI] gui-wine-run.sh STATE_DIR PREFIX WINE_RUN PROGRAM [ARGS...]
# (WINE_RUN: the build's Wine launcher)
set -uo pipefail
state=${1:?state dir}
prefix=${2:?wine prefix}
wine_run=${3:?wine launcher}
shift 3
[ -f "$state/display" ] || { echo "no display: the gui fixture has not started"; exit 1; }
export DISPLAY=$(cat "$state/display")
# HTML Help: the recording stand-in beside the program ("n"), or Wine's own
# viewer when ORBENIX_HELP_VIEWER=builtin.
help_viewer=n
[ "${ORBENIX_HELP_VIEWER:-}" = builtin ] && help_viewer=b
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;hhctrl.ocx=$help_viewer"
export LC_ALL=C.UTF-8
# ORBENIX_LOG_PIXELS=120 runs the program at 120 DPI (Wine reads the value when a program starts).
if [ -n "${ORBENIX_LOG_PIXELS:-}" ]; then
  timeout 60 bash "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$ORBENIX_LOG_PIXELS" /f \
    >/dev/null 2>&1 </dev/null || { echo "could not set LogPixels=$ORBENIX_LOG_PIXELS"; exit 1; }
fi
exec bash "$wine_run" "$@" </dev/null
