#!/usr/bin/env bash
# Fault drills of the Linux daemon, each in a network and mount namespace of its own.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/e2e/lib/builtin-servers.sh
servers=$(builtin_servers_file)
trap 'rm -f "$servers"' EXIT
python3 tests/e2e/drills_linux.py build/linux/src/service/kelvra-timesync build/linux/tests/clock_recorder.so "$servers"
