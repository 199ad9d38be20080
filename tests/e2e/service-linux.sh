#!/usr/bin/env bash
# The Linux daemon end to end: -i/-u against private unit directories (once as if systemd ran,
# in a mount namespace of its own with a recording systemctl), then a run under a stand-in for
# systemd: READY=1, SIGUSR1 writes "Current", SIGHUP answers, SIGTERM stops with exit code 0.
set -euo pipefail
cd "$(dirname "$0")/../.."
exe_built=${KELVRA_EXE:-build/linux/src/service/kelvra-timesync}
[ -x "$exe_built" ] || { echo "missing $exe_built (build the linux preset)" >&2; exit 1; }
nosystime=(setpriv --inh-caps=-sys_time --bounding-set=-sys_time)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/root/bin" "$tmp/units" "$tmp/fakebin"
exe="$tmp/root/bin/kelvra-timesync"
cp "$exe_built" "$exe"
export KELVRA_REGISTRY_FILE="$tmp/registry"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

title='Kelvra·网络对时系统'
done_line='执行完毕'
expect_console() {  # expect_console NAME EXPECTED -- command...
  local name=$1 expected=$2; shift 3
  local got
  got=$("${nosystime[@]}" "$@")
  [ "$got" = "$expected" ] || fail "$name: console was [$got], expected [$expected]"
}

cat > "$tmp/fakebin/systemctl" <<EOS
#!/bin/sh
echo "\$*" >> "$tmp/systemctl.calls"
EOS
chmod +x "$tmp/fakebin/systemctl"

# --- without systemd running: a private unit directory, no systemctl -------------------------
export KELVRA_UNIT_DIR="$tmp/units"
expect_console "-v before" "$title
DaZirAdur Version 1.0
The service is not installed
$done_line" -- env PATH="$tmp/fakebin:$PATH" "$exe" -v
expect_console "-i" "$title
DaZirAdur installed
$done_line" -- env PATH="$tmp/fakebin:$PATH" "$exe" -i
unit="$tmp/units/DaZirAdur.service"
[ -f "$unit" ] || fail "no unit file"
expected_unit="[Unit]
Description=Kelvra·网络对时系统，停止后将无法自动同步系统时间

[Service]
Type=notify
ExecStart=$exe
Restart=on-failure

[Install]
WantedBy=multi-user.target"
[ "$(cat "$unit")" = "$expected_unit" ] || fail "unit file: $(cat "$unit")"
[ ! -e "$tmp/systemctl.calls" ] || fail "systemctl ran although systemd is not running"
expect_console "-I again" "$title
DaZirAdur is already installed
$done_line" -- "$exe" -I
expect_console "/v installed" "$title
DaZirAdur Version 1.0
The service is currently installed
$done_line" -- "$exe" /v
expect_console "-u" "$title
DaZirAdur removed. (You must delete the file ($exe) yourself.)
$done_line" -- "$exe" -u
[ ! -e "$unit" ] || fail "unit file left after -u"
expect_console "-u again" "$title
DaZirAdur is not installed
$done_line" -- "$exe" -u
unset KELVRA_UNIT_DIR

