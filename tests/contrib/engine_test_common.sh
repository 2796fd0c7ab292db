# shellcheck shell=bash
# Shared by the engine tests (sourced): a work folder, the demo panel, the
# parameter files laid out as contrib/ says, the services every engine runs,
# and bounded waiting and stopping. Each test sets ENGINE_USER and
# ENGINE_GROUP before it sources this file.
set -euo pipefail
common_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$common_dir/../.." && pwd)
plugin=/usr/lib/nagios/plugins/check_orbenix
# Exit code ctest reads as "skipped" (SKIP_RETURN_CODE).
skipped=77

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIPPED: $*"; exit "$skipped"; }

# The engines start as root and drop to their own user, as their services do.
require_engine() {
  local program=$1 package=$2
  [ "$(id -u)" -eq 0 ] || skip "needs root: the engine starts as root and drops to the user $ENGINE_USER"
  command -v "$program" >/dev/null || skip "needs $program (Debian package $package; scripts/install-deps.sh installs it)"
  id "$ENGINE_USER" >/dev/null 2>&1 || skip "needs the user $ENGINE_USER (Debian package $package)"
  [ -x "$plugin" ] || fail "$plugin is missing: the engines.package test installs it from our .deb"
}

# Everything lives in one folder under /tmp that the engine's user can enter;
# the processes still running with that folder in their command line at the
# end are ours and fail the test.
make_work_dir() {
  work=$(mktemp -d /tmp/orbenix-engine.XXXXXX)
  chmod 0755 "$work"
  engine_pid=
  trap cleanup EXIT
}

