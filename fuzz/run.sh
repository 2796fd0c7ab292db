#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for
# SECONDS (default 60). Not part of CI. Crashes land in build/http-fuzz/<target>/;
# turn each into a regression test in tests/engine/http/ (usage_values:
# tests/engine/usage_values_test.cpp, tests/cli/threshold_range_test.cpp).
#   fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(response_parser chunked_decoder url usage_values)
out=$root/build/http-fuzz
mkdir -p "$out"

common=(
  "$root/component/error.cpp" "$root/params/utf8.cpp"
  "$root/engine/http/line_reader.cpp" "$root/engine/http/chunked_decoder.cpp"
  "$root/engine/http/response.cpp" "$root/engine/http/response_parser.cpp" "$root/engine/http/url.cpp"
  "$root/engine/usage_values.cpp" "$root/cli/threshold_range.cpp"
)
for target in "${targets[@]}"; do
  exe=$out/${target}_fuzzer
  clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I "$root" \
    "$root/fuzz/${target}_fuzzer.cpp" "${common[@]}" -o "$exe"
  mkdir -p "$out/$target/corpus"
  cp -n "$root/fuzz/seeds/$target/"* "$out/$target/corpus/" 2>/dev/null || true
  echo "== $target for ${seconds} s"
  (cd "$out/$target" && "$exe" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
     -print_final_stats=1 corpus 2>&1 | tail -n 12)
done
