#!/usr/bin/env bash
# The orbenix-exporter Debian package on this machine: lintian on both .debs,
# then install, the user, group and folder the postinst makes, the unit
# through systemd-analyze verify, a purge that keeps the administrator's
# files (and the user owning them), and a purge that leaves nothing of ours.
# The machine is left as it was found: the package purged, the user gone.
#   exporter_package_test.sh DEB_DIR WORK_DIR
# DEB_DIR holds orbenix-check_*.deb and orbenix-exporter_*.deb (ctest: the
# ones engines.package made; by hand: a build dir after "cpack -G DEB").
set -euo pipefail
debs=$(cd "$1" && pwd) out=$2
[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: installing and purging the package needs root"; exit 77; }
exporter_deb=$(ls "$debs"/orbenix-exporter_*.deb)
check_deb=$(ls "$debs"/orbenix-check_*.deb)
etc=/etc/orbenix-exporter
unit=/usr/lib/systemd/system/orbenix-exporter.service

# The test makes the user and the folder through the package and removes
# them again, so it starts only where neither is there.
if dpkg-query -W -f='${Status}' orbenix-exporter 2>/dev/null | grep -q 'ok installed'; then
  echo "SKIPPED: orbenix-exporter is installed on this machine already (scripts/demo.sh installs it);" \
    "this test would purge it: run 'apt-get purge orbenix-exporter' first"
  exit 77
fi
if getent passwd orbenix-exporter >/dev/null || getent group orbenix-exporter >/dev/null || [ -e "$etc" ]; then
  echo "SKIPPED: the user or group orbenix-exporter or $etc is left from an earlier install" \
    "(a purge keeps them while $etc holds files); remove them first"
  exit 77
fi

rm -rf "$out"
mkdir -p "$out"
# Another process may use apt or dpkg for a while: wait for its lock (bounded).
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@" >>"$out/apt.log" 2>&1 ||
  { tail -n 30 "$out/apt.log" >&2; return 1; }; }
cleanup() {
  if dpkg-query -W -f='${Status}' orbenix-exporter 2>/dev/null | grep -q 'installed'; then
    apt_get purge orbenix-exporter || dpkg --purge orbenix-exporter >/dev/null 2>&1 || true
  fi
  rm -f "$etc/orbenix-exporter.toml"
  [ ! -d "$etc" ] || rmdir "$etc" 2>/dev/null || true
  ! getent passwd orbenix-exporter >/dev/null || userdel orbenix-exporter || true
  ! getent group orbenix-exporter >/dev/null || groupdel orbenix-exporter || true
}
trap cleanup EXIT
# ctest stops a test past its timeout with SIGTERM: clean up then too.
trap 'exit 143' TERM INT

failures=0
pass() { echo "ok: $1"; }
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }
# expect WHAT GOT WANT
expect() { if [ "$2" = "$3" ]; then pass "$1: $2"; else fail "$1: '$2', not '$3'"; fi; }

# --- lintian on both packages: errors fail the test, warnings are shown -------
if command -v lintian >/dev/null; then
  for deb in "$check_deb" "$exporter_deb"; do
    if lintian --fail-on error --tag-display-limit 0 "$deb" >"$out/lintian.log" 2>&1; then
      pass "lintian $(basename "$deb"): no errors"
    else
      fail "lintian $(basename "$deb") found errors"
    fi
    sed 's/^/  lintian: /' "$out/lintian.log"
  done
else
  echo "SKIPPED: lintian is not installed (Debian package lintian; scripts/install-deps.sh installs it)"
fi

# --- install -----------------------------------------------------------------
# The package's files and its own folders (not /usr/bin/ and the like).
files=() dirs=()
while read -r path; do
  path=${path#.}
  case $path in
    */) [[ $path != *orbenix* ]] || dirs+=("$path") ;;
    *) files+=("$path") ;;
  esac
