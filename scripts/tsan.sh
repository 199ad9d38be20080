#!/usr/bin/env bash
# ThreadSanitizer run of the tests that involve threads: the worker and its stop (schedule),
# the fetch thread (timesync), the log from two threads (support), the service's stop (service)
# and the platform's sleeper, HTTP and file layers (platform). Exits non-zero on any report.
# Runs without CAP_SYS_TIME, so no test can change this machine's clock.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${KELVRA_NO_SYS_TIME:-}" != 1 ]; then
  export KELVRA_NO_SYS_TIME=1
  exec setpriv --inh-caps=-sys_time --bounding-set=-sys_time -- bash "$0" "$@"
fi

areas=(schedule timesync support service platform)
cmake --preset linux-tsan >/dev/null
cmake --build build/linux-tsan -j "$(nproc)" --target "${areas[@]/#/test_}"

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 exitcode=66 second_deadlock_stack=1 log_path=$logs/tsan"
status=0
for area in "${areas[@]}"; do
  printf '\n=== tsan: test_%s ===\n' "$area"
  # The kill drills fork, which tells nothing about threads and is slow under the sanitizer.
  if ! (cd build/linux-tsan && "./tests/test_$area" --gtest_brief=1 --gtest_filter=-KillMidWrite.*); then
    echo "test_$area failed under ThreadSanitizer" >&2
    status=1
  fi
done
if compgen -G "$logs/tsan*" >/dev/null; then
  cat "$logs"/tsan* >&2
  echo "ThreadSanitizer reported the above" >&2
  status=1
fi
exit $status
