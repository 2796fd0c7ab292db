#!/usr/bin/env python3
"""Drives a running Zabbix 6.0 through its JSON-RPC API: imports both
templates from contrib/zabbix unchanged, creates the hosts (intervals
shortened through host macros only), waits until Zabbix has recorded every
value and problem, and compares them with what orbenix-exporter and
orbenix-check say for the same demo servers.
  zabbix_check.py API_URL EXPORTER_URL EXPORTER_USER EXPORTER_PASSWORD PARAMS_DIR PLUGIN_USER PLUGIN TEMPLATE...
Exits 0 when everything matches; prints each comparison.
"""
import base64
import json
import subprocess
import sys
import time
import urllib.request

api_url, exporter_url, exporter_user, exporter_password, params_dir, plugin_user, plugin = sys.argv[1:8]
template_files = sys.argv[8:]

# The demo servers and what both templates must make of them: the state
# ("-" when the check fails and there is none) and the only problem of each
# dependency chain that may show (None: no problem at all). The exporter's
# host names its problems "Server NAME: ...", a host per server "Server: ...".
SERVERS = [
    # name          up   problem
    ("online",      "1", None),
    ("offline",     "0", "down"),
    ("busy",        "1", "bandwidth over 80%"),
    ("over-quota",  "1", "over quota"),
    ("panel-error", "-", "probe failing: "),
]
# The texts that follow "probe failing: ": the exporter's
# error kind and number, the plugin's own text.
FAILURE_TEXT = {"http": "panel error 0", "external": "Invalid key"}
USAGE_KEYS = [(word, part) for word in ("bandwidth", "disk", "memory") for part in ("used", "total", "pused")]
EXPORTER_METRIC = {"used": "used_bytes", "total": "total_bytes", "pused": "used_ratio"}
PLUGIN_FIELD = {"bandwidth": "bw", "disk": "hdd", "memory": "mem"}
DEADLINE = time.monotonic() + 60
failures = []


def fail(text):
    print("FAILED: " + text)
    failures.append(text)


class Api:
    def __init__(self, url):
        self.url, self.auth, self.next_id = url, None, 1

    def call(self, method, params):
        request = {"jsonrpc": "2.0", "method": method, "params": params, "id": self.next_id}
        if self.auth and method not in ("apiinfo.version", "user.login"):
            request["auth"] = self.auth
        self.next_id += 1
        http = urllib.request.Request(self.url, json.dumps(request).encode(),
                                      {"Content-Type": "application/json-rpc"})
        with urllib.request.urlopen(http, timeout=60) as answer:
            reply = json.load(answer)
        if "error" in reply:
            raise RuntimeError("%s: %s" % (method, reply["error"]))
        extra = set(reply) - {"jsonrpc", "result", "id"}
        if extra:
            raise RuntimeError("%s answered with more than a result: %s" % (method, reply))
        return reply["result"]


def wait_for(what, probe, pause=1.0):
    """Calls probe() until it returns something true, bounded by DEADLINE."""
    while True:
        got = probe()
        if got:
            return got
        if time.monotonic() > DEADLINE:
            raise RuntimeError("gave up waiting for " + what)
        time.sleep(pause)


def api_ready(api):
    try:
        return api.call("apiinfo.version", {})
    except Exception:
        return None


api = Api(api_url)
print("Zabbix API", wait_for("the API", lambda: api_ready(api), 0.5))
api.auth = api.call("user.login", {"username": "Admin", "password": "zabbix"})

# Both templates as they are in contrib/.
rules = {name: {"createMissing": True, "updateExisting": True}
         for name in ("groups", "templates", "items", "discoveryRules", "triggers", "valueMaps")}
for path in template_files:
    with open(path, encoding="utf-8") as f:
        source = f.read()
    result = api.call("configuration.import", {"format": "yaml", "source": source, "rules": rules})
    if result is not True:
        fail("importing %s answered %r" % (path, result))
    print("imported", path)

templates = {t["host"]: t["templateid"] for t in
             api.call("template.get", {"output": ["host"], "filter": {"host": ["orbenix exporter", "orbenix external check"]}})}
if len(templates) != 2:
    raise RuntimeError("the templates are not both there after the import: %s" % templates)
group = api.call("hostgroup.create", {"name": "orbenix test"})["groupids"][0]


def macros(**values):
    return [{"macro": "{$ORBENIX.%s}" % name.replace("_", "."), "value": value} for name, value in values.items()]


# Intervals and the failure count stay as the templates say, apart from the
# intervals, shortened on the hosts.
short = dict(PROBE_INTERVAL="2s")
hosts = {}
hosts["http"] = api.call("host.create", {
    "host": "orbenix-exporter", "groups": [{"groupid": group}],
    "templates": [{"templateid": templates["orbenix exporter"]}],
    "macros": macros(EXPORTER_URL=exporter_url, EXPORTER_USER=exporter_user, EXPORTER_PASSWORD=exporter_password,
                     DISCOVERY_INTERVAL="2s", **short)})["hostids"][0]
