"""The resident cases' world: a folder under C:\\jr\\<case> holding the program and its profile,
the status window and tray icon seen through jr_window, helper processes seen through jr_probe,
and the screen read through ImageMagick."""
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from harness import Failure, check, probe, start_allowance  # noqa: E402


NORMAL, HIGH, BELOW = 0x20, 0x80, 0x4000
CLASS = "MarrowbineJrForm1"
CAPTION = "  Marrowbine Jr."
SCREEN_W, SCREEN_H = 1024, 768
HELPER_SECONDS = "240"
CORRECTED_WITHIN_S = 1.5  # two ticks and a pass, with room for a loaded machine
WM_TIMER, TIMER1 = 0x113, 1  # the window's one timer
IMAGE1_AT, IMAGE2_AT, IMAGE3_AT = (198, 28), (233, 28), (220, 63)  # client pixels, centres
PICMAIN = (4, 5, 259, 80)
LABEL_FAVS_LOADED = (48, 11, 78, 14)
LABEL_PROFILE = (9, 79, 252, 14)
TRAY_ICON_AREA = (1000, 748, 24, 20)  # the notification area's first icon on the desktop
ICON_GREEN = (0x1F, 0x7A, 0x3A)


def wait_until(what, predicate, seconds):
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {seconds} s waiting for {what}")
        time.sleep(0.05)


class Window:
    def __init__(self, line):
        f = [int(v) for v in line.split()]
        self.visible, self.iconic = f[0] == 1, f[1] == 1
        self.left, self.top, self.right, self.bottom = f[2:6]
        self.client_x, self.client_y, self.client_w, self.client_h = f[6:10]
        self.pid = f[10]

    @property
    def width(self):
        return self.right - self.left

    @property
    def height(self):
        return self.bottom - self.top

    def centred(self):
        return (abs(self.left - (SCREEN_W - self.width) / 2) <= 1
                and abs(self.top - (SCREEN_H - self.height) / 2) <= 1)

    def __repr__(self):
        return (f"visible={self.visible} iconic={self.iconic} rect=({self.left},{self.top})-"
                f"({self.right},{self.bottom}) client {self.client_w}x{self.client_h}")


