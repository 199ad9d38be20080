#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a given time, keeping what it finds: new inputs
# go to fuzz/found/<target>/corpus (seeds from fuzz/corpus/<target> are read, never written),
# failing inputs to fuzz/found/<target>/. A failure in one target does not stop the others.
#   scripts/fuzz-long.sh [seconds per target, default 600] [target ...]
set -uo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET="${1:-600}"
shift || true
JOBS="${JOBS:-2}"

cmake --preset linux-fuzz >/dev/null || exit 1
cmake --build build/linux-fuzz --target fuzzers -j"$JOBS" || exit 1

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for corpus in fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
fi
failed=()
for target in "${targets[@]}"; do
  out="fuzz/found/$target"
  mkdir -p "$out/corpus"
  echo "== $target: ${SECONDS_PER_TARGET}s"
  if ! setpriv --inh-caps=-sys_time --bounding-set=-sys_time \
      "build/linux-fuzz/fuzz/$target" -max_total_time="$SECONDS_PER_TARGET" -max_len=4096 -timeout=10 \
      -rss_limit_mb=1024 -artifact_prefix="$out/" -print_final_stats=1 \
      "$out/corpus" "fuzz/corpus/$target" >"$out/log" 2>&1; then
    tail -n 30 "$out/log"
    failed+=("$target")
  fi
  grep -E '^Done|stat::number_of_executed_units|cov:' "$out/log" | tail -n 2
done
if [ "${#failed[@]}" -ne 0 ]; then echo "FAILED: ${failed[*]} (inputs under fuzz/found/)"; exit 1; fi
echo "fuzz-long: all targets passed"
