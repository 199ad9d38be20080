"""Pieces of the end-to-end runs: test SNTP and HTTP servers, a stand-in for the service
manager's notification socket, and the installed layout of the daemon in a scratch folder.

Everything here runs inside a network namespace of its own (loopback only) with a hosts file
bind-mounted over /etc/hosts, so the daemon runs unchanged against these servers."""
import os
import socket
import struct
import subprocess
import tempfile
import threading
import time

NTP_DELTA = 2208988800


def ntp_now(offset=0.0):
    t = time.time() + offset + NTP_DELTA
    sec = int(t)
    frac = int((t - sec) * (1 << 32)) & 0xFFFFFFFF
    return sec & 0xFFFFFFFF, frac


class SntpServer:
    """Answers on addr:123 with a behaviour: ok, silent, kod, short, unsync, badorig.
    `offset` seconds are added to its clock; `hold` seconds pass between receipt and reply."""

    def __init__(self, addr, behaviour="ok", offset=0.0, hold=0.0, port=123):
        self.addr, self.behaviour, self.offset, self.hold = addr, behaviour, offset, hold
        self.requests = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((addr, port))
        self.sock.settimeout(0.2)
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while self.running:
            try:
                data, peer = self.sock.recvfrom(1024)
            except socket.timeout:
                continue
            except OSError:
                return
            self.requests.append(time.monotonic())
            if self.behaviour == "silent":
                continue
            t2 = ntp_now(self.offset)
            if self.hold:
                time.sleep(self.hold)
            t3 = ntp_now(self.offset)
            orig = data[40:48] if len(data) >= 48 else b"\0" * 8
            li_vn_mode, stratum, refid = (0 << 6) | (4 << 3) | 4, 2, b"TEST"
            if self.behaviour == "kod":
                stratum, refid = 0, b"DENY"
            if self.behaviour == "unsync":
                li_vn_mode = (3 << 6) | (4 << 3) | 4
            if self.behaviour == "badorig":
                orig = b"\x12\x34\x56\x78\x9a\xbc\xde\xf0"
            pkt = struct.pack("!BBbb", li_vn_mode, stratum, 6, -20) + b"\0" * 8 + refid
            pkt += struct.pack("!II", *t2) + orig + struct.pack("!II", *t2) + struct.pack("!II", *t3)
            if self.behaviour == "short":
                pkt = pkt[:40]
            self.sock.sendto(pkt, peer)

    def close(self):
        self.running = False
        self.sock.close()
        self.thread.join(1)


class WebTimeServer:
    """Serves /other/gettime.asp with the local date and time (plus `offset` seconds).
    With `hang`, it sends the headers and half the body, then stalls until closed."""

    def __init__(self, addr="127.0.0.1", port=80, offset=0.0, hang=False):
        self.offset, self.hang = offset, hang
        self.hits = 0
        self.held = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((addr, port))
        self.sock.listen(8)
        self.sock.settimeout(0.2)
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while self.running:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            conn.settimeout(2)
            try:
                conn.recv(4096)
            except OSError:
                conn.close()
                continue
            self.hits += 1
            now = time.localtime(time.time() + self.offset)
            body = time.strftime("<html><date>%Y-%m-%d</date><time>%H:%M:%S</time></html>", now).encode()
            head = b"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n" % len(body)
            try:
                if self.hang:
                    conn.sendall(head + body[: len(body) // 2])
                    self.held.append(conn)  # never finished, never closed while running
                    continue
                conn.sendall(head + body)
            except OSError:
                pass
            conn.close()

    def close(self):
        self.running = False
        self.sock.close()
        self.thread.join(1)
        for conn in self.held:
            conn.close()


class Notifier:
    """The service manager's side of NOTIFY_SOCKET: collects what the daemon reports."""

    def __init__(self, path):
        self.path = path
        self.messages = []
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(path)
        self.sock.settimeout(0.2)
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while self.running:
            try:
                data = self.sock.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                return
            self.messages.append(data.decode("utf-8", "replace"))

    def seen(self, fragment):
        return any(fragment in m for m in self.messages)

    def close(self):
        self.running = False
        self.sock.close()


def server_addr(i):
    """The loopback address that stands in for the i-th built-in server."""
    return f"127.0.0.{i + 2}"


def point_names_at_loopback(names, web_host=None):
    """Inside a namespace of the caller's: brings loopback up and bind-mounts a hosts file that
    points the i-th name at server_addr(i) and `web_host` (if any) at 127.0.0.1."""
    subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
    hosts = tempfile.NamedTemporaryFile("w", delete=False, prefix="kelvra-hosts-")
    hosts.write("127.0.0.1 localhost" + (" " + web_host if web_host else "") + "\n")
    hosts.writelines(f"{server_addr(i)} {n}\n" for i, n in enumerate(names))
    hosts.close()
    subprocess.run(["mount", "--bind", hosts.name, "/etc/hosts"], check=True)


def wait_for(predicate, timeout, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()
