#!/usr/bin/env python3
"""Probes per second and memory of orbenix-exporter at 1, 16 and 64 targets,
against the same checks done by starting the plugin once per check, as a
wrapper script would. Everything on loopback against the demo panel.

  bench/exporter_vs_plugin.py BUILD_DIR [PROBES]
BUILD_DIR holds exporter/orbenix-exporter and cli/orbenix-check (a Release
build: cmake -B build/release -DCMAKE_BUILD_TYPE=Release -DORBENIX_TESTS=OFF).
"""
import concurrent.futures
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KEYS = ["online", "offline", "busy"]


def start_panel(state):
    subprocess.run(["bash", os.path.join(ROOT, "tests/support/demo_panel_start.sh"), state], check=True)
    with open(os.path.join(state, "ports")) as ports:
        return dict(line.strip().split("=") for line in ports if "=" in line)


def write_config(folder, targets, panel_port):
    with open(os.path.join(folder, "h"), "w") as out:
        out.write("demo-hash\n")
    for key in KEYS:
        with open(os.path.join(folder, key + ".key"), "w") as out:
            out.write(key + "\n")
    for name in os.listdir(folder):
        os.chmod(os.path.join(folder, name), 0o600)
    path = os.path.join(folder, "exporter.toml")
    with open(path, "w") as out:
        out.write('[exporter]\nlisten = "127.0.0.1:0"\nmax_concurrent_probes = 16\n')
        for i in range(targets):
            out.write('[targets.t%d]\nurl = "http://127.0.0.1:%s"\nkey_file = "%s.key"\nhash_file = "h"\n'
                      'usage = ["bandwidth"]\n' % (i, panel_port, KEYS[i % len(KEYS)]))
    return path


def peak_rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        return int(re.search(r"VmHWM:\s+(\d+)", status.read()).group(1))


def bench_exporter(build, folder, targets, probes, panel_port):
    config = write_config(folder, targets, panel_port)
    log = open(os.path.join(folder, "log"), "w+")
    exporter = subprocess.Popen([os.path.join(build, "exporter/orbenix-exporter"), "--config", config], stderr=log)
    try:
        port = None
        for _ in range(100):
            log.seek(0)
            found = re.search(r"listening on http://127.0.0.1:(\d+)/", log.read())
            if found:
                port = found.group(1)
                break
            time.sleep(0.05)
        clients = min(targets, 16)

        def probe(i):
            url = "http://127.0.0.1:%s/probe?target=t%d" % (port, i % targets)
            with urllib.request.urlopen(url, timeout=30) as answer:
                return answer.status

        with concurrent.futures.ThreadPoolExecutor(clients) as pool:
            list(pool.map(probe, range(min(probes, 50))))  # warm-up
            start = time.monotonic()
            statuses = list(pool.map(probe, range(probes)))
            seconds = time.monotonic() - start
        assert all(status == 200 for status in statuses)
        return probes / seconds, peak_rss_kib(exporter.pid), clients
    finally:
        exporter.terminate()
        exporter.wait(timeout=30)


def bench_plugin(build, targets, probes, panel_port, clients):
    plugin = os.path.join(build, "cli/orbenix-check")

    def check(i):
        key = KEYS[i % targets % len(KEYS)]
        parameter = "#URL=http://127.0.0.1:%s#KEY=%s#HSH=demo-hash#" % (panel_port, key)
        return subprocess.run([plugin, "--bw-warning", "80"], env={"ORBENIX_PARAMETER": parameter},
                              stdout=subprocess.DEVNULL).returncode

    with concurrent.futures.ThreadPoolExecutor(clients) as pool:
        start = time.monotonic()
        codes = list(pool.map(check, range(probes)))
        seconds = time.monotonic() - start
    assert all(code in (0, 1, 2) for code in codes)
    return probes / seconds


def main(argv):
    build = argv[1]
    probes = int(argv[2]) if len(argv) > 2 else 2000
    with tempfile.TemporaryDirectory() as state:
        ports = start_panel(os.path.join(state, "panel"))
        try:
            print("| targets | clients | exporter probes/s | exporter peak RSS | plugin per check, checks/s | ratio |")
            print("|---|---|---|---|---|---|")
            for targets in (1, 16, 64):
                folder = os.path.join(state, "t%d" % targets)
                os.makedirs(folder)
                rate, rss, clients = bench_exporter(build, folder, targets, probes, ports["HTTP_PORT"])
                plugin_rate = bench_plugin(build, targets, probes, ports["HTTP_PORT"], clients)
                print("| %d | %d | %.0f | %.1f MiB | %.0f | %.1f |"
                      % (targets, clients, rate, rss / 1024, plugin_rate, rate / plugin_rate))
        finally:
            subprocess.run(["bash", os.path.join(ROOT, "tests/support/demo_panel_stop.sh"), os.path.join(state, "panel")])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
