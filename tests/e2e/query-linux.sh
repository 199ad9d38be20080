#!/usr/bin/env bash
# The operator's query (-q) of the Linux executable: without any network, and against test
# servers standing in for the seven built-in servers and the web time page.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/e2e/lib/builtin-servers.sh
servers=$(builtin_servers_file)
trap 'rm -f "$servers"' EXIT
setpriv --inh-caps=-sys_time --bounding-set=-sys_time \
  python3 tests/e2e/query_linux.py build/linux/src/service/kelvra-timesync build/linux/tests/clock_recorder.so "$servers"
