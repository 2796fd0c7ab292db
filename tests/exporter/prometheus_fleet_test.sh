#!/usr/bin/env bash
# A hosting provider's fleet: 10,000 targets, one file a rack in targets_dir,
# load and reload; the real Prometheus discovers them all through /sd with
# the contrib job and scrapes every one of them (their panel port is closed,
# so each probe answers quickly with solusvm_probe_success 0).
#   usage: prometheus_fleet_test.sh EXPORTER SOURCE_DIR WORK_DIR
set -euo pipefail
exporter=$1 source=$2 work=$3
prometheus=$(command -v prometheus || echo /usr/bin/prometheus)
[ -x "$prometheus" ] || { echo "prometheus is not installed (apt-get install prometheus)"; exit 1; }
racks=100 per_rack=100 total=10000

rm -rf "$work" && mkdir -p "$work/targets.d"
exporter_pid= prometheus_pid=
stop() {
  for pid in $prometheus_pid $exporter_pid; do
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
}
trap stop EXIT
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
exporter_port=$(free_port) prometheus_port=$(free_port) closed_port=$(free_port)

(umask 077; echo online >"$work/vps.key"; echo demo-hash >"$work/demo.hash")
python3 - "$work" "$racks" "$per_rack" "$closed_port" <<'PY'
import sys
work, racks, per_rack, port = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
for rack in range(racks):
    with open("%s/targets.d/rack%03d.toml" % (work, rack), "w") as out:
        for slot in range(per_rack):
            n = rack * per_rack + slot
            out.write('[targets.vps%05d]\nurl = "http://127.0.0.1:%s"\nkey_file = "../vps.key"\n'
                      'hash_file = "../demo.hash"\nlabels = { rack = "r%03d" }\n' % (n, port, rack))
PY
printf '[exporter]\nlisten = "127.0.0.1:%s"\ntargets_dir = "targets.d"\nmax_concurrent_probes = 64\nqueue_wait_seconds = 20\n' \
  "$exporter_port" >"$work/exporter.toml"

# The contrib job as it stands, pointed at this run's ports and a slower pace.
sed -e "s|127.0.0.1:9798|127.0.0.1:$exporter_port|; s|scrape_interval: 60s|scrape_interval: 30s|; s|scrape_timeout: 10s|scrape_timeout: 25s|; s|refresh_interval: 60s|refresh_interval: 2s|" \
  "$source/contrib/prometheus/prometheus.yml" | sed -n '/^scrape_configs:/,/^  # The exporter/p' | grep -v '^  # The exporter' \
  >"$work/prometheus.yml"

: >"$work/exporter.log"
"$exporter" --config "$work/exporter.toml" >"$work/exporter.log" 2>&1 &
exporter_pid=$!
for _ in $(seq 1 300); do grep -q 'listening on' "$work/exporter.log" && break; sleep 0.1; done
grep -q 'listening on' "$work/exporter.log" || { echo "the exporter did not start"; cat "$work/exporter.log"; exit 1; }

get() { python3 -c 'import sys, urllib.request; r = urllib.request.urlopen(urllib.request.Request(sys.argv[1], method=sys.argv[2]), timeout=60); sys.stdout.write(r.read().decode())' "$@"; }
get "http://127.0.0.1:$exporter_port/metrics" GET | grep -qx "orbenix_exporter_targets $total" || { echo "FAILED: not $total targets"; exit 1; }
start=$(date +%s.%N)
reload=$(get "http://127.0.0.1:$exporter_port/-/reload" POST)
echo "reload: $reload in $(python3 -c "import sys, time; print('%.2f s' % (time.time() - float(sys.argv[1])))" "$start")," \
  "RSS $(awk '/VmRSS/ {print $2, $3}' /proc/$exporter_pid/status)"
[ "$reload" = "configuration reloaded: $total targets" ] || { echo "FAILED: reload said '$reload'"; exit 1; }
[ "$(get "http://127.0.0.1:$exporter_port/sd" GET | grep -c '"__param_target"')" -eq "$total" ] || { echo "FAILED: /sd lacks targets"; exit 1; }

"$prometheus" --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
prometheus_pid=$!
query() {
  python3 - "$prometheus_port" "$1" <<'PY'
import json, sys, urllib.parse, urllib.request
url = "http://127.0.0.1:%s/api/v1/query?query=%s" % (sys.argv[1], urllib.parse.quote(sys.argv[2]))
try:
    with urllib.request.urlopen(url, timeout=10) as answer:
        rows = json.load(answer)["data"]["result"]
        print(rows[0]["value"][1] if rows else 0)
except Exception:
    print(0)
PY
}
# Every target scraped once, with its answer, within a bounded wait.
begin=$SECONDS scraped=0
while [ $((SECONDS - begin)) -lt 180 ]; do
  scraped=$(query 'count(count_over_time(solusvm_probe_success{job="solusvm"}[10m]))')
  [ "$scraped" = "$total" ] && break
  kill -0 "$exporter_pid" && kill -0 "$prometheus_pid" || break
  sleep 2
done
if [ "$scraped" != "$total" ]; then
  echo "FAILED: Prometheus scraped $scraped of $total targets within 180 s"
  tail -n 5 "$work/exporter.log" "$work/prometheus.log"
  exit 1
fi
echo "Prometheus discovered and scraped all $total targets after $((SECONDS - begin)) s"
in_rack=$(query 'count(count_over_time(solusvm_probe_success{job="solusvm",rack="r042"}[10m]))')
[ "$in_rack" = "$per_rack" ] || { echo "FAILED: $in_rack targets carry rack=\"r042\", not $per_rack"; exit 1; }
echo "ok: the label rack=\"r042\" is on its $per_rack targets"
