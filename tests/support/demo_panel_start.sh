#!/usr/bin/env bash
# Starts the demo panel in the background; its ports end up in STATE_DIR/ports
# and its process id in STATE_DIR/pid.   usage: demo_panel_start.sh STATE_DIR
set -euo pipefail
state=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$state"
if [ -f "$state/pid" ] && kill -0 "$(cat "$state/pid")" 2>/dev/null; then
  kill "$(cat "$state/pid")" 2>/dev/null || true
fi
rm -f "$state/ports" "$state/pid"
python3 "$here/demo_panel.py" --state-dir "$state" >"$state/panel.log" 2>&1 </dev/null &
echo $! >"$state/pid"
for _ in $(seq 1 100); do
  [ -f "$state/ports" ] && exit 0
  kill -0 "$(cat "$state/pid")" 2>/dev/null || break
  sleep 0.1
done
echo "demo panel did not start:" >&2
cat "$state/panel.log" >&2
exit 1
