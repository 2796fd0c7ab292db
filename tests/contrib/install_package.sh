#!/usr/bin/env bash
# Builds the Debian package from the build tree and installs it, so that the
# engine tests run the plugin as a user of the package gets it
# (/usr/lib/nagios/plugins/check_orbenix).
#   install_package.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 out=$2
[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: installing the package needs root"; exit 77; }
rm -rf "$out"
mkdir -p "$out"
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >cpack.log 2>&1) ||
  { cat "$out/cpack.log" >&2; exit 1; }
deb=$(ls "$out"/orbenix-check_*.deb)
dpkg -i "$deb"
dpkg-query -W -f='${Status} ${Version}\n' orbenix-check
