#!/usr/bin/env bash
# The Windows release zip: both builds' halves in one, x86\ for 32-bit hosts
# and x64\ for 64-bit hosts, each with its DLL, help file and CLI, and the
# administrators' README at the top.
# usage: release-zip.sh OUT.zip WIN32.zip WIN64.zip
set -euo pipefail
out=${1:?usage: release-zip.sh OUT.zip WIN32.zip WIN64.zip}
half32=${2:?win32 zip}
half64=${3:?win64 zip}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
unzip -q "$half32" -d "$stage"
unzip -q -o "$half64" -d "$stage"
for arch in x86 x64; do
  for file in orbenix.dll orbenix.chm orbenix-check.exe; do
    [ -f "$stage/$arch/$file" ] || { echo "release-zip.sh: $arch/$file is missing" >&2; exit 1; }
  done
done
out=$(realpath -m "$out")
rm -f "$out"
(cd "$stage" && zip -q -X "$out" README.txt x86/orbenix.dll x86/orbenix.chm x86/orbenix-check.exe \
  x64/orbenix.dll x64/orbenix.chm x64/orbenix-check.exe)
echo "release zip: $out"
