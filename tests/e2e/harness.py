#!/usr/bin/env python3
"""A Wine session of the tests' own: a private Xvfb display, a fresh WINEPREFIX with a
virtual desktop, one wineboot, and a persistent wineserver. Tears down only what it started.

As a library: WineSession(display).start() ... stop(), or WineSession.load(state_file)
in a test process that reuses a session started by `harness.py setup`.

As a program (CTest fixture):
  harness.py setup --state FILE --display N [--cpus N]
  harness.py setup --state FILE --native
  harness.py teardown --state FILE

With --native (on Windows itself) there is no Wine, no prefix and no display: the cases run the
programs directly, under C:\, and a case that needs what only Wine gives (its relay trace, the
Linux view of its threads, a desktop with a notification area) says so and is skipped.

With --cpus N the session is a machine of N processors: helpers/fake_cpus.c, built here
with the host's C compiler, is preloaded into every Wine process, wineserver included; where
the machine runs 32-bit code, an i386 build of it too (gcc -m32), for 32-bit Windows programs.
"""
import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DESKTOP_NAME = "jr"
DESKTOP_SIZE = "1024x768"
BOOT_TIMEOUT = 180


WINE64_LOADER = "/usr/lib/wine/wine64"
WINE32_LOADER = "/usr/lib/wine/wine"
# The window's fonts from Debian's fonts-wine, which a new prefix does not always pick up:
# Tahoma for the counters, Marlett for the caption buttons.
WINDOW_FONTS = ("tahoma.ttf", "tahomabd.ttf", "marlett.ttf")
FONT_SOURCE = "/usr/share/wine/fonts"
FAKE_CPUS_SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "helpers", "fake_cpus.c")


class HarnessError(RuntimeError):
    pass


# What a test case reports: CTest takes exit code 77 as skipped.
SKIP = 77


class Skip(Exception):
    pass


class Failure(AssertionError):
    pass


def check(cond, message):
    if not cond:
        raise Failure(message)


# jr_probe's commands that only look: asked again after any failure, since Wine has been seen to
# fail a process listing now and then while processes start and end beside it.
READ_ONLY_PROBES = ("list", "ncpu", "modpath")


def probe(session, probe_exe, *args):
    """Runs jr_probe with args; returns its output, or fails the case with its error text.
    jr_probe names each failure of its own; one that ends silently never got as far as the
    probe's code (Wine has been seen to end a freshly started program with 1), so it is asked
    again too: setting a class, a mask or an end twice is setting it once."""
    for attempt in (1, 2, 3):
        rc, out, err = session.wine_with_errors([probe_exe] + list(args), timeout=60)
        if rc == 0 or (err.strip() and args[0] not in READ_ONLY_PROBES):
            break
        time.sleep(0.5)
    check(rc == 0, f"jr_probe {' '.join(args)} failed with {rc} after {attempt} tries: {err.strip()[-300:]}")
    return out


def run_case(case, make_world, body, on_failure=None):
    """Runs one case and returns its exit code for CTest: 0 passed, 1 failed, SKIP skipped.
    make_world() builds the case's world, which may skip or fail as well; the world's
    cleanup() runs on every way out."""
    world = None
    try:
        world = make_world()
        body(world)
    except Skip as e:
        print(f"SKIP {case}: {e}")
        return SKIP
    except Failure as e:
        print(f"FAIL {case}: {e}")
        if on_failure and world:
            on_failure(world)
        return 1
    finally:
        if world:
            world.cleanup()
    print(f"PASS {case}")
    return 0


def _is_pe32_plus(path):
    """True for a 64-bit Windows program (PE32+, x86-64)."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
        at = int.from_bytes(head[0x3C:0x40], "little")
        return head[:2] == b"MZ" and head[at:at + 4] == b"PE\0\0" and head[at + 4:at + 6] == b"\x64\x86"
    except (OSError, ValueError):
        return False


_runs_32bit = None
QEMU_I386_ENTRY = "/proc/sys/fs/binfmt_misc/qemu-i386"
# What a 32-bit program's start may take under emulation: about a minute was seen, three in a fresh prefix.
EMULATED_START_S = 240


def emulated_32bit():
    """True where Wine's 32-bit loader runs only under user-mode emulation (qemu-i386, as
    scripts/install-deps.sh registers it where the kernel runs no 32-bit code): every 32-bit
    process then takes about a minute, so only the cases the smoke opens with
    MJR_E2E_EMULATED_32BIT=1 run 32-bit programs."""
    try:
        with open(QEMU_I386_ENTRY) as f:
            return f.readline().strip() == "enabled"
    except OSError:
        return False


def start_allowance(path):
    """Seconds a program may take beyond a case's usual bounds."""
    is_32bit = str(path).lower().endswith(".exe") and not _is_pe32_plus(path)
    return EMULATED_START_S if is_32bit and emulated_32bit() else 0


