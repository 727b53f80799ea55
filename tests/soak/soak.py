#!/usr/bin/env python3
"""Soak test of the resident program under Wine: churn of short-lived processes, outside
changes to long-lived favourites, and the program's own cost, measured from outside.

    python3 tests/soak/soak.py --build build/win64 --minutes 5

Needs the cross build (MarrowbineJr64.exe, or MarrowbineJr.exe of a 32-bit build, and
jr_sleeper.exe in --build), Wine, Xvfb and the MinGW-w64 compiler of the same bitness
(it builds its helper, soak_agent.exe, into --build). It uses
its own Xvfb display (--display, default 73) and a fresh Wine prefix, and stops only what
it started. Not part of CI: it runs for --minutes plus about half a minute of Wine start-up.

Phases: settle (program up, long-lived favourites corrected), churn (--processes short-lived
processes, a third of them favourites, lifetimes 1-4 s, plus an outside affinity/priority
change of a long-lived favourite every 20 s), quiet (no churn; outside changes are then put
right only by the 10 s enforce period). Then the program is closed through its window.

Prints the figures and ends 0 when every check holds, 1 otherwise. The checks are
deliberately generous: they catch a missed correction, a stray one, a crash, a stall of
more than 2 s, or growth of memory, threads or handles; they do not grade speed.
"""
import argparse
import os
import queue
import random
import shutil
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from harness import WineSession, _is_pe32_plus, loader  # noqa: E402

NORMAL, IDLE, HIGH, BELOW, ABOVE = 0x20, 0x40, 0x80, 0x4000, 0x8000
ENFORCE_S = 10
TICK_S = 0.5
STALL_BOUND_S = 2.0          # longest tolerated gap without a scan after a list change
LIVED_ENOUGH_S = 1.5
CHURN_CHANGE_EVERY_S = 20

# Favourites: (relative path under C:\soak, digits, word, mask, class or 0 for Default).
SHORT_FAVS = [
    (r"fav\alpha.exe", "1", "High", 2, HIGH),
    (r"fav\beta.exe", "0", "Below", 1, BELOW),
    (r"fav two\gamma.exe", "1", "Default", 2, 0),
    (r"fav\deep\er\delta.exe", "0", "Low", 1, IDLE),
]
LONG_FAVS = [
    (r"long\keeper1.exe", "1", "Above", 2, ABOVE),
    (r"long\keeper2.exe", "0", "High", 1, HIGH),
    (r"long\keeper3.exe", "1", "Default", 2, 0),
]
# Look-alikes that must be left alone: same name elsewhere, near names, a favourite's dir.
NON_FAVS = [r"other\alpha.exe", r"fav\alpha2.exe", r"fav\beta.exe.exe", r"other\noise.exe",
            r"fav two\gamma .exe"]


class Agent:
    """soak_agent.exe over pipes; events are kept with their arrival order."""

    def __init__(self, session, exe):
        self.p = subprocess.Popen(loader([exe]) + [exe], env=session.env(), stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                  bufsize=1)
        self.events = []
        self.replies = queue.Queue()
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.p.stdout:
            f = line.split()
            if not f:
                continue
            with self.lock:
                self.events.append(f)
            if f[0] in ("I", "C", "L", "Q", "T", "S", "F"):
                self.replies.put(f)

    def send(self, line):
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()

    def ask(self, line, kinds, timeout=20):
        self.send(line)
        deadline = time.monotonic() + timeout
        while True:
            f = self.replies.get(timeout=max(0.01, deadline - time.monotonic()))
            if f[0] in kinds:
                return f

    def of(self, kind):
        with self.lock:
            return [e for e in self.events if e[0] == kind]


