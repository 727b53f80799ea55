#!/usr/bin/env python3
"""The Windows Installer package under Wine's 64-bit msiexec, in a Wine session of its own:

  wine_msi_test.py --msi MSI --version V --win64 build/win64 --window jr_window.exe --display N

One run, in order: an INSTALLDIR outside Program Files is refused; a silent install puts the
files where INSTALLDIR says and registers the task; a repair keeps the edited profile and
runs no custom action; an upgrade to a package of a higher version (built here) ends a
resident copy, keeps the folder, ENFORCE and the profile; the removal ends a resident copy and
leaves no program file and no task, only the profile. Exit 0 passed, 1 failed, 77 skipped.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import harness  # noqa: E402
from harness import check  # noqa: E402

TASK = "Marrowbine Jr"
FOLDER = r"C:\Program Files\Jr & Co"
FILES = ["MarrowbineJr64.exe", "MarrowbineJrCheck64.exe", "MarrowbineJrTask.exe", "README.txt", "CHANGELOG.txt"]
PROFILE = "My Favs 1"


class Session(harness.WineSession):
    """Every Wine process, wineboot and the services it starts included, with the 64-bit
    loader: the Task Scheduler service would not start otherwise."""

    def env(self):
        return dict(super().env(), WINELOADER=harness.WINE64_LOADER)

    def start(self):
        # wineboot before the persistent server: started the other way round, Wine ran two
        # service managers in one prefix here and the Task Scheduler never started.
        self.xvfb_pid = subprocess.Popen(["Xvfb", f":{self.display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL, start_new_session=True).pid
        try:
            time.sleep(1)
            self.prefix = tempfile.mkdtemp(prefix="mjr-wine-msi-")
            self._run([harness.WINE64_LOADER, "wineboot", "-i"], timeout=harness.BOOT_TIMEOUT)
            subprocess.Popen(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, start_new_session=True).wait(timeout=30)
            for key, name, value in ((r"HKCU\Software\Wine\Explorer", "Desktop", harness.DESKTOP_NAME),
                                     (r"HKCU\Software\Wine\Explorer\Desktops", harness.DESKTOP_NAME,
                                      harness.DESKTOP_SIZE)):
                self._run([harness.WINE64_LOADER, "reg", "add", key, "/v", name, "/d", value, "/f"], timeout=60)
        except BaseException:
            self.stop()
            raise
        return self


class World:
    def __init__(self, args):
        if not os.path.exists(harness.WINE64_LOADER):
            raise harness.Skip("no 64-bit Wine loader")
        self.args = args
        self.work = tempfile.mkdtemp(prefix="mjr-msi-test.")
        self.session = Session(args.display).start()
        self.folder = os.path.join(self.session.drive_c(), "Program Files", "Jr & Co")
        self.env = self.session.env()
        self.resident = None

    def run(self, args, timeout=180):
        done = subprocess.run([harness.WINE64_LOADER] + args, env=self.env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=timeout)
        return done.returncode, done.stdout.decode(errors="replace").replace("\r", "")

    def msiexec(self, *args, log):
        path = os.path.join(self.work, log)
        rc, _ = self.run(["msiexec"] + list(args) + ["/qn", "/l*v", "Z:" + path.replace("/", "\\")], timeout=300)
        try:
            with open(path, "rb") as f:
                data = f.read()
            text = data.decode("utf-16" if data[:2] == b"\xff\xfe" else "utf-8", errors="replace")
        except OSError:
            text = ""
        return rc, text

    def windows_path(self, path):
        return "Z:" + path.replace("/", "\\")

    def task_registered(self):
        # Wine's schtasks answers /Query with success for any name: look at its store.
        return os.path.isfile(os.path.join(self.session.drive_c(), "windows", "system32", "tasks", TASK))

    def setting(self, name):
        rc, out = self.run(["reg", "query", r"HKLM\Software\Marrowbine Jr", "/v", name, "/reg:64"])
        return out.split("REG_SZ", 1)[1].strip() if rc == 0 and "REG_SZ" in out else None

    def start_resident(self):
        self.resident = subprocess.Popen([harness.WINE64_LOADER, os.path.join(self.folder, FILES[0])], env=self.env,
                                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The first window of a Wine session can wait for the desktop for seconds.
        rc, out = self.run([self.args.window, "find", "MarrowbineJrForm1", "-", "30000"])
        check(rc == 0, "the resident copy's window appears")
        return out.strip()

    def check_resident_ended(self, hwnd, what):
        try:
            code = self.resident.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.resident.kill()
            code = None
        check(code == 0, f"{what} ends the resident copy, exit 0 (exit {code})")
        check(self.run([self.args.window, "tray", hwnd, "1"])[0] != 0, f"{what}: the tray icon is gone")

    def cleanup(self):
        if self.resident and self.resident.poll() is None:
            self.resident.kill()
        self.session.stop()
        subprocess.call(["rm", "-rf", self.work])


def body(w):
    args = w.args
    msi = w.windows_path(os.path.abspath(args.msi))
    # A fresh prefix does not start the Task Scheduler, and finds the service database
    # locked for some seconds after wineboot.
    deadline = time.monotonic() + 90
    while w.run(["net", "start", "schedule"])[0] != 0:
        check(time.monotonic() < deadline, "the Task Scheduler service starts")
        time.sleep(5)

    rc, log = w.msiexec("/i", msi, r"INSTALLDIR=C:\Tools\Marrowbine Jr", log="outside.log")
    check(rc != 0 and not os.path.exists(os.path.join(w.session.drive_c(), "Tools")),
          f"an INSTALLDIR outside Program Files is refused (exit {rc})")
    # Wine's installer logs no launch condition's message (the package check reads it): the
    # log shows which action refused.
    check("LaunchConditions. Return value 0." in log, "the launch condition refused it")

    rc, log = w.msiexec("/i", msi, "INSTALLDIR=" + FOLDER, "ENFORCE=30", "NOSTART=1", log="install.log")
    check(rc == 0, f"silent install succeeds (exit {rc})")
    present = sorted(os.listdir(w.folder))
    check(present == sorted(FILES + [PROFILE]), f"the files are where INSTALLDIR says: {present}")
    check(w.task_registered(), "the logon task is registered")
    check(w.setting("InstallDir") == FOLDER + "\\" and w.setting("Enforce") == "30", "folder and ENFORCE are kept")
    # What the helper registers for this folder, written where the test can read it.
    definition = os.path.join(w.work, "task.xml")
    rc, _ = w.run([os.path.join(w.folder, "MarrowbineJrTask.exe"), "/register", FOLDER + "\\", "30",
                   "/definition", w.windows_path(definition)])
    with open(definition, "rb") as f:
        xml = f.read().decode("utf-16")
    check(rc == 0 and f'<Command>"{FOLDER.replace("&", "&amp;")}\\MarrowbineJr64.exe"</Command>' in xml
          and "<Arguments>/enforce:30</Arguments>" in xml, "the definition runs the installed program with /enforce:30")

    profile = os.path.join(w.folder, PROFILE)
    with open(profile, "ab") as f:
        f.write(b"; edited by its owner\r\n")
    with open(profile, "rb") as f:
        edited = f.read()

    # A repair runs no custom action: a task deleted beforehand stays deleted.
    check(w.run(["schtasks", "/Delete", "/TN", TASK, "/F"])[0] == 0, "the task can be deleted")
    rc, _ = w.msiexec("/i", msi, "REINSTALL=ALL", "REINSTALLMODE=vomus", log="repair.log")
    check(rc == 0, f"repair succeeds (exit {rc})")
    check(not w.task_registered(), "the repair registered nothing")
    with open(profile, "rb") as f:
        check(f.read() == edited, "the edited profile survives the repair")

    # A higher version; the folder and ENFORCE come from the registry, not the command line.
    major, minor, patch = (int(p) for p in args.version.split("."))
    newer = os.path.join(w.work, f"MarrowbineJr-{major}.{minor}.{patch + 1}-x64.msi")
    subprocess.run([sys.executable, os.path.join(HERE, "..", "..", "scripts", "make_msi.py"), "--win64", args.win64,
                    "--version", f"{major}.{minor}.{patch + 1}", "--out", newer], check=True, stdout=subprocess.DEVNULL)
    hwnd = w.start_resident()
    rc, _ = w.msiexec("/i", w.windows_path(newer), "NOSTART=1", log="upgrade.log")
    check(rc == 0, f"upgrade succeeds (exit {rc}), though the task it removes was gone")
    w.check_resident_ended(hwnd, "the upgrade")
    check(sorted(os.listdir(w.folder)) == sorted(FILES + [PROFILE]), "the upgrade stays in the same folder")
    check(w.setting("Enforce") == "30", "the upgrade keeps ENFORCE")
    check(w.task_registered(), "the upgrade registers the task")
    with open(profile, "rb") as f:
        check(f.read() == edited, "the edited profile survives the upgrade")

    hwnd = w.start_resident()
    rc, _ = w.msiexec("/x", w.windows_path(newer), log="remove.log")
    check(rc == 0, f"removal succeeds (exit {rc})")
    w.check_resident_ended(hwnd, "the removal")
    check(sorted(os.listdir(w.folder)) == [PROFILE], f"removal leaves only the profile: {os.listdir(w.folder)}")
    with open(profile, "rb") as f:
        check(f.read() == edited, "the removal leaves the edited profile")
    check(not w.task_registered(), "removal deletes the task")
    check(w.setting("InstallDir") is None, "removal deletes the kept settings")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--msi", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--win64", required=True, help="the 64-bit build, for the higher-version package")
    ap.add_argument("--window", required=True, help="jr_window.exe of the 64-bit build")
    ap.add_argument("--display", type=int, default=43)
    args = ap.parse_args()
    return harness.run_case("package.wine_msi", lambda: World(args), body)


if __name__ == "__main__":
    sys.exit(main())