def runs_32bit_programs():
    """False on a machine whose kernel runs 64-bit code only and emulates none: there Wine's
    32-bit loader cannot start, and with it no 32-bit Windows program."""
    global _runs_32bit
    if os.name == "nt":
        return True  # WoW64
    if _runs_32bit is None:
        try:
            _runs_32bit = subprocess.run([WINE32_LOADER, "--version"], stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                         timeout=60).returncode == 0
        except (OSError, subprocess.TimeoutExpired):
            _runs_32bit = False
    return _runs_32bit


def base_loader():
    """The loader for Wine's own programs (wineboot, reg): the 64-bit one where 32-bit code
    cannot run, or runs only emulated."""
    native = runs_32bit_programs() and not emulated_32bit()
    return ["wine"] if native or not os.path.exists(WINE64_LOADER) else [WINE64_LOADER]


def loader(args):
    """The Wine loader for a program: `wine` would run a 64-bit one through start.exe, so
    the started process would not be the program itself. A 32-bit program on a machine
    that runs 64-bit code only is a skipped case, not a failure."""
    if args and _is_pe32_plus(args[0]) and os.path.exists(WINE64_LOADER):
        return [WINE64_LOADER]
    if not args or not str(args[0]).lower().endswith(".exe"):
        return base_loader()
    if not runs_32bit_programs():
        raise Skip(f"this machine runs 64-bit code only, so not the 32-bit {os.path.basename(args[0])}")
    if emulated_32bit() and not os.environ.get("MJR_E2E_EMULATED_32BIT"):
        raise Skip(f"32-bit code runs here only under emulation, far too slowly for every case: the test "
                   f"command's 32-bit smoke runs the 32-bit {os.path.basename(args[0])} in a few")
    return ["wine"]


