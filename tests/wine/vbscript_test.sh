#!/usr/bin/env bash
# Runs host_test.vbs with Wine's cscript against the demo panel. cscript
# exits 0 and prints nothing when a script dies, so the script's last line
# must be "DONE failures=0".
# CSCRIPT names another cscript, e.g. the 32-bit one of a 64-bit prefix.
# usage: vbscript_test.sh WINE_RUN PANEL_PORTS_FILE [CSCRIPT]
set -uo pipefail
wine_run=${1:?usage: vbscript_test.sh WINE_RUN PANEL_PORTS_FILE [CSCRIPT]}
ports=${2:?usage: vbscript_test.sh WINE_RUN PANEL_PORTS_FILE [CSCRIPT]}
cscript=${3:-cscript}
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck disable=SC1090
. "$ports" || { echo "FAIL: no demo panel ports in $ports"; exit 1; }
script=$(bash "$wine_run" winepath -w "$here/host_test.vbs" | tr -d '\r')

output=$(timeout 300 bash "$wine_run" "$cscript" //nologo "$script" \
  "http://127.0.0.1:$HTTP_PORT" "https://127.0.0.1:$HTTPS_PORT" 2>&1 | tr -d '\r')
status=$?
echo "$output"
last=$(printf '%s\n' "$output" | tail -n 1)
if [ "$status" -ne 0 ] || [ "$last" != "DONE failures=0" ]; then
  echo "FAIL: cscript exited with $status and its last line was '$last'"
  exit 1
fi
echo "PASS"