cleanup() {
  local code=$?
  stop_engine
  bash "$source_dir/tests/support/demo_panel_stop.sh" "$work/panel" >/dev/null 2>&1 || true
  local left
  mapfile -t left < <(pgrep -f -- "$work" || true)
  if [ ${#left[@]} -gt 0 ]; then
    echo "FAIL: processes left behind:" >&2
    ps -o pid=,user=,args= -p "$(IFS=,; echo "${left[*]}")" >&2 || true
    kill -KILL "${left[@]}" 2>/dev/null || true
    code=1
  fi
  if [ "$code" -ne 0 ] && [ "${ORBENIX_KEEP_ENGINE_DIR:-}" = 1 ]; then
    echo "kept $work" >&2
  else
    rm -rf "$work"
  fi
  exit "$code"
}

# Starts the engine in the foreground of a background job: "$@" is its command line.
start_engine() {
  "$@" >"$work/engine.out" 2>&1 </dev/null &
  engine_pid=$!
}

# The engine's processes (the panel apart): all name the work folder.
engine_processes() {
  local panel
  panel=$(cat "$work/panel/pid" 2>/dev/null || echo none)
  pgrep -f -- "$work" | grep -vx -- "$panel" || true
}

stop_engine() {
  [ -n "${engine_pid:-}" ] || return 0
  kill -TERM "$engine_pid" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$engine_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$engine_pid" 2>/dev/null || true
  wait "$engine_pid" 2>/dev/null || true
  engine_pid=
  # Its helpers (workers, spawn helper) end with it.
  for _ in $(seq 50); do [ -n "$(engine_processes)" ] || break; sleep 0.1; done
}

# From here on every wait together lasts at most 60 s.
start_clock() { deadline=$(( $(date +%s) + 60 )); }

# Waits until "$@" succeeds, at most until the clock runs out.
wait_until() {
  while ! "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    kill -0 "$engine_pid" 2>/dev/null || { cat "$work/engine.out" >&2; fail "the engine ended"; }
    sleep 0.2
  done
}

start_panel() {
  bash "$source_dir/tests/support/demo_panel_start.sh" "$work/panel"
  # shellcheck disable=SC1091
  . "$work/panel/ports"
}

# The parameter files as contrib/ lays them out (root:<engine group>, 0640),
# and one the engine's user cannot read (root:root, 0600).
write_parameter_files() {
  params=$work/orbenix
  mkdir -m 0755 "$params"
  local key
  for key in online offline busy over-quota unreadable; do
    printf '#URL=http://127.0.0.1:%s/#KEY=%s#HSH=demo-hash#PRU=F#\n' "$HTTP_PORT" "$key" >"$params/$key.parameter"
    chown "root:$ENGINE_GROUP" "$params/$key.parameter"
    chmod 0640 "$params/$key.parameter"
  done
  chown root:root "$params/unreadable.parameter"
  chmod 0600 "$params/unreadable.parameter"
}

# The services, one a line: name, parameter file key, bandwidth warning and
# critical range ("-" for the plain check), state, output and performance
# data (extended regular expressions).
services() {
  local time='time=[0-9]+\.[0-9]{3}s;;;0'
  cat <<TABLE
online	online	-	-	0	^SOLUSVM OK - SolusVM VPS works fine$	^$time$
online-usage	online	80	90	0	^SOLUSVM OK - SolusVM VPS works fine$	^$time bw_used=412316860416B;;;0;1099511627776 bw_pct=37\.5%;80;90;0;100 hdd_used=5368709120B;;;0;21474836480 hdd_pct=25%;;;0;100 mem_used=536870912B;;;0;1073741824 mem_pct=50%;;;0;100$
offline	offline	-	-	2	^SOLUSVM CRITICAL - VPS offline$	^$time$
busy	busy	80	90	1	^SOLUSVM WARNING - SolusVM VPS works fine, bandwidth 85\.2% used \(warning above 80\)$	^$time bw_used=852000000000B;;;0;1000000000000 bw_pct=85\.2%;80;90;0;100 hdd_used=
over-quota	over-quota	80	90	2	^SOLUSVM CRITICAL - SolusVM VPS works fine, bandwidth 112\.3% used \(critical above 90\)$	^$time bw_used=1123000000000B;;;0;1000000000000 bw_pct=112\.3%;80;90;0;100 hdd_used=
unreadable	unreadable	-	-	3	^SOLUSVM UNKNOWN - cannot open $params/unreadable\.parameter: Permission denied$	^time=0\.000s;;;0$
TABLE
}

# The plugin's own line for a service, run as the engine's user with the
# arguments the contrib definitions give it.
plugin_line() {
  local key=$1 warning=$2 critical=$3
  local args=(--parameter-file "$params/$key.parameter" --timeout 30)
  [ "$warning" = - ] || args+=(--usage --bw-warning "$warning" --bw-critical "$critical")
  runuser -u "$ENGINE_USER" -- "$plugin" "${args[@]}" 2>/dev/null | head -n 1 || true
}

# One forced check of every service, written to the engine's command pipe.
force_checks() {
  local pipe=$1 now name
  now=$(date +%s)
  while IFS=$'\t' read -r name _; do
    printf '[%s] SCHEDULE_FORCED_SVC_CHECK;panel;%s;%s\n' "$now" "$name" "$now"
  done < <(services) >"$pipe"
}

# Compares what the engine recorded for a service with the table and with
# the plugin's own line (the time apart).
#   check_record NAME STATE OUTPUT PERFDATA
check_record() {
  local name=$1 state=$2 output=$3 perfdata=$4 row
  row=$(services | awk -F'\t' -v n="$name" '$1 == n')
  local key warning critical want_state want_output want_perfdata
  IFS=$'\t' read -r _ key warning critical want_state want_output want_perfdata <<<"$row"
  echo "$name: state $state: $output | $perfdata"
  [ "$state" = "$want_state" ] || fail "$name: state $state, expected $want_state"
  [[ $output =~ $want_output ]] || fail "$name: output '$output' does not match '$want_output'"
  [[ $perfdata =~ $want_perfdata ]] || fail "$name: performance data '$perfdata' does not match '$want_perfdata'"
  local line
  line=$(plugin_line "$key" "$warning" "$critical")
  local printed="$output | $perfdata"
  [ "$(untimed "$line")" = "$(untimed "$printed")" ] ||
    fail "$name: the engine recorded '$printed', the plugin prints '$line'"
}

untimed() { sed -E 's/time=[0-9.]+s/time=Ns/' <<<"$1"; }

# Fails when a process of the engine listens beyond loopback.
check_loopback_only() {
  local pids
  pids=$(engine_processes | tr '\n' ' ')
  [ -n "$pids" ] || fail "no process of the engine found"
  local wide
  # shellcheck disable=SC2086
  wide=$(python3 "$common_dir/listening_addresses.py" $pids | grep -Ev '^(127\.[0-9.]+|::1):' || true)
  [ -z "$wide" ] || fail "the engine listens beyond loopback: $wide"
}