class World:
    """One case's directory C:\\jr\\resident_<case> with the program, its profile, helpers."""

    def __init__(self, session, args, case):
        self.s = session
        self.args = args
        self.case = case
        self.unix_root = os.path.join(session.drive_c(), "jr", "resident_" + case)
        self.win_root = "C:\\jr\\resident_" + case
        shutil.rmtree(self.unix_root, ignore_errors=True)
        os.makedirs(self.unix_root)
        self.prog_dir = os.path.join(self.unix_root, "prog")
        os.makedirs(self.prog_dir)
        shutil.copy(args.program, os.path.join(self.prog_dir, "MarrowbineJr.exe"))
        self.spawned = []
        self.program = None
        self.hwnd = None
        self.ncpu = int(self.probe("ncpu").strip())
        self.allowance = start_allowance(args.program)  # for what the program itself must do first


    # ----- helpers' commands -----
    def probe(self, *args):
        return probe(self.s, self.args.probe, *args)

    def window(self, *args, ok=(0,)):
        rc, out, _ = self.s.wine([self.args.window] + [str(a) for a in args], timeout=60)
        check(rc in ok, f"jr_window {' '.join(map(str, args))} ended with {rc}")
        return rc, out.strip()

    def info(self, hwnd=None):
        rc, out = self.window("info", hwnd or self.hwnd, ok=(0, 1))
        return Window(out) if rc == 0 else None

    def tray_has_icon(self):
        return self.window("tray", self.hwnd, 1, ok=(0, 1))[0] == 0

    def post(self, message, wparam, lparam, hwnd=None):
        self.window("post", hwnd or self.hwnd, message, wparam, lparam)

    def click(self, at):
        self.window("click", self.hwnd, at[0], at[1])

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=self.s.env(), check=True, timeout=30)

    # ----- files and processes -----
    def write_profile(self, favourites, name="My Favs 1"):
        lines = ["Marrowbine Jr favourites"] + ["x\t%s\t%s\t%s" % f for f in favourites]
        with open(os.path.join(self.prog_dir, name), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))

    def helper_path(self, name):
        return self.win_root + "\\tools\\" + name

    def table(self):
        rows = {}
        for line in self.probe("list").splitlines():
            parts = line.split("\t", 3)
            if len(parts) == 4 and parts[3]:
                rows[parts[3].lower()] = (int(parts[0]), int(parts[1]), int(parts[2]))
        return rows

    def start_helper(self, name):
        """Starts a sleeper at tools\\name; returns the moment it showed up in the list."""
        path = os.path.join(self.unix_root, "tools", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copy(self.args.sleeper, path)
        p = self.s.spawn([path, HELPER_SECONDS])
        self.spawned.append(p)
        key = self.helper_path(name).lower()
        wait_until(f"helper {name} in the process list", lambda: key in self.table(), 20)
        return time.monotonic()

    def helper_state(self, name):
        row = self.table().get(self.helper_path(name).lower())
        check(row is not None, f"helper {name} is gone")
        return row[1], row[2]

    def start_program(self):
        # A window of an earlier case's program that is still going would be found instead.
        wait_until("no status window of an earlier program",
                   lambda: self.window("find", CLASS, CAPTION, ok=(0, 1))[0] == 1, 10)
        self.program = self.s.spawn([os.path.join(self.prog_dir, "MarrowbineJr.exe")])
        self.spawned.append(self.program)
        self.hwnd = wait_until("the status window", lambda: self._find(CLASS, CAPTION), 30 + self.allowance)
        return self.hwnd

    def _find(self, cls, title):
        if cls == CLASS and self.program is not None and self.program.poll() is not None:
            raise Failure(f"the program ended early ({self.program.returncode})")
        rc, out = self.window("find", cls, title, ok=(0, 1))
        return int(out) if rc == 0 else None

    def wait_in_tray(self):
        return wait_until("the window hidden in the tray",
                          lambda: (lambda w: w if w and not w.visible and w.iconic else None)(self.info()),
                          10 + self.allowance)

    def wait_shown(self):
        return wait_until("the window shown",
                          lambda: (lambda w: w if w and w.visible and not w.iconic else None)(self.info()),
                          10)

    def wait_program_end(self, seconds=10):
        wait_until("the program's end", lambda: self.program.poll() is not None, seconds + self.allowance)
        check(self.program.returncode == 0, f"the program ended with {self.program.returncode}")

    def start_mainapp(self, directory=None, name="jr_mainapp.exe"):
        path = os.path.join(directory or os.path.join(self.unix_root, "main"), name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copy(self.args.mainapp, path)
        p = self.s.spawn([path, HELPER_SECONDS])
        self.spawned.append(p)
        return wait_until("the main application's window",
                          lambda: self._find("ThunderRT6FormDC", "Marrowbine64"), 20)

    def windows_of_program(self, cls):
        """Visible top-level windows of that class belonging to the program, any title."""
        pid = self.info().pid
        rows = [line.split("\t") for line in self.window("list")[1].splitlines()]
        return [int(r[0]) for r in rows if len(r) >= 4 and r[3] == cls and r[2] == "1" and int(r[1]) == pid]

    def set_dpi(self, dpi):
        """Sets Wine's dots per inch for programs started from now on; returns the value it
        replaces (None: not set, which means 96)."""
        key = r"HKCU\Control Panel\Desktop"
        rc, out, _ = self.s.wine(["reg", "query", key, "/v", "LogPixels"])
        old = None
        if rc == 0:
            for line in out.splitlines():
                if "LogPixels" in line:
                    old = int(line.split()[-1], 0)
        if dpi is None:
            rc, _, _ = self.s.wine(["reg", "delete", key, "/v", "LogPixels", "/f"])
        else:
            rc, _, _ = self.s.wine(["reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD",
                                    "/d", str(dpi), "/f"])
        check(rc == 0, f"could not set LogPixels to {dpi}")
        return old

    def screenshot(self, name):
        os.makedirs(self.args.shots, exist_ok=True)
        path = os.path.join(self.args.shots, name)
        subprocess.run(["import", "-window", "root", path], env=self.s.env(), check=True, timeout=30)
        return path

    def cleanup(self):
        if self.hwnd and self.program and self.program.poll() is None:
            self.window("post", self.hwnd, 16, 0, 0, ok=(0, 1))  # WM_CLOSE
        for p in self.spawned:
            if p.poll() is None:
                try:
                    p.wait(timeout=3)
                except subprocess.TimeoutExpired:
                    pass
        for p in self.spawned:
            if p.poll() is None:
                p.kill()  # our own child: the Linux process of that Windows program
                p.wait(timeout=10)


def pixels(path, rect):
    """RGB tuples of a rectangle of a PNG, row by row."""
    x, y, w, h = rect
    raw = subprocess.run(["convert", path, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                         check=True, capture_output=True).stdout
    check(len(raw) == w * h * 3, f"crop {rect} of {path} gave {len(raw)} bytes")
    return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]


def share(pxs, test):
    return sum(1 for p in pxs if test(p)) / len(pxs)


def greenish(p):
    return p[1] > p[0] + 40 and p[1] > p[2] + 30


def reddish(p):
    return p[0] > p[1] + 60 and p[0] > p[2] + 60


def dark(p):
    return sum(p) < 250


def client_rect(win, rect):
    return (win.client_x + rect[0], win.client_y + rect[1], rect[2], rect[3])


def tray_icon_shown(path):
    return any(abs(p[0] - ICON_GREEN[0]) < 20 and abs(p[1] - ICON_GREEN[1]) < 20 and abs(p[2] - ICON_GREEN[2]) < 20
               for p in pixels(path, TRAY_ICON_AREA))
