#!/usr/bin/env bash
# Nagios 4 runs orbenix-check from contrib/nagios/orbenix.cfg, unchanged:
# a main configuration of our own in a work folder, the plugin installed from
# our .deb, run by the engine as its own user against the demo panel. One
# forced check of each service through the external command file; the states
# and performance data come from the status file and the service perfdata
# file the engine writes.
#   nagios4_engine_test.sh [CONTRIB_FILE]   (default: contrib/nagios/orbenix.cfg)
ENGINE_USER=nagios
ENGINE_GROUP=nagios
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/engine_test_common.sh"
definitions=$(realpath "${1:-$source_dir/contrib/nagios/orbenix.cfg}")
require_engine nagios4 nagios4
make_work_dir
start_panel
write_parameter_files

var=$work/var
mkdir -m 0750 "$var" "$var/checkresults"
cat >"$work/resource.cfg" <<CFG
\$USER1\$=/usr/lib/nagios/plugins
CFG
{
  cat <<CFG
define timeperiod {
    timeperiod_name always
    alias           always
    sunday          00:00-24:00
    monday          00:00-24:00
    tuesday         00:00-24:00
    wednesday       00:00-24:00
    thursday        00:00-24:00
    friday          00:00-24:00
    saturday        00:00-24:00
}
define command {
    command_name    notify_nobody
    command_line    /bin/true
}
define contact {
    contact_name                  nobody
    host_notifications_enabled    0
    service_notifications_enabled 0
    host_notification_period      always
    service_notification_period   always
    host_notification_options     n
    service_notification_options  n
    host_notification_commands    notify_nobody
    service_notification_commands notify_nobody
}
define host {
    host_name               panel
    address                 127.0.0.1
    max_check_attempts      1
    check_period            always
    active_checks_enabled   0
    contacts                nobody
    notification_period     always
    notification_interval   0
}
CFG
  # Active checks off: only the forced checks run.
  while IFS=$'\t' read -r name key warning critical _; do
    command="check_orbenix!$params/$key.parameter!30"
    [ "$warning" = - ] || command="check_orbenix_usage!$params/$key.parameter!30!$warning!$critical"
    cat <<CFG
define service {
    host_name               panel
    service_description     $name
    check_command           $command
    max_check_attempts      1
    check_interval          60
    retry_interval          1
    check_period            always
    active_checks_enabled   0
    contacts                nobody
    notification_period     always
    notification_interval   0
}
CFG
  done < <(services)
} >"$work/objects.cfg"

cat >"$work/nagios.cfg" <<CFG
cfg_file=$definitions
cfg_file=$work/objects.cfg
resource_file=$work/resource.cfg
log_file=$var/nagios.log
use_syslog=0
log_initial_states=0
object_cache_file=$var/objects.cache
precached_object_file=$var/objects.precache
status_file=$var/status.dat
status_update_interval=1
check_result_reaper_frequency=1
temp_file=$var/nagios.tmp
temp_path=$var
lock_file=$var/nagios.lock
check_result_path=$var/checkresults
query_socket=$var/nagios.qh
nagios_user=$ENGINE_USER
nagios_group=$ENGINE_GROUP
check_external_commands=1
command_file=$var/nagios.cmd
retain_state_information=0
check_for_updates=0
enable_notifications=0
illegal_macro_output_chars=\`~\$&|'"<>
enable_flap_detection=0
execute_host_checks=0
process_performance_data=1
service_perfdata_file=$var/service-perfdata
service_perfdata_file_template=\$SERVICEDESC\$\t\$SERVICESTATEID\$\t\$SERVICEOUTPUT\$\t\$SERVICEPERFDATA\$
service_perfdata_file_mode=a
service_perfdata_file_processing_interval=0
interval_length=1
CFG
chown -R "$ENGINE_USER:$ENGINE_GROUP" "$var"

# The engine's own check of the configuration: no warning, no error.
if ! nagios4 -v "$work/nagios.cfg" >"$work/verify.out" 2>&1; then
  cat "$work/verify.out" >&2
  fail "nagios4 -v refuses the configuration"
fi
grep -E '^(Warning|Error)' "$work/verify.out" >&2 && fail "nagios4 -v warns about the configuration"
grep -q '^Total Warnings: 0$' "$work/verify.out" || { cat "$work/verify.out" >&2; fail "nagios4 -v counts warnings"; }

start_clock
start_engine nagios4 "$work/nagios.cfg"
wait_until test -p "$var/nagios.cmd" || fail "no external command file within 60 s"
force_checks "$var/nagios.cmd"

expected=$(services | wc -l)
recorded() { [ -f "$var/service-perfdata" ] && [ "$(wc -l <"$var/service-perfdata")" -ge "$expected" ]; }
wait_until recorded || { cat "$var/nagios.log" >&2; fail "not every service was checked within 60 s"; }
check_loopback_only
# The status file follows within its update interval.
checked() {
  local count
  count=$(grep -c 'has_been_checked=1' "$var/status.dat" 2>/dev/null) || true
  [ "${count:-0}" -ge "$expected" ]
}
wait_until checked || fail "the status file does not show every check within 60 s"
# The engine removes its status file when it stops.
cp "$var/status.dat" "$work/status.dat"
stop_engine

# The status file: one servicestatus block per service.
status_field() {
  awk -v name="$1" -v field="$2" '
    /^servicestatus \{/ { block = 1; mine = 0; next }
    block && $0 ~ "^\tservice_description=" { mine = (substr($0, index($0, "=") + 1) == name) }
    block && mine && $0 ~ "^\t" field "=" { print substr($0, index($0, "=") + 1) }
    /^\t\}/ { block = 0 }' "$work/status.dat"
}
while IFS=$'\t' read -r name state output perfdata; do
  check_record "$name" "$state" "$output" "$perfdata"
  [ "$(status_field "$name" current_state)" = "$state" ] || fail "$name: the status file holds another state"
  [ "$(status_field "$name" plugin_output)" = "$output" ] || fail "$name: the status file holds another output"
  [ "$(status_field "$name" performance_data)" = "$perfdata" ] || fail "$name: the status file holds other performance data"
done <"$var/service-perfdata"
[ "$(cut -f1 "$var/service-perfdata" | sort | uniq -d)" = "" ] || fail "a service was checked twice"
echo "PASS: Nagios 4 recorded every service as the plugin printed it"
