"""End-to-end runs of the 64-bit Windows executable under Wine, started through Wine's service
manager, inside a network and mount namespace of their own.

Usage: python3 e2e_wine.py EXE SERVERS_FILE
Wine's server process starts inside the namespace (the prefix is new, so no server outside it
serves it). Under Wine the clock may only be set to about the time it already has: a test server
serving the real time lets SetLocalTime succeed, one serving another time makes it fail."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import SntpServer, point_names_at_loopback, server_addr, wait_for  # noqa: E402

WINE = "/usr/lib/wine/wine64"
RESULTS = []


addr = server_addr


class WineService:
    def __init__(self, exe):
        self.root = tempfile.mkdtemp(prefix="kelvra-wine-e2e-")
        self.env = dict(os.environ, WINEPREFIX=os.path.join(self.root, "prefix"), WINEDEBUG="-all",
                        LC_ALL="zh_CN.GBK", WINEDLLOVERRIDES="mscoree,mshtml=")
        os.makedirs(os.path.join(self.root, "bin"))
        self.exe = os.path.join(self.root, "bin", "kelvra-timesync.exe")
        shutil.copy2(exe, self.exe)
        self.config = os.path.join(self.root, "bin", "config.ini")
        subprocess.run([WINE, "wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        # Let the new prefix settle: until every start-up process has ended, the service
        # manager answers "database locked" or cannot find the service.
        subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=self.env, check=False)
        self.keeper = None

    def keep_prefix_alive(self):
        # Wine stops letting the service's worker run on once no ordinary process is left in the
        # prefix (a real Windows has no such rule): keep one waiting while the service runs.
        if self.keeper is None:
            self.keeper = subprocess.Popen([WINE, "cmd", "/c", "pause"], env=self.env, stdin=subprocess.PIPE,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start_service(self):
        out = self.wine("net", "start", "DaZirAdur").stdout
        self.keep_prefix_alive()
        return out

    def wine(self, *args, timeout=60):
        return subprocess.run([WINE, *args], env=self.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout)

    def write_config(self, lines):
        with open(self.config, "wb") as f:
            f.write(("[DaZirAdur]\r\n" + "".join(f"{k}={v}\r\n" for k, v in lines.items())).encode("gbk"))

    def texts(self):
        logdir = os.path.join(self.root, "log")
        out = []
        if os.path.isdir(logdir):
            for name in sorted(os.listdir(logdir)):
                with open(os.path.join(logdir, name), "rb") as f:
                    for line in f.read().decode("gbk").split("\r\n"):
                        if "\t" in line:
                            out.append(line.split("\t", 1)[1])
        return out

    def close(self):
        if self.keeper is not None:
            self.keeper.kill()
            self.keeper.wait()
        try:
            subprocess.run([WINE, "net", "stop", "DaZirAdur"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        except subprocess.TimeoutExpired:
            pass
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=self.env, check=False)
        shutil.rmtree(self.root, ignore_errors=True)


def check(cond, what):
    if not cond:
        raise AssertionError(what)


def run_scenario(name, fn, exe, names):
    start = time.monotonic()
    servers = []
    svc = None
    try:
        svc = WineService(exe)
        fn(svc, servers, names)
        RESULTS.append((name, "ok", time.monotonic() - start))
    except Exception as e:
        RESULTS.append((name, f"FAILED: {e}", time.monotonic() - start))
        if svc:
            sys.stderr.write("\n".join(svc.texts()) + "\n")
    finally:
        for s in servers:
            s.close()
        if svc:
            svc.close()


def installs_runs_and_stops(svc, servers, names):
    servers.append(SntpServer(addr(0), "ok"))
    svc.write_config({"State": "1", "IntervalMin": "1", "Log": "1"})
    out = svc.wine(svc.exe, "-i").stdout
    check(b"DaZirAdur installed" in out, f"-i printed {out!r}")
    out = svc.start_service()
    want = "同步成功（通过服务器[" + names[0] + "]）"
    check(wait_for(lambda: want in svc.texts(), 15), f"no line {want!r}: {svc.texts()}")
    check(svc.texts()[0] == "主服务启动！", f"first line {svc.texts()[:1]}")
    with open(svc.config, "rb") as f:
        check(b"Last=" in f.read(), "Last was not written")
    start = time.monotonic()
    stopper = subprocess.Popen([WINE, "net", "stop", "DaZirAdur"], env=svc.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    check(wait_for(lambda: svc.texts()[-1] == "服务停止", 8), f"last line {svc.texts()[-1:]}")
    print(f"  (the service logged its stop {time.monotonic() - start:.2f} s after net stop began)")
    stopper.wait(30)
    out = svc.wine(svc.exe, "-u").stdout
    check(b"DaZirAdur removed." in out, f"-u printed {out!r}")


def another_time_is_refused(svc, servers, names):
    servers.append(SntpServer(addr(0), "ok", offset=86400.0))
    svc.write_config({"State": "1", "IntervalMin": "1", "Log": "1"})
    svc.wine(svc.exe, "-i")
    svc.start_service()
    check(wait_for(lambda: any(t.startswith("同步失败：") for t in svc.texts()), 60),
          f"no failure line: {svc.texts()}")
    check(not any(t.startswith("同步成功") for t in svc.texts()), f"a success: {svc.texts()}")


def bad_replies_then_a_good_one(svc, servers, names):
    # Entries 1-4 reply badly, entry 5's port is closed, entry 6 answers with the real time.
    for i, kind in enumerate(["kod", "short", "unsync", "badorig"]):
        servers.append(SntpServer(addr(i), kind))
    servers.append(SntpServer(addr(5), "ok"))
    svc.write_config({"State": "1", "IntervalMin": "1", "Log": "1"})
    svc.wine(svc.exe, "-i")
    svc.start_service()
    want = "同步成功（通过服务器[" + names[5] + "]）"
    check(wait_for(lambda: want in svc.texts(), 15), f"no line {want!r}: {svc.texts()}")
    check(all(len(s.requests) == 1 for s in servers), "each server asked once")


def nothing_answers_then_stop_while_blocked(svc, servers, names):
    # Nothing answers: failed cycles follow one another and the service keeps running; then a
    # stop arrives while a cycle waits on a silent first server.
    svc.write_config({"State": "1", "IntervalMin": "1", "Log": "1"})
    svc.wine(svc.exe, "-i")
    svc.start_service()
    failures = lambda: sum(t.startswith("同步失败：") for t in svc.texts())
    check(wait_for(lambda: failures() >= 2, 30), f"failure lines: {svc.texts()}")
    servers.append(SntpServer(addr(0), "silent"))
    check(wait_for(lambda: len(servers[0].requests) == 1, 25), "the silent server was never asked")
    check(b"RUNNING" in svc.wine("sc", "query", "DaZirAdur").stdout, "the service is not running")
    start = time.monotonic()
    stopper = subprocess.Popen([WINE, "net", "stop", "DaZirAdur"], env=svc.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    check(wait_for(lambda: svc.texts()[-1] == "服务停止", 8), f"last line {svc.texts()[-1:]}")
    print(f"  (stop while blocked on a silent server: logged {time.monotonic() - start:.2f} s after net stop began)")
    stopper.wait(30)
    logdir = os.path.join(svc.root, "log")
    for name in os.listdir(logdir):
        with open(os.path.join(logdir, name), "rb") as f:
            check(f.read().endswith(b"\r\n"), "a half line in the log")


def pause_and_resume(svc, servers, names):
    # State=0 pauses: no server is asked; removing it resumes within five seconds.
    servers.append(SntpServer(addr(0), "ok"))
    svc.write_config({"State": "0", "Log": "1"})
    svc.wine(svc.exe, "-i")
    svc.start_service()
    time.sleep(7)
    check(servers[0].requests == [], "a paused service asked a server")
    svc.write_config({"Log": "1"})
    want = "同步成功（通过服务器[" + names[0] + "]）"
    check(wait_for(lambda: want in svc.texts(), 10), f"no line {want!r} after the pause: {svc.texts()}")


def main():
    exe, servers_file = (os.path.abspath(a) for a in sys.argv[1:3])
    if os.environ.get("KELVRA_E2E_INSIDE") != "1":
        env = dict(os.environ, KELVRA_E2E_INSIDE="1")
        return subprocess.call(["unshare", "-mn", sys.executable, os.path.abspath(__file__), exe, servers_file],
                               env=env)
    with open(servers_file) as f:
        names = [l.strip() for l in f if l.strip()]
    point_names_at_loopback(names)
    run_scenario("installs, synchronises, stops, removes", installs_runs_and_stops, exe, names)
    run_scenario("a server serving another time cannot set the clock", another_time_is_refused, exe, names)
    run_scenario("bad replies are passed over for a good one", bad_replies_then_a_good_one, exe, names)
    run_scenario("nothing answers, then a stop while blocked on a silent server",
                 nothing_answers_then_stop_while_blocked, exe, names)
    run_scenario("State=0 pauses and its removal resumes", pause_and_resume, exe, names)
    for name, outcome, took in RESULTS:
        print(f"  {name:55s} {outcome}  ({took:.1f} s)")
    return 0 if all(o == "ok" for _, o, _ in RESULTS) else 1


if __name__ == "__main__":
    sys.exit(main())
