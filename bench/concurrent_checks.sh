#!/usr/bin/env bash
# Concurrent checks through orbenix.dll under Wine: checks per second with
# 1, 2, 4 and 8 host threads over HTTP and HTTPS against the demo panel, and
# the process's working set before the first object and after the last check.
# Needs a mingw32 or mingw64 build whose prefix has the DLL registered (run
# the Wine tests once, or: bash scripts/wine-tests.sh BUILD_DIR -R wine_registration).
#   bench/concurrent_checks.sh [BUILD_DIR] [CHECKS_PER_THREAD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/mingw32}
checks=${2:-40}
client=$build/tests/wine/concurrent_client.exe
[ -f "$client" ] || { echo "no $client: build the mingw32 or mingw64 preset first" >&2; exit 1; }
# The build's own launcher: the loader of its architecture, in its prefix.
run=$PWD/$build/wine-run
export WINEPREFIX=$PWD/$build/wineprefix

state=$(mktemp -d)
log=$state/run.log
trap 'bash tests/support/demo_panel_stop.sh "$state"; rm -rf "$state"' EXIT
bash tests/support/demo_panel_start.sh "$state"
. "$state/ports"

printf '%-6s %-8s %8s %10s %14s %14s\n' scheme threads checks checks/s "KiB before" "KiB after"
for scheme in http https; do
  port=$HTTP_PORT
  [ "$scheme" = https ] && port=$HTTPS_PORT
  for threads in 1 2 4 8; do
    timeout 300 bash "$run" "$client" "$port" "$threads" "$checks" 280 "$scheme" >"$log" 2>&1 </dev/null
    stats=$(tr -d '\r' <"$log" | sed -n 's/^STATS //p')
    [ -n "$stats" ] || { echo "run failed:"; cat "$log"; exit 1; }
    field() { printf '%s\n' "$stats" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
    printf '%-6s %-8s %8s %10s %14s %14s\n' "$scheme" "$threads" "$(field checks)" "$(field checks_per_second)" \
      "$(field memory_before_kib)" "$(field memory_after_kib)"
  done
done
