#!/usr/bin/env bash
# Runs a Windows program in the dialog tests' own prefix, on their Xvfb display.
# usage: [ORBENIX_LOG_PIXELS=DPI] gui-wine-run.sh STATE_DIR PREFIX PROGRAM [ARGS...]
set -uo pipefail
state=${1:?state dir}
prefix=${2:?wine prefix}
shift 2
[ -f "$state/display" ] || { echo "no display: the gui fixture has not started"; exit 1; }
export DISPLAY=$(cat "$state/display")
# HTML Help: the recording stand-in beside the program ("n"), or Wine's own
# viewer when ORBENIX_HELP_VIEWER=builtin.
help_viewer=n
[ "${ORBENIX_HELP_VIEWER:-}" = builtin ] && help_viewer=b
export WINEARCH=win32 WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;hhctrl.ocx=$help_viewer"
export LC_ALL=C.UTF-8
# ORBENIX_LOG_PIXELS=120 runs the program at 120 DPI (Wine reads the value when a program starts).
if [ -n "${ORBENIX_LOG_PIXELS:-}" ]; then
  timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$ORBENIX_LOG_PIXELS" /f \
    >/dev/null 2>&1 </dev/null || { echo "could not set LogPixels=$ORBENIX_LOG_PIXELS"; exit 1; }
fi
exec wine "$@" </dev/null
