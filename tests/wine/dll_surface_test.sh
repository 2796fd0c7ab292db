#!/usr/bin/env bash
# What orbenix.dll shows the outside: exactly the four COM exports, imports
# from Windows system DLLs only (no mingw runtime DLLs), no debug sections,
# and the release zip holding the DLL, its help file, orbenix-check.exe and the administrators' README.
# usage: dll_surface_test.sh OBJDUMP DLL ZIP
set -uo pipefail
objdump=${1:?usage: dll_surface_test.sh OBJDUMP DLL ZIP}
dll=${2:?dll}
zip=${3:?zip}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: objdump could not read $dll"; exit 1; }

exports=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
  fail "exports are '$exports'"

# comctl32 is left out on purpose: loaded with the DLL, its start-up under
# the loader lock deadlocks against host threads entering their apartments.
system_dlls=" advapi32.dll bcrypt.dll comdlg32.dll crypt32.dll gdi32.dll imm32.dll kernel32.dll
  msvcrt.dll ncrypt.dll ole32.dll oleaut32.dll secur32.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll
  version.dll winhttp.dll ws2_32.dll "
imports=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || fail "no imports found"
for name in $imports; do
  [[ "$system_dlls" =~ [[:space:]]$name[[:space:]] ]] || fail "imports $name, which is no Windows system DLL"
done
echo "imports: $(echo $imports)"

"$objdump" -h "$dll" | grep -q '\.debug' && fail "the DLL is not stripped"
"$objdump" -f "$dll" | grep -q 'pei-i386' || fail "the DLL is not 32-bit"

listing=$(unzip -Z1 "$zip" 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
[ "$listing" = "README.txt orbenix-check.exe orbenix.chm orbenix.dll " ] || fail "the zip holds '$listing'"
if ! unzip -p "$zip" orbenix.dll | cmp -s - "$dll"; then fail "the zip's orbenix.dll differs from the build's"; fi
unzip -p "$zip" README.txt | grep -q 'regsvr32' || fail "the README does not say how to register"

echo "DONE failures=$failures"
[ "$failures" -eq 0 ]
