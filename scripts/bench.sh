#!/usr/bin/env bash
# The benchmark of accuracy and cost: one table, each figure a median over repeated runs beside
# its reference, measured in the same run. Everything runs in a network and mount namespace of
# its own (loopback only) and without CAP_SYS_TIME; the clock is never set.
#
#   scripts/bench.sh [--runs N] [--slow-runs N] [--wait SECONDS] [--instances N]
#
# Needs root (for the namespace), the linux build (build/linux, configured with the bench
# directory), nginx; ntpdig (ntpsec-ntpdig) and chronyd (chrony) are used when installed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=15 slow_runs=3 wait_s=60 instances=3
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --slow-runs) slow_runs=$2; shift 2 ;;
    --wait) wait_s=$2; shift 2 ;;
    --instances) instances=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--slow-runs N] [--wait SECONDS] [--instances N]" >&2; exit 2 ;;
  esac
done

if [ "${KELVRA_BENCH_INSIDE:-}" != 1 ]; then
  [ -d build/linux ] || cmake --preset linux >/dev/null
  if ! cmake --build build/linux --target kelvra-bench kelvra-timesync kelvra_clock_recorder -j2 >/dev/null; then
    echo "build failed (is bench/ added to the build? the top-level CMakeLists.txt needs add_subdirectory(bench))" >&2
    exit 1
  fi
  command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || { echo "nginx is not installed" >&2; exit 1; }
  export KELVRA_BENCH_INSIDE=1 TZ=UTC
  exec setpriv --inh-caps=-sys_time --bounding-set=-sys_time unshare -mn bash "$0" --runs "$runs" \
    --slow-runs "$slow_runs" --wait "$wait_s" --instances "$instances"
fi

# Inside the namespace.
ip link set lo up
rows=$(mktemp) servers=$(mktemp)
trap 'rm -f "$rows" "$servers"' EXIT
sed -n '/kBuiltInServers\[\] = {/,/};/p' src/timesync/RuVir.h | grep -o '"[^"]*"' | tr -d '"' > "$servers"
[ "$(wc -l < "$servers")" = 7 ] || { echo "could not read the seven built-in server names" >&2; exit 1; }

ntpdig_flag=()
command -v ntpdig >/dev/null || ntpdig_flag=(--no-ntpdig)
status=0
build/linux/bench/kelvra-bench --runs "$runs" --slow-runs "$slow_runs" "${ntpdig_flag[@]}" \
  --nginx-site packaging/webtime/nginx-kelvra-webtime.conf | grep '^ROW' >> "$rows" || status=1
python3 bench/daemon_bench.py build/linux/src/service/kelvra-timesync build/linux/tests/clock_recorder.so \
  "$servers" "$wait_s" "$instances" | grep '^ROW' >> "$rows" || status=1

python3 - "$rows" "$runs" "$slow_runs" <<'PY'
import sys
rows = [l.rstrip("\n").split("\t")[1:] for l in open(sys.argv[1]) if l.startswith("ROW\t")]
print(f"Kelvra benchmark: medians of {sys.argv[2]} runs ({sys.argv[3]} where a time-out is waited out)\n")
print("| figure | ours | reference(s), same run | target | |")
print("|---|---|---|---|---|")
for r in rows:
    print("| " + " | ".join(c.replace("|", "\\|") for c in r) + " |")
PY
[ "$(wc -l < "$rows")" -ge 10 ] || { echo "some figures are missing" >&2; status=1; }
exit $status