# --- as if systemd ran: /etc/systemd/system and /run are private to a mount namespace -------
cat > "$tmp/ns.sh" <<EOS
set -e
mount --make-rprivate /
mount -t tmpfs tmpfs /etc/systemd/system
mount -t tmpfs tmpfs /run
mkdir -p /run/systemd/system
export PATH="$tmp/fakebin:\$PATH"
"$exe" -i > "$tmp/ns-install.out"
cp /etc/systemd/system/DaZirAdur.service "$tmp/ns-unit"
"$exe" -u > "$tmp/ns-remove.out"
[ ! -e /etc/systemd/system/DaZirAdur.service ] && echo gone > "$tmp/ns-gone"
EOS
# Only where the directory exists: the test creates nothing outside its namespace.
if [ -d /etc/systemd/system ]; then
  "${nosystime[@]}" unshare -m bash "$tmp/ns.sh" || fail "mount namespace run failed"
  [ "$(cat "$tmp/ns-install.out")" = "$title
DaZirAdur installed
$done_line" ] || fail "ns -i: $(cat "$tmp/ns-install.out")"
  [ "$(cat "$tmp/systemctl.calls" 2>/dev/null)" = "enable DaZirAdur.service
disable DaZirAdur.service
daemon-reload" ] || fail "systemctl calls: $(cat "$tmp/systemctl.calls" 2>/dev/null)"
  [ -e "$tmp/ns-gone" ] || fail "ns -u left the unit file"
fi

# --- the service under a stand-in for systemd ------------------------------------------------
printf '[DaZirAdur]\nState=0\n' > "$tmp/root/bin/config.ini"  # paused: no cycle, no network
printf '[SYSTEM\\CurrentControlSet\\Services\\DaZirAdur\\Parameters]\nStart=100\nInc=5\n' > "$KELVRA_REGISTRY_FILE"
out=$(python3 tests/e2e/service_fake_systemd.py "$tmp" "$exe" --stop-after 2.5 --user1 --hup)
echo "$out"
grep -q '^notify: READY=1 | STATUS=running' <<<"$out" || fail "no READY=1 with STATUS"
grep -q '^notify: STOPPING=1 | STATUS=stop pending' <<<"$out" || fail "no STOPPING=1"
grep -q '^notify: STATUS=stopped, exit code 0' <<<"$out" || fail "no stopped status"
grep -q '^exit: 0$' <<<"$out" || fail "exit code not 0"
current=$(sed -n 's/^Current=//p' "$KELVRA_REGISTRY_FILE")
# 100 at start, +5 a second; SIGUSR1 came after about 2.5 s.
if [ -z "$current" ] || [ "$current" -lt 105 ] || [ "$current" -gt 130 ] || [ $(( (current - 100) % 5 )) -ne 0 ]; then
  fail "Current=$current"
fi
latency=$(sed -n 's/^stop-latency-ms: //p' <<<"$out")
[ -n "$latency" ] && [ "$latency" -le 2000 ] || fail "stop latency ${latency} ms"
log=$(cat "$tmp"/root/log/*.log 2>/dev/null || true)
grep -q $'\t服务停止' <<<"$log" || fail "no log line 服务停止: [$log]"
if [ "${KELVRA_EXPECT_WORKER:-1}" = 1 ]; then
  grep -q $'\t主服务启动！' <<<"$log" || fail "no log line 主服务启动！: [$log]"
fi

# --- a stop request in each state of the worker ends the process within about two seconds ----
. tests/e2e/lib/builtin-servers.sh
servers_file=$(builtin_servers_file)
export KELVRA_TEST_HOSTS=$(tr '\n' ' ' < "$servers_file")
rm -f "$servers_file"
recorder=${KELVRA_CLOCK_RECORDER:-build/linux/tests/clock_recorder.so}
declare -A latencies
stop_in_state() {  # stop_in_state NAME CONFIG LOG_NEEDLE HELPER_ARGS...
  local name=$1 config=$2 needle=$3; shift 3
  printf '%b' "$config" > "$tmp/root/bin/config.ini"
  rm -rf "$tmp/root/log"
  local out
  out=$(python3 tests/e2e/service_fake_systemd.py "$tmp" "$exe" "$@")
  grep -q '^exit: 0$' <<<"$out" || fail "$name: $out"
  local ms
  ms=$(sed -n 's/^stop-latency-ms: //p' <<<"$out")
  latencies[$name]=$ms
  [ -n "$ms" ] && [ "$ms" -le 2500 ] || fail "$name: stop latency ${ms} ms"
  [ -z "$needle" ] || grep -q "$needle" "$tmp"/root/log/*.log || fail "$name: no log line $needle"
}
stop_in_state paused '[DaZirAdur]\nState=0\n' '' --stop-after 2
stop_in_state retrying '[DaZirAdur]\nState=1\n' '同步失败' --stop-after 2
stop_in_state blocked-cycle '[DaZirAdur]\nState=1\n' '' --stop-after 2 --servers silent
stop_in_state waiting '[DaZirAdur]\nState=1\n' '同步成功' --stop-after 3 --servers answer --preload "$PWD/$recorder"
for s in paused retrying blocked-cycle waiting; do echo "stop latency, worker $s: ${latencies[$s]:-?} ms"; done

# --- not started by systemd: the dispatcher fails at once ------------------------------------
start=$(date +%s%N)
got=$(env -u NOTIFY_SOCKET "${nosystime[@]}" unshare -n "$exe"; echo "rc=$?")
[ "$got" = "$title
$done_line
rc=0" ] || fail "console run: [$got]"
(( ($(date +%s%N) - start) / 1000000 < 2000 )) || fail "console run did not end at once"

if [ "$failures" -gt 0 ]; then echo "service-linux: $failures failure(s)" >&2; exit 1; fi
echo "service-linux: all passed (stop latency ${latency} ms, Current=$current)"
