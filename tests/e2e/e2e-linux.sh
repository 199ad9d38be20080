#!/usr/bin/env bash
# The Linux daemon end to end, in a network and mount namespace of its own, against test servers
# that stand in for the seven built-in servers and the web time endpoint.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/e2e/lib/builtin-servers.sh
servers=$(builtin_servers_file)
trap 'rm -f "$servers"' EXIT
python3 tests/e2e/e2e_linux.py build/linux/src/service/kelvra-timesync build/linux/tests/clock_recorder.so "$servers"
