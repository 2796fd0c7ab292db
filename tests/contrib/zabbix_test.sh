#!/usr/bin/env bash
# A real Zabbix 6.0 server (Debian's zabbix-server-pgsql) runs both templates
# of contrib/zabbix, imported unchanged through its API: the exporter's over
# orbenix-exporter and its /sd, the external check over orbenix-check, both
# against the demo panel. Every part runs from one folder under /tmp and
# starts and stops inside this test: a PostgreSQL cluster on a unix socket,
# the server in the foreground, php-fpm and nginx on 127.0.0.1 for the
# frontend's API, the exporter. zabbix_check.py then compares what Zabbix
# recorded with what the exporter and the plugin say.
#   zabbix_test.sh EXPORTER PLUGIN [DEMO_PANEL_PORTS]
# Skips (77) without root or without the packages.
set -euo pipefail
exporter=$(realpath "$1")
plugin=$(realpath "$2")
ports_file=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
pg_bin=/usr/lib/postgresql/15/bin
php_fpm=$(command -v php-fpm8.2 || echo /usr/sbin/php-fpm8.2)
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "needs root: the server starts as root and drops to the user zabbix"
for need in /usr/sbin/zabbix_server:zabbix-server-pgsql "$pg_bin/initdb":postgresql \
            "$php_fpm":php-fpm /usr/share/zabbix/api_jsonrpc.php:zabbix-frontend-php /usr/sbin/nginx:nginx-light; do
  [ -e "${need%%:*}" ] || skip "needs ${need%%:*} (Debian package ${need#*:}; scripts/install-deps.sh installs it)"
done
php -r "exit(extension_loaded('pgsql') ? 0 : 1);" || skip "needs PHP's pgsql module (Debian package php-pgsql)"
{ id zabbix && id postgres; } >/dev/null 2>&1 || skip "needs the users zabbix and postgres"

work=$(mktemp -d /tmp/orbenix-zabbix.XXXXXX)
chmod 0755 "$work"
pids=()   # name=pid of each part, stopped in reverse order
started() { pids+=("$1=$2"); }

stop_pid() {  # NAME PID: TERM, at most 30 s, then KILL
  local name=$1 pid=$2
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  echo "$name did not stop within 30 s" >&2
  kill -KILL "$pid" 2>/dev/null || true
}

