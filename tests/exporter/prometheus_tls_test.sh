#!/usr/bin/env bash
# orbenix-exporter over TLS, on loopback, with certificates made here by the
# openssl CLI: one exporter with the sample web configuration (TLS and the
# sample's basic_auth user), one that asks for a client certificate
# (RequireAndVerifyClientCert). First a table of answers made with curl, then
# the real Prometheus scrapes both: with the password (the contrib job over
# https) and with a client certificate it is up; with a wrong password and
# without a certificate it is down, and its last error says why.
#   usage: prometheus_tls_test.sh EXPORTER SOURCE_DIR WORK_DIR DEMO_PANEL_PORTS
set -euo pipefail
exporter=$1 source=$2 work=$3 ports_file=$4
prometheus=$(command -v prometheus || echo /usr/bin/prometheus)
[ -x "$prometheus" ] || { echo "prometheus is not installed (apt-get install prometheus)"; exit 1; }
command -v curl >/dev/null || { echo "curl is not installed (apt-get install curl)"; exit 1; }
. "$ports_file"

rm -rf "$work" && mkdir -p "$work/keys"
password_pid= cert_pid= prometheus_pid=
stop() {
  for pid in $prometheus_pid $password_pid $cert_pid; do
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
}
trap stop EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
password_port=$(free_port)
cert_port=$(free_port)
prometheus_port=$(free_port)

