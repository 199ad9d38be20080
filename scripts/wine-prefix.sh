#!/usr/bin/env bash
# Creates the private Wine prefix of a build folder once.
set -euo pipefail
build_dir=$(cd "$1" && pwd)
export WINEPREFIX=$build_dir/wineprefix WINEDEBUG=-all LC_ALL=zh_CN.GBK WINEDLLOVERRIDES=mscoree,mshtml=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
fi