external_hosts = {}
for name, _, _ in SERVERS:
    external_hosts[name] = api.call("host.create", {
        "host": "vps-" + name, "groups": [{"groupid": group}],
        # An external check needs a host interface, though it does not use it.
        "interfaces": [{"type": 1, "main": 1, "useip": 1, "ip": "127.0.0.1", "dns": "", "port": "10050"}],
        "templates": [{"templateid": templates["orbenix external check"]}],
        "macros": macros(PARAMETER_FILE="%s/%s.parameter" % (params_dir, name), **short)})["hostids"][0]


def items_of(hostids):
    return api.call("item.get", {"hostids": hostids, "output": ["hostid", "key_", "lastvalue", "lastclock", "state", "error"],
                                 "filter": {"status": 0}})


def expected_keys():
    """(hostid, key) of every item that must get a value."""
    keys = []
    for name, up, _ in SERVERS:
        http_keys = ["orbenix.probe.success[%s]" % name, "orbenix.probe.duration[%s]" % name]
        external_keys = ["orbenix.probe.success", "orbenix.result"]
        if up != "-":
            http_keys.append("orbenix.up[%s]" % name)
            external_keys.append("orbenix.up")
        else:
            http_keys += ["orbenix.error.kind[%s]" % name, "orbenix.error.number[%s]" % name]
        if up == "1":
            http_keys += ["orbenix.%s.%s[%s]" % (w, p, name) for w, p in USAGE_KEYS]
            external_keys += ["orbenix.%s.%s" % (w, p) for w, p in USAGE_KEYS]
        keys += [(hosts["http"], k) for k in http_keys]
        keys += [(external_hosts[name], k) for k in external_keys]
    return keys


def expected_problems():
    names = set()
    for name, _, problem in SERVERS:
        if problem is None:
            continue
        tail = problem + (FAILURE_TEXT["http"] if problem.startswith("probe failing") else "")
        names.add((hosts["http"], "Server %s: %s" % (name, tail)))
        tail = problem + (FAILURE_TEXT["external"] if problem.startswith("probe failing") else "")
        names.add((external_hosts[name], "Server: " + tail))
    return names


all_hosts = [hosts["http"]] + list(external_hosts.values())


waiting_for = []


def recorded():
    items = {(i["hostid"], i["key_"]): i for i in items_of(all_hosts)}
    waiting_for[:] = ["no value: host %s %s" % k for k in expected_keys() if k not in items or items[k]["lastclock"] == "0"]
    problems = {(p["hostid"], p["name"]) for p in problems_with_hosts()}
    waiting_for.extend("no problem: host %s %r" % p for p in sorted(expected_problems() - problems))
    return None if waiting_for else (items, problems)


def problems_with_hosts():
    found = []
    triggers = {t["triggerid"]: t["hosts"][0]["hostid"] for t in api.call("trigger.get", {
        "hostids": all_hosts, "output": ["triggerid"], "selectHosts": ["hostid"]})}
    for p in api.call("problem.get", {"hostids": all_hosts, "output": ["name", "objectid", "clock"]}):
        found.append({"hostid": triggers.get(p["objectid"], "?"), "name": p["name"], "clock": int(p["clock"])})
    return found


start = time.monotonic()
DEADLINE = start + 120
try:
    items, problems = wait_for("every value and problem", recorded, 2.0)
except RuntimeError as error:
    print(error)
    for line in waiting_for:
        print("  " + line)
    for i in items_of(all_hosts):
        print("  item", i["hostid"], i["key_"], repr(i["lastvalue"]), i["lastclock"], i["state"], i["error"])
    for r in api.call("discoveryrule.get", {"hostids": all_hosts, "output": ["key_", "state", "error"]}):
        print("  discovery", r["key_"], r["state"], r["error"])
    for p in problems_with_hosts():
        print("  problem", p["hostid"], p["name"])
    sys.exit(1)
print("every value and problem recorded after %.0f s" % (time.monotonic() - start))

def from_exporter(path):
    """The exporter's answer, with the same user and password as Zabbix."""
    login = base64.b64encode(("%s:%s" % (exporter_user, exporter_password)).encode()).decode()
    request = urllib.request.Request(exporter_url + path, headers={"Authorization": "Basic " + login})
    return urllib.request.urlopen(request, timeout=30)


# Discovery: one probe item a target the exporter lists on /sd.
with from_exporter("/sd") as answer:
    targets = sorted(t for group_ in json.load(answer) for t in group_["targets"])
discovered = sorted(k[len("orbenix.probe["):-1] for (h, k) in items if h == hosts["http"] and k.startswith("orbenix.probe["))
print("discovered:", discovered)
if discovered != targets:
    fail("discovered %s, the exporter lists %s" % (discovered, targets))
