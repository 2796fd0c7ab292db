#!/usr/bin/env bash
# Runs a Windows program in the dialog tests' own prefix, on their Xvfb display.
# usage: gui-wine-run.sh STATE_DIR PREFIX PROGRAM [ARGS...]
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
exec wine "$@" </dev/null
