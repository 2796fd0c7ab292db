#!/usr/bin/env bash
# The program's signals: SIGHUP refuses a bad configuration and keeps the old
# one; SIGTERM lets the probe in flight answer, then the program exits 0.
#   usage: signals_test.sh EXPORTER WORK_DIR DEMO_PANEL_PORTS
set -euo pipefail
exporter=$1 work=$2 ports_file=$3
. "$ports_file"
rm -rf "$work" && mkdir -p "$work"
pid=
trap '[ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true' EXIT
(umask 077; echo stall >"$work/stall.key"; echo online >"$work/online.key"; echo h >"$work/h")
target() { printf '[targets.%s]\nurl = "http://127.0.0.1:%s"\nkey_file = "%s.key"\nhash_file = "h"\n' "$1" "$HTTP_PORT" "$1"; }
{ printf '[exporter]\nlisten = "127.0.0.1:0"\n'; target online; target stall; } >"$work/exporter.toml"

: >"$work/log"  # there before the program starts, for the reads below
"$exporter" --config "$work/exporter.toml" 2>"$work/log" &
pid=$!
port=
for _ in $(seq 1 100); do
  port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/log"; exit 1; }

get() {  # PATH [SCRAPE_TIMEOUT]: prints "STATUS" and the body
  python3 - "$port" "$1" "${2:-}" <<'PY'
import sys, urllib.request, urllib.error
request = urllib.request.Request("http://127.0.0.1:%s%s" % (sys.argv[1], sys.argv[2]))
if sys.argv[3]:
    request.add_header("X-Prometheus-Scrape-Timeout-Seconds", sys.argv[3])
try:
    with urllib.request.urlopen(request, timeout=30) as answer:
        print(answer.status); print(answer.read().decode(), end="")
except urllib.error.HTTPError as error:
    print(error.code); print(error.read().decode(), end="")
PY
}
fail() { echo "FAILED: $*"; cat "$work/log"; exit 1; }

# SIGHUP with a broken file: refused, the old targets still answer.
echo '[targets.online' >"$work/exporter.toml"
kill -HUP "$pid"
for _ in $(seq 1 50); do grep -q 'configuration refused' "$work/log" && break; sleep 0.1; done
grep -q "configuration refused, the one before stays:" "$work/log" || fail "no refusal logged"
grep -q "$work/exporter.toml:1: " "$work/log" || fail "the refusal names no file and line"
get "/probe?target=online" | grep -qx 'solusvm_up 1' || fail "the old configuration was not kept"
get /metrics | grep -qx 'orbenix_exporter_config_reloads_total{result="refused"} 1' || fail "refusal not counted"

# SIGTERM during a probe of a slow panel (3 s scrape: a 2 s check): the probe answers, then the exit.
get "/probe?target=stall" 3 >"$work/stall.out" &
client=$!
for _ in $(seq 1 100); do
  get /metrics | grep -qx 'orbenix_exporter_probes_in_flight 1' && break
  sleep 0.05
done
kill -TERM "$pid"
wait "$client" || fail "the probe in flight got no answer"
head -1 "$work/stall.out" | grep -qx 200 || fail "the probe in flight answered $(head -1 "$work/stall.out")"
grep -q 'number="30020"' "$work/stall.out" || fail "the probe in flight did not run to its deadline"
code=0
wait "$pid" || code=$?
pid=
[ "$code" -eq 0 ] || fail "exit code $code after SIGTERM"
grep -q 'orbenix-exporter: stopped' "$work/log" || fail "no stop logged"
echo "SIGHUP refused a bad file; SIGTERM drained one probe and exited 0"
