"""Fault drills against the real Linux daemon: a spoiled log directory and config.ini, kills in
the middle of writes, failing name look-ups, silent servers, a web time server that stalls
mid-body, and a stop in every state of the worker. Each drill asserts that the daemon keeps
running, ends every wait, and loses nothing it had.

Usage (as root, without CAP_SYS_TIME): python3 drills_linux.py EXE CLOCK_RECORDER_SO SERVERS_FILE
Every drill runs in a network and mount namespace of its own (loopback only, a hosts file
bind-mounted), so the drills run side by side; the long ones (silent servers, a stalled page)
set the total time."""
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import SntpServer, WebTimeServer, point_names_at_loopback, wait_for  # noqa: E402
from e2e_linux import Daemon, addr, base_config, check  # noqa: E402

WEB_HOST = "webtime.kelvra.test"
SECTION = "DaZirAdur"
LINE = re.compile(rb"\A\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t[^\n]*\n\Z")
STOP_LIMIT = 2.0  # seconds from SIGTERM to the end of the process
DRILLS = {}


def drill(fn):
    DRILLS[fn.__name__] = fn
    return fn


class Run:
    """What one drill holds: its servers and daemons, all closed at the end."""

    def __init__(self, exe, recorder, names):
        self.exe, self.recorder, self.names = exe, recorder, names
        self.servers, self.daemons = [], []

    def server(self, s):
        self.servers.append(s)
        return s

    def start(self, config, **kw):
        d = Daemon(self.exe, self.recorder, config, **kw)
        self.daemons.append(d)
        return d

    def close(self):
        for d in self.daemons:
            d.close()
        for s in self.servers:
            s.close()


def log_bytes(d):
    """Every line of every day's file, as bytes (a torn line must not hide behind a decode error)."""
    logdir = os.path.join(d.root, "log")
    lines = []
    if os.path.isdir(logdir):
        for name in sorted(os.listdir(logdir)):
            with open(os.path.join(logdir, name), "rb") as f:
                lines += f.read().splitlines(keepends=True)
    return lines


def check_whole_log(d):
    for line in log_bytes(d):
        check(LINE.match(line), f"a torn or malformed log line: {line!r}")


def texts(d):
    return [l.rstrip(b"\n").split(b"\t", 1)[1].decode("utf-8") for l in log_bytes(d) if b"\t" in l]


def failures(d):
    return sum(t.startswith("同步失败：") for t in texts(d))


def successes(d):
    return sum(t.startswith("同步成功") for t in texts(d))


def stop_promptly(d, what):
    check(d.proc.poll() is None, f"{what}: the daemon ended before the stop")
    rc, took = d.stop()
    check(rc == 0, f"{what}: exit code {rc}")
    check(took < STOP_LIMIT, f"{what}: stop took {took:.2f} s")
    check_whole_log(d)
    t = texts(d)
    check(t and t[-1] == "服务停止", f"{what}: last line {t[-1:]!r}")
    print(f"    stop {what}: {took:.2f} s")


def temp_files(d):
    return [n for n in os.listdir(os.path.dirname(d.config)) if n.startswith(".kelvra-")]


def prepared_root(config_bytes):
    """A layout whose config.ini holds these bytes before the daemon first starts."""
    root = tempfile.mkdtemp(prefix="kelvra-drill-")
    os.makedirs(os.path.join(root, "bin"))
    with open(os.path.join(root, "bin", "config.ini"), "wb") as f:
        f.write(config_bytes)
    return root


def parse_ini(data):
    """A strict reading of config.ini: every line a section, a key=value, a comment or blank."""
    section, keys = None, {}
    for raw in data.split(b"\n"):
        line = raw.rstrip(b"\r").strip()
        if not line or line.startswith(b";"):
            continue
        if line.startswith(b"[") and line.endswith(b"]"):
            section = line[1:-1].decode()
            continue
        check(b"=" in line, f"a line that is neither key nor section: {raw!r}")
        k, v = line.split(b"=", 1)
        if section == SECTION:
            keys[k.strip().decode()] = v.strip().decode()
    return keys


# --- the log ------------------------------------------------------------------------------

