#!/usr/bin/env bash
# Starts and stops nginx on 127.0.0.1 for the HTTP component's TLS tests
# (a ctest fixture; runs natively, also for the Windows tests under Wine).
#   nginx_fixture.sh start STATE_DIR   certificates, config, nginx on free ports,
#                                      STATE_DIR/nginx.env with the ports
#   nginx_fixture.sh stop STATE_DIR    stops nginx by its PID
# Certificates (RSA-2048): a private CA; "good" for localhost and 127.0.0.1
# signed by it; "selfsigned"; "expired" (signed by the CA, ended 2021);
# "wrongname" (signed by the CA, for wrong.invalid only).
# Two more servers with "good" for session resumption: "tls12" (TLS 1.2 only,
# session IDs in a shared cache, no tickets) and "tls13" (TLS 1.3 only,
# tickets). Every TLS server logs "port protocol reused(r or .) uri" to
# STATE_DIR/tls.log.
set -euo pipefail
action=${1:?start or stop}
state=${2:?state dir}

stop() {
  rm -f "$state/nginx.env"  # tests skip rather than meet a stopped nginx
  if [[ -f $state/nginx.pid ]]; then
    pid=$(cat "$state/nginx.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$state/nginx.pid"
  fi
}

if [[ $action == stop ]]; then stop; exit 0; fi

stop
rm -rf "$state"
mkdir -p "$state/certs" "$state/temp"
cd "$state/certs"

quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; "$@"; exit 1; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
  -subj "/CN=orbenix test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign"
leaf() {  # name subject-alt-names [ca-dates...]
  local name=$1 san=$2; shift 2
  quiet openssl req -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" -subj "/CN=$name"
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$san" > "$name.ext"
  if [[ $# -eq 0 ]]; then
    quiet openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial \
      -days 825 -extfile "$name.ext" -out "$name.pem"
  else
    # Explicit validity dates need "openssl ca".
    mkdir -p ca-db && : > ca-db/index.txt && echo 1000 > ca-db/serial
    cat > ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = ca-db/index.txt
serial = ca-db/serial
new_certs_dir = ca-db
certificate = ca.pem
private_key = ca.key
default_md = sha256
policy = any
copy_extensions = none
[any]
commonName = supplied
CNF
    quiet openssl ca -batch -config ca.cnf -in "$name.csr" -out "$name.pem" -notext \
      -extfile "$name.ext" "$@"
  fi
}
leaf good "DNS:localhost,IP:127.0.0.1"
leaf wrongname "DNS:wrong.invalid"
leaf expired "DNS:localhost,IP:127.0.0.1" -startdate 20200101000000Z -enddate 20210101000000Z
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout selfsigned.key -out selfsigned.pem -days 825 \
  -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"

free_ports() {
  python3 - "$1" <<'PY'
import socket, sys
socks = []
for _ in range(int(sys.argv[1])):
    s = socket.socket(); s.bind(("127.0.0.1", 0)); socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
PY
}
read -r http good selfsigned expired wrongname tls12 tls13 <<<"$(free_ports 7)"

answer='<status>success</status><statusmsg>online</statusmsg><vmstat>online</vmstat>'
tls_server() {  # port cert [protocols [more directives]]
  cat <<CONF
  server {
    listen 127.0.0.1:$1 ssl;
    ssl_certificate $state/certs/$2.pem;
    ssl_certificate_key $state/certs/$2.key;
    ssl_protocols ${3:-TLSv1.2 TLSv1.3};
    ${4:-}
    access_log $state/tls.log tls;
    include $state/locations.conf;
  }
CONF
}
cat > "$state/locations.conf" <<CONF
    location / { return 200 '$answer'; }
    location = /redirect { return 302 /api/client/command.php; }
CONF
cat > "$state/nginx.conf" <<CONF
worker_processes 1;
pid $state/nginx.pid;
error_log $state/error.log;
events { worker_connections 256; }
http {
  access_log off;
  log_format tls '\$server_port \$ssl_protocol \$ssl_session_reused \$request_uri';
  client_body_temp_path $state/temp/body;
  proxy_temp_path $state/temp/proxy;
  fastcgi_temp_path $state/temp/fastcgi;
  uwsgi_temp_path $state/temp/uwsgi;
  scgi_temp_path $state/temp/scgi;
  default_type text/xml;
  keepalive_timeout 0;
  server {
    listen 127.0.0.1:$http;
    include $state/locations.conf;
  }
$(tls_server "$good" good)
$(tls_server "$selfsigned" selfsigned)
$(tls_server "$expired" expired)
$(tls_server "$wrongname" wrongname)
$(tls_server "$tls12" good TLSv1.2 "ssl_session_cache shared:tls12:1m; ssl_session_tickets off;")
$(tls_server "$tls13" good TLSv1.3)
}
CONF
nginx -p "$state" -c "$state/nginx.conf" -e "$state/error.log"
for _ in $(seq 100); do [[ -s $state/nginx.pid ]] && break; sleep 0.05; done
[[ -s $state/nginx.pid ]] || { echo "nginx did not start" >&2; cat "$state/error.log" >&2; exit 1; }
cat > "$state/nginx.env" <<ENV
http=$http
good=$good
selfsigned=$selfsigned
expired=$expired
wrongname=$wrongname
tls12=$tls12
tls13=$tls13
ca_file=$state/certs/ca.pem
tls_log=$state/tls.log
ENV
echo "nginx $(cat "$state/nginx.pid") on 127.0.0.1: http $http, https $good $selfsigned $expired $wrongname $tls12 $tls13"
