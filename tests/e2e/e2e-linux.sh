#!/usr/bin/env bash
# The Linux daemon end to end, in a network and mount namespace of its own, against test servers
# that stand in for the seven built-in servers and the web time endpoint.
set -euo pipefail
cd "$(dirname "$0")/../.."
servers=$(mktemp)
trap 'rm -f "$servers"' EXIT
# The built-in server names, in their order, as the daemon has them.
sed -n '/kBuiltInServers\[\] = {/,/};/p' src/timesync/RuVir.h | grep -o '"[^"]*"' | tr -d '"' > "$servers"
[ "$(wc -l < "$servers")" = 7 ] || { echo "could not read the seven built-in server names" >&2; exit 1; }
exec python3 tests/e2e/e2e_linux.py build/linux/src/service/kelvra-timesync build/linux/tests/clock_recorder.so "$servers"
