#!/usr/bin/env bash
# Runs a program with the demo panel's ports put into its arguments:
# @HTTP_PORT@, @HTTPS_PORT@ and @CLOSED_PORT@ are replaced.
# usage: demo_panel_run.sh PORTS_FILE PROGRAM [ARGS...]
set -euo pipefail
. "$1"
shift
args=()
for a in "$@"; do
  a=${a//@HTTP_PORT@/$HTTP_PORT}
  a=${a//@HTTPS_PORT@/$HTTPS_PORT}
  a=${a//@CLOSED_PORT@/$CLOSED_PORT}
  args+=("$a")
done
exec "${args[@]}"
