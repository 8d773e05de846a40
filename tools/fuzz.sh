#!/usr/bin/env bash
# Builds the libFuzzer targets in build/fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting from
# its committed seed corpus under tests/fuzz/corpus/TARGET/; the inputs it finds go
# to build/fuzz/corpus/TARGET/. Prints executions, executions per second, coverage
# and corpus size per target. Fails if any target crashes, exceeds 1 s on one input,
# leaks or trips a sanitizer; the input that did it is kept under build/fuzz/crashes/.
# decode:EXT runs the decode target from only the seeds whose names end in .EXT
# (webp, heic, avif, tif, jxl, jpg, png ...), so that each format gets its own time.
#   tools/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(settings image_list picture_header decode exif xscreensaver pid_file folder_cache
                                        shuffle_state picture_settings)

# Longest input per target: an image list is read once per counted entry, so its
# cost grows with the square of its length.
declare -A max_len=([settings]=1024 [image_list]=2048 [picture_header]=4096 [decode]=65536 [exif]=4096 [xscreensaver]=8192
                    [pid_file]=512 [folder_cache]=8192 [shuffle_state]=4096 [picture_settings]=4096)

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DVELLORA_FUZZ=ON >/dev/null
cmake --build build/fuzz -j2 >/dev/null

# The 1 s limit is wall-clock time, which a machine busy with other work can
# exceed on any input. A timeout counts only if the input repeats it when run
# alone; otherwise the run goes on for the rest of its time.
reproduces_alone() { "build/fuzz/fuzz_$1" -timeout=1 -runs=3 "$2" >/dev/null 2>&1 && return 1 || return 0; }

status=0
printf '%-16s %10s %9s %6s %7s  %s\n' target executions "exec/s" cov corpus result
for target in "${targets[@]}"; do
  name=${target/:/_} program=${target%%:*} seeds=tests/fuzz/corpus/$target
  if [[ $target == *:* ]]; then
    seeds=build/fuzz/seeds/$name
    rm -rf "$seeds" && mkdir -p "$seeds"
    cp tests/fuzz/corpus/"$program"/*."${target#*:}" "$seeds"/
  fi
  work=build/fuzz/corpus/$name crashes=build/fuzz/crashes/$name log=build/fuzz/logs/$name.log
  mkdir -p "$work" "$crashes" "$(dirname "$log")"
  : >"$log"
  started=$SECONDS execs=0 stalls=0 result=ok
  while remaining=$((seconds - (SECONDS - started))); [ "$remaining" -gt 0 ]; do
    rc=0
    touch "$crashes/.run"
    "build/fuzz/fuzz_$program" -max_total_time="$remaining" -timeout=1 -max_len="${max_len[$program]}" \
      -print_final_stats=1 -artifact_prefix="$crashes/" "$work" "$seeds" >>"$log" 2>&1 || rc=$?
    ran=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    execs=$((execs + ${ran:-0}))
    [ "$rc" -eq 0 ] && break
    timeout_input=$(find "$crashes" -name 'timeout-*' -newer "$crashes/.run" | head -1)
    if [ -n "$timeout_input" ] && ! reproduces_alone "$program" "$timeout_input"; then
      stalls=$((stalls + 1))
      rm -f "$timeout_input"
      continue
    fi
    result="FAILED (exit $rc): $(grep -m1 -E 'ERROR|expectation failed|SUMMARY|deadly signal' "$log" || echo "see $log")"
    status=1
    break
  done
  elapsed=$((SECONDS - started))
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corpus=$(find "$work" -type f | wc -l)
  [ "$stalls" -eq 0 ] || result="$result ($stalls timeouts under load did not recur alone)"
  printf '%-16s %10s %9s %6s %7s  %s\n' "$target" "$execs" "$((execs / (elapsed > 0 ? elapsed : 1)))" \
    "${cov:-?}" "$corpus" "$result"
done
[ "$status" -eq 0 ] || echo "logs under build/fuzz/logs/, failing inputs under build/fuzz/crashes/" >&2
exit $status
