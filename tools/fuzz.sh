#!/usr/bin/env bash
# Builds the libFuzzer targets in build/fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting from
# its committed seed corpus under tests/fuzz/corpus/TARGET/; the inputs it finds go
# to build/fuzz/corpus/TARGET/. Prints executions, executions per second, coverage
# and corpus size per target. Fails if any target crashes, exceeds 1 s on one input,
# leaks or trips a sanitizer; the input that did it is kept under build/fuzz/crashes/.
#   tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(settings image_list picture_header decode)

# Longest input per target: an image list is read once per counted entry, so its
# cost grows with the square of its length.
declare -A max_len=([settings]=1024 [image_list]=2048 [picture_header]=4096 [decode]=65536)

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DVELLORA_FUZZ=ON >/dev/null
cmake --build build/fuzz -j2 >/dev/null

status=0
printf '%-16s %10s %9s %6s %7s  %s\n' target executions "exec/s" cov corpus result
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target crashes=build/fuzz/crashes/$target log=build/fuzz/logs/$target.log
  mkdir -p "$work" "$crashes" "$(dirname "$log")"
  rc=0
  "build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=1 -max_len="${max_len[$target]}" \
    -print_final_stats=1 -artifact_prefix="$crashes/" "$work" "tests/fuzz/corpus/$target" >"$log" 2>&1 || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corpus=$(find "$work" -type f | wc -l)
  if [ "$rc" -eq 0 ]; then
    result=ok
  else
    result="FAILED (exit $rc): $(grep -m1 -E 'ERROR|expectation failed|timeout|deadly signal' "$log" || echo "see $log")"
    status=1
  fi
  printf '%-16s %10s %9s %6s %7s  %s\n' "$target" "${execs:-?}" "${rate:-?}" "${cov:-?}" "$corpus" "$result"
done
[ "$status" -eq 0 ] || echo "logs under build/fuzz/logs/, failing inputs under build/fuzz/crashes/" >&2
exit $status
