#!/usr/bin/env bash
# orbenix-exporter against Debian's prometheus-blackbox-exporter as the
# yardstick, in one run: both POST the same form to nginx as a fixed-answer
# panel on loopback (the http_nginx test fixture: an online answer, a private
# CA), over HTTP and over HTTPS with verification against that CA. For each
# scheme both exporters take PROBES probes in blocks of BLOCK, interleaved
# (ours, theirs, ours, ...), driven by ab with CLIENTS clients. For every
# block: probes/s, CPU per probe (utime+stime from /proc/PID/stat), RSS after
# it, and over HTTPS the panel's full and resumed handshakes (nginx's
# $ssl_session_reused in the fixture's tls.log). A summary table follows.
# Needs a Release build (cmake -S . -B build/release -G Ninja
# -DCMAKE_BUILD_TYPE=Release -DORBENIX_TESTS=OFF && cmake --build build/release
# --target orbenix-exporter); installs prometheus-blackbox-exporter,
# apache2-utils and nginx-light with apt when they are missing (services kept
# from starting). Run as root for the installs.
#   bench/exporter_vs_blackbox.sh [BUILD_DIR|EXPORTER] [PROBES] [BLOCK] [CLIENTS]
#   e.g. bench/exporter_vs_blackbox.sh build/release 100000 20000 16
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
probes=${2:-100000}
block=${3:-20000}
clients=${4:-16}
exporter=$build
[ -f "$exporter" ] || exporter=$build/exporter/orbenix-exporter
[ -x "$exporter" ] || { echo "no $exporter: build the Release exporter first" >&2; exit 1; }
blackbox=/usr/bin/prometheus-blackbox-exporter

missing=()
[ -x "$blackbox" ] || missing+=(prometheus-blackbox-exporter)
command -v ab >/dev/null || missing+=(apache2-utils)
command -v nginx >/dev/null || missing+=(nginx-light)
if [ ${#missing[@]} -gt 0 ]; then
  # As scripts/install-deps.sh does: a policy-rc.d keeps the packages'
  # services from starting while they install, and they stay disabled.
  policy=/usr/sbin/policy-rc.d own_policy=
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\n# Written by orbenix bench/exporter_vs_blackbox.sh while it installs packages.\nexit 101\n' >"$policy"
    chmod 0755 "$policy"
    own_policy=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  [ -z "$own_policy" ] || rm -f "$policy"
  for service in prometheus-blackbox-exporter nginx; do
    if [ -d /run/systemd/system ]; then
      systemctl disable --now "$service.service" >/dev/null 2>&1 || true
    else
      invoke-rc.d "$service" stop >/dev/null 2>&1 || true
      update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
  done
fi

state=$(mktemp -d)
trap 'bash tests/support/nginx_fixture.sh stop "$state/nginx"; rm -rf "$state"' EXIT
bash tests/support/nginx_fixture.sh start "$state/nginx" >/dev/null
. "$state/nginx/nginx.env"

python3 - "$exporter" "$blackbox" "$state" "$http" "$good" "$ca_file" "$tls_log" \
  "$probes" "$block" "$clients" <<'PY'
import os, re, signal, socket, subprocess, sys, time, urllib.request

# A stopped bench stops the exporters it started.
signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

exporter, blackbox, state, http_port, https_port, ca_file, tls_log = sys.argv[1:8]
probes, block, clients = (int(a) for a in sys.argv[8:11])
FORM = "key=online&hash=demo-hash&action=info&status=true"
TICK = os.sysconf("SC_CLK_TCK")


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


write(os.path.join(state, "online.key"), "online\n")
write(os.path.join(state, "demo.hash"), "demo-hash\n")
write(os.path.join(state, "blackbox.yml"), """modules:
  http_post:
    prober: http
    timeout: 5s
    http:
      method: POST
      headers:
        Content-Type: application/x-www-form-urlencoded
      body: "%s"
      fail_if_body_not_matches_regexp: ["<vmstat>online</vmstat>"]
      tls_config:
        ca_file: "%s"
""" % (FORM, ca_file))


def start(kind):
    port = free_port()
    log = open(os.path.join(state, kind + ".log"), "w")
    if kind == "orbenix-exporter":
        config = os.path.join(state, "exporter.toml")
        write(config, '[exporter]\nlisten = "127.0.0.1:%d"\nmax_concurrent_probes = %d\n'
              '[targets.http]\nurl = "http://127.0.0.1:%s"\nkey_file = "online.key"\nhash_file = "demo.hash"\n'
              '[targets.https]\nurl = "https://localhost:%s"\nkey_file = "online.key"\nhash_file = "demo.hash"\n'
              'ca_file = "%s"\n' % (port, max(16, clients), http_port, https_port, ca_file))
        argv = [exporter, "--config", config]
        paths = {"http": "/probe?target=http", "https": "/probe?target=https"}
        success = b"solusvm_probe_success 1"
    else:
        argv = [blackbox, "--config.file=" + os.path.join(state, "blackbox.yml"),
                "--web.listen-address=127.0.0.1:%d" % port]
        paths = {"http": "/probe?module=http_post&target=http://127.0.0.1:%s/api/client/command.php" % http_port,
                 "https": "/probe?module=http_post&target=https://localhost:%s/api/client/command.php" % https_port}
        success = b"\nprobe_success 1"
    process = subprocess.Popen(argv, stdout=log, stderr=log)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.05)
    else:
        raise SystemExit("%s did not start: see %s" % (kind, log.name))
    return {"kind": kind, "process": process, "port": port, "paths": paths, "success": success}


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # utime, stime


def rss_mib(pid):
    with open("/proc/%d/status" % pid) as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1)) / 1024