cleanup() {
  local code=$? i entry
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    entry=${pids[i]}
    stop_pid "${entry%%=*}" "${entry#*=}"
  done
  if [ -s "$work/pg/data/postmaster.pid" ]; then
    runuser -u postgres -- "$pg_bin/pg_ctl" -D "$work/pg/data" -m fast -t 30 -w stop >/dev/null 2>&1 || true
  fi
  [ -n "$own_panel" ] && bash "$source_dir/tests/support/demo_panel_stop.sh" "$work/panel" >/dev/null 2>&1
  # Anything still running from the folder, or as the server's user, is ours.
  local left
  mapfile -t left < <({ pgrep -f -- "$work"; pgrep -u zabbix; } 2>/dev/null | sort -u || true)
  if [ ${#left[@]} -gt 0 ]; then
    echo "FAIL: processes left behind:" >&2
    ps -o pid=,user=,args= -p "$(IFS=,; echo "${left[*]}")" >&2 || true
    kill -KILL "${left[@]}" 2>/dev/null || true
    code=1
  fi
  if [ "$code" -ne 0 ]; then
    for log in zabbix/server.log php/error.log php/php.log nginx/error.log exporter.log pg/log; do
      [ -s "$work/$log" ] && { echo "--- $log" >&2; tail -n 30 "$work/$log" >&2; }
    done
  fi
  if [ "$code" -ne 0 ] && [ "${ORBENIX_KEEP_ZABBIX_DIR:-}" = 1 ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
  exit "$code"
}
own_panel=
trap cleanup EXIT
# A signal (ctest's or a user's) still stops every part.
trap 'exit 143' TERM INT HUP

# A free port on 127.0.0.1; the Zabbix server takes only 1024 to 32767.
free_port() {
  python3 - <<'PY'
import random, socket
for _ in range(200):
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", random.randint(20000, 32767)))
    except OSError:
        continue
    print(s.getsockname()[1])
    break
PY
}
# Waits (at most SECONDS) until "$@" succeeds.
wait_until() {
  local seconds=$1; shift
  local end=$((SECONDS + seconds))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.2
  done
}
listens() { python3 -c 'import socket,sys; socket.create_connection(("127.0.0.1",int(sys.argv[1])),1)' "$1"; }

# The demo panel: the shared one when ctest gives its ports, else our own.
if [ -z "$ports_file" ]; then
  bash "$source_dir/tests/support/demo_panel_start.sh" "$work/panel"
  own_panel=1
  ports_file=$work/panel/ports
fi
# shellcheck disable=SC1090
. "$ports_file"

# PostgreSQL on a unix socket in the folder only, its own cluster.
pg_port=$(free_port)
mkdir -m 0700 "$work/pg" && chown postgres: "$work/pg"
runuser -u postgres -- "$pg_bin/initdb" -D "$work/pg/data" -U zabbix --auth=trust -E UTF8 --no-locale >"$work/pg/initdb.log" 2>&1 ||
  { cat "$work/pg/initdb.log" >&2; fail "initdb"; }
chmod 0755 "$work/pg"   # the socket folder, for the server and php-fpm
runuser -u postgres -- "$pg_bin/pg_ctl" -D "$work/pg/data" -l "$work/pg/log" -w -t 60 \
  -o "-c listen_addresses='' -c unix_socket_directories='$work/pg' -p $pg_port -c fsync=off -c full_page_writes=off" start >/dev/null ||
  fail "PostgreSQL did not start within 60 s"
psql=(psql -X -q -h "$work/pg" -p "$pg_port" -U zabbix -v ON_ERROR_STOP=1)
"${psql[@]}" -d postgres -c 'CREATE DATABASE zabbix'
for part in schema images data; do
  zcat "/usr/share/zabbix-server-pgsql/$part.sql.gz" | "${psql[@]}" -d zabbix >/dev/null || fail "loading the $part of the Zabbix schema"
done
# The server's own host, which the data brings, stays unmonitored: no agent runs.
"${psql[@]}" -d zabbix -c "UPDATE hosts SET status = 1 WHERE host = 'Zabbix server'"

# The server, as the user zabbix, only on 127.0.0.1, with a check folder of ours.
zabbix_port=$(free_port)
mkdir -m 0755 "$work/zabbix" "$work/externalscripts" "$work/params"
chown zabbix: "$work/zabbix"
ln -s "$plugin" "$work/externalscripts/check_orbenix"
for key in online offline busy over-quota panel-error; do
  panel_key=$key
  [ "$key" = panel-error ] && panel_key=wrong
  printf '#URL=http://127.0.0.1:%s/#KEY=%s#HSH=demo-hash#PRU=F#\n' "$HTTP_PORT" "$panel_key" >"$work/params/$key.parameter"
  chown root:zabbix "$work/params/$key.parameter"
  chmod 0640 "$work/params/$key.parameter"
done
cat >"$work/zabbix/zabbix_server.conf" <<CONF
LogFile=$work/zabbix/server.log
LogFileSize=0
PidFile=$work/zabbix/server.pid
SocketDir=$work/zabbix
DBHost=$work/pg
DBPort=$pg_port
DBName=zabbix
DBUser=zabbix
ListenIP=127.0.0.1
ListenPort=$zabbix_port
User=zabbix
ExternalScripts=$work/externalscripts
Timeout=30
CacheUpdateFrequency=1
HousekeepingFrequency=0
StartPollers=4
StartPollersUnreachable=1
StartPreprocessors=2
StartTrappers=1
StartPingers=0
StartDiscoverers=0
StartHTTPPollers=0
StartLLDProcessors=1
StartAlerters=1
StartEscalators=1
StartTimers=1
StartHistoryPollers=1
StartReportWriters=0
StartODBCPollers=0
CONF
/usr/sbin/zabbix_server -f -c "$work/zabbix/zabbix_server.conf" >"$work/zabbix/foreground.log" 2>&1 </dev/null &
started zabbix_server $!

# The frontend's API: a copy of the frontend with our zabbix.conf.php,
# php-fpm and nginx on 127.0.0.1.
fpm_port=$(free_port)
web_port=$(free_port)
cp -a /usr/share/zabbix "$work/web"
# Debian's frontend reads /etc/zabbix/zabbix.conf.php; this copy reads ours.
sed -i "s|'/etc/zabbix/zabbix.conf.php'|'$work/web/conf/zabbix.conf.php'|" "$work/web/include/classes/core/CConfigFile.php"
grep -q "$work/web/conf/zabbix.conf.php" "$work/web/include/classes/core/CConfigFile.php" || fail "the frontend's configuration path was not found"
cat >"$work/web/conf/zabbix.conf.php" <<PHP
<?php
\$DB['TYPE'] = 'POSTGRESQL';
\$DB['SERVER'] = '$work/pg';
\$DB['PORT'] = '$pg_port';
\$DB['DATABASE'] = 'zabbix';
\$DB['USER'] = 'zabbix';
\$DB['PASSWORD'] = '';
\$DB['SCHEMA'] = '';
\$DB['ENCRYPTION'] = false;
\$DB['DOUBLE_IEEE754'] = true;
\$ZBX_SERVER = '127.0.0.1';
\$ZBX_SERVER_PORT = '$zabbix_port';
\$ZBX_SERVER_NAME = 'orbenix test';
\$IMAGE_FORMAT_DEFAULT = IMAGE_FORMAT_PNG;
PHP
mkdir -m 0755 "$work/php" "$work/nginx"
cat >"$work/php/php-fpm.conf" <<CONF
[global]
pid = $work/php/php-fpm.pid
error_log = $work/php/error.log
daemonize = no
[api]
user = www-data
group = www-data
listen = 127.0.0.1:$fpm_port
pm = static
pm.max_children = 2
catch_workers_output = yes
php_admin_value[error_log] = $work/php/php.log
php_admin_flag[log_errors] = on
php_admin_value[memory_limit] = 256M
php_admin_value[max_execution_time] = 300
php_admin_value[post_max_size] = 16M
php_admin_value[session.save_path] = $work/php
CONF
touch "$work/php/php.log" && chown www-data: "$work/php/php.log" "$work/php"
"$php_fpm" -F -y "$work/php/php-fpm.conf" -p "$work/php" >"$work/php/foreground.log" 2>&1 </dev/null &
started php-fpm $!
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  fastcgi_temp_path $work/nginx/fastcgi;
  proxy_temp_path $work/nginx/proxy;
  client_max_body_size 16m;
  server {
    listen 127.0.0.1:$web_port;
    root $work/web;
    location ~ \.php\$ {
      include /etc/nginx/fastcgi_params;
      fastcgi_param SCRIPT_FILENAME \$document_root\$fastcgi_script_name;
      fastcgi_read_timeout 300s;
      fastcgi_pass 127.0.0.1:$fpm_port;
    }
  }
}
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" >"$work/nginx/foreground.log" 2>&1 </dev/null &
started nginx $!

# orbenix-exporter over the same demo servers, every usage value read.
exporter_port=$(free_port)
mkdir -m 0700 "$work/keys"
(umask 077
 for key in online offline busy over-quota wrong; do echo "$key" >"$work/keys/$key.key"; done
 echo demo-hash >"$work/keys/demo.hash")
{
  printf '[exporter]\nlisten = "127.0.0.1:%s"\nprobe_timeout_seconds = 30\n' "$exporter_port"
  for key in online offline busy over-quota panel-error; do
    file=$key
    [ "$key" = panel-error ] && file=wrong
    printf '\n[targets.%s]\nurl = "http://127.0.0.1:%s"\nkey_file = "keys/%s.key"\nhash_file = "keys/demo.hash"\nusage = ["bandwidth", "disk", "memory"]\n' \
      "$key" "$HTTP_PORT" "$file"
  done
} >"$work/orbenix-exporter.toml"
# Basic authentication as the sample web configuration has it (its user
# prometheus, password change-me), without its TLS.
(umask 077; grep -E '^(basic_auth_users:|  prometheus: )' "$source_dir/contrib/prometheus/web-config.yml" >"$work/web-config.yml")
[ "$(wc -l <"$work/web-config.yml")" -eq 2 ] || fail "no basic_auth_users user prometheus in contrib/prometheus/web-config.yml"
"$exporter" --config "$work/orbenix-exporter.toml" --web.config.file "$work/web-config.yml" >"$work/exporter.log" 2>&1 </dev/null &
started orbenix-exporter $!

for part in "$zabbix_port:the Zabbix server" "$fpm_port:php-fpm" "$web_port:nginx" "$exporter_port:orbenix-exporter"; do
  wait_until 60 listens "${part%%:*}" || fail "${part#*:} does not listen on 127.0.0.1:${part%%:*} within 60 s"
done

# Nothing of ours listens beyond loopback (the server's children included).
all=()
for entry in "${pids[@]}"; do all+=("${entry#*=}"); mapfile -t -O "${#all[@]}" all < <(pgrep -P "${entry#*=}" || true); done
mapfile -t -O "${#all[@]}" all < <(pgrep -u postgres -f -- "$work" || true)
wide=$(python3 "$here/listening_addresses.py" "${all[@]}" | grep -Ev '^(127\.[0-9.]+|::1):' || true)
[ -z "$wide" ] || fail "listening beyond loopback: $wide"

# In the background, so that a signal reaches the trap at once.
python3 "$here/zabbix_check.py" "http://127.0.0.1:$web_port/api_jsonrpc.php" "http://127.0.0.1:$exporter_port" prometheus change-me \
  "$work/params" zabbix "$work/externalscripts/check_orbenix" \
  "$source_dir/contrib/zabbix/orbenix_by_http.yaml" "$source_dir/contrib/zabbix/orbenix_by_external_check.yaml" &
started zabbix_check $!
wait "$!" || fail "Zabbix did not record what the exporter and the plugin say"
# The frontend took both templates without a PHP warning.
[ ! -s "$work/php/php.log" ] || { cat "$work/php/php.log" >&2; fail "PHP warned while the API ran"; }
echo "PASS: Zabbix 6.0 recorded every server as orbenix-exporter and orbenix-check report it"
