#!/usr/bin/env bash
# The main job: builds orbenix-check, starts the demo panel on loopback, checks
# one online and one offline server through it, shows both results, and stops
# the panel again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
build=${ORBENIX_DEMO_BUILD:-build/linux}
if [ "$build" = build/linux ]; then
  cmake --preset linux >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORBENIX_SANITIZE=ON >/dev/null
fi
cmake --build "$build" -j2 --target orbenix-check >/dev/null

state=$(mktemp -d)
trap 'bash tests/support/demo_panel_stop.sh "$state"; rm -rf "$state"' EXIT
bash tests/support/demo_panel_start.sh "$state"
. "$state/ports"
echo "demo panel: http://127.0.0.1:$HTTP_PORT and https://127.0.0.1:$HTTPS_PORT (self-signed)"

for server in online offline; do
  parameter="#URL=http://127.0.0.1:$HTTP_PORT/#KEY=$server#HSH=demo-hash#PRU=F#"
  echo
  echo "\$ ORBENIX_PARAMETER='$parameter' orbenix-check"
  set +e
  ORBENIX_PARAMETER=$parameter "./$build/cli/orbenix-check"
  echo "exit code: $?"
  set -e
done
