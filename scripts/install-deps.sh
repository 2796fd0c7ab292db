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
apt-get install -y -qq --no-install-recommends "${missing[@]}"
# The tests run a Prometheus of their own on a free loopback port: none stays behind on 9090.
systemctl disable --now prometheus >/dev/null 2>&1 || service prometheus stop >/dev/null 2>&1 || true
