#!/usr/bin/env bash
# Icinga 2 runs orbenix-check from contrib/icinga2/orbenix.conf, unchanged:
# a configuration of our own in a work folder with only the checker, the
# external command pipe and the perfdata writer, the plugin installed from
# our .deb, run by the engine as its own user against the demo panel. One
# forced check of each service through the command pipe; the states and
# performance data come from the perfdata writer's files.
#   icinga2_engine_test.sh [CONTRIB_FILE]   (default: contrib/icinga2/orbenix.conf)
ENGINE_USER=nagios
ENGINE_GROUP=nagios
# shellcheck source-path=SCRIPTDIR
. "$(dirname "$0")/engine_test_common.sh"
definitions=$(realpath "${1:-$source_dir/contrib/icinga2/orbenix.conf}")
require_engine icinga2 icinga2
make_work_dir
start_panel
write_parameter_files

var=$work/var
mkdir -m 0750 "$var" "$var/data" "$var/log" "$var/cache" "$var/spool" "$var/run" "$var/perfdata"
chown -R "$ENGINE_USER:$ENGINE_GROUP" "$var"
# Every path the engine writes, in the work folder.
paths=(-DDataDir="$var/data" -DLogDir="$var/log" -DCacheDir="$var/cache" -DSpoolDir="$var/spool"
       -DInitRunDir="$var/run" -DRunAsUser="$ENGINE_USER" -DRunAsGroup="$ENGINE_GROUP")

{
  cat <<CONF
const PluginDir = "/usr/lib/nagios/plugins"
include <itl>
include "$definitions"

object CheckerComponent "checker" { }
object ExternalCommandListener "command" { command_path = "$var/icinga2.cmd" }
object PerfdataWriter "perfdata" {
  service_perfdata_path = "$var/perfdata/service"
  service_temp_path = "$var/perfdata/service.writing"
  host_perfdata_path = "$var/perfdata/host"
  host_temp_path = "$var/perfdata/host.writing"
  service_format_template = "\$service.name\$\t\$service.state_id\$\t\$service.output\$\t\$service.perfdata\$"
  rotation_interval = 1s
}

object Host "panel" {
  address = "127.0.0.1"
  check_command = "dummy"
  enable_active_checks = false
}
CONF
  # Active checks off: only the forced checks run.
  while IFS=$'\t' read -r name key warning critical _; do
    cat <<CONF
object Service "$name" {
  host_name = "panel"
  check_command = "orbenix"
  enable_active_checks = false
  vars.orbenix_parameter_file = "$params/$key.parameter"
CONF
    [ "$warning" = - ] || cat <<CONF
  vars.orbenix_usage = true
  vars.orbenix_bw_warning = "$warning"
  vars.orbenix_bw_critical = "$critical"
CONF
    echo "}"
  done < <(services)
} >"$work/icinga2.conf"

# The engine's own check of the configuration: no warning, no error.
if ! icinga2 daemon -C -c "$work/icinga2.conf" "${paths[@]}" >"$work/validate.out" 2>&1; then
  cat "$work/validate.out" >&2
  fail "icinga2 daemon -C refuses the configuration"
fi
grep -E '(warning|critical)/' "$work/validate.out" >&2 && fail "icinga2 daemon -C warns about the configuration"

start_clock
start_engine icinga2 daemon -c "$work/icinga2.conf" "${paths[@]}"
wait_until test -p "$var/icinga2.cmd" || fail "no external command pipe within 60 s"
force_checks "$var/icinga2.cmd"

expected=$(services | wc -l)
records() { cat "$var"/perfdata/service.[0-9]* 2>/dev/null || true; }
recorded() { [ "$(records | wc -l)" -ge "$expected" ]; }
wait_until recorded || { cat "$work/engine.out" >&2; fail "not every service was checked within 60 s"; }
check_loopback_only
stop_engine

records >"$work/service-perfdata"
while IFS=$'\t' read -r name state output perfdata; do
  # The engine keeps the blank before the plugin's "|" in the output.
  check_record "$name" "$state" "${output% }" "$perfdata"
done <"$work/service-perfdata"
[ "$(cut -f1 "$work/service-perfdata" | sort | uniq -d)" = "" ] || fail "a service was checked twice"
echo "PASS: Icinga 2 recorded every service as the plugin printed it"
