#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root.
# Safe to run again: apt skips what is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev libcurl4-openssl-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev
  wine wine32:i386 wine64 xvfb fonts-wine imagemagick zip
  fp-utils wixl msitools
  nginx-light tinyproxy dante-server microsocks python3
  nagios4 icinga2
  clang libclang-rt-14-dev
  libcpp-httplib-dev libtomlplusplus-dev prometheus
  libboost-dev libyaml-cpp-dev libcrypt-dev curl
  lintian
  zabbix-server-pgsql zabbix-frontend-php php-fpm php-pgsql postgresql
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq

# The tests start Nagios 4, Icinga 2, Prometheus and Zabbix (its server,
# PostgreSQL and php-fpm) of their own; the packages' system services must
# not start on install, nor at the next boot.
# While they install, a policy-rc.d (unless the machine has one) keeps every
# service of the batch from starting; the tests start their peers themselves.
engines=()
for p in "${missing[@]}"; do
  case $p in
    nagios4 | icinga2 | prometheus | postgresql) engines+=("$p") ;;
    zabbix-server-pgsql) engines+=(zabbix-server) ;;
    php-fpm) engines+=(php8.2-fpm) ;;
  esac
done
policy=/usr/sbin/policy-rc.d
own_policy=
if [ ${#engines[@]} -gt 0 ] && [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# Written by orbenix scripts/install-deps.sh while it installs packages.\nexit 101\n' >"$policy"
  chmod 0755 "$policy"
  own_policy=1
  trap 'rm -f "$policy"' EXIT
fi
apt-get install -y -qq --no-install-recommends "${missing[@]}"
if [ -n "$own_policy" ]; then
  rm -f "$policy"
  trap - EXIT
fi
for service in "${engines[@]}"; do
  if [ -d /run/systemd/system ]; then
    systemctl disable --now "$service.service" >/dev/null 2>&1 || true
  else
    invoke-rc.d "$service" stop >/dev/null 2>&1 || true
    update-rc.d "$service" disable >/dev/null 2>&1 || true
  fi
done
