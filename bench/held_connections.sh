#!/usr/bin/env bash
# Half-sent connections held against orbenix-exporter and, in the same run,
# against Debian's prometheus-blackbox-exporter as the yardstick: for 0, 1,000,
# 10,000 and (when the file limit allows) 50,000 connections that each sent
# half a request head and wait, the p50 and p99 time of a /metrics answer and
# of a probe (the same form POSTed to the demo panel) on fresh connections,
# and the memory per held connection (RSS with them held minus RSS before,
# divided by their number). Everything on loopback; the held connections come
# from 127.0.0.2, 127.0.0.3, ... (10,000 each) to stay within the ephemeral
# port range. Each row starts both exporters afresh.
# Needs a Release build (cmake -S . -B build/release -G Ninja
# -DCMAKE_BUILD_TYPE=Release -DORBENIX_TESTS=OFF && cmake --build build/release
# --target orbenix-exporter); installs prometheus-blackbox-exporter with apt
# (its service kept from starting) when it is missing. Run as root.
#   bench/held_connections.sh [BUILD_DIR] [SAMPLES] [COUNTS]
#   e.g. bench/held_connections.sh build/release 400 "0 1000 10000 50000"
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
samples=${2:-400}
counts=${3:-0 1000 10000 50000}
exporter=$build/exporter/orbenix-exporter
[ -x "$exporter" ] || { echo "no $exporter: build the Release exporter first" >&2; exit 1; }
blackbox=/usr/bin/prometheus-blackbox-exporter

if [ ! -x "$blackbox" ]; then
  # As scripts/install-deps.sh does: a policy-rc.d keeps the package's service
  # from starting while it installs, and the service stays disabled.
  policy=/usr/sbin/policy-rc.d own_policy=
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\n# Written by orbenix bench/held_connections.sh while it installs a package.\nexit 101\n' >"$policy"
    chmod 0755 "$policy"
    own_policy=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends prometheus-blackbox-exporter >/dev/null
  [ -z "$own_policy" ] || rm -f "$policy"
  if [ -d /run/systemd/system ]; then
    systemctl disable --now prometheus-blackbox-exporter.service >/dev/null 2>&1 || true
  else
    invoke-rc.d prometheus-blackbox-exporter stop >/dev/null 2>&1 || true
    update-rc.d prometheus-blackbox-exporter disable >/dev/null 2>&1 || true
  fi
fi

# Each held connection is a descriptor on both sides.
ulimit -n 1048576 2>/dev/null || ulimit -n "$(ulimit -Hn)"

state=$(mktemp -d)
trap 'bash tests/support/demo_panel_stop.sh "$state"; rm -rf "$state"' EXIT
bash tests/support/demo_panel_start.sh "$state" >/dev/null
. "$state/ports"

python3 - "$exporter" "$blackbox" "$state" "$HTTP_PORT" "$samples" "$(ulimit -n)" $counts <<'PY'
import http.client, os, re, signal, socket, subprocess, sys, time

# A stopped bench stops the exporters it started.
signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

exporter, blackbox, state, panel_port, samples, nofile = sys.argv[1:7]
samples, nofile = int(samples), int(nofile)
counts = [int(c) for c in sys.argv[7:]]
FORM = "key=online&hash=demo-hash&action=info&status=true"
PER_ADDRESS = 10000


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def write(path, text, mode=0o600):
    with open(path, "w") as out:
        out.write(text)
    os.chmod(path, mode)


os.makedirs(os.path.join(state, "ours"), exist_ok=True)
write(os.path.join(state, "ours", "online.key"), "online\n")
write(os.path.join(state, "ours", "demo.hash"), "demo-hash\n")
# The limits raised through the configuration: more open connections than
# the largest count, and a head deadline longer than a row takes.
OURS_CONFIG = os.path.join(state, "ours", "exporter.toml")
BLACKBOX_CONFIG = os.path.join(state, "blackbox.yml")
write(BLACKBOX_CONFIG, """modules:
  http_post_2xx:
    prober: http
    timeout: 5s
    http:
      method: POST
      headers:
        Content-Type: application/x-www-form-urlencoded
      body: "%s"
""" % FORM)


