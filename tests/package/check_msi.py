#!/usr/bin/env python3
"""Checks the Windows Installer package's tables, read back with msiinfo, and the logon
task's template the package's helper fills.

  check_msi.py MSI VERSION

Prints one line a check; exits 1 when any failed.
"""
import os
import re
import subprocess
import sys

UPGRADE_CODE = "{F20A8A36-4799-427E-9213-EBE081109308}"
TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "installer", "logon-task.xml")
FILES = {"MarrowbineJr64.exe", "MarrowbineJrCheck64.exe", "MarrowbineJrTask.exe", "README.txt", "CHANGELOG.txt",
         "My Favs 1"}
DEFERRED_NO_IMPERSONATE_EXE = 34 + 1024 + 2048
# action -> (condition, after, before) in InstallExecuteSequence
TASK_ACTIONS = {
    "RemoveLogonTask": ('Installed AND REMOVE~="ALL"', "InstallInitialize", "RemoveFiles"),
    "RegisterLogonTask": ("NOT Installed AND NOT REMOVE", "InstallFiles", "InstallFinalize"),
    "StartLogonTask": ('NOT Installed AND NOT REMOVE AND NOSTART<>"1"', "RegisterLogonTask", "InstallFinalize"),
}


def table(msi, name):
    text = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True).stdout.decode("utf-8")
    return [line.split("\t") for line in text.replace("\r\n", "\n").rstrip("\n").split("\n")[3:]]


