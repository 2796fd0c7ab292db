#!/usr/bin/env bash
# Both DLLs registered on one 64-bit machine, each with the regsvr32 of its
# kind, in a fresh 64-bit prefix of its own: a 64-bit and a 32-bit host each
# create orbenix.vexarel by ProgID; unregistering either DLL leaves the other
# registered and creatable, and unregistering both leaves none of our keys.
# Needs a machine that runs 32-bit programs.
# usage: side_by_side_test.sh WINE_RUN64 DLL64 DLL32 PREFIX
set -uo pipefail
wine_run=${1:?usage: side_by_side_test.sh WINE_RUN64 DLL64 DLL32 PREFIX}
dll64=${2:?dll64}
dll32=${3:?dll32}
prefix=$(realpath -m "${4:?prefix}")  # Wine wants an absolute path

clsid='{5CB5B383-5FBA-43D6-911F-8587FEEC2588}'
libid='{F91BD057-E460-4BC2-BF06-BB10583EAEDC}'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

unset DISPLAY
export WINEPREFIX=$prefix
wine() { timeout 120 bash "$wine_run" "$@" </dev/null; }
# The 32-bit side of the machine: its own regsvr32, reg and cscript.
wow() { local program=$1; shift; wine "C:\\windows\\syswow64\\$program" "$@"; }

timeout 60 bash "$wine_run" wineserver -k 2>/dev/null
rm -rf "$prefix"
timeout 300 bash "$wine_run" wineboot -i >/dev/null 2>&1
win64=$(wine winepath -w "$dll64" | tr -d '\r')
win32=$(wine winepath -w "$dll32" | tr -d '\r')
script=$prefix/drive_c/create.vbs
printf 'Set o = CreateObject("orbenix.vexarel")\r\nWScript.Echo "made " & TypeName(o)\r\n' >"$script"

creates() {  # creates KIND STAGE: the host of that kind makes the object
  local kind=$1 stage=$2 output
  if [ "$kind" = 64 ]; then output=$(wine cscript //nologo 'C:\create.vbs' 2>&1); else
    output=$(wow cscript.exe //nologo 'C:\create.vbs' 2>&1); fi
  grep -q '^made _vexarel' <<<"${output//$'\r'/}" || fail "a $kind-bit host cannot create the object $stage: $output"
}
cannot_create() {
  local kind=$1 stage=$2 output
  if [ "$kind" = 64 ]; then output=$(wine cscript //nologo 'C:\create.vbs' 2>&1); else
    output=$(wow cscript.exe //nologo 'C:\create.vbs' 2>&1); fi
  grep -q '^made _vexarel' <<<"${output//$'\r'/}" && fail "a $kind-bit host still creates the object $stage"
}
platform_entry() { wine reg query "HKCR\\TypeLib\\$libid\\1.0\\409\\$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^    .*    REG_SZ    //p'; }

wine regsvr32 /s "$win64" || fail "64-bit regsvr32 exited with $?"
wow regsvr32.exe /s "$win32" || fail "32-bit regsvr32 exited with $?"
creates 64 "with both registered"
creates 32 "with both registered"
[ "$(platform_entry win64)" = "$win64" ] || fail "the type library's win64 entry is '$(platform_entry win64)'"
[ "$(platform_entry win32)" = "$win32" ] || fail "the type library's win32 entry is '$(platform_entry win32)'"

wow regsvr32.exe /s /u "$win32" || fail "32-bit regsvr32 /u exited with $?"
creates 64 "after the 32-bit DLL was unregistered"
cannot_create 32 "after its DLL was unregistered"
[ "$(platform_entry win64)" = "$win64" ] || fail "unregistering the 32-bit DLL took the win64 entry"
[ -z "$(platform_entry win32)" ] || fail "the win32 entry is still there"
helpdir=$(wine reg query "HKCR\\TypeLib\\$libid\\1.0\\HELPDIR" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^    .*    REG_SZ    //p')
[ "$helpdir" = "${win64%\\*}\\" ] || fail "HELPDIR is '$helpdir', not the 64-bit DLL's folder"

wow regsvr32.exe /s "$win32" || fail "32-bit regsvr32 exited with $?"
wine regsvr32 /s /u "$win64" || fail "64-bit regsvr32 /u exited with $?"
creates 32 "after the 64-bit DLL was unregistered"
cannot_create 64 "after its DLL was unregistered"

wow regsvr32.exe /s /u "$win32" || fail "32-bit regsvr32 /u exited with $?"
for key in 'HKCR\orbenix.vexarel' "HKCR\\CLSID\\$clsid" "HKCR\\TypeLib\\$libid"; do
  wine reg query "$key" >/dev/null 2>&1 && fail "$key is left after both were unregistered"
  wow reg.exe query "$key" >/dev/null 2>&1 && fail "$key is left in the 32-bit view after both were unregistered"
done

timeout 60 bash "$wine_run" wineserver -k 2>/dev/null
echo "DONE failures=$failures"
[ "$failures" -eq 0 ]
