#!/usr/bin/env bash
# Registers orbenix.dll with regsvr32 in the build's Wine prefix, checks that
# the values under our keys are exactly the rows of registration.rows (the
# table the MSI's Registry rows come from), unregisters (all keys gone, a
# second unregister still succeeds) and registers again, which leaves the DLL
# registered for the COM client tests that follow.
# usage: registration_test.sh WINE_RUN DLL ARCH   (ARCH win32 or win64: the type library's key)
set -uo pipefail
wine_run=${1:?usage: registration_test.sh WINE_RUN DLL}
dll=${2:?usage: registration_test.sh WINE_RUN DLL ARCH}
arch=${3:?usage: registration_test.sh WINE_RUN DLL ARCH}

clsid='{5CB5B383-5FBA-43D6-911F-8587FEEC2588}'
libid='{F91BD057-E460-4BC2-BF06-BB10583EAEDC}'
iid='{3EF4EF83-8DE8-4E2C-B1F3-425223A639BA}'
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=registry_dump.sh
. "$here/registry_dump.sh"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

wine() { timeout 120 bash "$wine_run" "$@"; }

# The text of a REG_SZ value ("" for the key's default value), or nothing.
value() {
  local key=$1 name=$2
  local args=(/ve)
  [ -n "$name" ] && args=(/v "$name")
  wine reg query "$key" "${args[@]}" 2>/dev/null | tr -d '\r' |
    sed -n 's/^    .*    REG_SZ    //p' | head -n 1
}

expect_value() {
  local key=$1 name=$2 want=$3 got
  got=$(value "$key" "$name")
  [ "$got" = "$want" ] || fail "$key [${name:-default}] is '$got', expected '$want'"
}

key_exists() { wine reg query "$1" >/dev/null 2>&1; }

register() {
  wine regsvr32 /s "$@" "$win_dll" || fail "regsvr32 $* $win_dll exited with $?"
}

win_dll=$(wine winepath -w "$dll" | tr -d '\r')
[ -n "$win_dll" ] || { echo "FAIL: winepath gave no path for $dll"; exit 1; }

check_registered() {
  local stage=$1 bits=${arch#win} got want
  echo "-- keys after $stage"
  got=$(our_registry)
  want=$(rows_expected --view "$bits" "--dll$bits" "$win_dll")
  if [ "$got" != "$want" ]; then
    fail "after $stage the registry differs from registration.rows (< registry, > rows):"
    diff <(echo "$got") <(echo "$want")
  fi
}

check_unregistered() {
  local stage=$1 key
  echo "-- keys after $stage"
  for key in 'HKCR\orbenix.vexarel' "HKCR\\CLSID\\$clsid" "HKCR\\TypeLib\\$libid" "HKCR\\Interface\\$iid"; do
    key_exists "$key" && fail "$key is still there after $stage"
  done
}

# From nothing of ours, so that the comparison sees only this registration.
register /u
check_unregistered "unregistering what an earlier run left"
register
register
check_registered "registering twice"

# Another version of the library, registered by someone else, survives.
wine reg add "HKCR\\TypeLib\\$libid\\9.9" /ve /d other /f >/dev/null 2>&1 || fail "could not plant version 9.9"
register /u
expect_value "HKCR\\TypeLib\\$libid\\9.9" '' 'other'
key_exists "HKCR\\TypeLib\\$libid\\1.0" && fail "version 1.0 of the library is still registered"
wine reg delete "HKCR\\TypeLib\\$libid" /f >/dev/null 2>&1
check_unregistered "unregistering"
register /u
check_unregistered "unregistering with nothing registered"

register
check_registered "registering again"

echo "DONE failures=$failures"
[ "$failures" -eq 0 ]
