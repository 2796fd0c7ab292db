#!/usr/bin/env bash
# Every test: installs what is missing, builds both presets, runs the Linux
# tests, every fuzz target briefly, and then the Windows tests under a 32-bit
# Wine prefix in the build dir.
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

cmake --preset mingw32
cmake --build --preset mingw32 -j2
bash scripts/wine-tests.sh
