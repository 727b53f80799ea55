#!/usr/bin/env python3
"""The installer package under Wine's 64-bit msiexec, in a Wine session of its own:
  wine_msi_test.py --msi MSI --version V --win64 build/win64 --window jr_window.exe --display N
In order: an INSTALLDIR outside Program Files, or one any user may change (Wine reads a folder's
Unix mode as its permissions), and a PROFILE that loads nothing are refused before anything
changes; a failed install puts back the profile PROFILE replaced; a silent install puts the files
where INSTALLDIR says, installs PROFILE, makes a reset request and registers the task in place of
one made by hand; the helper refuses any other command line; a repair keeps the edited profile and
settings whatever its command line says (PROFILE too) and runs no custom action; a rebuild of the
same version replaces the installed one with its PROFILE and a higher reset request; an upgrade
ends a resident copy before removing the older version and keeps folder, ENFORCE and profile;
REMOVE=Complete ends a resident copy and leaves only the profile, no task and no key."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import harness  # noqa: E402
from harness import WINE64_LOADER, check  # noqa: E402
from oneshot_world import expect_restricted_dll_search  # noqa: E402

FOLDER = r"C:\Program Files\Jr & Co"
FILES = sorted(["MarrowbineJr64.exe", "MarrowbineJrCheck64.exe", "MarrowbineJrTask.exe", "README.txt", "CHANGELOG.txt",
                "My Favs 1", "examples"])
TASK_FILE = ("windows", "system32", "tasks", "Marrowbine Jr")
KEY = r"HKLM\Software\Marrowbine Jr"
with open(os.path.join(HERE, "..", "..", "examples", "My Favs 1"), "rb") as example:
    EXAMPLE = example.read()


class Session(harness.WineSession):
    """Every Wine process with the 64-bit loader, and wineboot before the persistent server:
    the other way round, two service managers ran in one prefix and the Task Scheduler never
    started."""

    def env(self):
        return dict(super().env(), WINELOADER=WINE64_LOADER)

    def start(self):
        self.display = harness.first_free_display(self.display)
        self.xvfb_pid = subprocess.Popen(["Xvfb", f":{self.display}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=subprocess.DEVNULL, start_new_session=True).pid
        try:
            time.sleep(1)
            self.prefix = tempfile.mkdtemp(prefix="mjr-wine-msi-")
            self._run([WINE64_LOADER, "wineboot", "-i"], timeout=harness.BOOT_TIMEOUT)
            subprocess.Popen(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL, start_new_session=True).wait(timeout=30)
            for key, name, value in (("Explorer", "Desktop", harness.DESKTOP_NAME),
                                     (r"Explorer\Desktops", harness.DESKTOP_NAME, harness.DESKTOP_SIZE)):
                self._run([WINE64_LOADER, "reg", "add", "HKCU\\Software\\Wine\\" + key, "/v", name, "/d", value, "/f"],
                          timeout=60)
        except BaseException:
            self.stop()
            raise
        return self


class World:
    def __init__(self, args):
        if not os.path.exists(WINE64_LOADER):
            raise harness.Skip("no 64-bit Wine loader")
        self.args, self.resident = args, None
        self.work = tempfile.mkdtemp(prefix="mjr-msi-test.")
        self.session = Session(args.display).start()
        self.folder = os.path.join(self.session.drive_c(), "Program Files", "Jr & Co")
        self.profile = os.path.join(self.folder, "My Favs 1")

    def run(self, *args, timeout=300):
        # Through files: a Wine process started on the way (explorer) would hold a pipe open.
        rc, out, _, _ = self.session._run_captured([WINE64_LOADER] + list(args), None, timeout)
        return rc, out

    def msiexec(self, *args):
        log = os.path.join(self.work, "msiexec.log")
        rc, _ = self.run("msiexec", *args, "/qn", "/l*v", win(log))
        with open(log, "rb") as f:
            return rc, f.read().decode("utf-8", errors="replace")

    def task_registered(self):
        # Wine's schtasks answers /Query with success for any name: look at its store.
        return os.path.isfile(os.path.join(self.session.drive_c(), *TASK_FILE))

    def stored_task(self):
        """The task as Wine's Task Scheduler stored it (part of the definition only)."""
        with open(os.path.join(self.session.drive_c(), *TASK_FILE), "rb") as f:
            return f.read().decode("utf-8-sig", errors="replace")

    def registered(self, msi):
        """Whether Windows Installer lists the product of this package as installed."""
        export = subprocess.run(["msiinfo", "export", msi, "Property"], check=True, capture_output=True, text=True)
        code = dict(line.split("\t", 1) for line in export.stdout.splitlines() if "\t" in line)["ProductCode"]
        key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code.strip()
        return self.run("reg", "query", key, "/reg:64")[0] == 0

    def build_msi(self, version, name):
        out = os.path.join(self.work, name)
        subprocess.run([sys.executable, os.path.join(HERE, "..", "..", "scripts", "make_msi.py"), "--win64",
                        self.args.win64, "--version", version, "--out", out], check=True, stdout=subprocess.DEVNULL)
        return out

    def source(self, name, text):
        """A profile for PROFILE, on drive Z: as a share would hold it."""
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(text)
        return {"path": path, "bytes": text}

    def reset_request(self):
        """ResetRequest as a number (Wine's reg query shows no REG_QWORD; its export does)."""
        exported = os.path.join(self.work, "settings.reg")
        if self.run("reg", "export", KEY, win(exported), "/reg:64", "/y")[0] != 0:
            return None
        with open(exported, "rb") as f:
            found = re.search(r'"ResetRequest"=hex\(b\):([0-9a-f,]+)', f.read().decode("utf-16", errors="replace"))
        return int.from_bytes(bytes(int(b, 16) for b in found.group(1).split(",")), "little") if found else None

    def setting(self, name):
        rc, out = self.run("reg", "query", KEY, "/v", name, "/reg:64")
        return out.split("REG_SZ", 1)[1].strip() if rc == 0 and "REG_SZ" in out else None

    def read_profile(self):
        with open(self.profile, "rb") as f:
            return f.read()

    def start_resident(self):
        self.resident = subprocess.Popen([WINE64_LOADER, os.path.join(self.folder, FILES[1])], env=self.session.env(),
                                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The first window of a Wine session can wait for the desktop for seconds.
        rc, hwnd = self.run(self.args.window, "find", "MarrowbineJrForm1", "-", "30000")
        check(rc == 0, "the resident copy's window appears")
        return hwnd.strip()

    def check_resident_ended(self, hwnd, what):
        try:
            code = self.resident.wait(timeout=30)
        except subprocess.TimeoutExpired:
            code = None
        check(code == 0, f"{what} ends the resident copy, exit 0 (exit {code})")
        check(self.run(self.args.window, "tray", hwnd, "1")[0] != 0, f"{what}: the tray icon is gone")

    def cleanup(self):
        if self.resident and self.resident.poll() is None:
            self.resident.kill()
        self.session.stop()
        shutil.rmtree(self.work, ignore_errors=True)


def win(path):
    path = path["path"] if isinstance(path, dict) else path
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def body(w):
    # A fresh prefix does not start the Task Scheduler; the service database stays locked
    # for some seconds after wineboot.
    deadline = time.monotonic() + 90
    while w.run("net", "start", "schedule")[0] != 0:
        check(time.monotonic() < deadline, "the Task Scheduler service starts")
        time.sleep(5)

    rc, log = w.msiexec("/i", win(w.args.msi), r"INSTALLDIR=C:\Tools\Marrowbine Jr")
    check(rc != 0 and not os.path.exists(os.path.join(w.session.drive_c(), "Tools")), f"outside Program Files: {rc}")
    # Wine's installer logs no launch condition's message (check_msi.py reads it).
    check("LaunchConditions. Return value 0." in log, "the launch condition refused it")

    # A vendor's folder in Program Files that any user may change: no task starts from there.
    open_folder = os.path.join(w.session.drive_c(), "Program Files", "Open to all")
    os.makedirs(open_folder)
    os.chmod(open_folder, 0o777)
    rc, log = w.msiexec("/i", win(w.args.msi), r"INSTALLDIR=C:\Program Files\Open to all", "NOSTART=1")
    check(rc != 0 and os.listdir(open_folder) in ([], ["My Favs 1"]) and not w.task_registered(),
          f"a folder users may change fails the install ({rc}): {os.listdir(open_folder)}")
    check(re.search(r"RegisterLogonTask\. Return value 0\.[\s\S]*Action start [\d:]+: RollbackLogonTask\.", log),
          "the registration refused it, then its rollback ran")

    # PROFILE is checked before anything is installed, and installed only with the rest.
    office, second, header_only = (w.source(name, text) for name, text in (
        ("office", b"Office\r\nchat\t0\tHigh\tC:\\Office\\chat.exe\r\n"),
        ("second", b"Office again\r\nchat\t1\tAbove\tC:\\Office\\chat.exe\r\n"), ("header only", b"Office\r\n")))
    rc, log = w.msiexec("/i", win(w.args.msi), "INSTALLDIR=" + FOLDER, "PROFILE=" + win(header_only), "NOSTART=1")
    check(rc != 0 and not os.path.exists(w.folder) and "no favourite loads: it holds a header line" in log,
          f"a PROFILE that loads no favourite ends the install before it changes anything, saying why ({rc})")

    rc, log = w.msiexec("/i", win(w.args.msi), "INSTALLDIR=" + FOLDER, "ENFORCE=30 & calc", "NOSTART=1",
                        "PROFILE=" + win(office))
    # Rolled back: no program and no task; the profile's component is permanent, and the
    # example it held before PROFILE's copy is back.
    left = os.listdir(w.folder) if os.path.isdir(w.folder) else []
    check(rc != 0 and set(left) <= {"My Favs 1"} and not w.task_registered(),
          f"an ENFORCE of more than digits fails the install ({rc}), which leaves no program: {left}")
    check(not left or w.read_profile() == EXAMPLE, "the rollback puts back the profile PROFILE's copy replaced")
    # Wine logs no custom action's exit code (Windows: "returned actual error code 13").
    check(re.search(r"RegisterLogonTask\. Return value 0\.[\s\S]*Action start [\d:]+: RollbackLogonTask\.", log),
          "the registration failed, then its rollback ran")

    # A task of that name made beforehand is deleted and registered anew, never updated.
    by_hand = os.path.join(w.work, "by-hand.xml")
    with open(by_hand, "w", encoding="utf-16") as f:
        f.write('<?xml version="1.0" encoding="UTF-16"?><Task version="1.2" xmlns="http://schemas.microsoft.com/'
                'windows/2004/02/mit/task"><RegistrationInfo><Description>made by hand</Description>'
                '</RegistrationInfo><Actions><Exec><Command>C:\\x.exe</Command></Exec></Actions></Task>')
    check(w.run("schtasks", "/Create", "/TN", "Marrowbine Jr", "/XML", win(by_hand), "/F")[0] == 0
          and "made by hand" in w.stored_task(), "a task made by hand")
    rc, _ = w.msiexec("/i", win(w.args.msi), "INSTALLDIR=" + FOLDER, "ENFORCE=30", "NOSTART=1", "PROFILE=" + win(office))
    check(rc == 0 and sorted(os.listdir(w.folder)) == FILES, f"silent install into INSTALLDIR ({rc})")
    check(w.read_profile() == office["bytes"], "PROFILE is installed as My Favs 1 in place of the example")
    first_request = w.reset_request()
    check(first_request is not None, "the first install makes a reset request")
    check(sorted(os.listdir(os.path.join(w.folder, "examples"))) == ["My Favs Hybrid", "My Favs Two Dies"], "examples")
    check(w.task_registered() and "made by hand" not in w.stored_task()
          and "Starts Marrowbine Jr at every logon" in w.stored_task(), "the logon task replaces the one made by hand")
    check(w.setting("InstallDir") == FOLDER + "\\" and w.setting("Enforce") == "30", "folder and ENFORCE are kept")
    helper = os.path.join(w.folder, "MarrowbineJrTask.exe")
    codes = [w.run(helper, *args)[0] for args in (["/registerX"], ["/starter"], ["/register", FOLDER + "\\", "30"])]
    check(codes == [160, 160, 160], f"the helper takes one verb and nothing else: {codes}")
    expect_restricted_dll_search(w.session, [helper, "/starter"], w.folder)

    with open(w.profile, "ab") as f:
        f.write(b"; edited by its owner\r\n")
    edited = w.read_profile()
    # A repair runs no custom action: a task deleted beforehand stays deleted.
    check(w.run("schtasks", "/Delete", "/TN", "Marrowbine Jr", "/F")[0] == 0 and not w.task_registered(), "deleted")
    rc, _ = w.msiexec("/i", win(w.args.msi), "REINSTALL=ALL", "REINSTALLMODE=vomus", "ENFORCE=abc",
                      "PROFILE=" + win(header_only))
    check(rc == 0 and not w.task_registered(), f"the repair ({rc}) registers nothing and ignores PROFILE")
    check(w.setting("InstallDir") == FOLDER + "\\" and w.setting("Enforce") == "30", "the repair keeps HKLM as it was")
    check(w.read_profile() == edited and w.reset_request() == first_request,
          "the edited profile survives the repair, which makes no reset request")

    # A rebuild of the same version (a product code of its own) replaces the installed one.
    rebuilt = w.build_msi(w.args.version, "rebuilt.msi")
    check(w.registered(w.args.msi) and not w.registered(rebuilt), "the first build is installed")
    rc, _ = w.msiexec("/i", win(rebuilt), "NOSTART=1", "PROFILE=" + win(second))
    check(rc == 0 and w.task_registered(), f"the rebuild installs ({rc}) and registers the task")
    check(w.registered(rebuilt) and not w.registered(w.args.msi), "the rebuild replaced the first build")
    check(w.read_profile() == second["bytes"] and (w.reset_request() or 0) > first_request,
          "an upgrade installs PROFILE and raises the reset request")
    edited = second["bytes"]

    # A higher version; folder and ENFORCE come from the registry, not the command line.
    major, minor, patch = (int(p) for p in w.args.version.split("."))
    newer = w.build_msi(f"{major}.{minor}.{patch + 1}", "newer.msi")
    hwnd = w.start_resident()
    rc, log = w.msiexec("/i", win(newer), "NOSTART=1")
    check(rc == 0, f"the upgrade succeeds ({rc}), though the task it removes was gone")
    w.check_resident_ended(hwnd, "the upgrade")
    check("before the older version is removed, of its running copies 1 closed" in log,
          "the new package ends the older version's copy before it removes that version")
    check(sorted(os.listdir(w.folder)) == FILES and w.setting("Enforce") == "30", "same folder, same ENFORCE")
    check(w.task_registered() and w.read_profile() == edited, "task registered, edited profile kept")

    hwnd = w.start_resident()
    rc, _ = w.msiexec("/i", win(newer), "REMOVE=Complete")
    check(rc == 0 and not w.registered(newer), f"the removal of the one feature removes the product ({rc})")
    w.check_resident_ended(hwnd, "the removal")
    check(os.listdir(w.folder) == ["My Favs 1"] and w.read_profile() == edited, "only the edited profile is left")
    check(not w.task_registered() and w.run("reg", "query", KEY, "/reg:64")[0] != 0, "no task, no key in HKLM")


def main():
    os.umask(0o022)  # Wine reads files the test makes writable by all as open to every user
    ap = argparse.ArgumentParser()
    for name in ("--msi", "--version", "--win64", "--window"):
        ap.add_argument(name, required=True)
    ap.add_argument("--display", type=int, default=43)
    args = ap.parse_args()
    return harness.run_case("package.wine_msi", lambda: World(args), body)


if __name__ == "__main__":
    sys.exit(main())
