#!/usr/bin/env bash
# By hand, as root, on a machine where the package may be installed: installs
# the built .deb, starts the demo panel, lets Icinga 2 run the packaged
# CheckCommand (contrib/icinga2/orbenix.conf) against an online and an offline
# server for a few seconds, and prints the states and performance data that
# Icinga recorded. Needs icinga2-bin (not run by ctest: it installs a package).
#   usage: icinga_smoke.sh PATH/orbenix-check_VERSION_ARCH.deb
set -euo pipefail
deb=$(realpath "${1:?the .deb}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/orbenix-icinga.XXXXXX)
chmod 755 "$work"
trap 'bash "$here/../support/demo_panel_stop.sh" "$work/panel" >/dev/null 2>&1 || true' EXIT

dpkg -i "$deb" >/dev/null
bash "$here/../support/demo_panel_start.sh" "$work/panel"
. "$work/panel/ports"
for key in online offline; do
  printf '#URL=http://127.0.0.1:%s#KEY=%s#HSH=demo#\n' "$HTTP_PORT" "$key" > "$work/$key.parameter"
done
mkdir -p "$work/perf" /run/icinga2
chown nagios:nagios "$work/perf" /run/icinga2 2>/dev/null || true
chmod 644 "$work"/*.parameter
cat > "$work/icinga2.conf" <<CONF
const PluginDir = "/usr/lib/nagios/plugins"
include <itl>
include "/usr/share/doc/orbenix-check/examples/icinga2-orbenix.conf"
object CheckerComponent "checker" { }
object PerfdataWriter "perfdata" {
  service_perfdata_path = "$work/perf/service"
  host_perfdata_path = "$work/perf/host"
  service_format_template = "\$service.name\$ \$service.state\$ \$service.output\$ | \$service.perfdata\$"
  rotation_interval = 2s
}
object Host "panel" { check_command = "dummy"; enable_active_checks = false }
apply Service for (key in [ "online", "offline" ]) {
  check_command = "orbenix"
  check_interval = 2s
  retry_interval = 2s
  vars.orbenix_parameter_file = "$work/" + key + ".parameter"
  assign where host.name == "panel"
}
CONF
icinga2 daemon -c "$work/icinga2.conf" > "$work/daemon.log" 2>&1 &
sleep 8
# The daemon forks; its own PID file names the process to stop.
pid=$(cat /run/icinga2/icinga2.pid 2>/dev/null || echo $!)
kill -TERM "$pid" 2>/dev/null || true
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$pid" 2>/dev/null || true
# The first result of each service.
cat "$work"/perf/service.* | awk '!seen[$1]++'
