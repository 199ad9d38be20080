"""The operator's query (-q) of the real Linux executable, in network namespaces of its own.

Usage (as root, without CAP_SYS_TIME): python3 query_linux.py EXE CLOCK_RECORDER_SO SERVERS_FILE
- no network: a namespace whose loopback is down; every source must be reported unreachable within
  a few seconds, exit code 1;
- test servers: loopback up and a hosts file pointing the seven built-in names at 127.0.0.2-8, where
  each test server misbehaves in its own way and one answers; the web time page answers too.
In both the clock recorder is preloaded: the query must ask for no clock setting, and config.ini
must be left as it was."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import SntpServer, WebTimeServer, point_names_at_loopback  # noqa: E402

WEB_HOST = "webtime.kelvra.test"
TITLE = "Kelvra·网络对时系统"
DONE = "执行完毕"
HEADER = "Asking every time source once; the clock is not set."


def run_query(exe, recorder, web_host):
    root = tempfile.mkdtemp(prefix="kelvra-query-")
    try:
        os.makedirs(os.path.join(root, "bin"))
        copy = os.path.join(root, "bin", "kelvra-timesync")
        shutil.copy2(exe, copy)
        config = os.path.join(root, "bin", "config.ini")
        text = f"[DaZirAdur]\nState=1\nIntervalMin=10\nLog=1\nWebTimeHost={web_host}\n"
        with open(config, "w") as f:
            f.write(text)
        clock_log = os.path.join(root, "clock.log")
        env = dict(os.environ, LD_PRELOAD=recorder, KELVRA_CLOCK_LOG=clock_log,
                   KELVRA_REGISTRY_FILE=os.path.join(root, "registry"))
        start = time.monotonic()
        proc = subprocess.run([copy, "-q"], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
        took = time.monotonic() - start
        with open(config) as f:
            after = f.read()
        return {
            "rc": proc.returncode,
            "out": proc.stdout.decode("utf-8", "replace"),
            "took": took,
            "clock": os.path.exists(clock_log),
            "config_kept": after == text,
            "log_dir": os.path.exists(os.path.join(root, "log")),
        }
    finally:
        shutil.rmtree(root, ignore_errors=True)


def check_common(r, names, problems):
    lines = r["out"].splitlines()
    if lines[:2] != [TITLE, HEADER] or lines[-1:] != [DONE]:
        problems.append("title, header or closing line wrong")
    for i, n in enumerate(names):
        if not any(l.startswith(f"{i + 1:3d} {n:22s} ") for l in lines):
            problems.append(f"no line for server {i + 1} {n}")
    if r["clock"]:
        problems.append("a clock setting was requested")
    if not r["config_kept"]:
        problems.append("config.ini was changed")
    if r["log_dir"]:
        problems.append("a log directory was made")
    return lines


def no_network(exe, recorder, names):
    r = run_query(exe, recorder, WEB_HOST)
    problems = []
    lines = check_common(r, names, problems)
    for i, n in enumerate(names):
        if f"{i + 1:3d} {n:22s} no address (name lookup failed)" not in lines:
            problems.append(f"server {n} not reported as without address")
    if not any(re.match(r"  8 web webtime\.kelvra\.test\s+fetch failed \(status -?\d+\)$", l) for l in lines):
        problems.append("web time not reported as a failed fetch")
    if "No source gave a usable time" not in lines:
        problems.append("no summary of failure")
    if r["rc"] != 1:
        problems.append(f"exit code {r['rc']}, expected 1")
    if r["took"] > 5:
        problems.append(f"took {r['took']:.1f} s")
    return r, problems


def test_servers(exe, recorder, names):
    point_names_at_loopback(names, WEB_HOST)
    # Server 7 has no server at all: its port is closed.
    behaviours = [("kod", 0), ("silent", 0), ("ok", 30.0), ("unsync", 0), ("badorig", 0), ("short", 0)]
    servers = [SntpServer(f"127.0.0.{i + 2}", b, offset=o) for i, (b, o) in enumerate(behaviours)]
    web = WebTimeServer(offset=-120)
    try:
        r = run_query(exe, recorder, WEB_HOST)
    finally:
        for s in servers:
            s.close()
        web.close()
    problems = []
    lines = check_common(r, names, problems)
    expected = {
        1: r"kiss-o'-death DENY",
        2: r"time-out \(no reply within 5000 ms\)",
        3: r"ok  offset \+(\d+) ms  delay (\d+) ms  stratum 2",
        4: r"unsynchronised \(leap 3 or stratum > 15\)  stratum 2",
        5: r"bad originate \(not a reply to our request\)",
        6: r"short reply",
        7: r"refused \(port 123 closed\)",
        8: r"ok  \d{4}-\d\d-\d\d \d\d:\d\d:\d\d  offset -(\d+) ms",
    }
    for number, pattern in expected.items():
        name = names[number - 1] if number <= len(names) else "web " + WEB_HOST
        m = next((re.match(f"{number:3d} {re.escape(name)}\\s+{pattern}$", l) for l in lines
                  if re.match(f"{number:3d} {re.escape(name)}\\s+{pattern}$", l)), None)
        if not m:
            problems.append(f"line {number} does not say /{pattern}/")
        elif number == 3 and abs(int(m.group(1)) - 30000) > 500:
            problems.append(f"server offset {m.group(1)} ms, expected about +30000")
        elif number == 8 and abs(int(m.group(1)) - 120000) > 2000:
            problems.append(f"web offset -{m.group(1)} ms, expected about -120000")
    if "2 of 8 sources gave a usable time" not in lines:
        problems.append("summary line missing")
    if r["rc"] != 0:
        problems.append(f"exit code {r['rc']}, expected 0")
    # One silent server costs its 5 s time-out; nothing else may wait.
    if r["took"] > 8:
        problems.append(f"took {r['took']:.1f} s")
    return r, problems


def main():
    exe, recorder, servers_file = (os.path.abspath(a) for a in sys.argv[1:4])
    with open(servers_file) as f:
        names = [l.strip() for l in f if l.strip()]
    inside = os.environ.get("KELVRA_QUERY_INSIDE")
    if inside:
        r, problems = {"bare": no_network, "servers": test_servers}[inside](exe, recorder, names)
        sys.stdout.write(r["out"])
        print(f"-> exit code {r['rc']} after {r['took']:.2f} s")
        for p in problems:
            print("FAIL: " + p)
        return 1 if problems else 0
    failed = 0
    for scenario, how in (("bare", ["unshare", "-n"]), ("servers", ["unshare", "-mn"])):
        print(f"--- query: {scenario}")
        env = dict(os.environ, KELVRA_QUERY_INSIDE=scenario)
        failed |= subprocess.call(how + [sys.executable, os.path.abspath(__file__), exe, recorder, servers_file],
                                  env=env)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