prototypes = api.call("itemprototype.get", {"hostids": hosts["http"], "output": ["key_"]})
for name in targets:
    made = [k for (h, k) in items if h == hosts["http"] and k.endswith("[%s]" % name)]
    if len(made) != len(prototypes):
        fail("%s: %d items discovered from %d prototypes" % (name, len(made), len(prototypes)))


def same(recorded_value, told):
    try:
        return abs(float(recorded_value) - float(told)) <= 1e-6 * max(1.0, abs(float(told)))
    except ValueError:
        return recorded_value == told


def exporter_samples(name):
    with from_exporter("/probe?target=" + name) as answer:
        text = answer.read().decode()
    samples = {}
    for line in text.splitlines():
        if line and not line.startswith("#"):
            metric, value = line.rsplit(" ", 1)
            samples[metric] = value
    return samples


def plugin_answer(name):
    run = subprocess.run(["runuser", "-u", plugin_user, "--", plugin, "--parameter-file",
                          "%s/%s.parameter" % (params_dir, name), "--json", "--usage"],
                         capture_output=True, text=True, timeout=60)
    return json.loads(run.stdout)


def compare(where, key, told):
    got = items.get((where, key), {}).get("lastvalue")
    if got is not None and same(got, told):
        print("ok: %s %s = %s" % (where, key, got))
    else:
        fail("host %s %s: Zabbix recorded %r, the check says %r" % (where, key, got, told))


# Values: what Zabbix recorded against the exporter's and the plugin's own answers.
for name, up, _ in SERVERS:
    samples = exporter_samples(name)
    answer = plugin_answer(name)
    told_up = samples.get("solusvm_up", "-")
    if told_up != up:
        fail("%s: the exporter says up %s, the table %s" % (name, told_up, up))
    compare(hosts["http"], "orbenix.probe.success[%s]" % name, samples["solusvm_probe_success"])
    compare(external_hosts[name], "orbenix.probe.success", "1" if up != "-" else "0")
    compare(external_hosts[name], "orbenix.result", answer["result"])
    if up != "-":
        compare(hosts["http"], "orbenix.up[%s]" % name, told_up)
        compare(external_hosts[name], "orbenix.up", "1" if answer["verdict"] else "0")
    else:
        info = [m for m in samples if m.startswith("solusvm_probe_error_info{")][0]
        compare(hosts["http"], "orbenix.error.kind[%s]" % name, info.split('kind="')[1].split('"')[0])
        compare(hosts["http"], "orbenix.error.number[%s]" % name, info.split('number="')[1].split('"')[0])
    if up == "1":
        for word, part in USAGE_KEYS:
            told = float(samples["solusvm_%s_%s" % (word, EXPORTER_METRIC[part])])
            compare(hosts["http"], "orbenix.%s.%s[%s]" % (word, part, name), told * 100 if part == "pused" else told)
            field = answer["usage"][PLUGIN_FIELD[word]]["percent" if part == "pused" else part]
            compare(external_hosts[name], "orbenix.%s.%s" % (word, part), field)

# Problems: exactly the topmost of each chain, nothing else.
problems = {(p["hostid"], p["name"]) for p in problems_with_hosts()}
for extra in sorted(problems - expected_problems()):
    fail("problem that should not be there: host %s %r" % extra)
for where, name in sorted(expected_problems()):
    print("ok: problem on host %s: %s" % (where, name))
# "Probe failing" waits for three failed checks in a row ({$ORBENIX.PROBE.FAILURES}
# is #3): its problem is not older than the third failed value.
success_items = {(i["hostid"], i["key_"]): i["itemid"] for i in items_of(all_hosts)}
for where, key in [(hosts["http"], "orbenix.probe.success[panel-error]"),
                   (external_hosts["panel-error"], "orbenix.probe.success")]:
    values = api.call("history.get", {"itemids": [success_items[(where, key)]], "history": 3,
                                      "output": ["clock", "value"], "sortfield": "clock", "sortorder": "ASC"})
    opened = [p["clock"] for p in problems_with_hosts() if p["hostid"] == where and "probe failing" in p["name"]]
    if len(values) < 3 or not opened or opened[0] < int(values[2]["clock"]):
        fail("host %s: probe failing opened at %s, the failed checks came at %s"
             % (where, opened, [v["clock"] for v in values]))
    else:
        print("ok: host %s: probe failing opened after the third failed check" % where)
# The chain's lower triggers are true on their own but stay hidden: the
# over-quota server's bandwidth is over both thresholds.
over_quota = api.call("trigger.get", {"hostids": [hosts["http"], external_hosts["over-quota"]], "output": ["description", "value"],
                                      "expandDescription": True, "search": {"description": "bandwidth over"}})
hidden = [t for t in over_quota if "over-quota" in t["description"] or t["description"].startswith("Server: ")]
if len(hidden) != 4 or any(t["value"] != "0" for t in hidden):
    fail("the over-quota server's bandwidth triggers: %s" % hidden)

print("%d failures" % len(failures))
sys.exit(1 if failures else 0)