@drill
def log_directory_spoiled(run):
    """A file named `log` in the directory's place, then an unwritable directory: the lines of
    that time are lost, the daemon cycles on, and the lines after the repair land."""
    # A server with short replies counts the cycles: each asks it once, 15 s after the one before.
    bad = run.server(SntpServer(addr(0), "short"))
    root = prepared_root(b"")
    logpath = os.path.join(root, "log")
    with open(logpath, "w") as f:
        f.write("not a directory\n")
    d = run.start(base_config(), root=root)
    check(wait_for(lambda: len(bad.requests) == 1, 3), "no first cycle")
    time.sleep(1)
    check(d.proc.poll() is None, "the daemon ended while `log` was a file")
    with open(logpath) as f:
        check(f.read() == "not a directory\n", "the file named log was changed")
    os.unlink(logpath)
    check(wait_for(lambda: failures(d) == 1, 17), "no line landed after the file was removed")
    check(texts(d)[0].startswith("同步失败："), f"a line of the time before landed: {texts(d)}")
    # Unwritable even for root: a read-only bind mount over the directory.
    subprocess.run(["mount", "--bind", logpath, logpath], check=True)
    subprocess.run(["mount", "-o", "remount,bind,ro", logpath], check=True)
    cycles = len(bad.requests)
    check(wait_for(lambda: len(bad.requests) > cycles, 17), "no cycle while the directory was read-only")
    time.sleep(1)
    check(failures(d) == 1, "a line reached a read-only directory")
    check(d.proc.poll() is None, "the daemon ended while the directory was read-only")
    subprocess.run(["umount", logpath], check=True)
    check(wait_for(lambda: failures(d) == 2, 17), "no line landed after the directory was writable again")
    stop_promptly(d, "after the log faults")


# --- config.ini -----------------------------------------------------------------------------

@drill
def config_read_only(run):
    """A read-only config.ini keeps every byte; the daemon cycles by it, Fresh=1 stays, so each
    wait ends after its first step."""
    run.server(SntpServer(addr(0), "ok"))
    run.server(SntpServer(addr(1), "ok"))
    body = b"; written by the configuration program\r\n[DaZirAdur]\r\nState=1\r\nIntervalMin=1\r\nFresh=1\r\nWebTimeHost=\r\n"
    root = prepared_root(body)
    os.chmod(os.path.join(root, "bin", "config.ini"), 0o444)
    d = run.start(None, root=root)
    # Fresh=1 cannot be reset: each wait ends after its first step, and the next cycle comes
    # once the first server's 15 s spacing has run.
    check(wait_for(lambda: successes(d) >= 2, 20), f"fewer than two cycles: {texts(d)}")
    with open(d.config, "rb") as f:
        check(f.read() == body, "the read-only config.ini was changed")
    check(temp_files(d) == [], f"temporary files left: {temp_files(d)}")
    stop_promptly(d, "with a read-only config.ini")


@drill
def config_deleted_between_reads(run):
    """config.ini removed during a wait: the wait goes on with the defaults; a new file with
    Fresh=1 is seen within about a second, and the reset keeps every other key."""
    run.server(SntpServer(addr(0), "ok"))
    run.server(SntpServer(addr(1), "ok"))
    d = run.start(base_config(Extra="kept"))
    check(wait_for(lambda: successes(d) >= 1 and d.read_config().get("Last"), 5), "no first cycle")
    os.unlink(d.config)
    time.sleep(2.5)  # a few reads of Fresh with no file
    check(d.proc.poll() is None, "the daemon ended without config.ini")
    check(not os.path.exists(d.config), "a missing config.ini was recreated by a read")
    cfg = base_config(Extra="kept", Fresh="1")
    d.write_config(cfg)
    check(wait_for(lambda: d.read_config().get("Fresh") == "0", 3), "Fresh=1 in the new file was not seen")
    # The next cycle comes once the first server's 15 s spacing has run.
    check(wait_for(lambda: successes(d) >= 2, 16), "no cycle after Fresh")
    got = parse_ini(open(d.config, "rb").read())
    for k, v in cfg.items():
        if k != "Fresh":
            check(got.get(k) == v, f"key {k}: {got.get(k)!r}, wrote {v!r}")
    stop_promptly(d, "after config.ini came back")