# A CA; the server's certificate for 127.0.0.1 (IP SAN); a client certificate
# from the same CA, and one from a CA of its own that the exporter does not know.
(cd "$work" && umask 077
 ec() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "$@" 2>/dev/null; }
 sign() {  # NAME EXTENSIONS
   printf '%s\n' "$2" >"$1.ext"
   openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out "$1.pem" -extfile "$1.ext" 2>/dev/null
 }
 ec -x509 -days 2 -keyout ca.key -out ca.pem -subj /CN=orbenix-test-ca
 ec -keyout server.key -out server.csr -subj /CN=127.0.0.1
 sign server $'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth'
 ec -keyout client.key -out client.csr -subj /CN=prometheus
 sign client $'subjectAltName=DNS:prometheus\nextendedKeyUsage=clientAuth'
 ec -x509 -days 2 -keyout stranger.key -out stranger.pem -subj /CN=stranger
 chmod 0644 ./*.pem)
for file in ca.pem server.pem server.key client.pem client.key stranger.pem; do
  [ -s "$work/$file" ] || { echo "openssl made no $file"; exit 1; }
done

# The sample configuration, once a listener, pointed at this run's ports.
(umask 077
 for key in online offline busy wrong; do echo "$key" >"$work/keys/$key.key"; done
 echo demo-hash >"$work/keys/demo.hash")
for name in password cert; do
  port=$password_port
  [ $name = cert ] && port=$cert_port
  sed -e "s|127.0.0.1:8080|127.0.0.1:$HTTP_PORT|; s|127.0.0.1:9798|127.0.0.1:$port|" \
    "$source/contrib/prometheus/orbenix-exporter.toml" >"$work/$name.toml"
done
# The sample web configuration as it is (its user is prometheus, password
# change-me), with this run's certificate; and one for client certificates.
sed -e "s|/etc/orbenix-exporter/tls/server.pem|$work/server.pem|; s|/etc/orbenix-exporter/tls/server.key|$work/server.key|" \
  "$source/contrib/prometheus/web-config.yml" >"$work/web-password.yml"
cat >"$work/web-cert.yml" <<EOF
tls_server_config:
  cert_file: $work/server.pem
  key_file: $work/server.key
  client_auth_type: RequireAndVerifyClientCert
  client_ca_file: $work/ca.pem
EOF

"$exporter" --config "$work/password.toml" --web.config.file "$work/web-password.yml" >"$work/password.log" 2>&1 &
password_pid=$!
"$exporter" --config "$work/cert.toml" --web.config.file "$work/web-cert.yml" >"$work/cert.log" 2>&1 &
cert_pid=$!
for name in password cert; do
  for _ in $(seq 1 100); do grep -q 'listening on https://' "$work/$name.log" && break; sleep 0.1; done
  grep -q 'listening on https://' "$work/$name.log" || { echo "the $name exporter did not start:"; cat "$work/$name.log"; exit 1; }
done

# --- Answers over TLS, made with curl ------------------------------------------
# Each row: NAME PORT EXPECTED CURL-ARGUMENTS... where EXPECTED is an HTTP
# status, optionally with "+HEADER-REGEX" the answer's head must match, or
# "refused:REGEX" for a handshake curl gives up on with that error.
failures=0
row() {
  local name=$1 port=$2 expected=$3
  shift 3
  local status rc=0
  status=$(curl -sS --max-time 10 --cacert "$work/ca.pem" -D "$work/head" -o /dev/null -w '%{http_code}' \
           "$@" "https://127.0.0.1:$port${path:-/metrics}" 2>"$work/curl.err") || rc=$?
  local error
  error=$(tr -d '\r' <"$work/curl.err")
  case $expected in
    refused:*)
      if [ "$rc" -ne 0 ] && [ "$status" = 000 ] && grep -Eq "${expected#refused:}" <<<"$error"; then
        echo "ok: $name: refused ($error)"
      else
        echo "FAILED: $name: status $status, curl $rc '$error', not refused with /${expected#refused:}/"
        failures=$((failures + 1))
      fi ;;
    *)
      local want=${expected%%+*} header=
      [ "$want" = "$expected" ] || header=${expected#*+}
      if [ "$status" = "$want" ] && { [ -z "$header" ] || tr -d '\r' <"$work/head" | grep -Eiq "$header"; }; then
        echo "ok: $name: $status${header:+ with /$header/}"
      else
        echo "FAILED: $name: status $status (curl $rc '$error'), not $want${header:+ with /$header/}"
        tr -d '\r' <"$work/head" | sed 's/^/    /'
        failures=$((failures + 1))
      fi ;;
  esac
}
P=$password_port C=$cert_port
right=(-u prometheus:change-me)
client=(--cert "$work/client.pem" --key "$work/client.key")
path=/metrics
row "no credentials"                 $P '401+^WWW-Authenticate: Basic'
row "a wrong user"                   $P '401+^WWW-Authenticate: Basic' -u scraper:change-me
row "a wrong password"               $P '401+^WWW-Authenticate: Basic' -u prometheus:change-you
row "an empty password"              $P 401 -u prometheus:
row "the right user and password"    $P '200+^Content-Type: text/plain; version=0.0.4' "${right[@]}"
row "the sample's headers on a 200"  $P '200+^X-Content-Type-Options: nosniff' "${right[@]}"
row "the sample's headers on a 401"  $P '401+^X-Frame-Options: deny'
row "TLS 1.1 (min_version TLS12)"    $P 'refused:alert protocol version' "${right[@]}" --tlsv1.1 --tls-max 1.1 --ciphers DEFAULT@SECLEVEL=0
row "TLS 1.2"                        $P 200 "${right[@]}" --tlsv1.2 --tls-max 1.2
row "TLS 1.3"                        $P 200 "${right[@]}" --tlsv1.3
row "a client certificate"           $C 200 "${client[@]}"
row "no client certificate, TLS 1.3" $C 'refused:alert certificate required' --tlsv1.3
row "no client certificate, TLS 1.2" $C 'refused:alert handshake failure' --tls-max 1.2
row "a certificate of another CA"    $C 'refused:alert unknown ca' --cert "$work/stranger.pem" --key "$work/stranger.key"
row "a password instead of a certificate" $C 'refused:alert certificate required' "${right[@]}" --tlsv1.3
path=/probe?target=online
row "a probe without credentials"    $P '401+^WWW-Authenticate: Basic'
row "a probe with them"              $P 200 "${right[@]}"
path=/-/reload
row "POST /-/reload without credentials" $P '401+^WWW-Authenticate: Basic' -X POST
row "POST /-/reload, a wrong password"   $P 401 -X POST -u prometheus:change-you
row "POST /-/reload, the right one"      $P 200 -X POST "${right[@]}"
row "POST /-/reload, no certificate"     $C 'refused:alert certificate required' -X POST --tlsv1.3
row "POST /-/reload, a certificate"      $C 200 -X POST "${client[@]}"
path=/metrics
row "after the reload, no credentials"   $P 401
row "after the reload, the right ones"   $P 200 "${right[@]}"

# A renewed certificate on disk and a new password: a web configuration with
# a key this exporter does not support is refused on reload, and the one
# before stays, its certificate included; the good one brings both.
served_serial() {
  openssl s_client -connect "127.0.0.1:$1" -CAfile "$work/ca.pem" </dev/null 2>/dev/null | openssl x509 -noout -serial
}
old_serial=$(served_serial $P)
(cd "$work" && umask 077
 openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout renewed.key -out renewed.csr -subj /CN=127.0.0.1 2>/dev/null
 openssl x509 -req -in renewed.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out renewed.pem -extfile server.ext 2>/dev/null
 chmod 0644 renewed.pem && mv renewed.pem server.pem && mv renewed.key server.key)
new_serial=$(openssl x509 -noout -serial -in "$work/server.pem")
# htpasswd -nbBC 10 prometheus renewed-secret
renewed='$2y$10$uArIRLvZAUDZtrl9/EzoS..yCeRxEoxR5wQhQra.Qh.tF.fuUtQyS'
sed -e "s|^\(  prometheus: \).*|\1$renewed|" "$work/web-password.yml" >"$work/web-password.good"
sed -e '/min_version: TLS12/a\  cipher_suites: [TLS_AES_128_GCM_SHA256]' "$work/web-password.good" >"$work/web-password.yml"
path=/-/reload
row "POST /-/reload, an unsupported key"    $P '500+^Content-Type: text/plain' -X POST "${right[@]}"
path=/metrics
row "after a refused reload, the password before" $P 200 "${right[@]}"
row "after a refused reload, the new password"    $P 401 -u prometheus:renewed-secret
if [ "$(served_serial $P)" = "$old_serial" ]; then echo "ok: after a refused reload, the certificate before"
else echo "FAILED: after a refused reload the exporter serves $(served_serial $P), not $old_serial"; failures=$((failures + 1)); fi
mv "$work/web-password.good" "$work/web-password.yml"
path=/-/reload
row "POST /-/reload, the good one"          $P 200 -X POST "${right[@]}"
path=/metrics
row "after the reload, the password before" $P 401 "${right[@]}"
row "after the reload, the new password"    $P 200 -u prometheus:renewed-secret
if [ "$(served_serial $P)" = "$new_serial" ] && [ "$new_serial" != "$old_serial" ]; then echo "ok: after the reload, the renewed certificate"
else echo "FAILED: after the reload the exporter serves $(served_serial $P), not the renewed $new_serial"; failures=$((failures + 1)); fi
[ "$failures" -eq 0 ] || { tail -n 5 "$work/password.log" "$work/cert.log"; exit 1; }

# --- The real Prometheus -------------------------------------------------------
# The contrib job over https as it is, pointed at this run's files and port;
# then /metrics with a client certificate, with a wrong password and without
# a certificate. The password is the one of the last reload.
echo renewed-secret >"$work/password"
echo change-you >"$work/wrong-password"
chmod 0600 "$work/password" "$work/wrong-password"
{
  printf 'global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\nscrape_configs:\n'
  sed -n '/- job_name: solusvm-https/,/^  - job_name: /p' "$source/contrib/prometheus/prometheus.yml" |
    sed -e '2,$ {/^  - job_name: /d}' -e "s|scrape_interval: 60s|scrape_interval: 1s|; s|scrape_timeout: 10s|scrape_timeout: 1s|" \
        -e "s|/etc/prometheus/orbenix-exporter.password|$work/password|; s|/etc/prometheus/orbenix-exporter-ca.pem|$work/ca.pem|" \
        -e "s|127.0.0.1:9798|127.0.0.1:$password_port|"
  cat <<EOF
  - job_name: client-cert
    scheme: https
    tls_config: {ca_file: $work/ca.pem, cert_file: $work/client.pem, key_file: $work/client.key}
    static_configs: [{targets: ['127.0.0.1:$cert_port']}]
  - job_name: wrong-password
    scheme: https
    basic_auth: {username: prometheus, password_file: $work/wrong-password}
    tls_config: {ca_file: $work/ca.pem}
    static_configs: [{targets: ['127.0.0.1:$password_port']}]
  - job_name: no-client-cert
    scheme: https
    tls_config: {ca_file: $work/ca.pem}
    static_configs: [{targets: ['127.0.0.1:$cert_port']}]
EOF
} >"$work/prometheus.yml"
grep -q 'job_name: solusvm-https' "$work/prometheus.yml" || { echo "no solusvm-https job in contrib/prometheus/prometheus.yml"; exit 1; }

"$prometheus" --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
prometheus_pid=$!

# Prints "JOB INSTANCE HEALTH LAST-ERROR" for every active target.
targets() {
  python3 - "$prometheus_port" <<'PY'
import json, sys, urllib.request
try:
    with urllib.request.urlopen("http://127.0.0.1:%s/api/v1/targets?state=active" % sys.argv[1], timeout=5) as answer:
        for t in json.load(answer)["data"]["activeTargets"]:
            print(t["scrapePool"], t["labels"].get("instance", "-"), t["health"], t["lastError"] or "-")
except Exception:
    pass
PY
}

# Every target scraped at least once (health up or down), within 30 s.
start=$SECONDS
known=0
while [ $((SECONDS - start)) -lt 30 ]; do
  known=$(targets | awk '$3 != "unknown"' | wc -l)
  [ "$known" -ge 7 ] && break
  kill -0 "$prometheus_pid" && kill -0 "$password_pid" && kill -0 "$cert_pid" || break
  sleep 0.5
done
targets | sed 's/^/  /'
[ "$known" -ge 7 ] || { echo "Prometheus scraped $known of 7 targets within 30 s"; tail -n 20 "$work/prometheus.log"; exit 1; }
echo "every target scraped after $((SECONDS - start)) s"

expect() {  # JOB HEALTH LAST-ERROR-REGEX (every target of the job)
  local rows
  rows=$(targets | awk -v j="$1" '$1 == j')
  if [ -n "$rows" ] && ! awk -v h="$2" '$3 != h' <<<"$rows" | grep -q . && grep -Eq -- "$3" <<<"$rows"; then
    echo "ok: $1: $2"
  else
    echo "FAILED: $1: not every target $2 with /$3/:"; echo "$rows"
    failures=$((failures + 1))
  fi
}
expect solusvm-https up ' -$'
expect client-cert up ' -$'
expect wrong-password down '401'
expect no-client-cert down 'tls: .*certificate|handshake'
[ "$(targets | awk '$1 == "solusvm-https"' | wc -l)" -eq 4 ] || { echo "FAILED: the solusvm-https job has not 4 targets"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] || { tail -n 10 "$work/password.log" "$work/cert.log" "$work/prometheus.log"; exit 1; }