def start(kind):
    port = free_port()
    log = open(os.path.join(state, kind + ".log"), "w")
    if kind == "orbenix-exporter":
        write(OURS_CONFIG, '[exporter]\nlisten = "127.0.0.1:%d"\nmax_connections = %d\n'
              'request_head_timeout_seconds = 300\nmax_concurrent_probes = 16\n'
              '[targets.online]\nurl = "http://127.0.0.1:%s"\nkey_file = "online.key"\nhash_file = "demo.hash"\n'
              % (port, max(counts) + 1000, panel_port))
        argv = [exporter, "--config", OURS_CONFIG]
        probe = "/probe?target=online"
    else:
        argv = [blackbox, "--config.file=" + BLACKBOX_CONFIG, "--web.listen-address=127.0.0.1:%d" % port]
        probe = "/probe?module=http_post_2xx&target=http://127.0.0.1:%s/api/client/command.php" % panel_port
    process = subprocess.Popen(argv, stdout=log, stderr=log)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.05)
    else:
        raise SystemExit("%s did not start: see %s" % (kind, log.name))
    return process, port, probe


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def ask(port, path):
    """Seconds for one answer on a fresh connection; the status must be 200."""
    begin = time.perf_counter()
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    connection.request("GET", path)
    answer = connection.getresponse()
    body = answer.read()
    connection.close()
    took = time.perf_counter() - begin
    if answer.status != 200:
        raise SystemExit("%s answered %d: %s" % (path, answer.status, body[:200]))
    if "probe" in path and b"probe_success 1" not in body:
        raise SystemExit("%s failed: %s" % (path, body[:300]))
    return took


def percentiles(times):
    times = sorted(times)
    pick = lambda q: times[min(len(times) - 1, int(q * len(times)))] * 1000
    return pick(0.50), pick(0.99)


def hold(port, count, deadline_s=120):
    """count connections from 127.0.0.2, .3, ... that each sent half a head."""
    held = []
    half = b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: held"
    end = time.monotonic() + deadline_s
    for i in range(count):
        if time.monotonic() > end:
            raise SystemExit("held %d of %d connections within %d s" % (i, count, deadline_s))
        s = socket.socket()
        s.setsockopt(socket.IPPROTO_IP, 24, 1)  # IP_BIND_ADDRESS_NO_PORT: the port at connect
        s.bind(("127.0.0.%d" % (2 + i // PER_ADDRESS), 0))
        s.settimeout(10)
        s.connect(("127.0.0.1", port))
        s.sendall(half)
        held.append(s)
    return held


rows = []
for count in counts:
    if count + 1000 > nofile:  # on both sides: the held sockets here, their descriptors there
        print("skipping %d held connections: the file limit is %d" % (count, nofile), file=sys.stderr)
        continue
    for kind in ("orbenix-exporter", "blackbox-exporter"):
        process, port, probe = start(kind)
        try:
            for _ in range(20):  # warm up: both paths once allocated
                ask(port, "/metrics")
                ask(port, probe)
            time.sleep(0.5)  # the server closes the warm-up connections
            base_fds = descriptors(process.pid)
            before = rss_kib(process.pid)
            started = time.monotonic()
            held = hold(port, count)
            # Until the server has taken every held connection (bounded).
            for _ in range(600):
                if descriptors(process.pid) >= base_fds + count:
                    break
                time.sleep(0.05)
            taken = descriptors(process.pid) - base_fds
            time.sleep(1)
            after = rss_kib(process.pid)
            metrics = [ask(port, "/metrics") for _ in range(samples)]
            probes = [ask(port, probe) for _ in range(samples)]
            for s in held:
                s.close()
            per = (after - before) * 1024 / count if count else 0
            rows.append((count, kind, taken, *percentiles(metrics), *percentiles(probes), before, after, per))
            print("%6d %-18s taken %6d in %.1f s" % (count, kind, taken, time.monotonic() - started), file=sys.stderr)
        finally:
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

print("| held | exporter | taken | /metrics p50 ms | /metrics p99 ms | probe p50 ms | probe p99 ms "
      "| RSS before KiB | RSS held KiB | bytes per held |")
print("|---|---|---|---|---|---|---|---|---|---|")
for count, kind, taken, mp50, mp99, pp50, pp99, before, after, per in rows:
    print("| %d | %s | %d | %.2f | %.2f | %.2f | %.2f | %d | %d | %s |"
          % (count, kind, taken, mp50, mp99, pp50, pp99, before, after, "%.0f" % per if count else "-"))
PY