@drill
def config_huge_or_binary(run):
    """A huge file (40 MB) and a binary one: the daemon cycles with the defaults, and what
    stood in the file is still there, byte for byte, ahead of anything the daemon appended."""
    run.server(SntpServer(addr(0), "ok"))
    rng = random.Random(7)
    blobs = {
        "huge": b"".join(b"Key%07d = value %d\r\n" % (i, i) for i in range(1_600_000)),
        "binary": bytes(rng.randrange(256) for _ in range(200_000)).replace(b"[", b"(").replace(b"\n", b"."),
    }
    for kind, blob in blobs.items():
        d = run.start(None, root=prepared_root(blob))
        # The defaults: a cycle at once, its line logged, then a wait of ten minutes.
        check(wait_for(lambda: successes(d) >= 1, 8), f"{kind}: no cycle with the defaults: {texts(d)}")
        if kind == "huge":  # a write of Last reads, parses and writes 40 MB: allow it time
            wait_for(lambda: os.path.getsize(d.config) > len(blob), 10)
        time.sleep(2)  # reads of Fresh, once a second
        with open(d.config, "rb") as f:
            data = f.read()
        check(data.startswith(blob), f"{kind}: the file's bytes were not kept")
        if kind == "binary":
            # A file with zero bytes is no text: the writer leaves it alone.
            check(data == blob, f"binary: bytes added: {data[len(blob):]!r}")
        else:
            check(re.fullmatch(rb"\[DaZirAdur\]\r?\nLast=\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\r?\n", data[len(blob):]),
                  f"huge: not just Last after the old bytes: {data[len(blob):]!r}")
        check(d.proc.poll() is None, f"{kind}: the daemon ended")
        check(successes(d) == 1, f"{kind}: the wait was not the default ten minutes")
        stop_promptly(d, f"with a {kind} config.ini")
        run.daemons.remove(d)
        d.close()


@drill
def killed_while_writing(run):
    """SIGKILL at random moments, many times, while the daemon logs and writes config.ini (Last
    after each cycle, the reset of Fresh a second later); the files are whole after each kill."""
    for i in range(7):
        run.server(SntpServer(addr(i), "ok"))
    rng = random.Random(int(os.environ.get("KELVRA_DRILL_SEED", "0")) or None)
    padding = "".join(f"; note {i:05d} the configuration program keeps here\n" for i in range(20000))  # ~1 MB
    keys = {"State": "1", "IntervalMin": "1", "Log": "1", "WebTimeHost": ""}
    keys.update({f"Own{i}": f"value {i}" for i in range(10)})
    wanted = (padding + "[DaZirAdur]\n" + "".join(f"{k}={v}\n" for k, v in keys.items()) + "Fresh=1\n").encode()
    root = prepared_root(wanted)
    kills = 0
    for round_ in range(30):
        if rng.random() < 0.3:
            # The configuration program's file, written while no daemon runs, asks for a cycle.
            with open(os.path.join(root, "bin", "config.ini"), "wb") as f:
                f.write(wanted)
        d = run.start(None, root=root, ready_timeout=0)
        time.sleep(rng.uniform(0.0, 1.4))
        d.proc.kill()
        d.proc.wait()
        kills += 1
        with open(d.config, "rb") as f:
            data = f.read()
        check(data.startswith(padding.encode()), f"round {round_}: the comments were not kept")
        got = parse_ini(data)
        for k, v in keys.items():
            check(got.get(k) == v, f"round {round_}: key {k} is {got.get(k)!r}, written {v!r}")
        check(got.get("Fresh") in ("0", "1"), f"round {round_}: Fresh is {got.get('Fresh')!r}")
        check(got.get("Last") is None or re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", got["Last"]),
              f"round {round_}: Last is {got.get('Last')!r}")
        check_whole_log(d)
        run.daemons.remove(d)
        d.close(keep=True)
    left = [n for n in os.listdir(os.path.join(root, "bin")) if n.startswith(".kelvra-")]
    # A kill between the temporary file's creation and its rename leaves that file; it is never
    # read, and config.ini itself is always whole.
    print(f"    {kills} kills, {len(log_bytes(d))} log lines, {len(left)} temporary file(s) left")
    check(len(left) <= kills, "more temporary files than kills")
    shutil.rmtree(root, ignore_errors=True)


# --- the network ---------------------------------------------------------------------------

@drill
def dns_failing(run):
    """No hosts entry and no resolver: every look-up fails at once, the cycle fails, the daemon
    retries every five seconds and stops promptly."""
    d = run.start(base_config(WebTimeHost=WEB_HOST))
    # The second cycle waits for the first server's 15 s spacing.
    check(wait_for(lambda: failures(d) >= 2, 20), f"failure lines: {texts(d)}")
    check(d.clock_requests() == [], "a clock setting without any answer")
    stop_promptly(d, "with failing look-ups")


@drill
def every_server_silent(run):
    """Seven silent servers: each asked once per cycle, in order; the cycle fails after their
    time-outs, the next begins, and a stop while blocked on one ends the process."""
    for i in range(7):
        run.server(SntpServer(addr(i), "silent"))
    d = run.start(base_config())
    check(wait_for(lambda: failures(d) >= 1, 40), f"no failure after the silent servers: {texts(d)}")
    firsts = [s.requests[0] for s in run.servers]
    check(firsts == sorted(firsts), "the servers were not asked in order")
    check(all(len(s.requests) == 1 for s in run.servers), "a server was asked twice in one cycle")
    check(wait_for(lambda: len(run.servers[0].requests) == 2, 15), "no second cycle")
    time.sleep(0.5)
    stop_promptly(d, "blocked on a silent server")


