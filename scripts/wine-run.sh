#!/usr/bin/env bash
# Runs a Windows test executable under Wine with the test setting: a private prefix in the
# build folder, code page 936 as the ANSI code page, Wine's own diagnostics off.
set -euo pipefail
exe=$1; shift
build_dir=${KELVRA_WINE_BUILD_DIR:-$(cd "$(dirname "$exe")" && while [ ! -f CMakeCache.txt ] && [ "$PWD" != / ]; do cd ..; done; pwd)}
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=-all
export LC_ALL=zh_CN.GBK
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec /usr/lib/wine/wine64 "$exe" "$@"
