#!/usr/bin/env bash
# Every test: installs what is missing, builds both presets, runs the Linux
# tests and then the Windows tests under a 32-bit Wine prefix in the build dir.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset linux
cmake --build --preset linux -j2
ctest --preset linux

cmake --preset mingw32
cmake --build --preset mingw32 -j2
bash scripts/wine-tests.sh