@drill
def web_time_stalls_mid_body(run):
    """Every server refuses, the web time page stalls after half its body: the fetch ends by its
    30 s limit with a failure, the next cycle fetches again, and a stop mid-fetch is prompt."""
    web = run.server(WebTimeServer(hang=True))
    d = run.start(base_config(WebTimeHost=WEB_HOST))
    check(wait_for(lambda: web.hits == 1, 5), "the web time page was not fetched")
    check(wait_for(lambda: failures(d) >= 1, 36), f"the stalled fetch never ended: {texts(d)}")
    check(wait_for(lambda: web.hits == 2, 8), "no fetch in the next cycle")
    time.sleep(0.5)
    stop_promptly(d, "in a stalled fetch")


# --- a stop in every state --------------------------------------------------------------------

@drill
def stop_in_every_state(run):
    ok = run.server(SntpServer(addr(0), "ok"))
    # paused: no cycle at all
    d = run.start(base_config(State="0"))
    time.sleep(1.5)
    check(ok.requests == [], "a paused daemon asked a server")
    stop_promptly(d, "while paused")
    # waiting: after a success, in the one-second steps
    d = run.start(base_config())
    check(wait_for(lambda: successes(d) >= 1, 5), "no success")
    time.sleep(1.5)
    stop_promptly(d, "while waiting")
    # retrying: in the five-second pause after a failure
    ok.behaviour = "kod"
    d = run.start(base_config())
    check(wait_for(lambda: failures(d) >= 1, 5), "no failure")
    time.sleep(1)
    stop_promptly(d, "while retrying")
    # in a cycle, blocked on a silent server
    ok.behaviour = "silent"
    n = len(ok.requests)
    d = run.start(base_config())
    check(wait_for(lambda: len(ok.requests) > n, 5), "the silent server was not asked")
    time.sleep(0.5)
    stop_promptly(d, "blocked on a silent server")
    # in the fallback's fetch: a page that never comes
    ok.behaviour = "kod"
    web = run.server(WebTimeServer(hang=True))
    d = run.start(base_config(WebTimeHost=WEB_HOST))
    check(wait_for(lambda: web.hits >= 1, 5), "the web time page was not fetched")
    time.sleep(0.5)
    stop_promptly(d, "in the fallback's fetch")
    check(d.clock_requests() == [], "a clock setting from half a page")


# --- the frame ------------------------------------------------------------------------------

def inside_namespace(name, exe, recorder, names):
    if name == "dns_failing":
        point_names_at_loopback([])  # none of the servers, not the web time host
    else:
        point_names_at_loopback(names, WEB_HOST)
    scratch = tempfile.mkdtemp(prefix="kelvra-drill-ns-")
    resolv = os.path.join(scratch, "resolv.conf")
    with open(resolv, "w") as f:
        f.write("nameserver 127.0.0.1\n")  # nothing listens there: a look-up fails at once
    subprocess.run(["mount", "--bind", resolv, "/etc/resolv.conf"], check=True)
    run = Run(exe, recorder, names)
    try:
        DRILLS[name](run)
    finally:
        run.close()
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    exe, recorder, servers_file = (os.path.abspath(a) for a in sys.argv[1:4])
    if os.environ.get("KELVRA_DRILL"):
        with open(servers_file) as f:
            names = [l.strip() for l in f if l.strip()]
        inside_namespace(os.environ["KELVRA_DRILL"], exe, recorder, names)
        return 0
    only = os.environ.get("KELVRA_DRILL_ONLY")
    chosen = [n for n in DRILLS if not only or only in n]
    procs = {}
    start = time.monotonic()
    for n in chosen:
        env = dict(os.environ, KELVRA_DRILL=n)
        procs[n] = (subprocess.Popen(["unshare", "-mn", sys.executable, os.path.abspath(__file__), exe, recorder,
                                      servers_file], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT),
                    time.monotonic())
    failed = 0
    for n, (p, began) in procs.items():
        out, _ = p.communicate(timeout=300)
        outcome = "ok" if p.returncode == 0 else "FAILED"
        failed += p.returncode != 0
        print(f"  {n:32s} {outcome}  ({time.monotonic() - began:.1f} s)")
        text = out.decode("utf-8", "replace")
        if text.strip():
            print(text.rstrip())
    print(f"  all drills: {time.monotonic() - start:.1f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
