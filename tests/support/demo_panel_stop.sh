#!/usr/bin/env bash
# Stops the demo panel started by demo_panel_start.sh.   usage: demo_panel_stop.sh STATE_DIR
state=$1
if [ -f "$state/pid" ]; then
  pid=$(cat "$state/pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  rm -f "$state/pid"
fi
exit 0