def main():
    msi, version = sys.argv[1], sys.argv[2]
    failures = []

    def check(ok, what):
        print(("ok    " if ok else "FAIL  ") + what)
        if not ok:
            failures.append(what)

    props = dict(r[:2] for r in table(msi, "Property"))
    check(props.get("ProductVersion") == version, f"product version {props.get('ProductVersion')}")
    check(props.get("UpgradeCode") == UPGRADE_CODE, f"the fixed UpgradeCode {props.get('UpgradeCode')}")
    check(props.get("ALLUSERS") == "1", "per machine (ALLUSERS=1)")
    check(props.get("ARPPRODUCTICON") and props.get("Manufacturer") == "Marrowbine Jr", "icon and publisher")
    secure = props.get("SecureCustomProperties", "").split(";")
    check(all(p in secure for p in ("INSTALLDIR", "ENFORCE", "NOSTART")), f"secure properties {secure}")
    info = subprocess.run(["msiinfo", "suminfo", msi], check=True, capture_output=True, text=True).stdout
    check("Template: x64;" in info, "x64 package")
    check(re.search(r"^Version: (\d+)", info, re.M) and int(re.search(r"^Version: (\d+)", info, re.M).group(1)) >= 200,
          "installer version of a 64-bit package")

    upgrade = table(msi, "Upgrade")
    check(any(r[0] == UPGRADE_CODE and r[2] == version and r[6] == "WIX_UPGRADE_DETECTED" for r in upgrade),
          "a major upgrade replaces every older version")
    sequence = {r[0]: (r[1], int(r[2])) for r in table(msi, "InstallExecuteSequence")}
    check("RemoveExistingProducts" in sequence and
          sequence["InstallValidate"][1] < sequence["RemoveExistingProducts"][1] < sequence["InstallInitialize"][1],
          "the older version goes before the new one is installed")

    files = {r[2]: r for r in table(msi, "File")}
    check(set(files) == FILES, f"files {sorted(files)}")
    for name in ("MarrowbineJr64.exe", "MarrowbineJrCheck64.exe", "MarrowbineJrTask.exe"):
        check(name in files and files[name][4] == version + ".0", f"{name} has its version in the package")
    components = {r[0]: r for r in table(msi, "Component")}
    profile = [c for c in components.values() if files.get("My Favs 1", [None, ""])[1] == c[0]]
    attributes = int(profile[0][3]) if profile else 0
    check(attributes & 16 and attributes & 128, f"the profile is never removed (16) and never overwritten (128): {attributes}")
    check(all(int(c[3]) & 256 for c in components.values()), "every component is 64-bit")

    actions = {r[0]: r for r in table(msi, "CustomAction")}
    missing = ["", "0", "", "", ""]
    for name, (condition, after, before) in TASK_ACTIONS.items():
        row = actions.get(name)
        check(row is not None and int(row[1]) & ~64 == DEFERRED_NO_IMPERSONATE_EXE and row[2] == "INSTALLDIR"
              and row[3].startswith('"[INSTALLDIR]MarrowbineJrTask.exe" '),
              f"{name}: the installed helper, deferred, not impersonated")
        place = sequence.get(name)
        check(place is not None and place[0] == condition, f"{name}: condition {place and place[0]!r}")
        check(place is not None and sequence[after][1] < place[1] < sequence[before][1],
              f"{name}: between {after} and {before}")
    check(int(actions.get("RegisterLogonTask", missing)[1]) & 64 == 0 and int(actions.get("StartLogonTask", missing)[1]) & 64,
          "a failed registration fails the install; a task that does not start now does not")
    check('/register "[INSTALLDIR]\\" "[ENFORCE]"' in actions.get("RegisterLogonTask", missing)[3], "the helper gets folder and ENFORCE")
    # No deferred action may run on a repair: every one needs "NOT Installed" or a removal.
    check(all("NOT Installed" in sequence.get(a, ("",))[0] or 'REMOVE~="ALL"' in sequence.get(a, ("",))[0]
              for a in TASK_ACTIONS),
          "no custom action on a repair")
    for name, prop in (("RestoreInstallDir", "INSTALLDIR"), ("RestoreEnforce", "ENFORCE")):
        row = actions.get(name)
        check(row is not None and row[1] == "51" and row[2] == prop and name in sequence
              and sequence["AppSearch"][1] < sequence[name][1] < sequence["LaunchConditions"][1],
              f"{name}: the remembered {prop}, unless given, before the launch conditions")
    search = {r[0]: r for r in table(msi, "RegLocator")}
    registry = {r[3]: r for r in table(msi, "Registry")}
    check(all(search.get(k, [None, ""])[1] == "2" and registry.get(v, [None, ""])[1] == "2" for k, v in
              (("SavedInstallDir", "InstallDir"), ("SavedEnforce", "Enforce"))), "folder and ENFORCE kept in HKLM")

    conditions = {r[0]: r[1] for r in table(msi, "LaunchCondition")}
    inside = [c for c in conditions if "INSTALLDIR ~<< ProgramFiles64Folder" in c]
    check(len(inside) == 1 and inside[0].startswith("Installed OR NOT INSTALLDIR OR") and '><".."' in inside[0].replace(" ", ""),
          f"INSTALLDIR only inside Program Files: {inside}")
    check(bool(inside) and "only inside the Program Files folder" in conditions[inside[0]], "with a clear message")
    shortcuts = table(msi, "Shortcut")
    check(any(r[4] == "[System64Folder]cmd.exe" and r[5].startswith('/k ""[INSTALLDIR]MarrowbineJrCheck64.exe""')
              for r in shortcuts), "Start menu: the doctor's report in a console that stays open")

    with open(TEMPLATE, encoding="utf-8") as f:
        xml = f.read()
    for pattern, what in (
            (r"<LogonTrigger>\s*<Enabled>true</Enabled>\s*</LogonTrigger>", "at any user's logon"),
            (r"<GroupId>S-1-5-32-545</GroupId>\s*<RunLevel>HighestAvailable</RunLevel>", "highest rights the user has"),
            (r"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>", "no time limit"),
            (r"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\s*"
             r"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>", "started and kept on battery"),
            (r"<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>", "instances in parallel"),
            (r'<Command>"@PROGRAM@"</Command>\s*@ARGUMENTS@\s*</Exec>', "the program quoted, by full path")):
        check(re.search(pattern, xml) is not None, f"task template: {what}")

    print(f"msi: {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
