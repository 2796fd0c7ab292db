#!/usr/bin/env bash
# Starts and stops the real proxies of the proxy tests on 127.0.0.1 (a ctest
# fixture; runs natively, also for the Windows tests under Wine).
#   proxies_fixture.sh start STATE_DIR   configs, proxies on free ports,
#                                        STATE_DIR/proxies.env with ports and logs
#   proxies_fixture.sh stop STATE_DIR    stops every proxy by its PID
# tinyproxy: "web" without and "webauth" with BasicAuth (CONNECT and relay);
# microsocks: "socks" without and "socksauth" with -u/-P (SOCKS5);
# dante: "dante" without authentication (SOCKS4 and SOCKS5); socks4a_proxy.py:
# "socks_own" (SOCKS4 and SOCKS4a, for the command-line checks). Every proxy
# reaches loopback targets only and logs what it carried. The panel stand-in
# behind them is an nginx of its own (tests/support/nginx_fixture.sh) in
# STATE_DIR/nginx.
set -euo pipefail
action=${1:?start or stop}
state=${2:?state dir}
user=pxuser
password=secret

alive() {  # pid: running and not merely waiting to be reaped
  kill -0 "$1" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null
}

stop() {
  for pidfile in "$state"/*.pid; do
    [[ -f $pidfile ]] || continue
    pid=$(cat "$pidfile")
    if [[ -n $pid ]]; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do alive "$pid" || break; sleep 0.1; done
    fi
    rm -f "$pidfile"
  done
}

here=$(cd "$(dirname "$0")" && pwd)
if [[ $action == stop ]]; then
  stop
  [[ -d $state/nginx ]] && bash "$here/../nginx_fixture.sh" stop "$state/nginx"
  exit 0
fi
[[ $action == start ]] || { echo "usage: $0 start|stop STATE_DIR" >&2; exit 2; }

stop
[[ -d $state/nginx ]] && bash "$here/../nginx_fixture.sh" stop "$state/nginx"
rm -rf "$state"
mkdir -p "$state"
bash "$here/../nginx_fixture.sh" start "$state/nginx" >/dev/null

read -r web webauth socks socksauth dante socks4a <<<"$(python3 - <<'PY'
import socket
socks = []
for _ in range(6):
    s = socket.socket(); s.bind(("127.0.0.1", 0)); socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
)"

tinyproxy_conf() {  # name port [auth]
  cat <<CONF
Port $2
Listen 127.0.0.1
Timeout 30
MaxClients 50
LogLevel Info
LogFile "$state/$1.log"
PidFile "$state/$1.pid"
Allow 127.0.0.1
CONF
  [[ ${3:-} == auth ]] && echo "BasicAuth $user $password"
  return 0
}
tinyproxy_conf web "$web" > "$state/web.conf"
tinyproxy_conf webauth "$webauth" auth > "$state/webauth.conf"
tinyproxy -c "$state/web.conf"
tinyproxy -c "$state/webauth.conf"

# microsocks has no daemon mode: started in the background, PID kept.
microsocks -i 127.0.0.1 -p "$socks" > "$state/socks.log" 2>&1 &
echo $! > "$state/socks.pid"
microsocks -i 127.0.0.1 -p "$socksauth" -u "$user" -P "$password" > "$state/socksauth.log" 2>&1 &
echo $! > "$state/socksauth.pid"

python3 "$here/socks4a_proxy.py" "$socks4a" "$state/socks4a.log" > /dev/null 2>&1 &
echo $! > "$state/socks4a.pid"

if [[ $(id -u) -eq 0 ]]; then privileged=root; unprivileged=nobody; else privileged=$(id -un); unprivileged=$privileged; fi
cat > "$state/dante.conf" <<CONF
logoutput: $state/dante.log
internal: 127.0.0.1 port = $dante
external: 127.0.0.1
socksmethod: none
clientmethod: none
user.privileged: $privileged
user.unprivileged: $unprivileged
client pass {
  from: 127.0.0.0/8 to: 0.0.0.0/0
  log: connect disconnect error
}
socks pass {
  from: 127.0.0.0/8 to: 127.0.0.0/8
  command: connect
  log: connect disconnect error
}
socks block {
  from: 0.0.0.0/0 to: 0.0.0.0/0
  log: connect error
}
CONF
danted -f "$state/dante.conf" -p "$state/dante.pid" -D

listening() {  # port
  python3 - "$1" <<'PY'
import socket, sys
s = socket.socket()
s.settimeout(0.2)
sys.exit(0 if s.connect_ex(("127.0.0.1", int(sys.argv[1]))) == 0 else 1)
PY
}
for port in "$web" "$webauth" "$socks" "$socksauth" "$dante" "$socks4a"; do
  for _ in $(seq 100); do listening "$port" && break; sleep 0.05; done
  listening "$port" || { echo "no proxy listens on 127.0.0.1:$port" >&2; tail -n 5 "$state"/*.log >&2; exit 1; }
done
for _ in $(seq 50); do [[ -s $state/dante.pid && -s $state/web.pid && -s $state/webauth.pid ]] && break; sleep 0.05; done

cat > "$state/proxies.env" <<ENV
web=$web
webauth=$webauth
socks=$socks
socksauth=$socksauth
dante=$dante
socks_own=$socks4a
user=$user
password=$password
ENV
# The panel stand-in behind the proxies, for the command-line checks.
sed -n 's/^http=/panel_http=/p; s/^good=/panel_https=/p; s/^ca_file=/ca_file=/p' "$state/nginx/nginx.env" >> "$state/proxies.env"
echo "proxies on 127.0.0.1: tinyproxy $web (auth $webauth), microsocks $socks (auth $socksauth), dante $dante, socks4a $socks4a"
