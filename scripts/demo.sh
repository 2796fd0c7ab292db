#!/usr/bin/env bash
# The main job: builds orbenix-check and runs it on a parameter string.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target orbenix-check >/dev/null

parameter=${1:-'#URL=http://127.0.0.1:1#KEY=demo#HSH=demo#PRU=F#PRP=99999999999#'}
echo "orbenix-check --parameter '$parameter' --json"
set +e
./build/linux/cli/orbenix-check --parameter "$parameter" --json
echo "exit code: $?"
