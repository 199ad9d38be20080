#!/usr/bin/env bash
# Builds the libFuzzer targets (preset linux-fuzz) and runs each for a fixed number of runs
# from its seed corpus, copied to a temporary directory so the tree stays as it is. Fails on the
# first crash, sanitizer report or violated property; the failing input is left in the
# temporary directory named in the output.
#   scripts/fuzz-short.sh [runs per target, default 20000]
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS="${1:-20000}"
JOBS="${JOBS:-2}"

cmake --preset linux-fuzz >/dev/null
cmake --build build/linux-fuzz --target fuzzers -j"$JOBS"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
work="$(mktemp -d /tmp/kelvra-fuzz-short.XXXXXX)"
status=0
for corpus in fuzz/corpus/*/; do
  target="$(basename "$corpus")"
  mkdir -p "$work/$target/corpus" "$work/$target/found"
  cp "$corpus"* "$work/$target/corpus/"
  echo "== $target: $RUNS runs"
  # No capability to set the clock, whatever the target reaches.
  if ! setpriv --inh-caps=-sys_time --bounding-set=-sys_time \
      "build/linux-fuzz/fuzz/$target" -runs="$RUNS" -seed=1 -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
      -artifact_prefix="$work/$target/found/" -print_final_stats=0 "$work/$target/corpus" \
      >"$work/$target/log" 2>&1; then
    tail -n 30 "$work/$target/log"
    echo "FAILED: $target (input and log in $work/$target)"
    status=1
    break
  fi
  grep -E '^Done|DONE' "$work/$target/log" | tail -n 1
done
if [ "$status" -eq 0 ]; then rm -rf "$work"; echo "fuzz-short: all targets passed"; fi
exit "$status"
