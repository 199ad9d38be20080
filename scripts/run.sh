#!/usr/bin/env bash
# Builds the Linux executable (installing the few packages it needs) and runs it.
# Without arguments it runs the operator query (-q): every time source is asked once and what it
# answered is printed; nothing is set. Other switches are passed on (-v, -i, -u).
set -euo pipefail
cd "$(dirname "$0")/.."
need=(cmake ninja-build g++ pkg-config libcurl4-openssl-dev libsystemd-dev libgtest-dev libgmock-dev)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake --preset linux >/dev/null
cmake --build build/linux --target kelvra-timesync >/dev/null
[ $# -gt 0 ] || set -- -q
exec build/linux/src/service/kelvra-timesync "$@"
