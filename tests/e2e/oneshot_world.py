"""The one-shot cases' world: a folder under C:\\jr\\<case> holding the program and its profile,
sleeping helper processes, and the checks of their affinity and class through jr_probe and taskset.
Shared by the one-shot and the doctor's end-to-end cases."""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Failure, Skip, check, probe, start_allowance  # noqa: E402

NORMAL, IDLE, HIGH, ABOVE, BELOW = 0x20, 0x40, 0x80, 0x8000, 0x4000
ONE_SHOT_BOUND_S = 30
HELPER_SECONDS = "240"  # helpers end by themselves should a test die before its cleanup


class Helper:
    def __init__(self, win_path, popen, win_pid):
        self.win_path = win_path
        self.popen = popen
        self.linux_pid = popen.pid
        self.win_pid = win_pid


class World:
    """One test's directory under C:\\jr\\<case>, its helpers, its program copy."""

    def __init__(self, session, args, case):
        self.s = session
        self.args = args
        self.unix_root = os.path.join(session.drive_c(), "jr", case)
        self.win_root = "C:\\jr\\" + case
        shutil.rmtree(self.unix_root, ignore_errors=True)
        os.makedirs(self.unix_root)
        self.helpers = []
        self.spawned = []
        self.ncpu = int(self.probe("ncpu").strip())
        self.full_mask = (1 << min(self.ncpu, 64)) - 1
        self.prog_dir = self._install_program()

    # ----- paths -----
    def unix(self, rel):
        return os.path.join(self.unix_root, *rel.split("\\"))

    def win(self, rel):
        return self.win_root + "\\" + rel

    # ----- the probe -----
    def probe(self, *args):
        return probe(self.s, self.args.probe, *args)

    def rows(self):
        for line in self.probe("list").splitlines():
            parts = line.split("\t", 3)
            if len(parts) == 4 and parts[3]:
                yield int(parts[0]), int(parts[1]), int(parts[2]), parts[3].lower()

    def instances(self):
        """Identifiers of the running copies of this test's program."""
        prog = self.win("prog\\MarrowbineJr.exe").lower()
        return {pid for pid, _, _, path in self.rows() if path == prog}

    def table(self):
        """Path (lower case) -> (pid, affinity, priority class), from jr_probe list."""
        return {path: (pid, aff, prio) for pid, aff, prio, path in self.rows()}

    # ----- processes -----
    def _install_program(self):
        d = self.unix("prog")
        os.makedirs(d)
        shutil.copy(self.args.program, os.path.join(d, "MarrowbineJr.exe"))
        return d

    def helper(self, rel, sleeper=None, args=()):
        """Copies the sleeper (or another helper) to rel under the case directory and starts it there."""
        path = self.unix(rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copy(sleeper or self.args.sleeper, path)
        p = self.s.spawn([path] + list(args) + [HELPER_SECONDS])
        self.spawned.append(p)
        win_path = self.win(rel)
        deadline = time.monotonic() + 20 + start_allowance(path)
        while time.monotonic() < deadline:
            check(p.poll() is None, f"helper {rel} ended at start ({p.returncode})")
            row = self.table().get(win_path.lower())
            if row:
                check(self.s.started_as(p, path, row[0]), f"pid {p.pid} is not the helper {win_path}")
                h = Helper(win_path, p, row[0])
                self.helpers.append(h)
                return h
            time.sleep(0.1)
        raise Failure(f"helper {win_path} never showed up in the process list")

    def start_program(self, *args):
        p = self.s.spawn([os.path.join(self.prog_dir, "MarrowbineJr.exe")] + list(args))
        self.spawned.append(p)
        return p

    def install_other_program(self, exe, rel_dir):
        d = self.unix(rel_dir)
        os.makedirs(d)
        shutil.copy(exe, os.path.join(d, "MarrowbineJr.exe"))
        return d

    def run_program(self, *args, prog_dir=None, status=0):
        """Runs the program to its end; it must end soon with the exit status a script would
        test: 0 applied, 1 the profile did not load, 2 a set was refused, 3 gave way."""
        prog_dir = prog_dir or self.prog_dir
        before = self.instances()
        program = os.path.join(prog_dir, "MarrowbineJr.exe")
        rc, _, elapsed = self.s.wine([program] + list(args), cwd=prog_dir, timeout=120 + start_allowance(program))
        check(rc == status, f"MarrowbineJr {' '.join(args)} exited with {rc}, not {status}")
        check(elapsed < ONE_SHOT_BOUND_S + start_allowance(program), f"MarrowbineJr {' '.join(args)} took {elapsed:.1f} s")
        left = self.instances() - before
        check(not left, f"MarrowbineJr {' '.join(args)} is still listed after it ended: {left}")
        return elapsed

    def cleanup(self):
        for p in self.spawned:
            if p.poll() is None:
                p.kill()  # SIGKILL of a pid this test started; Wine drops the process
        for p in self.spawned:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        shutil.rmtree(self.unix_root, ignore_errors=True)

    # ----- profile -----
    def profile(self, name, records, header="Favorites", encoding="cp1252"):
        """Writes the profile beside the program, CRLF, header first: ANSI unless an editor's
        other encoding is named (utf-8, utf-8-sig, utf-16 with its mark)."""
        text = "".join(r + "\r\n" for r in [header] + list(records))
        with open(os.path.join(self.prog_dir, name), "wb") as f:
            f.write(text.encode(encoding, errors="replace"))  # ANSI keeps "?", as Notepad does

    # ----- what a helper looks like now -----
    def linux_mask(self, h):
        out = subprocess.run(["taskset", "-p", str(h.linux_pid)], capture_output=True, text=True,
                             check=True).stdout
        return int(out.rsplit(":", 1)[1].strip(), 16)

    def set_linux_mask(self, h, mask):
        if not self.s.under_wine:
            raise Skip("needs Linux's view of Wine's threads (taskset)")
        # All threads, behind Wine's back: Wine's own record of the mask stays as it was.
        subprocess.run(["taskset", "-a", "-p", format(mask, "x"), str(h.linux_pid)],
                       capture_output=True, check=True)

    def linux_view(self, mask):
        """Where a mask runs on Linux: in a session of many processors the preloaded library
        folds processor i onto the (i mod n)-th real one."""
        if not self.s.cpus:
            return mask
        real = sorted(os.sched_getaffinity(0))
        folded = 0
        for i in range(64):
            if mask >> i & 1:
                folded |= 1 << real[i % len(real)]
        return folded

    def state(self, h):
        row = self.table().get(h.win_path.lower())
        check(row is not None, f"{h.win_path} is no longer listed")
        # Natively there is no second view: Windows' own mask stands in for taskset's.
        return row[1], row[2], self.linux_mask(h) if self.s.under_wine else row[1]

    def expect(self, h, affinity, priority, what=""):
        got = self.state(h)
        want = (affinity, priority, self.linux_view(affinity))
        check(got == want, f"{h.win_path}{' ' + what if what else ''}: (affinity, class, taskset) "
                           f"is {fmt(got)}, expected {fmt(want)}")

    def expect_untouched(self, h, what=""):
        self.expect(h, self.full_mask, NORMAL, what)


def fmt(t):
    return "(" + ", ".join(hex(v) for v in t) + ")"


def fav(digits, priority, path):
    return f"x\t{digits}\t{priority}\t{path}"


def quoted(record):
    return f'"{record}"'


def need_desktop(w):
    if not w.s.under_wine:
        raise Skip("the resident program needs a desktop with a notification area: Wine's virtual desktop")


def need_cpus(w, n):
    if w.ncpu < n:
        raise Skip(f"needs {n} processors, the machine has {w.ncpu}")


def expect_restricted_dll_search(session, args, cwd):
    """It tells Windows to load DLLs from System32 only (traced by Wine's relay)."""
    if not session.under_wine:
        print(f"not checked here: the DLL search of {os.path.basename(args[0])} shows in Wine's relay trace only")
        return
    calls = session.traced_calls(args, ["SetDefaultDllDirectories"], cwd=cwd)
    check(any(c.startswith("Call KERNEL32.SetDefaultDllDirectories(00000800)") for c in calls),
          f"{os.path.basename(args[0])} never called SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32): {calls}")
