#!/usr/bin/env bash
# An MSI under Wine, in a fresh prefix of its own: removing it before it was
# ever installed ends cleanly; a silent install puts the files in Program
# Files, registers the object and adds one Programs and Features entry; a
# host script creates orbenix.vexarel by ProgID and checks against the demo
# panel; installing twice changes nothing; a silent removal leaves nothing of
# ours in the registry or in Program Files; the next version replaces this
# one, and this one does not replace it.
#   x86 package (32-bit prefix): four files; the registration, done by the
#       DLL's own DllRegisterServer (SelfReg), equals a registration by
#       regsvr32 of the installed DLL.
#   x64 package (64-bit prefix): both DLLs, each with its help file and
#       orbenix-check.exe; both registry views equal what registration.rows
#       says; the 64-bit cscript checks through the object, and so does the
#       32-bit one where this machine runs 32-bit programs.
# No window is ever created here, so no wine call needs a display.
# usage: installer_test.sh WINE_RUN MSI BUILD_DIR PREFIX PANEL_PORTS_FILE [WIN32_BUILD_DIR]
#        (WIN32_BUILD_DIR: for the x64 package, the build its 32-bit files come from)
set -uo pipefail
wine_run=${1:?usage: installer_test.sh WINE_RUN MSI BUILD_DIR PREFIX PANEL_PORTS_FILE [WIN32_BUILD_DIR]}
msi=${2:?msi}
build=${3:?build dir}
prefix=$(realpath -m "${4:?wine prefix}")  # Wine wants an absolute path
ports=${5:?demo panel ports file}
build32=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=registry_dump.sh
. "$here/registry_dump.sh"

clsid='{5CB5B383-5FBA-43D6-911F-8587FEEC2588}'
libid='{F91BD057-E460-4BC2-BF06-BB10583EAEDC}'
iid='{3EF4EF83-8DE8-4E2C-B1F3-425223A639BA}'
case $(msiinfo suminfo "$msi" | tr -d '\r' | sed -n 's/^Template: //p') in
  x64*) kind=x64 ;;
  *) kind=x86 ;;
esac
[ "$kind" = x86 ] || [ -f "$build32/component/com/orbenix.dll" ] ||
  { echo "FAIL: the x64 package's test needs the 32-bit build dir, not '$build32'"; exit 1; }
echo "-- the $kind package $(basename "$msi")"
folder="$prefix/drive_c/Program Files/orbenix"
folder32="$prefix/drive_c/Program Files (x86)/orbenix"
win_dll='C:\Program Files\orbenix\orbenix.dll'
win_dll32='C:\Program Files (x86)\orbenix\orbenix.dll'

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

unset DISPLAY
export WINEPREFIX=$prefix
wine() { timeout 180 bash "$wine_run" "$@" </dev/null; }
msiexec() { wine msiexec "$@"; }

# Every value of ours the package's hosts see: x64, both views, each line
# marked with its view; x86, the one view of a 32-bit prefix.
registry_state() {
  if [ "$kind" = x64 ]; then
    our_registry 64 | sed 's/^/64: /'
    our_registry 32 | sed 's/^/32: /'
  else
    our_registry
  fi
}

