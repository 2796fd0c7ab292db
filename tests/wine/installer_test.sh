#!/usr/bin/env bash
# The MSI under Wine, in a fresh prefix of its own: removing it before
# it was ever installed ends cleanly; a silent install puts the four files in
# Program Files, registers exactly what DllRegisterServer writes (compared key
# by key with a registration by regsvr32 of the installed DLL) and adds a
# Programs and Features entry; a host script creates orbenix.vexarel by ProgID
# and checks against the demo panel; installing twice changes nothing; a
# silent removal leaves nothing of ours in the registry or in Program Files;
# the next version replaces this one, and this one does not replace it.
# No window is ever created here, so no wine call needs a display.
# usage: installer_test.sh WINE_RUN MSI BUILD_DIR PREFIX PANEL_PORTS_FILE
set -uo pipefail
wine_run=${1:?usage: installer_test.sh WINE_RUN MSI BUILD_DIR PREFIX PANEL_PORTS_FILE}
msi=${2:?msi}
build=${3:?build dir}
prefix=${4:?wine prefix}
ports=${5:?demo panel ports file}
here=$(cd "$(dirname "$0")" && pwd)

clsid='{5CB5B383-5FBA-43D6-911F-8587FEEC2588}'
libid='{F91BD057-E460-4BC2-BF06-BB10583EAEDC}'
iid='{3EF4EF83-8DE8-4E2C-B1F3-425223A639BA}'
upgrade_code='{DC4AECB0-CC92-418A-9D49-F105CF9FAA5F}'
our_keys=('HKCR\orbenix.vexarel' "HKCR\\CLSID\\$clsid" "HKCR\\TypeLib\\$libid" "HKCR\\Interface\\$iid")

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

unset DISPLAY
export WINEPREFIX=$prefix
wine() { timeout 180 bash "$wine_run" "$@" </dev/null; }
msiexec() { wine msiexec "$@"; }

# Every value under our keys, one "key | name | type | data" line each, sorted.
our_registry() {
  local key
  for key in "${our_keys[@]}"; do
    wine reg query "$key" /s 2>/dev/null | tr -d '\r' | awk -v root="$key" '
      /^HKEY_/ { key = $0; next }
      /^    / { sub(/^    /, ""); n = split($0, f, "    "); data = (n >= 3) ? f[3] : "";
               print key " | " f[1] " | " f[2] " | " data }'
  done | LC_ALL=C sort
}

# A GUID as Windows Installer packs it into registry key names.
packed() {
  local hex=${1//[\{\}-]/}
  local out='' part i
  for part in "${hex:0:8}" "${hex:8:4}" "${hex:12:4}"; do out+=$(echo "$part" | rev); done
  for i in 16 18 20 22 24 26 28 30; do out+=$(echo "${hex:$i:2}" | rev); done
  echo "$out"
}

# Nothing of ours: no key, no folder, no trace in the prefix's registry files.
check_nothing_left() {
  local stage=$1 key pattern
  for key in "${our_keys[@]}"; do
    wine reg query "$key" >/dev/null 2>&1 && fail "$key is there $stage"
  done
  [ -e "$prefix/drive_c/Program Files/orbenix" ] && fail "Program Files\\orbenix is there $stage"
  left=$(find "$prefix/drive_c" -iname '*orbenix*' -o -path '*/windows/Installer/*' -type f 2>/dev/null | head -n 5)
  [ -n "$left" ] && fail "files are left $stage: $left"
  timeout 60 bash "$wine_run" wineserver -w  # the registry reaches the files when wineserver ends
  pattern="orbenix|${clsid:1:36}|${libid:1:36}|${iid:1:36}|${product_code:1:36}|${upgrade_code:1:36}"
  pattern+="|$(packed "$product_code")|$(packed "$upgrade_code")"
  if grep -i -E -n "$pattern" "$prefix/system.reg" "$prefix/user.reg" >/tmp/leftovers.$$ 2>/dev/null; then
    fail "the registry still holds traces $stage:"; head -n 5 /tmp/leftovers.$$
  fi
  rm -f /tmp/leftovers.$$
}

product_code=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
[ -n "$product_code" ] || { echo "FAIL: no ProductCode in $msi"; exit 1; }

echo "-- a fresh prefix"
timeout 60 bash "$wine_run" wineserver -k 2>/dev/null
rm -rf "$prefix"
timeout 300 bash "$wine_run" wineboot -i >/dev/null 2>&1
win_msi=$(wine winepath -w "$msi" | tr -d '\r')
timeout 60 bash "$wine_run" wineserver -w

# Removing a product that is not installed: Windows answers 1605 (unknown
# product), Wine's msiexec 0; either ends cleanly and leaves nothing behind.
remove_not_installed() {
  local stage=$1 status
  msiexec /x "$win_msi" /qn
  status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 1605 ] || fail "msiexec /x $stage exited with $status"
  check_nothing_left "after msiexec /x $stage"
}

