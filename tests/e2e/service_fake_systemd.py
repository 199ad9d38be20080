#!/usr/bin/env python3
"""Plays systemd for one run of the daemon: listens on a NOTIFY_SOCKET of its own, starts the
executable, waits for READY=1, sends the given signals and reports what it saw.

usage: service_fake_systemd.py WORKDIR EXE [--user1] [--hup] [--stop-after SECONDS]
                               [--servers none|silent|answer] [--preload LIB]
Prints one line per notification ("notify: ..."), then "exit: CODE" and "stop-latency-ms: N".
The daemon always runs in a network namespace of its own. With --servers silent or answer it is
also a mount namespace whose /etc/hosts names 127.0.0.1 for every host, where a UDP server on
port 123 never answers (silent) or answers as an SNTP server (answer).

usage: service_fake_systemd.py --udp-server silent|answer   (inside that namespace)
"""
import os
import signal
import socket
import subprocess
import sys
import struct
import time

if sys.argv[1] == "--udp-server":
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind(("127.0.0.1", 123))
    server.settimeout(0.5)
    parent = os.getppid()
    while os.getppid() == parent:  # ends with the daemon that started it
        try:
            request, peer = server.recvfrom(512)
        except socket.timeout:
            continue
        if sys.argv[2] != "answer" or len(request) < 48:
            continue
        now = time.time() + 2208988800
        stamp = struct.pack("!II", int(now), int((now % 1) * 2**32))
        reply = bytes([0x24, 2, 6, 0xEC]) + bytes(8) + b"LOCL" + stamp + request[40:48] + stamp + stamp
        server.sendto(reply, peer)
    sys.exit(0)

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
servers = args[args.index("--servers") + 1] if "--servers" in args else "none"
if "--preload" in args:
    env["LD_PRELOAD"] = args[args.index("--preload") + 1]
run = ["setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time", exe]
if servers == "none":
    cmd = ["unshare", "-n"] + run
else:
    hosts = os.path.join(workdir, "hosts")
    names = " ".join(os.environ.get("KELVRA_TEST_HOSTS", "").split())
    with open(hosts, "w") as f:
        f.write("127.0.0.1 localhost %s\n" % names)
    script = ('ip link set lo up && mount --make-rprivate / && mount --bind "$1" /etc/hosts && '
              '{ python3 "$2" --udp-server "$3" & } && sleep 0.3 && shift 3 && exec "$@"')
    cmd = ["unshare", "-mn", "sh", "-c", script, "sh", hosts, os.path.abspath(__file__),
           servers] + run
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
