#!/usr/bin/env bash
# Runs the concurrent-creation client in fresh processes, one after another:
# 8 threads each, created at the same moment, 4 checks per thread. A run that
# hangs names its stuck threads after 30 s and is ended by timeout (a hung
# process cannot exit: its exit waits for the loader lock); the first failed
# run ends the test.
# usage: concurrent_creation_test.sh WINE_RUN CLIENT_EXE PANEL_PORTS_FILE [RUNS]
set -uo pipefail
wine_run=${1:?usage: concurrent_creation_test.sh WINE_RUN CLIENT_EXE PANEL_PORTS_FILE [RUNS]}
client=${2:?}
ports=${3:?}
runs=${4:-20}
# shellcheck disable=SC1090
. "$ports" || { echo "FAIL: no demo panel ports in $ports"; exit 1; }

# Output goes to a file, not a pipe: a Wine service that a run starts would
# hold a pipe open long after the run.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
failures=0
for run in $(seq 1 "$runs"); do
  timeout 40 bash "$wine_run" "$client" "$HTTP_PORT" 8 4 30 >"$log" 2>&1 </dev/null
  status=$?
  output=$(tr -d '\r' <"$log")
  last=$(printf '%s\n' "$output" | tail -n 1)
  if [ "$status" -ne 0 ] || [ "$last" != "DONE failures=0" ]; then
    failures=$((failures + 1))
    [ "$status" -eq 124 ] && echo "HANG run $run: the client did not end within 40 s"
    printf 'run %d of %d (exit %d):\n%s\n' "$run" "$runs" "$status" "$output"
    break
  fi
done
echo "DONE failures=$failures"
