#!/usr/bin/env bash
# The 64-bit Windows executable end to end under Wine's service manager, in a network and mount
# namespace of its own, against test servers that stand in for the built-in servers.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/e2e/lib/builtin-servers.sh
servers=$(builtin_servers_file)
trap 'rm -f "$servers"' EXIT
python3 tests/e2e/e2e_wine.py build/windows-x64/src/service/kelvra-timesync.exe "$servers"