# Whether this machine runs 32-bit programs: Wine's 32-bit loader says.
runs_32bit() {
  [ "${ORBENIX_WINE32:-on}" != off ] && /usr/lib/wine/wine --version >/dev/null 2>&1
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
  [ -z "$(registry_state)" ] || fail "keys of ours are there $stage: $(registry_state | head -n 3)"
  [ -e "$folder" ] && fail "Program Files\\orbenix is there $stage"
  [ -e "$folder32" ] && fail "Program Files (x86)\\orbenix is there $stage"
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

properties=$(msiinfo export "$msi" Property | tr -d '\r')
product_code=$(sed -n 's/^ProductCode\t//p' <<<"$properties")
upgrade_code=$(sed -n 's/^UpgradeCode\t//p' <<<"$properties")
[ -n "$product_code" ] && [ -n "$upgrade_code" ] || { echo "FAIL: no ProductCode or UpgradeCode in $msi"; exit 1; }

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
if [ "$kind" = x64 ]; then
  pairs=("$folder/orbenix.dll:$build/component/com/orbenix.dll" "$folder/orbenix.chm:$build/component/com/orbenix.chm"
         "$folder/orbenix-check.exe:$build/cli/orbenix-check.exe" "$folder/README.txt:$build/installer/release/README.txt"
         "$folder32/orbenix.dll:$build32/component/com/orbenix.dll" "$folder32/orbenix.chm:$build/component/com/orbenix.chm"
         "$folder32/orbenix-check.exe:$build32/cli/orbenix-check.exe")
else
  pairs=("$folder/orbenix.dll:$build/component/com/orbenix.dll" "$folder/orbenix.chm:$build/component/com/orbenix.chm"
         "$folder/orbenix-check.exe:$build/cli/orbenix-check.exe" "$folder/README.txt:$build/installer/release/README.txt")
fi
for pair in "${pairs[@]}"; do
  cmp -s "${pair%%:*}" "${pair#*:}" || fail "${pair%%:*} is missing or differs from ${pair#*:}"
done
installed=$(registry_state)
echo "$installed"
arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product_code"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The installer's version is major.minor.revision: it compares three fields only.
wine reg query "$arp" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ    1.0.5$' ||
  fail "no Programs and Features entry with version 1.0.5 under $arp"
wine reg query "$arp" /v DisplayName 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ    orbenix 1.0.0.5' ||
  fail "the Programs and Features entry has no name"
# One entry, whichever view the system keeps it in.
entries() {
  local views=('') view
  [ "$kind" = x64 ] && views=(/reg:64 /reg:32)
  for view in "${views[@]}"; do
    wine reg query "$uninstall_key" /s ${view:+"$view"} 2>/dev/null | tr -d '\r' | grep -c 'DisplayName    REG_SZ    orbenix '
  done | awk '{ n += $1 } END { print n + 0 }'
}
[ "$(entries)" -eq 1 ] || fail "Programs and Features shows $(entries) entries of ours, not one"

if [ "$kind" = x64 ]; then
  echo "-- both registry views hold what registration.rows says"
  want=$( (rows_expected --view 64 --dll64 "$win_dll" --dll32 "$win_dll32" | sed 's/^/64: /'
           rows_expected --view 32 --dll64 "$win_dll" --dll32 "$win_dll32" | sed 's/^/32: /') )
  if [ "$installed" != "$want" ]; then
    fail "the installed registration differs from registration.rows (< registry, > rows):"
    diff <(echo "$installed") <(echo "$want")
  fi
else
  grep -q -F "InprocServer32 | (Default) | REG_SZ | $win_dll" <<<"$installed" ||
    fail "the class is not registered at the installed DLL"
  echo "-- the same keys as DllRegisterServer writes"
  wine regsvr32 /s /u "$win_dll" || fail "regsvr32 /u exited with $?"
  [ -z "$(our_registry)" ] || fail "keys are left after DllUnregisterServer"
  wine regsvr32 /s "$win_dll" || fail "regsvr32 exited with $?"
  by_dll=$(our_registry)
  if [ "$installed" != "$by_dll" ]; then
    fail "the installer's keys differ from DllRegisterServer's:"
    diff <(echo "$installed") <(echo "$by_dll")
  fi
fi

host_checks() {  # host_checks KIND [CSCRIPT]: a host script of that kind checks through the object
  local host
  host=$(bash "$here/vbscript_test.sh" "$wine_run" "$ports" "${@:2}" 2>&1)
  grep -q '^PASS$' <<<"$host" || { fail "the $1 host script failed:"; echo "$host" | tail -n 20; }
  grep -c '^ok: ' <<<"$host" | sed "s/^/$1 host script checks passed: /"
}
if [ "$kind" = x64 ]; then
  echo "-- a 64-bit host script checks through the installed object"
  host_checks 64-bit
  if runs_32bit; then
    echo "-- a 32-bit host script checks through the installed object, after the same install"
    host_checks 32-bit 'C:\windows\syswow64\cscript.exe'
  else
    echo "SKIPPED: the 32-bit host (syswow64 cscript) in this prefix, because this machine does not run 32-bit" \
      "programs (or ORBENIX_WINE32=off); its registry view was checked above."
  fi
else
  echo "-- a host script checks through the installed object"
  host_checks 32-bit
fi

# Unregistering one DLL of the x64 package leaves the other registered as
# if it alone were; registering it again gives back the installed state.
unregister_one() {  # unregister_one KIND REGSVR32 DLL OTHER_KIND OTHER_DLL
  local view=$4 want
  wine "$2" /s /u "$3" || fail "the $1-bit regsvr32 /u exited with $?"
  want=$(rows_expected --view "$view" "--dll$view" "$5")
  [ "$(our_registry "$view")" = "$want" ] ||
    { fail "after unregistering the $1-bit DLL the $view-bit view is not the $view-bit DLL's alone:";
      diff <(our_registry "$view") <(echo "$want"); }
  wine "$2" /s "$3" || fail "the $1-bit regsvr32 exited with $?"
  [ "$(registry_state)" = "$installed" ] || fail "registering the $1-bit DLL again did not give back the installed state"
}
if [ "$kind" = x64 ]; then
  echo "-- unregistering one DLL leaves the other registered"
  unregister_one 64 regsvr32 "$win_dll" 32 "$win_dll32"
  if runs_32bit; then
    unregister_one 32 'C:\windows\syswow64\regsvr32.exe' "$win_dll32" 64 "$win_dll"
  else
    echo "SKIPPED: unregistering the 32-bit DLL with the 32-bit regsvr32, because this machine does not run 32-bit programs."
  fi
fi

echo "-- installing twice"
msiexec /i "$win_msi" /qn || fail "a second msiexec /i /qn exited with $?"
[ "$(registry_state)" = "$installed" ] || fail "the second install changed the registration"
[ "$(entries)" -eq 1 ] || fail "after the second install Programs and Features shows $(entries) entries of ours"

echo "-- silent removal"
msiexec /x "$win_msi" /qn || fail "msiexec /x /qn exited with $?"
check_nothing_left "after removal"
remove_not_installed "after the removal"

echo "-- a later version replaces this one, and this one does not replace it"
# The next build number: the same package with version 1.0.6 and its own ProductCode.
next=$(mktemp -d)
sed -e 's/Version="1\.0\.5"/Version="1.0.6"/' -e "s/Id=\"${product_code:1:36}\"/Id=\"00000000-0000-4000-8000-000000000006\"/" \
  "$build/installer/$([ "$kind" = x64 ] && echo orbenix-x64.wxs || echo orbenix.wxs)" >"$next/next.wxs"
cp "$build"/installer/*.wxi "$next/" 2>/dev/null
(cd "$build" && bash "$here/../../installer/build-msi.sh" "$next/next.wxs" "$next/next.msi" "$kind" >/dev/null 2>&1) ||
  fail "could not build the next version's MSI"
win_next=$(wine winepath -w "$next/next.msi" | tr -d '\r')
msiexec /i "$win_msi" /qn || fail "msiexec /i before the upgrade exited with $?"
msiexec /i "$win_next" /qn || fail "msiexec /i of the next version exited with $?"
wine reg query "$arp" >/dev/null 2>&1 && fail "the upgrade left version 1.0.5 in Programs and Features"
wine reg query "$uninstall_key\\{00000000-0000-4000-8000-000000000006}" /v DisplayVersion 2>/dev/null | tr -d '\r' |
  grep -q 'REG_SZ    1.0.6$' || fail "no Programs and Features entry for version 1.0.6 after the upgrade"
[ "$(entries)" -eq 1 ] || fail "after the upgrade Programs and Features shows $(entries) entries of ours"
if [ "$kind" = x64 ]; then
  [ "$(registry_state)" = "$installed" ] || fail "the upgrade changed the registration"
else
  [ "$(our_registry | sed 's/ | .*//' | sort -u | wc -l)" -eq "$(sed 's/ | .*//' <<<"$installed" | sort -u | wc -l)" ] ||
    fail "the upgrade changed the set of registered keys"
fi
msiexec /i "$win_msi" /qn && fail "installing 1.0.5 over 1.0.6 succeeded"
msiexec /x "$win_next" /qn || fail "msiexec /x of the next version exited with $?"
check_nothing_left "after removing the upgraded version"
rm -rf "$next"

timeout 60 bash "$wine_run" wineserver -k 2>/dev/null
echo "DONE failures=$failures"
[ "$failures" -eq 0 ]
