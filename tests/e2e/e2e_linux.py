"""End-to-end runs of the real Linux daemon, inside a network and mount namespace of their own.

Usage (as root, without CAP_SYS_TIME): python3 e2e_linux.py EXE CLOCK_RECORDER_SO SERVERS_FILE
The script re-executes itself under `unshare -mn`, brings loopback up, bind-mounts a hosts file
that points the seven built-in servers at 127.0.0.2-8 and the web time host at 127.0.0.1, and then
plays each scenario against a fresh copy of the daemon."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Notifier, SntpServer, WebTimeServer, point_names_at_loopback, server_addr, wait_for  # noqa: E402

WEB_HOST = "webtime.kelvra.test"
RESULTS = []


class Daemon:
    def __init__(self, exe, recorder, config, root=None, ready_timeout=5):
        """A fresh layout, or with `root` the layout a former daemon left (its files kept);
        `config` None leaves config.ini as it is."""
        self.root = root or tempfile.mkdtemp(prefix="kelvra-e2e-")
        os.makedirs(os.path.join(self.root, "bin"), exist_ok=True)
        self.exe = os.path.join(self.root, "bin", "kelvra-timesync")
        if not os.path.exists(self.exe):
            shutil.copy2(exe, self.exe)
        self.config = os.path.join(self.root, "bin", "config.ini")
        if config is not None:
            self.write_config(config)
        self.clock_log = os.path.join(self.root, "clock.log")
        sock = os.path.join(self.root, "notify.sock")
        if os.path.exists(sock):
            os.unlink(sock)
        self.notifier = Notifier(sock)
        env = dict(os.environ)
        env.update(NOTIFY_SOCKET=self.notifier.path, LD_PRELOAD=recorder, KELVRA_CLOCK_LOG=self.clock_log,
                   KELVRA_REGISTRY_FILE=os.path.join(self.root, "registry"), TZ="UTC")
        self.proc = subprocess.Popen([self.exe], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if ready_timeout and not wait_for(lambda: self.notifier.seen("READY=1"), ready_timeout):
            raise AssertionError("the daemon never reported READY=1")

    def write_config(self, lines):
        with open(self.config, "w") as f:
            f.write("[DaZirAdur]\n" + "".join(f"{k}={v}\n" for k, v in lines.items()))

    def set_key(self, key, value):
        cfg = self.read_config()
        if value is None:
            cfg.pop(key, None)
        else:
            cfg[key] = value
        self.write_config(cfg)

    def read_config(self):
        out = {}
        try:
            with open(self.config) as f:
                for line in f:
                    if "=" in line and not line.startswith("["):
                        k, v = line.rstrip("\r\n").split("=", 1)
                        out[k.strip()] = v.strip()
        except FileNotFoundError:
            pass
        return out

    def log_lines(self):
        logdir = os.path.join(self.root, "log")
        lines = []
        if os.path.isdir(logdir):
            for name in sorted(os.listdir(logdir)):
                with open(os.path.join(logdir, name), encoding="utf-8") as f:
                    lines += f.read().splitlines(keepends=True)
        return lines

    def texts(self):
        return [l.rstrip("\n").split("\t", 1)[1] for l in self.log_lines() if "\t" in l]

    def clock_requests(self):
        try:
            with open(self.clock_log) as f:
                return [float(x) for x in f.read().split()]
        except FileNotFoundError:
            return []

    def stop(self, timeout=5):
        start = time.monotonic()
        self.proc.send_signal(signal.SIGTERM)
        rc = self.proc.wait(timeout)
        return rc, time.monotonic() - start

    def close(self, keep=False):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.notifier.close()
        if not keep:
            shutil.rmtree(self.root, ignore_errors=True)


def check(cond, what):
    if not cond:
        raise AssertionError(what)


def scenario(fn):
    def run(ctx):
        start = time.monotonic()
        servers = []
        daemon = None
        try:
            daemon = fn(ctx, servers)
            RESULTS.append((fn.__name__, "ok", time.monotonic() - start))
        except Exception as e:  # report every scenario, fail at the end
            RESULTS.append((fn.__name__, f"FAILED: {e}", time.monotonic() - start))
            if ctx.get("last_daemon"):
                sys.stderr.write("".join(ctx["last_daemon"].log_lines()))
        finally:
            for s in servers:
                s.close()
            if ctx.get("last_daemon"):
                ctx["last_daemon"].close()
                ctx["last_daemon"] = None
    run.__name__ = fn.__name__
    return run


def start(ctx, config):
    d = Daemon(ctx["exe"], ctx["recorder"], config)
    ctx["last_daemon"] = d
    return d


addr = server_addr


def base_config(**extra):
    cfg = {"State": "1", "IntervalMin": "1", "Log": "1", "WebTimeHost": ""}
    cfg.update(extra)
    return cfg


@scenario
def first_server_answers(ctx, servers):
    offset = 1000.0
    servers.append(SntpServer(addr(0), "ok", offset=offset, hold=0.05))
    d = start(ctx, base_config())
    want = "同步成功（通过服务器[" + ctx["names"][0] + "]）"
    check(wait_for(lambda: want in d.texts(), 10), f"no line {want!r}: {d.texts()}")
    check(wait_for(lambda: d.read_config().get("Last"), 2), "Last was not written")
    req = d.clock_requests()
    check(len(req) == 1, f"one clock setting expected, got {req}")
    error = req[0] - (time.time() + offset)
    check(abs(error) < 0.5, f"clock request off by {error:.3f} s")
    # The interval (60 s) is waited: no second request within a few seconds.
    time.sleep(3)
    check(len(servers[0].requests) == 1, "the server was asked again during the wait")
    check(d.texts().count(want) == 1, "a second cycle ran during the wait")
    # Fresh=1 ends the wait within about a second and is reset to 0; the 15 s floor then holds
    # the next request until 15 s after the first.
    d.set_key("Fresh", "1")
    check(wait_for(lambda: d.read_config().get("Fresh") == "0", 3), "Fresh was not reset to 0")
    check(wait_for(lambda: len(servers[0].requests) == 2, 16), "no cycle after Fresh")
    gap = servers[0].requests[1] - servers[0].requests[0]
    check(gap >= 14.9, f"two requests to one server {gap:.1f} s apart")
    # IntervalMin=1: the next cycle comes 60 one-second steps (plus their reads) after the success.
    check(wait_for(lambda: len(servers[0].requests) == 3, 70), "no cycle after the one-minute interval")
    interval = servers[0].requests[2] - servers[0].requests[1]
    check(60.0 <= interval <= 64.0, f"IntervalMin=1 waited {interval:.1f} s")
    ctx["timing"]["IntervalMin=1 wait"] = interval
    rc, took = d.stop()
    check(rc == 0, f"exit code {rc}")
    check(d.texts()[-1] == "服务停止", f"last line {d.texts()[-1]!r}")
    ctx["timing"]["stop while waiting"] = took
    return d


@scenario
def later_server_answers(ctx, servers):
    servers.append(SntpServer(addr(0), "silent"))
    # addr(1): nothing listens, so the port is refused.
    servers.append(SntpServer(addr(2), "ok", offset=-500.0))
    d = start(ctx, base_config())
    want = "同步成功（通过服务器[" + ctx["names"][2] + "]）"
    check(wait_for(lambda: want in d.texts(), 12), f"no line {want!r}: {d.texts()}")
    req = d.clock_requests()
    check(len(req) == 1 and abs(req[0] - (time.time() - 500.0)) < 0.5, f"clock requests {req}")
    return d


@scenario
def every_reply_is_bad(ctx, servers):
    for i, kind in enumerate(["kod", "short", "unsync", "badorig", "kod", "short", "badorig"]):
        servers.append(SntpServer(addr(i), kind, offset=3600.0))
    d = start(ctx, base_config())
    check(wait_for(lambda: any(t.startswith("同步失败：") for t in d.texts()), 10), f"no failure line: {d.texts()}")
    check(d.clock_requests() == [], f"a bad reply set the clock: {d.clock_requests()}")
    check(all(len(s.requests) == 1 for s in servers), "every server asked once")
    return d


@scenario
def web_time_sets_the_clock(ctx, servers):
    servers.append(WebTimeServer(offset=7200.0))
    d = start(ctx, base_config(WebTimeHost=WEB_HOST))
    want = "同步成功（通过[Dornak时间服务器]）"
    check(wait_for(lambda: want in d.texts(), 10), f"no line {want!r}: {d.texts()}")
    req = d.clock_requests()
    check(len(req) == 1 and abs(req[0] - (time.time() + 7200.0)) < 2.0, f"clock requests {req}")
    return d


@scenario
def nothing_answers_and_pause_resume_and_log_switch(ctx, servers):
    d = start(ctx, base_config())
    check(wait_for(lambda: sum(t.startswith("同步失败：") for t in d.texts()) >= 2, 25),
          f"failure lines: {d.texts()}")
    check(d.proc.poll() is None, "the daemon ended")
    # Log=0 silences the result lines from the next turn on.
    d.set_key("Log", "0")
    time.sleep(0.5)
    n = len(d.texts())
    time.sleep(17)
    check(len(d.texts()) <= n + 1, f"result lines with Log=0: {d.texts()[n:]}")
    # State=0 pauses: no request reaches a server; removing it resumes within five seconds.
    d.set_key("Log", "1")
    d.set_key("State", "0")
    time.sleep(6)
    servers.append(SntpServer(addr(0), "ok"))
    time.sleep(6)
    check(servers[0].requests == [], "a paused daemon asked a server")
    d.set_key("State", None)
    check(wait_for(lambda: len(servers[0].requests) >= 1, 20), "no cycle after the pause ended")
    return d


@scenario
def stop_while_blocked_on_a_silent_server(ctx, servers):
    servers.append(SntpServer(addr(0), "silent"))
    d = start(ctx, base_config())
    check(wait_for(lambda: len(servers[0].requests) == 1, 5), "the silent server was never asked")
    time.sleep(0.5)
    rc, took = d.stop()
    check(rc == 0, f"exit code {rc}")
    check(took < 2.5, f"stop took {took:.2f} s")
    lines = d.log_lines()
    check(lines and all(l.endswith("\n") for l in lines), "a half line in the log")
    check(d.texts()[-1] == "服务停止", f"last line {d.texts()[-1]!r}")
    ctx["timing"]["stop while blocked on a silent server"] = took
    return d


def inside_namespace(exe, recorder, names):
    point_names_at_loopback(names, WEB_HOST)
    ctx = {"exe": exe, "recorder": recorder, "names": names, "timing": {}}
    only = os.environ.get("KELVRA_E2E_ONLY")
    for sc in [first_server_answers, later_server_answers, every_reply_is_bad, web_time_sets_the_clock,
               nothing_answers_and_pause_resume_and_log_switch, stop_while_blocked_on_a_silent_server]:
        if only and only not in sc.__name__:
            continue
        sc(ctx)
    for name, outcome, took in RESULTS:
        print(f"  {name:55s} {outcome}  ({took:.1f} s)")
    for what, took in ctx["timing"].items():
        print(f"  {what}: {took:.2f} s")
    return 0 if all(o == "ok" for _, o, _ in RESULTS) else 1


def main():
    exe, recorder, servers_file = (os.path.abspath(a) for a in sys.argv[1:4])
    with open(servers_file) as f:
        names = [l.strip() for l in f if l.strip()]
    if os.environ.get("KELVRA_E2E_INSIDE") != "1":
        env = dict(os.environ, KELVRA_E2E_INSIDE="1")
        return subprocess.call(["unshare", "-mn", sys.executable, os.path.abspath(__file__), exe, recorder,
                                servers_file], env=env)
    return inside_namespace(exe, recorder, names)


if __name__ == "__main__":
    sys.exit(main())
