#!/usr/bin/env python3
"""Plays systemd for one run of the daemon: listens on a NOTIFY_SOCKET of its own, starts the
executable, waits for READY=1, sends the given signals and reports what it saw.

usage: service_fake_systemd.py WORKDIR EXE [--user1] [--hup] [--stop-after SECONDS]
Prints one line per notification ("notify: ..."), then "exit: CODE" and "stop-latency-ms: N".
"""
import os
import signal
import socket
import subprocess
import sys
import time

workdir, exe = sys.argv[1], sys.argv[2]
args = sys.argv[3:]
stop_after = float(args[args.index("--stop-after") + 1]) if "--stop-after" in args else 2.5
registry = os.environ.get("KELVRA_REGISTRY_FILE", "")

path = os.path.join(workdir, "notify.sock")
if os.path.exists(path):
    os.unlink(path)
sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sock.bind(path)
sock.settimeout(0.2)

env = dict(os.environ, NOTIFY_SOCKET=path)
# No CAP_SYS_TIME, and no network but loopback.
cmd = ["unshare", "-n", "setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time", exe]
proc = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL)
messages = []


def drain(until, want=None):
    while time.monotonic() < until:
        try:
            data = sock.recv(4096).decode("utf-8", "replace")
        except socket.timeout:
            if proc.poll() is not None and want is None:
                return False
            continue
        messages.append(data)
        print("notify: " + data.replace("\n", " | "), flush=True)
        if want is not None and want in data.split("\n"):
            return True
    return False


try:
    if not drain(time.monotonic() + 10, "READY=1"):
        print("error: no READY=1", flush=True)
        proc.kill()
        sys.exit(1)
    drain(time.monotonic() + stop_after)
    if "--user1" in args:
        proc.send_signal(signal.SIGUSR1)
        drain(time.monotonic() + 0.5)
    if "--hup" in args:
        proc.send_signal(signal.SIGHUP)
        drain(time.monotonic() + 0.3)
    start = time.monotonic()
    proc.send_signal(signal.SIGTERM)
    try:
        code = proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        code = proc.wait()
        print("error: no exit within 10 s", flush=True)
    latency = (time.monotonic() - start) * 1000
    drain(time.monotonic() + 0.3)
    print("exit: %d" % code, flush=True)
    print("stop-latency-ms: %d" % latency, flush=True)
finally:
    if proc.poll() is None:
        proc.kill()
    sock.close()
    os.unlink(path)
