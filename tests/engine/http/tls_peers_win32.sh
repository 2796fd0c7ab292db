#!/usr/bin/env bash
# Test fixture for the Schannel tests (runs natively, on the Linux side):
# makes a private CA and server certificates with openssl, and runs nginx on
# free loopback ports with one server per certificate/protocol case, and
# openssl s_server for a handshake that requires a client certificate.
# usage: tls_peers_win32.sh start|stop DIR
# DIR/ports holds "name port" lines, DIR/ca.pem the private CA.
set -euo pipefail
action=$1
dir=$2

stop() {
  for pidfile in "$dir/nginx.pid" "$dir/s_server.pid"; do
    [ -f "$pidfile" ] || continue
    pid=$(cat "$pidfile")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rm -f "$pidfile"
  done
}

if [ "$action" = stop ]; then stop; exit 0; fi

stop
rm -rf "$dir"
mkdir -p "$dir/www" "$dir/ca"
cd "$dir"

quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; "$@"; }; }

# The private CA and the server certificates.
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
  -subj "/CN=orbenix test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign"
touch ca/index.txt
echo 1000 > ca/serial
cat > ca.cnf <<EOF
[ca]
default_ca = test_ca
[test_ca]
dir = $dir/ca
database = \$dir/index.txt
serial = \$dir/serial
new_certs_dir = \$dir
certificate = $dir/ca.pem
private_key = $dir/ca.key
default_md = sha256
policy = any
unique_subject = no
copy_extensions = copy
[any]
commonName = supplied
EOF
issue() {  # name CN SAN [startdate enddate]
  local name=$1 cn=$2 san=$3
  quiet openssl req -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" \
    -subj "/CN=$cn" -addext "subjectAltName=$san" -addext "extendedKeyUsage=serverAuth"
  if [ $# -ge 5 ]; then
    quiet openssl ca -batch -config ca.cnf -in "$name.csr" -out "$name.pem" -notext \
      -startdate "$4" -enddate "$5"
  else
    quiet openssl ca -batch -config ca.cnf -in "$name.csr" -out "$name.pem" -notext -days 825
  fi
}
issue good localhost "DNS:localhost,IP:127.0.0.1,IP:::1"
issue wrongname other.example "DNS:other.example,IP:127.0.0.2"
issue expired localhost "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20210101000000Z
# What the certificate event must show for "good", as openssl prints it.
openssl x509 -in good.pem -noout -startdate -enddate > good.dates
openssl x509 -in good.pem -outform DER -out good.der
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout selfsigned.key -out selfsigned.pem \
  -days 825 -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"

# 1 MiB of a known pattern for the many-records case.
python3 -c "
import sys
line = b''.join(bytes([48 + i % 10]) for i in range(63)) + b'\n'
sys.stdout.buffer.write(line * 16384)" > www/big

names=(good tls12 tls13 tls11 selfsigned expired wrongname clientcert_optional clientcert_required clientcert_refused)
mapfile -t ports < <(python3 -c "
import socket
socks = [socket.socket() for _ in range(${#names[@]})]
for s in socks: s.bind(('127.0.0.1', 0))
print('\n'.join(str(s.getsockname()[1]) for s in socks))")

server() {  # name port cert protocols [extra]
  cat <<EOF
  server {
    listen 127.0.0.1:$2 ssl;
    $( [ "$1" = good ] && echo "listen [::1]:$2 ssl;" )
    ssl_certificate $dir/$3.pem;
    ssl_certificate_key $dir/$3.key;
    ssl_protocols $4;
    ${5:-}
    root $dir/www;
    client_max_body_size 4m;
    location = / { return 200 "sni=\$ssl_server_name proto=\$ssl_protocol"; }
    location = /post { return 200 "posted"; }
    location = /big { }
  }
EOF
}
{
  cat <<EOF
pid $dir/nginx.pid;
error_log $dir/error.log;
worker_processes 1;
events { worker_connections 64; }
http {
  access_log $dir/access.log;
  client_body_temp_path $dir/body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
  default_type text/plain;
EOF
  server good "${ports[0]}" good "TLSv1.2 TLSv1.3"
  server tls12 "${ports[1]}" good "TLSv1.2"
  server tls13 "${ports[2]}" good "TLSv1.3"
  server tls11 "${ports[3]}" good "TLSv1.1" "ssl_ciphers DEFAULT@SECLEVEL=0;"
  server selfsigned "${ports[4]}" selfsigned "TLSv1.2 TLSv1.3"
  server expired "${ports[5]}" expired "TLSv1.2 TLSv1.3"
  server wrongname "${ports[6]}" wrongname "TLSv1.2 TLSv1.3"
  # Servers that send a CertificateRequest: one takes a handshake without a
  # client certificate, one refuses it.
  server clientcert_optional "${ports[7]}" good "TLSv1.2 TLSv1.3" \
    "ssl_verify_client optional_no_ca; ssl_client_certificate $dir/ca.pem;"
  server clientcert_required "${ports[8]}" good "TLSv1.2 TLSv1.3" \
    "ssl_verify_client on; ssl_client_certificate $dir/ca.pem;"
  echo "}"
} > nginx.conf

: > ports
for i in "${!names[@]}"; do echo "${names[$i]} ${ports[$i]}" >> ports; done

nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log"
# nginx completes a handshake without the certificate it requires and then
# answers 400; a server that ends the handshake instead is OpenSSL's own.
openssl s_server -quiet -accept "127.0.0.1:${ports[9]}" -cert good.pem -key good.key \
  -CAfile ca.pem -Verify 1 -www </dev/null >s_server.log 2>&1 &
echo $! > s_server.pid
for _ in $(seq 100); do
  ready=1
  for port in "${ports[@]}"; do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || ready=0
  done
  [ $ready = 1 ] && exit 0
  sleep 0.1
done
echo "nginx did not start listening; see $dir/error.log" >&2
cat "$dir/error.log" >&2
exit 1