done < <(dpkg-deb --fsys-tarfile "$exporter_deb" | tar -t)
apt_get install --no-install-recommends "$exporter_deb"
expect "package status" "$(dpkg-query -W -f='${Status}' orbenix-exporter)" "install ok installed"
IFS=: read -r _ _ uid gid _ home shell < <(getent passwd orbenix-exporter) || fail "no user orbenix-exporter"
expect "the user's group" "$(getent group "${gid:-none}" | cut -d: -f1)" orbenix-exporter
expect "the user's home and shell" "$home $shell" "/nonexistent /usr/sbin/nologin"
if [ "${uid:-1000}" -lt 1000 ]; then pass "system uid $uid"; else fail "uid ${uid:-none} is not a system one"; fi
expect "$etc owner and mode" "$(stat -c '%U:%G %a' "$etc")" "root:orbenix-exporter 750"
missing=()
for path in "${files[@]}"; do [ -e "$path" ] || missing+=("$path"); done
expect "the package's ${#files[@]} files on disk, missing" "${missing[*]:-none}" none
[ -e /usr/share/doc/orbenix-exporter/examples/orbenix-alerts.yml ] && pass "the alerting rules among the examples" ||
  fail "no orbenix-alerts.yml among the examples"
if /usr/bin/orbenix-exporter --version >"$out/version" 2>&1; then
  pass "orbenix-exporter --version: $(head -n 1 "$out/version")"
else
  fail "/usr/bin/orbenix-exporter --version: $(cat "$out/version")"
fi
if pgrep -u orbenix-exporter >/dev/null; then fail "a process runs as orbenix-exporter after the install"; else
  pass "the install starts no service"; fi

# systemd-analyze verify reads the unit and the units it names, the binary of
# ExecStart and the manual page of Documentation= (installed by the package).
if command -v systemd-analyze >/dev/null; then
  if systemd-analyze verify "$unit" >"$out/verify.log" 2>&1 && [ ! -s "$out/verify.log" ]; then
    pass "systemd-analyze verify $unit"
  else
    fail "systemd-analyze verify $unit: $(cat "$out/verify.log")"
  fi
else
  echo "SKIPPED: systemd-analyze verify: systemd is not installed on this machine"
fi

# --- purge with the administrator's file in $etc: it, the folder, the user stay
install -o root -g orbenix-exporter -m 0640 /dev/null "$etc/orbenix-exporter.toml"
apt_get purge orbenix-exporter
expect "status after the purge" "$(dpkg-query -W -f='${Status}' orbenix-exporter 2>/dev/null || echo gone)" gone
expect "the administrator's file after the purge" "$(stat -c '%U:%G %a' "$etc/orbenix-exporter.toml" 2>&1)" \
  "root:orbenix-exporter 640"
if getent passwd orbenix-exporter >/dev/null; then pass "the user stays while $etc holds files"; else
  fail "the user went although $etc holds a file of its group"; fi

# --- a second install over the kept user and folder, then a purge of all ------
rm "$etc/orbenix-exporter.toml"
apt_get install --no-install-recommends "$exporter_deb"
expect "uid after the second install" "$(id -u orbenix-exporter)" "${uid:-none}"
expect "$etc after the second install" "$(stat -c '%U:%G %a' "$etc")" "root:orbenix-exporter 750"
apt_get purge orbenix-exporter

left=()
for path in "${files[@]}" "${dirs[@]}" "$etc" /var/lib/dpkg/info/orbenix-exporter.list \
  /var/lib/dpkg/info/orbenix-exporter.postrm; do
  if [ -e "$path" ] || [ -L "$path" ]; then left+=("$path"); fi
done
getent passwd orbenix-exporter >/dev/null && left+=("user orbenix-exporter")
getent group orbenix-exporter >/dev/null && left+=("group orbenix-exporter")
dpkg-query -W orbenix-exporter >/dev/null 2>&1 && left+=("dpkg's record of orbenix-exporter")
if [ ${#left[@]} -eq 0 ]; then pass "the purge leaves nothing of ours"; else fail "left after the purge: ${left[*]}"; fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all checks passed"
