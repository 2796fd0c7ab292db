#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan, fuzz/CMakeLists.txt)
# and runs each in turn; fails when a target finds a crash, a leak or a hang.
#   fuzz/run.sh [--runs=N] [SECONDS] [TARGET...]
#       each target for SECONDS (default 60) or N inputs, whichever comes first,
#       growing build/fuzz/<target>/corpus
#   fuzz/run.sh --min-runs=N [SECONDS] [TARGET...]
#       each target for SECONDS, then on from its corpus until N inputs in all,
#       however long that takes (the campaign: --min-runs=10000000 1800, 10 million
#       or 30 minutes, whichever is later)
#   fuzz/run.sh --ci --runs=N [SECONDS] [TARGET...]
#       each target from its seeds alone with a fixed random seed, as the test
#       command runs them
# One line per target: inputs run, seconds, edges covered, corpus files, result.
# Targets are fuzz/<name>_fuzzer.cpp (all by default). A crash lands in
# build/fuzz/<target>/crash-*; turn it into a table row of the matching unit test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=
min_runs=
ci=
while [[ ${1:-} == --* ]]; do
  case $1 in
    --runs=*) runs=${1#--runs=} ;;
    --min-runs=*) min_runs=${1#--min-runs=} ;;
    --ci) ci=1 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
seconds=${1:-60}
shift || true
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for source in "$root"/fuzz/*_fuzzer.cpp; do
    name=$(basename "$source" _fuzzer.cpp)
    targets+=("$name")
  done
fi
out=${FUZZ_OUT:-$root/build/fuzz}
mkdir -p "$out"
out=$(cd "$out" && pwd)  # each target runs in its own folder below it
CXX=${FUZZ_CXX:-clang++} cmake -S "$root/fuzz" -B "$out" -G Ninja >/dev/null
cmake --build "$out" -j"${FUZZ_JOBS:-2}" >/dev/null

status=0
for target in "${targets[@]}"; do
  dir=$out/$target
  limits=()
  [[ -z $runs ]] || limits+=(-runs="$runs")
  if [[ -n $ci ]]; then
    corpus=$dir/ci-corpus
    rm -rf "$corpus"
    limits+=(-seed=1)
  else
    corpus=$dir/corpus
  fi
  mkdir -p "$corpus"
  cp -n "$root/fuzz/seeds/$target/"* "$corpus/" 2>/dev/null || true
  start=$(date +%s)
  : >"$dir/log"
  result=ok
  session=1
  time_limit=$seconds
  while :; do
    if ! (cd "$dir" && "$out/${target}_fuzzer" "${limits[@]}" -max_total_time="$time_limit" -max_len=8192 \
          -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/" "$corpus" \
          >>"$dir/log" 2>&1); then
      result="FAILED (see $dir/log)"
      status=1
      tail -n 40 "$dir/log"
    fi
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | awk '{ n += $1 } END { print n + 0 }')
    # --min-runs: a second session from the corpus for the inputs still owed,
    # bounded by their count alone (0: no time limit)
    [[ $result == ok && -n $min_runs && $executed -lt $min_runs && $session -eq 1 ]] || break
    session=2
    time_limit=0
    limits=(-runs=$((min_runs - executed)))
  done
  edges=$(grep -o 'cov: [0-9]*' "$dir/log" | tail -n 1 | cut -d' ' -f2)
  echo "fuzz $target: ${executed:-?} runs in $(($(date +%s) - start)) s, ${edges:-?} edges," \
    "$(find "$corpus" -type f | wc -l) files in the corpus, $result"
done
exit $status
