#!/usr/bin/env bash
# The real Prometheus scrapes orbenix-exporter through the contrib job, both
# on loopback, with the targets it discovers through the exporter's /sd:
# solusvm_up 1 for the online server and 0 for the offline one,
# solusvm_probe_success 0 for a panel error, and the busy server's bandwidth
# and labels.
#   usage: prometheus_scrape_test.sh EXPORTER SOURCE_DIR WORK_DIR DEMO_PANEL_PORTS
set -euo pipefail
exporter=$1 source=$2 work=$3 ports_file=$4
prometheus=$(command -v prometheus || echo /usr/bin/prometheus)
[ -x "$prometheus" ] || { echo "prometheus is not installed (apt-get install prometheus)"; exit 1; }
. "$ports_file"

rm -rf "$work" && mkdir -p "$work/keys"
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
exporter_port=$(free_port)
prometheus_port=$(free_port)

# The sample configuration and the contrib job, pointed at this run's ports.
sed -e "s|127.0.0.1:8080|127.0.0.1:$HTTP_PORT|; s|127.0.0.1:9798|127.0.0.1:$exporter_port|" \
  "$source/contrib/prometheus/orbenix-exporter.toml" >"$work/orbenix-exporter.toml"
(umask 077
 for key in online offline busy wrong; do echo "$key" >"$work/keys/$key.key"; done
 echo demo-hash >"$work/keys/demo.hash")
sed -e "s|127.0.0.1:9798|127.0.0.1:$exporter_port|; s|scrape_interval: 60s|scrape_interval: 1s|; s|scrape_timeout: 10s|scrape_timeout: 1s|; s|refresh_interval: 60s|refresh_interval: 1s|" \
  "$source/contrib/prometheus/prometheus.yml" >"$work/prometheus.yml"
printf 'global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n' | cat - "$work/prometheus.yml" >"$work/prometheus.full.yml"

"$exporter" --config "$work/orbenix-exporter.toml" >"$work/exporter.log" 2>&1 &
exporter_pid=$!
"$prometheus" --config.file="$work/prometheus.full.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
prometheus_pid=$!

# Asks Prometheus' HTTP API; prints "instance value" lines of an instant query.
query() {
  python3 - "$prometheus_port" "$1" <<'PY'
import json, sys, urllib.parse, urllib.request
url = "http://127.0.0.1:%s/api/v1/query?query=%s" % (sys.argv[1], urllib.parse.quote(sys.argv[2]))
try:
    with urllib.request.urlopen(url, timeout=5) as answer:
        for row in json.load(answer)["data"]["result"]:
            print(row["metric"].get("instance", "-"), row["value"][1])
except Exception:
    pass
PY
}

# Two scrapes of every probe target, within 60 s.
start=$SECONDS
scraped=
while [ $((SECONDS - start)) -lt 60 ]; do
  scraped=$(query 'count_over_time(solusvm_probe_success[5m]) >= 2' | wc -l)
  [ "$scraped" -ge 4 ] && break
  kill -0 "$exporter_pid" && kill -0 "$prometheus_pid" || break
  sleep 1
done
if [ "${scraped:-0}" -lt 4 ]; then
  echo "Prometheus scraped $scraped of 4 targets twice within 60 s"
  tail -n 20 "$work/exporter.log" "$work/prometheus.log"
  exit 1
fi
echo "two scrapes of every target after $((SECONDS - start)) s"

failures=0
expect() {  # QUERY INSTANCE VALUE
  local got
  got=$(query "$1" | awk -v i="$2" '$1 == i {print $2}')
  if [ "$got" = "$3" ]; then echo "ok: $1 {instance=$2} = $3"; else echo "FAILED: $1 {instance=$2} = '$got', not $3"; failures=$((failures + 1)); fi
}
expect solusvm_up online 1
expect solusvm_up offline 0
expect solusvm_probe_success panel-error 0
expect solusvm_probe_success online 1
expect solusvm_bandwidth_used_bytes busy 852000000000
expect solusvm_bandwidth_total_bytes busy 1000000000000
expect 'solusvm_up{customer="acme",panel="eu1"}' busy 1
expect 'solusvm_probe_error_info{kind="panel"}' panel-error 1
expect orbenix_exporter_targets "127.0.0.1:$exporter_port" 4
[ "$failures" -eq 0 ] || { tail -20 "$work/exporter.log"; exit 1; }
