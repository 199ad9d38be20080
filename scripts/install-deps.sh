#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config file libgtest-dev libgmock-dev googletest
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 locales
      libcurl4-openssl-dev libsystemd-dev nginx-light iproute2 util-linux
      clang libclang-rt-14-dev python3 ntpsec-ntpdig dpkg-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# Wine takes its ANSI code page from the locale: code page 936 needs zh_CN.GBK.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.gbk$'; then
  localedef -i zh_CN -f GBK zh_CN.GBK
fi
