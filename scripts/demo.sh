#!/usr/bin/env bash
# The main job: builds orbenix-check and its Debian package, installs the
# package (the plugin lands in /usr/lib/nagios/plugins/check_orbenix), starts
# the demo panel on loopback, checks one online and one offline server through
# it with the installed plugin, then the bandwidth of two online servers
# against thresholds (one OK, one WARNING), shows the results, and stops the
# panel again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=${ORBENIX_DEMO_BUILD:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBENIX_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target orbenix-check orbenix_check_man orbenix-exporter orbenix_exporter_man >/dev/null
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/orbenix-check_*_amd64.deb)
exporter_package=$(ls "$build"/orbenix-exporter_*_amd64.deb)
echo "\$ dpkg -i $package $exporter_package"
dpkg -i "$package" "$exporter_package" >/dev/null
plugin=/usr/lib/nagios/plugins/check_orbenix

state=$(mktemp -d)
exporter_pid=
trap '[ -z "$exporter_pid" ] || kill "$exporter_pid" 2>/dev/null; bash tests/support/demo_panel_stop.sh "$state"; rm -rf "$state"' EXIT
bash tests/support/demo_panel_start.sh "$state"
. "$state/ports"
echo "demo panel: http://127.0.0.1:$HTTP_PORT and https://127.0.0.1:$HTTPS_PORT (self-signed)"

# The status of one online and one offline server; then the month's
# bandwidth of two online servers against thresholds (the demo panel's
# "busy" server has used 85.2% of it).
for run in "online" "offline" "online --bw-warning 80 --bw-critical 90" "busy --bw-warning 80 --bw-critical 90"; do
  read -r server thresholds <<<"$run"
  parameter="#URL=http://127.0.0.1:$HTTP_PORT/#KEY=$server#HSH=demo-hash#PRU=F#"
  echo
  echo "\$ ORBENIX_PARAMETER='$parameter' $plugin${thresholds:+ $thresholds}"
  set +e
  # shellcheck disable=SC2086 # the thresholds are separate arguments
  ORBENIX_PARAMETER=$parameter "$plugin" $thresholds
  echo "exit code: $?"
  set -e
done

# The Prometheus exporter: the sample configuration pointed at the demo panel
# (its key files readable by their owner only), and one probe answer.
mkdir -p "$state/exporter/keys"
sed -e "s|127.0.0.1:8080|127.0.0.1:$HTTP_PORT|" contrib/prometheus/orbenix-exporter.toml >"$state/exporter/orbenix-exporter.toml"
(umask 077
 for key in online offline busy wrong; do echo "$key" >"$state/exporter/keys/$key.key"; done
 echo demo-hash >"$state/exporter/keys/demo.hash")
echo
echo "\$ orbenix-exporter --config orbenix-exporter.toml &   (the sample, pointed at the demo panel)"
/usr/bin/orbenix-exporter --config "$state/exporter/orbenix-exporter.toml" 2>"$state/exporter/log" &
exporter_pid=$!
for _ in $(seq 1 50); do grep -q 'listening on' "$state/exporter/log" && break; sleep 0.1; done
echo "\$ curl 'http://127.0.0.1:9798/probe?target=busy'"
python3 - <<'PY'
import urllib.request
with urllib.request.urlopen("http://127.0.0.1:9798/probe?target=busy", timeout=30) as answer:
    print(answer.read().decode(), end="")
PY
