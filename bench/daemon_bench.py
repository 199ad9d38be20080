"""The running Linux daemon's cost while it waits, beside chronyd serving on the same machine.

Usage (inside the network and mount namespace scripts/bench.sh makes, without CAP_SYS_TIME):
    python3 daemon_bench.py EXE CLOCK_RECORDER_SO SERVERS_FILE SECONDS INSTANCES
Points the built-in server names at 127.0.0.2-8 with a hosts file, serves SNTP on 127.0.0.2,
starts INSTANCES daemons (IntervalMin large) and INSTANCES chronyd (-x: never the clock; they sync
from 127.0.0.9 and serve on 127.0.0.20+), waits
until every daemon has had its one successful cycle, then measures all of them over the same
SECONDS: peak resident memory (VmHWM, reset at the start of the wait), CPU time (utime+stime)
and the opens of each one's configuration file (inotify on its folder). Prints ROW lines."""
import ctypes
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from e2e_linux import Daemon  # noqa: E402
from harness import SntpServer, point_names_at_loopback, wait_for  # noqa: E402

IN_ACCESS, IN_OPEN = 0x1, 0x20
TICK = os.sysconf("SC_CLK_TCK")


class OpenCounter:
    """Counts opens and reads of one file name in a folder (survives the file being replaced)."""

    def __init__(self, folder, name):
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK)
        if self.fd < 0 or self.libc.inotify_add_watch(self.fd, folder.encode(), IN_OPEN | IN_ACCESS) < 0:
            raise OSError(ctypes.get_errno(), "inotify on " + folder)
        self.name = name.encode()
        self.opens = self.reads = 0

    def drain(self):
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return
            at = 0
            while at + 16 <= len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + length].rstrip(b"\0")
                at += 16 + length
                if name == self.name:
                    self.opens += bool(mask & IN_OPEN)
                    self.reads += bool(mask & IN_ACCESS)

    def close(self):
        os.close(self.fd)


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def on_cpu_ns(pid):
    """Time on the CPU of all threads, from the scheduler's own accounting (finer than ticks)."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                total += int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


def status_kb(pid, key):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return None


def reset_peak(pid):
    with open(f"/proc/{pid}/clear_refs", "w") as f:
        f.write("5")


def median(values):
    v = sorted(x for x in values if x is not None)
    if not v:
        return float("nan")
    n = len(v)
    return v[n // 2] if n % 2 else (v[n // 2 - 1] + v[n // 2]) / 2


class Chronyd:
    def __init__(self, address, upstream):
        self.root = tempfile.mkdtemp(prefix="kelvra-bench-chrony-")
        os.chmod(self.root, 0o755)
        self.conf = os.path.join(self.root, "chrony.conf")
        with open(self.conf, "w") as f:
            f.write(f"server {upstream} iburst\n"
                    f"bindaddress {address}\nport 123\nallow 127.0.0.0/8\nlocal stratum 10\n"
                    f"cmdport 0\npidfile {self.root}/chronyd.pid\n")
        self.address = address
        # -x: no control of the clock; -d: in the foreground; -u root: no switch of user, so the
        # private folder needs no other owner. The bounding set has no CAP_SYS_TIME anyway.
        self.proc = subprocess.Popen(["chronyd", "-x", "-d", "-u", "root", "-f", self.conf],
                                     stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.root, "log"), "w"))

    def serving(self):
        r = subprocess.run(["ntpdig", "-t", "1", self.address], capture_output=True, text=True)
        return r.returncode == 0

    def log(self):
        with open(os.path.join(self.root, "log")) as f:
            return f.read()

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        shutil.rmtree(self.root, ignore_errors=True)


def row(figure, ours, refs, target, verdict):
    print("ROW\t" + "\t".join([figure, ours, refs, target, verdict]), flush=True)


def main():
    exe, recorder, servers_file = (os.path.abspath(a) for a in sys.argv[1:4])
    seconds, instances = float(sys.argv[4]), int(sys.argv[5])
    with open(servers_file) as f:
        names = [line.strip() for line in f if line.strip()]

    point_names_at_loopback(names)

    server = SntpServer("127.0.0.2", "ok")
    chrony_upstream = SntpServer("127.0.0.9", "ok")  # its own, so that the daemons' requests are counted apart
    want = "同步成功（通过服务器[" + names[0] + "]）"
    daemons, chronyds = [], []
    try:
        for _ in range(instances):
            daemons.append(Daemon(exe, recorder, {"State": "1", "IntervalMin": "1440", "Log": "1", "WebTimeHost": ""}))
        have_chronyd = shutil.which("chronyd") is not None
        if have_chronyd:
            chronyds = [Chronyd(f"127.0.0.{20 + i}", "127.0.0.9") for i in range(instances)]
        for d in daemons:
            if not wait_for(lambda: want in d.texts(), 15):
                raise SystemExit(f"a daemon had no successful cycle: {d.texts()}")
        for c in chronyds:
            if not wait_for(c.serving, 10, step=0.5):
                raise SystemExit("chronyd is not serving: " + c.log())
        time.sleep(1)  # let the last writes of the cycle (Last=) settle

        watched = [(d.proc.pid, OpenCounter(os.path.dirname(d.config), "config.ini")) for d in daemons]
        watched += [(c.proc.pid, OpenCounter(c.root, "chrony.conf")) for c in chronyds]
        life_peak = {pid: status_kb(pid, "VmHWM") for pid, _ in watched}
        for pid, _ in watched:
            reset_peak(pid)
        start = {pid: cpu_ticks(pid) for pid, _ in watched}
        start_ns = {pid: on_cpu_ns(pid) for pid, _ in watched}
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            time.sleep(min(1.0, max(0.0, deadline - time.monotonic())))
            for _, counter in watched:
                counter.drain()
        figures = {}
        for pid, counter in watched:
            counter.drain()
            figures[pid] = dict(peak=status_kb(pid, "VmHWM"), life=life_peak[pid], anon=status_kb(pid, "RssAnon"),
                                file=status_kb(pid, "RssFile"),
                                cpu=(cpu_ticks(pid) - start[pid]) * 1000.0 / TICK,
                                sched=(on_cpu_ns(pid) - start_ns[pid]) / 1e6, opens=counter.opens,
                                reads=counter.reads)
            counter.close()
        if any(d.proc.poll() is not None for d in daemons):
            raise SystemExit("a daemon ended during the wait")
        if any(len(d.clock_requests()) != 1 for d in daemons):
            raise SystemExit("each daemon should have asked the clock recorder once: "
                             + str([d.clock_requests() for d in daemons]))
        if len(server.requests) != instances:
            raise SystemExit(f"the daemons asked {len(server.requests)} times, {instances} expected")
    finally:
        for d in daemons:
            d.close()
        for c in chronyds:
            c.close()
        server.close()
        chrony_upstream.close()

    def pick(procs, key):
        return median(figures[p.proc.pid][key] for p in procs)

    def ref(key, fmt):
        return ("chronyd " + fmt.format(pick(chronyds, key))) if chronyds else "chronyd not installed"

    per = f"median of {instances} side by side, {seconds:.0f} s"
    peak = pick(daemons, "peak")
    row(f"daemon waiting: peak resident memory (VmHWM) [{per}]", f"{peak:.0f} KB ({peak / 1024:.2f} MB)",
        ref("peak", "{:.0f} KB") + f"; ours since start {pick(daemons, 'life') / 1024:.2f} MB; ours at the end:"
        f" private (RssAnon) {pick(daemons, 'anon'):.0f} KB, shared libraries (RssFile) {pick(daemons, 'file'):.0f} KB"
        + (f"; chronyd RssAnon {pick(chronyds, 'anon'):.0f} KB" if chronyds else ""),
        "< 4 MB", "met" if peak < 4096 else "MISSED")
    row(f"daemon waiting: CPU time (utime+stime) [{per}]", f"{pick(daemons, 'cpu'):.0f} ms",
        ref("cpu", "{:.0f} ms") + f"; by the scheduler's accounting: ours {pick(daemons, 'sched'):.2f} ms"
        + (f", chronyd {pick(chronyds, 'sched'):.2f} ms" if chronyds else ""), "none", "-")
    row(f"daemon waiting: config.ini reads (opens) [{per}]", f"{pick(daemons, 'opens'):.0f}",
        ref("opens", "{:.0f} (chrony.conf)") + f"; ours {pick(daemons, 'reads'):.0f} read events",
        "none", "-")
    return 0


if __name__ == "__main__":
    sys.exit(main())