def proc_figures(pid):
    """CPU seconds, VmRSS kB, Linux threads, open fds of a Linux pid (None once it is gone)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            stat = f.read()
        with open(f"/proc/{pid}/status") as f:
            status = dict(line.split(":", 1) for line in f if ":" in line)
        fds = len(os.listdir(f"/proc/{pid}/fd"))
    except OSError:
        return None
    fields = stat.rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    return {"cpu": cpu, "rss": int(status["VmRSS"].split()[0]),
            "threads": int(status["Threads"]), "fds": fds}


def build_agent(build, bits64):
    src = os.path.join(HERE, "soak_agent.cpp")
    out_dir = os.path.join(build, "tests", "soak")
    exe = os.path.join(out_dir, "soak_agent.exe")
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(src):
        os.makedirs(out_dir, exist_ok=True)
        compiler = "x86_64-w64-mingw32-g++-posix" if bits64 else "i686-w64-mingw32-g++-posix"
        subprocess.run([compiler, "-std=c++17", "-O2", "-Wall", "-static",
                        "-o", exe, src], check=True)
    return exe


def pct(values, q):
    s = sorted(values)
    return s[min(len(s) - 1, int(round(q * (len(s) - 1))))]


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default="build/win64")
    ap.add_argument("--minutes", type=float, default=5.0)
    ap.add_argument("--processes", type=int, default=1000)
    ap.add_argument("--display", type=int, default=73)
    ap.add_argument("--seed", type=int, default=None)
    a = ap.parse_args(argv)

    # The 64-bit build names its program MarrowbineJr64.exe; these machines run no 32-bit code.
    program = os.path.join(a.build, "src", "MarrowbineJr64.exe")
    if not os.path.exists(program):
        program = os.path.join(a.build, "src", "MarrowbineJr.exe")
    program_name = os.path.basename(program)
    sleeper = os.path.join(a.build, "tests", "e2e", "jr_sleeper.exe")
    for f in (program, sleeper):
        if not os.path.exists(f):
            sys.exit(f"missing {f}: build first (cmake --build {a.build})")
    if len(os.sched_getaffinity(0)) < 2:
        sys.exit("needs at least 2 processors")
    bits64 = _is_pe32_plus(program)
    agent_exe = build_agent(a.build, bits64)
    # An agent of the program's bitness: its process list and handle table read like the program's.
    print(f"program {program_name} ({'64' if bits64 else '32'}-bit)")
    seed = a.seed if a.seed is not None else int(time.time())
    rng = random.Random(seed)

    total_s = a.minutes * 60
    quiet_s = max(45.0, 0.2 * total_s)
    settle_s = 5.0
    churn_s = total_s - quiet_s - settle_s
    if churn_s < 20:
        sys.exit("--minutes too small")

    t_boot = time.monotonic()
    s = WineSession(a.display).start()
    print(f"wine session :{a.display} ready in {time.monotonic() - t_boot:.1f} s; seed {seed}")
    failures = []

    def check(cond, what):
        print(("  ok   " if cond else "  FAIL ") + what)
        if not cond:
            failures.append(what)

    prog_p = agent = None
    try:
        root = os.path.join(s.drive_c(), "soak")
        jr_dir = os.path.join(root, "jr")
        os.makedirs(jr_dir)
        jr_exe = os.path.join(jr_dir, program_name)
        shutil.copy(program, jr_exe)
        for rel in [f[0] for f in SHORT_FAVS + LONG_FAVS] + NON_FAVS:
            dst = os.path.join(root, *rel.split("\\"))
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copy(sleeper, dst)
        win = lambda rel: "C:\\soak\\" + rel  # noqa: E731
        lines = ["Soak favourites"] + [f"x\t{d}\t{w}\t{win(r)}" for r, d, w, _, _ in SHORT_FAVS + LONG_FAVS]
        with open(os.path.join(jr_dir, "My Favs 2"), "wb") as f:
            f.write("\r\n".join(lines).encode("cp1252"))  # no empty line at the end

        agent = Agent(s, agent_exe)
        next_id = [0]

        def spawn(rel, life_s, mask, cls):
            i = next_id[0]
            next_id[0] += 1
            agent.send(f"spawn {i} {life_s * 1000:.0f} {mask} {cls} {win(rel)}")
            return i

        long_ids = {spawn(r, total_s + 120, m, c): (r, m, c) for r, _, _, m, c in LONG_FAVS}
        time.sleep(1.0)

        prog_p = subprocess.Popen(loader([jr_exe]) + [jr_exe,
                                   f"/My Favs 2 /enforce:{ENFORCE_S}"], cwd=jr_dir, env=s.env(),
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        t_prog = time.monotonic()
        win_pid = 0
        while time.monotonic() - t_prog < 30:
            win_pid = int(agent.ask("info", "I")[1])
            if win_pid:
                break
            time.sleep(0.2)
        check(win_pid != 0, "the program's window appeared")
        if not win_pid:
            return 1
        argv0 = open(f"/proc/{prog_p.pid}/cmdline", "rb").read().split(b"\0")[0]
        check(argv0.lower().endswith(program_name.lower().encode()), f"Linux pid {prog_p.pid} is the program ({argv0!r})")
        while time.monotonic() - t_prog < settle_s or len(agent.of("M")) < len(long_ids):
            if time.monotonic() - t_prog > 30:
                break
            time.sleep(0.2)
        check(len(agent.of("M")) == len(long_ids), "long-lived favourites corrected at start")

        samples = []  # (monotonic, phase, figures)

        def sample(phase):
            fig = proc_figures(prog_p.pid)
            if fig:
                samples.append((time.monotonic(), phase, fig))
            return fig

        def info():
            f = agent.ask("info", "I")
            return None if f[1] == "0" else {"api": int(f[2]), "sys": int(f[3]), "wthreads": int(f[4]),
                                             "gdi": int(f[5]), "user": int(f[6])}

        start_fig, start_info = sample("start"), info()

        # Churn: evenly spread starts with jitter; exactly a third are favourites.
        kinds = [True] * (a.processes // 3) + [False] * (a.processes - a.processes // 3)
        rng.shuffle(kinds)
        gap = churn_s / a.processes
        plan = sorted((k * gap + rng.uniform(0, gap), fav) for k, fav in enumerate(kinds))
        short = {}  # id -> (rel, favourite?)
        changes = []  # (id, phase)
        keeper_cycle = list(long_ids)
        wrong = lambda m: 3 if rng.random() < 0.5 else 3 - m  # noqa: E731
        t0 = time.monotonic()
        next_sample = t0
        next_change = t0 + CHURN_CHANGE_EVERY_S / 2
        print(f"churn: {a.processes} processes over {churn_s:.0f} s")
        for at, fav in plan:
            while True:
                now = time.monotonic()
                if now >= next_sample:
                    sample("churn")
                    next_sample += 5
                if now >= next_change:
                    k = keeper_cycle[len(changes) % len(keeper_cycle)]
                    m = long_ids[k][1]
                    agent.send(f"set {k} {wrong(m)} {NORMAL if long_ids[k][2] else 0}")
                    changes.append((k, "churn"))
                    next_change += CHURN_CHANGE_EVERY_S
                if now >= t0 + at:
                    break
                time.sleep(min(0.05, t0 + at - now))
            if fav:
                rel, _, _, m, c = rng.choice(SHORT_FAVS)
            else:
                rel, m, c = rng.choice(NON_FAVS), 0, 0
            short[spawn(rel, rng.uniform(1.0, 4.0), m, c)] = (rel, fav)
        t_churn_end = time.monotonic()
        while len(agent.of("E")) < len(short) and time.monotonic() - t_churn_end < 30:
            sample("churn")
            time.sleep(1)
        t_quiet = time.monotonic()

        # Quiet: the list no longer changes, so only the enforce period puts things right.
        slot = (quiet_s - 3) / 4
        for n in range(4):
            k = keeper_cycle[n % len(keeper_cycle)]
            while time.monotonic() < t_quiet + 2 + n * slot:
                time.sleep(0.2)
            agent.send(f"set {k} {wrong(long_ids[k][1])} {NORMAL if long_ids[k][2] else 0}")
            changes.append((k, "quiet"))
            sample("quiet")
        while time.monotonic() < t_quiet + quiet_s:
            time.sleep(0.5)
            if int(time.monotonic() * 2) % 10 == 0:
                sample("quiet")
        end_fig, end_info = sample("end"), info()
        alive_s = time.monotonic() - t_prog
        alive = prog_p.poll() is None
        names = agent.ask("procs", "L")[2:]
        t_close = time.monotonic()
        closed = agent.ask("close", "C")[1] == "1"
        try:
            rc = prog_p.wait(timeout=20)
        except subprocess.TimeoutExpired:
            rc = None
        close_s = time.monotonic() - t_close
        agent.ask("quit", "Q")
    finally:
        if prog_p and prog_p.poll() is None:
            prog_p.kill()
        if agent and agent.p.poll() is None:
            agent.p.kill()
        s.stop()

    # ----- figures -----
    started = {int(e[1]): float(e[4]) for e in agent.of("S")}
    call_ms = [float(e[4]) - float(e[3]) for e in agent.of("S")]
    ended = {int(e[1]): (float(e[2]), int(e[3]), int(e[4])) for e in agent.of("E")}
    matched = {int(e[1]): float(e[2]) for e in agent.of("M")}
    strays = {int(e[1]): e for e in agent.of("X")}
    sets = {}
    for e in agent.of("T"):
        sets.setdefault(int(e[1]), []).append(float(e[2]))
    redone = {(int(e[1]), float(e[2])): float(e[3]) for e in agent.of("R")}
    failed_starts = agent.of("F")

    print(f"\n== churn: {len(started) - len(long_ids)} short-lived processes started "
          f"({len(failed_starts)} failed to start), {sum(1 for _, f in short.values() if f)} favourites; "
          f"CreateProcess took median {statistics.median(call_ms):.0f} ms, worst {max(call_ms):.0f} ms")
    favs = [i for i, (_, f) in short.items() if f and i in started]
    lived = [i for i in favs if i in ended and (ended[i][0] - started[i]) / 1000 >= LIVED_ENOUGH_S]
    missed = [i for i in lived if i not in matched]
    delays = [(matched[i] - started[i]) / 1000 for i in favs if i in matched]
    short_lived_done = [i for i in favs if i not in lived and i in matched]
    print(f"favourites living >= {LIVED_ENOUGH_S} s: {len(lived)}, corrected {len(lived) - len(missed)}; "
          f"shorter-lived favourites corrected anyway: {len(short_lived_done)} of {len(favs) - len(lived)}")
    for i in missed[:10]:
        print(f"    not corrected: id {i} {short[i][0]} lived {(ended[i][0] - started[i]) / 1000:.2f} s, "
              f"last seen mask {ended[i][1]} class {ended[i][2]:#x}")
    if delays:
        print(f"correction delay after start: median {statistics.median(delays):.3f} s, "
              f"95th {pct(delays, 0.95):.3f} s, worst {max(delays):.3f} s (n={len(delays)})")
    fav_starts = sorted(started[i] for i in favs)
    coverage = max(b - a for a, b in zip(fav_starts, fav_starts[1:])) / 1000 if len(fav_starts) > 1 else 0
    print(f"longest gap between favourite starts (the stall probe's blind spot): {coverage:.2f} s")
    print(f"non-favourites touched: {len(strays)}")
    for e in list(strays.values())[:10]:
        print(f"    stray change: id {e[1]} {short.get(int(e[1]), ('?',))[0]} mask {e[3]} class {int(e[4]):#x}")

    print("\n== outside changes of long-lived favourites (delay until put right)")
    recorrect = {"churn": [], "quiet": []}
    unfixed = []
    seen = {}
    for k, phase in changes:
        n = seen.get(k, 0)
        seen[k] = n + 1
        t_set = sets.get(k, [])[n] if n < len(sets.get(k, [])) else None
        back = redone.get((k, t_set)) if t_set is not None else None
        if back is None:
            unfixed.append((k, phase))
            print(f"  {phase:5s} {long_ids[k][0]}: not put right")
        else:
            recorrect[phase].append((back - t_set) / 1000)
            print(f"  {phase:5s} {long_ids[k][0]}: {(back - t_set) / 1000:.3f} s")
    for phase, v in recorrect.items():
        if v:
            print(f"  {phase}: n={len(v)} median {statistics.median(v):.3f} s, worst {max(v):.3f} s")

    print("\n== the program's cost (Linux side of its Wine process)")
    churn_samples = [x for x in samples if x[1] == "churn"]

    def rate(window):
        if len(window) < 2 or window[-1][0] - window[0][0] < 1:
            return None
        return (window[-1][2]["cpu"] - window[0][2]["cpu"]) / (window[-1][0] - window[0][0]) * 60

    first_min = [x for x in churn_samples if x[0] - churn_samples[0][0] <= 60]
    last_min = [x for x in churn_samples if churn_samples[-1][0] - x[0] <= 60]
    quiet_samples = [x for x in samples if x[1] in ("quiet", "end")]
    cpu_first, cpu_last, cpu_quiet = rate(first_min), rate(last_min), rate(quiet_samples)
    cpu_all = rate(samples)
    print(f"CPU s per minute: churn first minute {cpu_first:.2f}, churn last minute {cpu_last:.2f}, "
          f"quiet {cpu_quiet:.2f}, whole run {cpu_all:.2f}")
    print(f"VmRSS: start {start_fig['rss']} kB, end {end_fig['rss']} kB, "
          f"peak {max(x[2]['rss'] for x in samples)} kB")
    print(f"Linux threads: start {start_fig['threads']}, end {end_fig['threads']}; "
          f"open fds: start {start_fig['fds']}, end {end_fig['fds']}")
    if start_info and end_info:
        print(f"Windows handles (system handle table): start {start_info['sys']}, end {end_info['sys']}; "
              f"GetProcessHandleCount from outside: start {start_info['api']}, end {end_info['api']}"
              f"{' (Wine reports 0 for another process)' if start_info['api'] == 0 else ''}")
        print(f"Windows threads (toolhelp): start {start_info['wthreads']}, end {end_info['wthreads']}; "
              f"GDI/USER objects: start {start_info['gdi']}/{start_info['user']}, "
              f"end {end_info['gdi']}/{end_info['user']}")
    print(f"ran {alive_s:.0f} s; close by WM_CLOSE: posted={closed}, exit code {rc}, took {close_s:.2f} s")

    print("\n== checks")
    check(not failed_starts, "every short-lived process started")
    check(not missed, f"every favourite that lived >= {LIVED_ENOUGH_S} s was corrected")
    check(len(lived) >= len(favs) // 2, "most favourites lived long enough to count")
    check(not strays, "no non-favourite was touched")
    check(bool(delays) and max(delays) <= STALL_BOUND_S,
          f"worst correction of a new favourite <= {STALL_BOUND_S} s (no tick missed for longer)")
    bound = ENFORCE_S + TICK_S + 1.0
    check(not unfixed, "every outside change was put right")
    check(all(v <= bound for vs in recorrect.values() for v in vs),
          f"every outside change put right within {bound:.1f} s (enforce period + a tick + slack)")
    check(alive, "the program was alive at the end")
    check(not any(n.lower().startswith("winedbg") for n in names), "no crash debugger appeared")
    check(alive_s >= total_s - 1, f"the program ran at least {total_s:.0f} s")
    check(cpu_first is not None and cpu_last is not None and cpu_last <= 2 * cpu_first + 1.0,
          "CPU per minute did not grow over the churn (last <= 2 x first + 1 s)")
    check(end_fig["rss"] <= start_fig["rss"] * 1.25 + 4096, "resident memory did not grow (end <= 1.25 x start + 4 MB)")
    check(end_fig["threads"] <= start_fig["threads"] + 2, "Linux threads did not grow (end <= start + 2)")
    check(end_fig["fds"] <= start_fig["fds"] + 4, "open fds did not grow (end <= start + 4)")
    if start_info and end_info and start_info["sys"] > 0:
        check(end_info["sys"] <= start_info["sys"] + 8, "Windows handles did not grow (end <= start + 8)")
        check(end_info["wthreads"] <= start_info["wthreads"] + 1, "Windows threads did not grow")
    check(closed and rc == 0, "closing the window ended the program cleanly (exit code 0)")
    check(close_s < 10, "it ended within 10 s of the close")
    print("\nSOAK " + ("PASSED" if not failures else f"FAILED ({len(failures)} checks)"))
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
