#!/usr/bin/env bash
# The project's test command: installs what is missing, builds every preset and runs every
# test. Everything after the installation runs without CAP_SYS_TIME, so no test can change
# this machine's clock.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${KELVRA_NO_SYS_TIME:-}" != 1 ]; then
  bash scripts/install-deps.sh
  export KELVRA_NO_SYS_TIME=1
  exec setpriv --inh-caps=-sys_time --bounding-set=-sys_time -- bash "$0" "$@"
fi

# From here on: no CAP_SYS_TIME in this process or any child.
if grep -q '^CapBnd:' /proc/self/status; then
  bnd=$(awk '/^CapBnd:/ {print $2}' /proc/self/status)
  if (( (0x$bnd >> 25) & 1 )); then echo "CAP_SYS_TIME still in the bounding set" >&2; exit 1; fi
fi

jobs=$(nproc)
step() { printf '\n=== %s ===\n' "$*"; }

for preset in linux linux-asan windows-x64 windows-x86; do
  step "build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
done

step "tests: linux"
ctest --test-dir build/linux --output-on-failure -j "$jobs"

step "tests: linux-asan"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/linux-asan --output-on-failure -j "$jobs"

step "tests: windows-x64 under Wine"
bash scripts/wine-prefix.sh build/windows-x64
ctest --test-dir build/windows-x64 --output-on-failure
WINEPREFIX=$PWD/build/windows-x64/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true

step "windows-x86: the shipped executable"
kind=$(file -b build/windows-x86/src/service/kelvra-timesync.exe)
echo "$kind"
case "$kind" in "PE32 executable"*) ;; *) echo "not a 32-bit Windows executable" >&2; exit 1 ;; esac
if i686-w64-mingw32-objdump -p build/windows-x86/src/service/kelvra-timesync.exe | grep -E 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
  echo "the 32-bit executable depends on MinGW runtime DLLs" >&2; exit 1
fi

step "ThreadSanitizer: the tests that involve threads"
bash scripts/tsan.sh

step "fuzz targets: short fixed runs"
bash scripts/fuzz-short.sh

for extra in tests/e2e/*.sh; do
  [ -e "$extra" ] || continue
  step "$(basename "$extra")"
  bash "$extra"
done

step "all tests passed"
