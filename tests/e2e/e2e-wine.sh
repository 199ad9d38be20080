#!/usr/bin/env bash
# The 64-bit Windows executable end to end under Wine's service manager, in a network and mount
# namespace of its own, against test servers that stand in for the built-in servers.
set -euo pipefail
cd "$(dirname "$0")/../.."
servers=$(mktemp)
trap 'rm -f "$servers"' EXIT
sed -n '/kBuiltInServers\[\] = {/,/};/p' src/timesync/RuVir.h | grep -o '"[^"]*"' | tr -d '"' > "$servers"
[ "$(wc -l < "$servers")" = 7 ] || { echo "could not read the seven built-in server names" >&2; exit 1; }
exec python3 tests/e2e/e2e_wine.py build/windows-x64/src/service/kelvra-timesync.exe "$servers"