def check_one(e, scheme):
    url = "http://127.0.0.1:%d%s" % (e["port"], e["paths"][scheme])
    body = urllib.request.urlopen(url, timeout=30).read()
    if e["success"] not in body:
        raise SystemExit("%s %s probe failed: %s" % (e["kind"], scheme, body[:400]))


def handshakes():
    """(full, resumed) handshakes nginx logged on the HTTPS port so far."""
    full = resumed = 0
    try:
        with open(tls_log) as log:
            for line in log:
                fields = line.split()
                if len(fields) >= 3 and fields[0] == https_port:
                    full += fields[2] == "."
                    resumed += fields[2] == "r"
    except FileNotFoundError:
        pass
    return full, resumed


def ab(e, scheme, count):
    url = "http://127.0.0.1:%d%s" % (e["port"], e["paths"][scheme])
    out = subprocess.run(["ab", "-q", "-r", "-s", "30", "-n", str(count), "-c", str(clients), url],
                         capture_output=True, text=True, timeout=3600)
    text = out.stdout
    if out.returncode != 0:
        raise SystemExit("ab failed for %s: %s%s" % (e["kind"], text[-600:], out.stderr[-600:]))
    complete = int(re.search(r"Complete requests:\s+(\d+)", text).group(1))
    non2xx = re.search(r"Non-2xx responses:\s+(\d+)", text)
    if complete != count or non2xx:
        raise SystemExit("%s: %d of %d complete, non-2xx: %s" % (e["kind"], complete, count,
                                                                    non2xx.group(1) if non2xx else 0))
    return float(re.search(r"Time taken for tests:\s+([\d.]+)", text).group(1))


ours, theirs = start("orbenix-exporter"), start("blackbox-exporter")
rows, summary = [], []
try:
    for scheme in ("http", "https"):
        for e in (ours, theirs):
            check_one(e, scheme)
        runs = {id(e): {"rss": [rss_mib(e["process"].pid)], "cpu": 0.0, "took": 0.0, "full": 0, "resumed": 0}
                for e in (ours, theirs)}
        done = 0
        while done < probes:
            count = min(block, probes - done)
            for e in (ours, theirs):
                run = runs[id(e)]
                cpu0, (full0, resumed0) = cpu_seconds(e["process"].pid), handshakes()
                took = ab(e, scheme, count)
                cpu = cpu_seconds(e["process"].pid) - cpu0
                time.sleep(0.2)  # nginx logs a request after its answer has gone
                full1, resumed1 = handshakes()
                run["cpu"] += cpu
                run["took"] += took
                run["full"] += full1 - full0
                run["resumed"] += resumed1 - resumed0
                run["rss"].append(rss_mib(e["process"].pid))
                check_one(e, scheme)
                rows.append((scheme, e["kind"], done + count, count / took, cpu / count * 1e6, run["rss"][-1],
                             full1 - full0, resumed1 - resumed0))
                print("%-5s %-17s %7d probes  %7.0f probes/s  %6.0f us CPU/probe  RSS %5.1f MiB  "
                      "handshakes full %d resumed %d" % rows[-1], file=sys.stderr, flush=True)
            done += count
        for e in (ours, theirs):
            run = runs[id(e)]
            summary.append((scheme, e["kind"], probes / run["took"], run["cpu"] / probes * 1e6, run["rss"],
                            run["full"], run["resumed"]))
finally:
    for e in (ours, theirs):
        e["process"].terminate()
        e["process"].wait(timeout=30)

print("| scheme | exporter | probes/s | CPU per probe | RSS before | RSS after %d | RSS after %d | "
      "full handshakes | resumed |" % (min(block, probes), probes))
print("|---|---|---|---|---|---|---|---|---|")
for scheme, kind, rate, cpu, rss, full, resumed in summary:
    shakes = ("%d" % full, "%d" % resumed) if scheme == "https" else ("-", "-")
    print("| %s | %s | %.0f | %.0f µs | %.1f MiB | %.1f MiB | %.1f MiB | %s | %s |"
          % (scheme, kind, rate, cpu, rss[0], rss[1], rss[-1], shakes[0], shakes[1]))
for scheme in ("http", "https"):
    a, b = (s for s in summary if s[0] == scheme)
    print("%s: CPU per probe %.2fx the blackbox exporter's, probes/s %.2fx; our RSS after the first block "
          "moves by %.1f MiB" % (scheme, a[3] / b[3], a[2] / b[2], max(a[4][1:]) - min(a[4][1:])))
PY
