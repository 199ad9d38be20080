#!/usr/bin/env bash
# Builds both packages and checks what they hold: the Debian package unpacked into a scratch
# root, the Windows zip listed.
set -euo pipefail
cd "$(dirname "$0")/../.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd build/linux && cpack -G DEB -B "$scratch/deb" >/dev/null)
(cd build/windows-x86 && cpack -G ZIP -B "$scratch/zip" >/dev/null)
deb=$(ls "$scratch"/deb/*.deb)
zip=$(ls "$scratch"/zip/*.zip)

dpkg -x "$deb" "$scratch/root"
fail=0
expect() { if [ ! -e "$scratch/root/$1" ]; then echo "missing in the Debian package: $1" >&2; fail=1; fi; }
expect opt/kelvra/bin/kelvra-timesync
expect opt/kelvra/bin/config.ini
expect opt/kelvra/log
expect opt/kelvra/lib/systemd/system/DaZirAdur.service
expect opt/kelvra/share/nginx/nginx-kelvra-webtime.conf
[ -x "$scratch/root/opt/kelvra/bin/kelvra-timesync" ] || { echo "the executable is not executable" >&2; fail=1; }
[ -d "$scratch/root/opt/kelvra/log" ] || { echo "log/ is not a directory" >&2; fail=1; }
grep -q '^ExecStart=/opt/kelvra/bin/kelvra-timesync$' "$scratch/root/opt/kelvra/lib/systemd/system/DaZirAdur.service" \
  || { echo "the unit does not start /opt/kelvra/bin/kelvra-timesync" >&2; fail=1; }
grep -q '^\[DaZirAdur\]' "$scratch/root/opt/kelvra/bin/config.ini" || { echo "config.ini has no [DaZirAdur]" >&2; fail=1; }
dpkg-deb -I "$deb" conffiles | grep -qx /opt/kelvra/bin/config.ini || { echo "config.ini is not a conffile" >&2; fail=1; }

python3 - "$zip" <<'PY' || fail=1
import sys, zipfile
names = {n.split("/", 1)[1] if "/" in n else n for n in zipfile.ZipFile(sys.argv[1]).namelist()}
want = {"kelvra-timesync.exe", "config.ini", "README.txt", "webtime/gettime.asp"}
missing = want - names
if missing:
    sys.exit(f"missing in the Windows zip: {sorted(missing)} (has {sorted(names)})")
exe = zipfile.ZipFile(sys.argv[1])
data = [exe.read(n) for n in exe.namelist() if n.endswith(".exe")][0]
pe = int.from_bytes(data[0x3C:0x40], "little")
machine = int.from_bytes(data[pe + 4:pe + 6], "little")
if machine != 0x14C:
    sys.exit(f"the zipped executable is not 32-bit x86 (machine {machine:#x})")
PY
[ $fail = 0 ] && echo "packages: $(basename "$deb"), $(basename "$zip"): layout as expected"
exit $fail