echo "-- removing what was never installed"
remove_not_installed "before any install"

echo "-- silent install"
msiexec /i "$win_msi" /qn || fail "msiexec /i /qn exited with $?"
folder="$prefix/drive_c/Program Files/orbenix"
for pair in "orbenix.dll:component/com/orbenix.dll" "orbenix.chm:component/com/orbenix.chm" \
            "orbenix-check.exe:cli/orbenix-check.exe" "README.txt:installer/release/README.txt"; do
  cmp -s "$folder/${pair%%:*}" "$build/${pair#*:}" || fail "${pair%%:*} is missing or differs from the build's"
done
installed=$(our_registry)
echo "$installed"
grep -q -F "InprocServer32 | (Default) | REG_SZ | C:\\Program Files\\orbenix\\orbenix.dll" <<<"$installed" ||
  fail "the class is not registered at the installed DLL"
arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"
# The installer's version is major.minor.revision: it compares three fields only.
wine reg query "$arp" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ    1.0.5$' ||
  fail "no Programs and Features entry with version 1.0.5 under $arp"
wine reg query "$arp" /v DisplayName 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ    orbenix 1.0.0.5' ||
  fail "the Programs and Features entry has no name"

echo "-- the same keys as DllRegisterServer writes"
wine regsvr32 /s /u 'C:\Program Files\orbenix\orbenix.dll' || fail "regsvr32 /u exited with $?"
[ -z "$(our_registry)" ] || fail "keys are left after DllUnregisterServer"
wine regsvr32 /s 'C:\Program Files\orbenix\orbenix.dll' || fail "regsvr32 exited with $?"
by_dll=$(our_registry)
if [ "$installed" != "$by_dll" ]; then
  fail "the installer's keys differ from DllRegisterServer's:"
  diff <(echo "$installed") <(echo "$by_dll")
fi

echo "-- a host script checks through the installed object"
host=$(bash "$here/vbscript_test.sh" "$wine_run" "$ports" 2>&1)
grep -q '^PASS$' <<<"$host" || { fail "the host script failed:"; echo "$host" | tail -n 20; }
grep -c '^ok: ' <<<"$host" | sed 's/^/host script checks passed: /'

echo "-- installing twice"
msiexec /i "$win_msi" /qn || fail "a second msiexec /i /qn exited with $?"
[ "$(our_registry)" = "$installed" ] || fail "the second install changed the registration"

echo "-- silent removal"
msiexec /x "$win_msi" /qn || fail "msiexec /x /qn exited with $?"
check_nothing_left "after removal"
remove_not_installed "after the removal"

echo "-- a later version replaces this one, and this one does not replace it"
# The next build number: the same package with version 1.0.6 and its own ProductCode.
next=$(mktemp -d)
sed -e 's/Version="1\.0\.5"/Version="1.0.6"/' -e "s/Id=\"${product_code:1:36}\"/Id=\"00000000-0000-4000-8000-000000000006\"/" \
  "$build/installer/orbenix.wxs" >"$next/next.wxs"
(cd "$build" && bash "$here/../../installer/build-msi.sh" "$next/next.wxs" "$next/next.msi" >/dev/null 2>&1) ||
  fail "could not build the next version's MSI"
win_next=$(wine winepath -w "$next/next.msi" | tr -d '\r')
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
msiexec /i "$win_msi" /qn || fail "msiexec /i before the upgrade exited with $?"
msiexec /i "$win_next" /qn || fail "msiexec /i of the next version exited with $?"
wine reg query "$arp" >/dev/null 2>&1 && fail "the upgrade left version 1.0.5 in Programs and Features"
wine reg query "$uninstall_key\\{00000000-0000-4000-8000-000000000006}" /v DisplayVersion 2>/dev/null | tr -d '\r' |
  grep -q 'REG_SZ    1.0.6$' || fail "no Programs and Features entry for version 1.0.6 after the upgrade"
[ "$(our_registry | sed 's/ | .*//' | sort -u | wc -l)" -eq "$(sed 's/ | .*//' <<<"$installed" | sort -u | wc -l)" ] ||
  fail "the upgrade changed the set of registered keys"
msiexec /i "$win_msi" /qn && fail "installing 1.0.5 over 1.0.6 succeeded"
msiexec /x "$win_next" /qn || fail "msiexec /x of the next version exited with $?"
check_nothing_left "after removing the upgraded version"
rm -rf "$next"

timeout 60 bash "$wine_run" wineserver -k 2>/dev/null
echo "DONE failures=$failures"
[ "$failures" -eq 0 ]