def _alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def _cmdline(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().split(b"\0")
    except OSError:
        return []


def first_free_display(preferred):
    """The first display from preferred on that no live X server holds. A lock whose server is
    gone (a run killed with its machine) is stale: Xvfb takes such a display over."""
    for display in range(preferred, preferred + 20):
        try:
            with open(f"/tmp/.X{display}-lock") as f:
                holder = int(f.read().strip() or 0)
        except FileNotFoundError:
            return display
        except (OSError, ValueError):
            continue
        if holder <= 0 or not _alive(holder):
            return display
    raise HarnessError(f"displays :{preferred} to :{preferred + 19} are all in use")


class WineSession:
    under_wine = True

    def __init__(self, display, prefix=None, xvfb_pid=None, owns_prefix=True, cpus=0):
        self.display = int(display)
        self.prefix = prefix
        self.xvfb_pid = xvfb_pid
        self.owns_prefix = owns_prefix
        self.cpus = int(cpus or 0)  # 0: the machine's own processors

    # ----- environment -----
    def env(self):
        if not self.prefix:
            raise HarnessError("no WINEPREFIX: the session is not started")
        env = dict(os.environ)
        env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", DISPLAY=f":{self.display}",
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        if self.cpus:
            env.update(LD_PRELOAD=" ".join(self.fake_cpus_libraries()), MJR_FAKE_CPUS=str(self.cpus),
                       MJR_FAKE_CPUS_LOG=self.affinity_log())
        return env

    def fake_cpus_library(self, bits=64):
        return os.path.join(self.prefix, "libfakecpus.so" if bits == 64 else "libfakecpus32.so")

    def fake_cpus_libraries(self):
        """Both classes where 32-bit processes run: the loader ignores the one of the other class."""
        return [self.fake_cpus_library()] + ([self.fake_cpus_library(32)] if runs_32bit_programs() else [])

    def affinity_log(self):
        """Every mask wineserver gave a Linux thread: "tid mask" lines, mask in hex."""
        return os.path.join(self.prefix, "affinity.log")

    def affinity_sets(self, linux_pid):
        """The masks set on a process's main thread so far, in order."""
        try:
            with open(self.affinity_log()) as f:
                rows = [line.split() for line in f]
        except FileNotFoundError:
            return []
        return [int(mask, 16) for tid, mask in rows if int(tid) == linux_pid]

    def _build_fake_cpus(self):
        compiler = shutil.which("cc") or shutil.which("gcc")
        if not compiler:
            raise HarnessError("no host C compiler for the many-processor library")
        for bits in (64, 32) if runs_32bit_programs() else (64,):
            subprocess.run([compiler, "-shared", "-fPIC", "-O2"] + (["-m32"] if bits == 32 else []) +
                           ["-o", self.fake_cpus_library(bits), FAKE_CPUS_SOURCE, "-ldl"],
                           check=True, stdin=subprocess.DEVNULL)

    def drive_c(self):
        return os.path.join(self.prefix, "drive_c")

    # ----- start and stop -----
    def start(self):
        self.display = first_free_display(self.display)
        xvfb = subprocess.Popen(
            ["Xvfb", f":{self.display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        self.xvfb_pid = xvfb.pid
        try:
            self._wait_for_display(xvfb)
            self.prefix = tempfile.mkdtemp(prefix="mjr-wine-")
            self.owns_prefix = True
            if self.cpus:
                self._build_fake_cpus()  # before wineboot: wineserver counts processors too
            # The server forks into the background: it must hold none of our pipes.
            subprocess.Popen(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True).wait(timeout=30)
            self._run(base_loader() + ["wineboot", "-i"], timeout=BOOT_TIMEOUT)
            for args in (["reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop",
                          "/d", DESKTOP_NAME, "/f"],
                         ["reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v",
                          DESKTOP_NAME, "/d", DESKTOP_SIZE, "/f"]):
                self._run(base_loader() + args, timeout=60)
            self._install_fonts()
        except BaseException:
            self.stop()
            raise
        return self

    def _install_fonts(self):
        fonts = os.path.join(self.drive_c(), "windows", "Fonts")
        for name in WINDOW_FONTS:
            source = os.path.join(FONT_SOURCE, name)
            if os.path.isfile(source) and not os.path.exists(os.path.join(fonts, name)):
                os.makedirs(fonts, exist_ok=True)
                shutil.copy(source, fonts)

    def _wait_for_display(self, xvfb):
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if xvfb.poll() is not None:
                raise HarnessError(f"Xvfb :{self.display} ended at start (code {xvfb.returncode})")
            rc = subprocess.call(["xdpyinfo", "-display", f":{self.display}"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if rc == 0:
                return
            time.sleep(0.1)
        raise HarnessError(f"Xvfb :{self.display} did not answer")

    def _run(self, args, timeout):
        rc, out, err, _ = self._run_captured(args, None, timeout)
        if rc != 0:
            raise HarnessError(f"{' '.join(args)} failed ({rc}): {out}{err}")

    def _run_captured(self, args, cwd, timeout, debug="-all"):
        # Files, not pipes: Wine's helper processes (explorer, services) outlive the
        # command and would keep a pipe open until the session ends.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            start = time.monotonic()
            rc = subprocess.run(args, cwd=cwd, env=dict(self.env(), WINEDEBUG=debug), stdin=subprocess.DEVNULL,
                                stdout=out, stderr=err, timeout=timeout).returncode
            elapsed = time.monotonic() - start
            out.seek(0)
            err.seek(0)
            return (rc, out.read().decode(errors="replace").replace("\r", ""),
                    err.read().decode(errors="replace"), elapsed)

    def stop(self):
        if self.prefix and os.path.isdir(self.prefix):
            subprocess.call(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
            subprocess.call(["wineserver", "-w"], env=self.env(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
            if self.owns_prefix:
                shutil.rmtree(self.prefix, ignore_errors=True)
        if self.xvfb_pid and _alive(self.xvfb_pid):
            argv = _cmdline(self.xvfb_pid)
            # The pid may have been reused: only kill what is still our Xvfb.
            if argv and os.path.basename(argv[0]) == b"Xvfb" and f":{self.display}".encode() in argv:
                os.kill(self.xvfb_pid, signal.SIGTERM)
                for _ in range(50):
                    if not _alive(self.xvfb_pid):
                        break
                    time.sleep(0.1)
        self.xvfb_pid = None

    def started_as(self, popen, path, win_pid):
        """True when a started `wine path` is the Windows process win_pid: the wine command's
        pid is that process's Linux pid. Wine renames the process a moment after the Windows
        process is listed, later still on a loaded machine: allow it 10 s."""
        name = os.path.basename(path).lower()
        deadline = time.monotonic() + 10
        while True:
            argv0 = _cmdline(popen.pid)[:1] or [b""]
            if argv0[0].decode(errors="replace").lower().endswith(name):
                return True
            if popen.poll() is not None or time.monotonic() > deadline:
                return False
            time.sleep(0.05)

    # ----- state shared between the fixture and the tests -----
    def save(self, path):
        with open(path, "w") as f:
            json.dump({"display": self.display, "prefix": self.prefix, "xvfb_pid": self.xvfb_pid,
                       "cpus": self.cpus}, f)

    @classmethod
    def load(cls, path):
        with open(path) as f:
            s = json.load(f)
        if s.get("native"):
            return NativeSession()
        return cls(s["display"], s["prefix"], s["xvfb_pid"], cpus=s.get("cpus", 0))

    # ----- running Windows programs -----
    def wine(self, args, cwd=None, timeout=60):
        """Runs `wine args...` to its end; returns (exit code, stdout with CR removed, seconds)."""
        rc, out, _, elapsed = self._run_captured(loader(args) + list(args), cwd, timeout)
        return rc, out, elapsed

    def wine_with_errors(self, args, timeout=60):
        """As wine(), returning (exit code, stdout, stderr)."""
        rc, out, err, _ = self._run_captured(loader(args) + list(args), None, timeout)
        return rc, out, err

    def traced_calls(self, args, functions, cwd=None, timeout=60, returns=False):
        """Runs `wine args...` to its end under Wine's relay trace of the named functions only;
        returns the "Call DLL.Function(arguments)" lines, in order (with returns, each call's
        "Ret DLL.Function() retval=..." line after it)."""
        self._run(base_loader() + ["reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude",
                                   "/d", ";".join(functions), "/f"], timeout=60)
        _, _, err, _ = self._run_captured(loader(args) + list(args), cwd, timeout, debug="-all,+relay")
        return [line.split(":", 1)[1] for line in err.splitlines()
                if ":Call " in line or (returns and ":Ret " in line)]

    def wine_bytes(self, args, cwd=None, timeout=60):
        """As wine(), with stdout exactly as the program wrote it."""
        with tempfile.TemporaryFile() as out:
            start = time.monotonic()
            rc = subprocess.run(loader(args) + list(args), cwd=cwd, env=self.env(), stdin=subprocess.DEVNULL,
                                stdout=out, stderr=subprocess.DEVNULL, timeout=timeout).returncode
            elapsed = time.monotonic() - start
            out.seek(0)
            return rc, out.read(), elapsed

    def spawn(self, args, cwd=None):
        """Starts `wine args...` in the background, holding none of the caller's pipes."""
        return subprocess.Popen(loader(args) + list(args), cwd=cwd, env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)


class NativeSession:
    """Windows itself: the same calls as a WineSession, the programs started directly."""
    under_wine = False
    cpus = 0

    def drive_c(self):
        return "C:\\"

    def stop(self):
        pass

    def wine(self, args, cwd=None, timeout=60):
        rc, out, elapsed = self.wine_bytes(args, cwd, timeout)
        return rc, out.decode(errors="replace").replace("\r", ""), elapsed

    def wine_bytes(self, args, cwd=None, timeout=60):
        start = time.monotonic()
        done = subprocess.run(list(args), cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=timeout)
        return done.returncode, done.stdout, time.monotonic() - start

    def wine_with_errors(self, args, timeout=60):
        done = subprocess.run(list(args), stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        return (done.returncode, done.stdout.decode(errors="replace").replace("\r", ""),
                done.stderr.decode(errors="replace"))

    def spawn(self, args, cwd=None):
        return subprocess.Popen(list(args), cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def started_as(self, popen, path, win_pid):
        return popen.pid == win_pid

    def traced_calls(self, *args, **kwargs):
        raise Skip("needs Wine's relay trace of the calls")

    def affinity_sets(self, linux_pid):
        raise Skip("needs the masks Wine gave each Linux thread")


def main(argv=None):
    ap = argparse.ArgumentParser()
    ap.add_argument("action", choices=["setup", "teardown"])
    ap.add_argument("--state", required=True)
    ap.add_argument("--display", type=int, default=41)
    ap.add_argument("--cpus", type=int, default=0, help="make Wine a machine of this many processors")
    ap.add_argument("--native", action="store_true", help="on Windows: no Wine, the programs run directly")
    a = ap.parse_args(argv)
    if a.action == "setup" and a.native:
        with open(a.state, "w") as f:
            json.dump({"native": True}, f)
        print("native session: the programs run on this Windows directly")
        return 0
    if a.action == "setup":
        if os.path.exists(a.state):
            try:
                WineSession.load(a.state).stop()  # what a crashed earlier run left behind
            except (OSError, ValueError, KeyError):
                pass
            os.remove(a.state)
        t = time.monotonic()
        s = WineSession(a.display, cpus=a.cpus).start()
        s.save(a.state)
        cpus = f", {s.cpus} processors" if s.cpus else ""
        print(f"wine session on :{s.display}, prefix {s.prefix}{cpus}, ready in {time.monotonic() - t:.1f} s")
        return 0
    if os.path.exists(a.state):
        WineSession.load(a.state).stop()
        os.remove(a.state)
    return 0


if __name__ == "__main__":
    sys.exit(main())
