#!/usr/bin/env bash
# What orbenix.dll shows the outside, read natively (no Wine): exactly the
# four COM exports, imports from Windows system DLLs only (no mingw runtime
# DLLs), no debug sections, the machine and type library of its architecture,
# the interface id and version resources, and this build's half of the
# release zip: the DLL, its help file and orbenix-check.exe in FOLDER, and the
# administrators' README.
# usage: dll_surface_test.sh OBJDUMP DLL ZIP FOLDER   (FOLDER x86 or x64)
set -uo pipefail
objdump=${1:?usage: dll_surface_test.sh OBJDUMP DLL ZIP}
dll=${2:?dll}
zip=${3:?zip}
folder=${4:?folder: x86 or x64}
here=$(cd "$(dirname "$0")" && pwd)
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
case $folder in
  x86) machine=i386 syskind=win32 ;;
  x64) machine=x86-64 syskind=win64 ;;
  *) echo "FAIL: folder '$folder' is neither x86 nor x64"; exit 1 ;;
esac
facts=$(python3 "$here/pe_facts.py" "$dll") || fail "pe_facts.py could not read $dll"
echo "$facts"
expect_fact() { grep -qx "$1" <<<"$facts" || fail "the DLL has no '$1'"; }
expect_fact "machine $machine"
expect_fact "typelib $syskind"
expect_fact "iid {3EF4EF83-8DE8-4E2C-B1F3-425223A639BA}"
expect_fact "version 1.0.0.5"

listing=$(unzip -Z1 "$zip" 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
want="README.txt $folder/orbenix-check.exe $folder/orbenix.chm $folder/orbenix.dll "
[ "$listing" = "$want" ] || fail "the zip holds '$listing', not '$want'"
if ! unzip -p "$zip" "$folder/orbenix.dll" | cmp -s - "$dll"; then fail "the zip's orbenix.dll differs from the build's"; fi
unzip -p "$zip" README.txt | grep -q 'regsvr32' || fail "the README does not say how to register"

echo "DONE failures=$failures"
[ "$failures" -eq 0 ]
