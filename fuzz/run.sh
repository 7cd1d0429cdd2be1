#!/bin/bash
# Runs every libFuzzer target built in the fuzz preset for a bounded time,
# starting from the committed seeds and regression inputs. Fails on any
# finding: a crash, a sanitizer report, a broken property, a leak or a hang.
#
# usage: fuzz/run.sh [BUILD_DIR]
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_TARGETS   names to run (default: every fuzz_* program built)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/fuzz}
seconds=${FUZZ_SECONDS:-60}

if [[ -n ${FUZZ_TARGETS:-} ]]; then
  read -r -a targets <<<"$FUZZ_TARGETS"
else
  targets=()
  for bin in "$build"/fuzz/fuzz_*; do
    [[ -x $bin ]] && targets+=("${bin##*/fuzz_}")
  done
fi
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets in $build/fuzz (configure and build the fuzz preset)" >&2
  exit 2
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
runs_dir=$build/fuzz-runs
failed=()
# Each target runs on one core, so as many run at once as there are cores;
# their lines are printed in order once all have ended.
fuzz_one() {
  local t=$1 work=$runs_dir/$1
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/findings"
  local inputs=("$root/fuzz/corpus/$t")
  [[ -d $root/fuzz/regressions/$t ]] && inputs+=("$root/fuzz/regressions/$t")
  # New inputs go to the scratch corpus, never into the committed seeds.
  "$build/fuzz/fuzz_$t" "$work/corpus" "${inputs[@]}" \
    -dict="$root/fuzz/vantrel.dict" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$work/findings/" >"$work/log" 2>&1
  echo $? >"$work/status"
}
cores=$(nproc 2>/dev/null || echo 1)
for t in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= cores)); do wait -n || true; done
  fuzz_one "$t" &
done
wait

printf '%-14s %8s %12s %10s  %s\n' target seconds executions exec/s result
for t in "${targets[@]}"; do
  work=$runs_dir/$t
  status=$(cat "$work/status" 2>/dev/null || echo '?')
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$work/log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -n 1)
  result=ok
  if [[ $status != 0 ]] || [[ -n $(ls -A "$work/findings") ]]; then
    result="FAILED (exit $status): see $work/log and $work/findings/"
    failed+=("$t")
  fi
  printf '%-14s %8s %12s %10s  %s\n' "$t" "${took:-?}" "${runs:-?}" "${rate:-?}" "$result"
done

if ((${#failed[@]})); then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  for t in "${failed[@]}"; do
    echo "--- $t" >&2
    grep -E -m 20 'ERROR|property failed|SUMMARY|runtime error|Test unit written' \
      "$runs_dir/$t/log" >&2
  done
  echo "Add each input from findings/ to fuzz/regressions/TARGET/ with the fix." >&2
  exit 1
fi
