#!/usr/bin/env bash
# Fault drills of the Linux daemon, each in a network and mount namespace of its own.
set -euo pipefail
cd "$(dirname "$0")/../.."
servers=$(mktemp)
trap 'rm -f "$servers"' EXIT
sed -n '/kBuiltInServers\[\] = {/,/};/p' src/timesync/RuVir.h | grep -o '"[^"]*"' | tr -d '"' > "$servers"
[ "$(wc -l < "$servers")" = 7 ] || { echo "could not read the seven built-in server names" >&2; exit 1; }
exec python3 tests/e2e/drills_linux.py build/linux/src/service/kelvra-timesync build/linux/tests/clock_recorder.so "$servers"
