#!/usr/bin/env bash
# Every test: installs what is missing, builds every preset, runs the Linux
# tests, every fuzz target briefly, and then the Windows tests under Wine:
# the 64-bit build in a 64-bit prefix, and the 32-bit build in a 32-bit
# prefix when this machine runs 32-bit programs. Each prefix lives in its
# build dir.
#   ORBENIX_WINE32=off   skips the 32-bit Windows tests even where they could
#                        run (to try the path of a machine that cannot).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset linux
cmake --build --preset linux -j2
ctest --preset linux

# Every fuzz target briefly: a fixed number of inputs from its seeds, ASan and UBSan.
if command -v clang++ >/dev/null; then
  bash fuzz/run.sh --ci --runs=20000 30
fi

# The 32-bit build first: the 64-bit build's x64 MSI carries its DLL and CLI.
cmake --preset mingw32
cmake --build --preset mingw32 -j2
cmake --preset mingw64
cmake --build --preset mingw64 -j2

# The release zip holds both builds; the 32-bit DLL's surface needs no Wine,
# so it is checked here on every machine.
version=$(sed -n 's/^project(orbenix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
bash installer/release-zip.sh "build/orbenix-$version.zip" \
  "build/mingw32/orbenix-$version-win32.zip" "build/mingw64/orbenix-$version-win64.zip"
listing=$(unzip -Z1 "build/orbenix-$version.zip" | LC_ALL=C sort | tr '\n' ' ')
want="README.txt x64/orbenix-check.exe x64/orbenix.chm x64/orbenix.dll x86/orbenix-check.exe x86/orbenix.chm x86/orbenix.dll "
[ "$listing" = "$want" ] || { echo "the release zip holds '$listing', not '$want'"; exit 1; }
bash tests/wine/dll_surface_test.sh i686-w64-mingw32-objdump build/mingw32/component/com/orbenix.dll \
  "build/mingw32/orbenix-$version-win32.zip" x86
# Both MSIs, so that the x64 package's test (wine_installer_x64) cannot go missing.
for msi in "build/mingw32/orbenix-$version.msi" "build/mingw64/orbenix-$version-x64.msi"; do
  [ -f "$msi" ] || { echo "$msi was not built"; exit 1; }
done

# Whether this machine runs 32-bit programs, asked of one: Wine's 32-bit
# loader. Kernels with ia32 emulation off refuse it ("Exec format error").
wine32_reason=
if [ "${ORBENIX_WINE32:-on}" = off ]; then
  wine32_reason="ORBENIX_WINE32=off was set"
elif ! probe=$(/usr/lib/wine/wine --version 2>&1); then
  wine32_reason="this machine does not run 32-bit programs (/usr/lib/wine/wine --version: ${probe:-no output})"
fi

bash scripts/wine-tests.sh build/mingw64
if [ -z "$wine32_reason" ]; then
  bash scripts/wine-tests.sh build/mingw32
  # Both DLLs registered side by side on one 64-bit machine.
  bash tests/wine/side_by_side_test.sh build/mingw64/wine-run build/mingw64/component/com/orbenix.dll \
    build/mingw32/component/com/orbenix.dll build/mingw64/tests/wine/side-by-side-wineprefix
else
  echo "SKIPPED: the 32-bit Windows tests under Wine (and both DLLs side by side), because $wine32_reason." \
    "The 32-bit DLL's static checks passed above. The x64 MSI was installed, checked (both registry views)" \
    "and removed in a 64-bit prefix, but its 32-bit host (syswow64 cscript) and the 32-bit regsvr32 were skipped" \
    "for the same reason. To run them, boot the kernel with ia32_emulation=on" \
    "(or use a kernel with IA32 emulation) and unset ORBENIX_WINE32."
fi
