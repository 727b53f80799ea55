#!/usr/bin/env python3
"""Checks the installer package's tables (read back with msiinfo) and the logon task's
template.   check_msi.py MSI VERSION   One line a check; exits 1 when any failed."""
import os
import re
import subprocess
import sys
import tempfile

UPGRADE_CODE = "{F20A8A36-4799-427E-9213-EBE081109308}"
TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "installer", "logon-task.xml")
PROGRAMS = ["MarrowbineJr64.exe", "MarrowbineJrCheck64.exe", "MarrowbineJrTask.exe"]
EXAMPLES = ["My Favs Hybrid", "My Favs Two Dies"]
# action -> (command after the helper, condition, after, before); deferred, not impersonated
TASK_ACTIONS = {
    "RemoveLogonTask": ("/remove", "$Program=2", "InstallInitialize", "RemoveRegistryValues"),
    "RollbackLogonTask": ("/remove", "NOT Installed AND NOT REMOVE", "WriteRegistryValues", "RegisterLogonTask"),
    "RegisterLogonTask": ("/register", "NOT Installed AND NOT REMOVE", "InstallFiles", "InstallFinalize"),
    "StartLogonTask": ("/start", 'NOT Installed AND NOT REMOVE AND NOSTART<>"1"', "RegisterLogonTask", "InstallFinalize"),
}

# The DLL's actions: action -> (type, condition, after, before) in the execute sequence. PROFILE
# is checked before anything is removed or installed and copied as SYSTEM after the files, with
# its rollback and commit around the copy; an upgrade ends the older version's copies before it
# removes that version.
PROFILE_COPIED = "CopyProfile AND NOT Installed"
DLL_ACTIONS = {
    "CheckProfile": (1, "PROFILE AND NOT Installed", "CostFinalize", "InstallValidate"),
    "EndOldCopies": (1, "WIX_UPGRADE_DETECTED", "InstallValidate", "RemoveExistingProducts"),
    "RestorePreviousProfile": (1 + 256 + 1024 + 2048, PROFILE_COPIED, "InstallFiles", "CopyProfile"),
    "CopyProfile": (1 + 1024 + 2048, PROFILE_COPIED, "InstallFiles", "RegisterLogonTask"),
    "ForgetPreviousProfile": (1 + 512 + 1024 + 2048, PROFILE_COPIED, "CopyProfile", "RegisterLogonTask"),
}


def table(msi, name):
    # In a folder of its own: msiinfo writes a table's streams (the Binary table's) beside it.
    with tempfile.TemporaryDirectory(prefix="mjr-msi-table.") as folder:
        text = subprocess.run(["msiinfo", "export", os.path.abspath(msi), name], check=True, capture_output=True,
                              cwd=folder).stdout.decode()
    return [line.split("\t") for line in text.replace("\r\n", "\n").rstrip("\n").split("\n")[3:]]


def main():
    msi, version = sys.argv[1], sys.argv[2]
    failures = []

    def check(ok, what):
        print(("ok    " if ok else "FAIL  ") + what)
        failures.extend([] if ok else [what])

    props = dict(r[:2] for r in table(msi, "Property"))
    for name, value in (("ProductVersion", version), ("UpgradeCode", UPGRADE_CODE), ("ALLUSERS", "1"),
                        ("Manufacturer", "Marrowbine Jr"), ("ARPPRODUCTICON", "MarrowbineJr.ico")):
        check(props.get(name) == value, f"{name} = {props.get(name)}")
    secure = set(props.get("SecureCustomProperties", "").split(";"))
    check(secure == {"NOSTART", "WIX_UPGRADE_DETECTED", "WIX_DOWNGRADE_DETECTED"},
          f"secure properties {sorted(secure)}: nothing that reaches the helper")
    info = subprocess.run(["msiinfo", "suminfo", msi], check=True, capture_output=True, text=True).stdout
    check("Template: x64;" in info, "x64 package")
    upgrade = {r[6]: r[:6] for r in table(msi, "Upgrade") if r[0] == UPGRADE_CODE}
    check(upgrade.get("WIX_UPGRADE_DETECTED") == [UPGRADE_CODE, "", version, "", "513", ""]
          and upgrade.get("WIX_DOWNGRADE_DETECTED") == [UPGRADE_CODE, version, "", "", "2", ""],
          f"every older version and a rebuild of this one are replaced (513), a newer one refuses it (2): {upgrade}")
    seq = {r[0]: (r[1], int(r[2])) for r in table(msi, "InstallExecuteSequence")}
    at = lambda action: seq.get(action, ("", -1))[1]  # noqa: E731
    check(at("InstallValidate") < at("RemoveExistingProducts") < at("InstallInitialize"),
          "the older version goes before the new one is installed")

    files = {r[2]: r for r in table(msi, "File")}
    check(sorted(files) == sorted(PROGRAMS + ["README.txt", "CHANGELOG.txt", "My Favs 1"] + EXAMPLES), f"files {sorted(files)}")
    check(all(files.get(p, [""] * 5)[4] == version + ".0" for p in PROGRAMS), "the programs carry their version")
    check(files.get("MarrowbineJr64.exe", ["", ""])[1] == "Program", "the task goes with the program's component ($Program)")
    components = {r[0]: int(r[3]) for r in table(msi, "Component")}
    profile = components.get(files.get("My Favs 1", ["", ""])[1], 0)
    check(profile & 16 and profile & 128, f"the profile is never removed (16) nor overwritten (128): {profile}")
    check(all(a & 256 for a in components.values()), "every component is 64-bit")
    directories = {r[0]: r[1:] for r in table(msi, "Directory")}
    examples = {files.get(e, ["", ""])[1] for e in EXAMPLES}
    example_dir = [r[2] for r in table(msi, "Component") if r[0] in examples]
    check(len(examples) == 1 and not components.get(next(iter(examples)), 16) & 16
          and [directories.get(d) for d in example_dir] == [["INSTALLDIR", "examples"]],
          f"the examples are in examples\\ and removed on uninstall: {example_dir}")

    actions = {r[0]: r for r in table(msi, "CustomAction")}
    helper = '"[INSTALLDIR]MarrowbineJrTask.exe" '
    commands = [r[3][len(helper):] if r[3].startswith(helper) else r[3] for r in actions.values() if int(r[1]) & 7 == 2]
    check(len(commands) == len(TASK_ACTIONS) and not any("[" in c for c in commands),
          f"no command line holds a property: {commands}")
    check(int(actions.get("RollbackLogonTask", "x0")[1]) == 3362
          and at("RollbackLogonTask") == at("RegisterLogonTask") - 1, "a failed install removes the task it registered")
    for name, (command, condition, after, before) in TASK_ACTIONS.items():
        kind, source, target = (actions.get(name) or ["", "0", "", ""])[1:4]
        check(int(kind) & ~(64 | 256) == 34 + 1024 + 2048 and source == "INSTALLDIR"
              and target == '"[INSTALLDIR]MarrowbineJrTask.exe" ' + command, f"{name}: {target}, deferred, system")
        check(seq.get(name, ("",))[0] == condition and at(after) < at(name) < at(before),
              f"{name}: {condition!r}, between {after} and {before}")
    check(int(actions.get("RegisterLogonTask", "x0")[1]) & 64 == 0 and int(actions.get("StartLogonTask", "x0")[1]) & 64,
          "a failed registration fails the install; a task that cannot start now does not")
    for name, (kind, condition, after, before) in DLL_ACTIONS.items():
        check((actions.get(name) or ["", "0", "", ""])[1:4] == [str(kind), "SetupActions", name]
              and seq.get(name, ("",))[0] == condition and at(after) < at(name) < at(before),
              f"{name}: type {kind}, {condition!r}, between {after} and {before}")
    ui = {r[0]: (r[1], int(r[2])) for r in table(msi, "InstallUISequence")}
    check(ui.get("CheckProfile", ("",))[0] == "PROFILE AND NOT Installed"
          and ui.get("CostFinalize", ("", 99999))[1] < ui["CheckProfile"][1] < ui.get("ExecuteAction", ("", -1))[1],
          "PROFILE is checked in the dialogs' part too, where a prompt that is not elevated still shows it")
    check([r[0] for r in table(msi, "Binary") if r[0] == "SetupActions"] == ["SetupActions"]
          and "CopyProfile" in props.get("MsiHiddenProperties", "").split(";"),
          "the actions' DLL is in the Binary table; the checked profile stays out of the log")
    check("PROFILE" not in props and not any("PROFILE" in r[4] for r in table(msi, "Registry")),
          "PROFILE is saved nowhere")
    for name, prop in (("RestoreInstallDir", "INSTALLDIR"), ("RestoreEnforce", "ENFORCE")):
        check(actions.get(name, [""] * 3)[1:3] == ["51", prop] and at("AppSearch") < at(name) < at("LaunchConditions")
              and seq.get(name, ("",))[0] == f"Installed OR (SAVED{prop} AND NOT {prop})",
              f"{name}: the {prop} kept in HKLM, unless given to a new install, before the launch conditions")
    check({(r[1], r[3]) for r in table(msi, "RegLocator")} == {("2", "InstallDir"), ("2", "Enforce")}
          and {("2", "InstallDir"), ("2", "Enforce")} <= {(r[1], r[3]) for r in table(msi, "Registry")},
          "folder and ENFORCE written to and read from HKLM")
    conditions = dict(r[:2] for r in table(msi, "LaunchCondition"))
    inside = 'Installed OR NOT INSTALLDIR OR (INSTALLDIR ~<< ProgramFiles64Folder AND NOT INSTALLDIR >< "..")'
    check("only inside the Program Files folder" in conditions.get(inside, ""), "INSTALLDIR only inside Program Files")
    check(any(r[4] == "[System64Folder]cmd.exe" and r[5] == '/k ""[INSTALLDIR]MarrowbineJrCheck64.exe""'
              for r in table(msi, "Shortcut")), "Start menu: the doctor's report in a console that stays open")

    with open(TEMPLATE, encoding="utf-8") as f:
        xml = f.read()
    for pattern, what in ((r"<LogonTrigger>\s*<Enabled>true</Enabled>\s*</LogonTrigger>", "any user's logon"),
                          (r"<GroupId>S-1-5-32-545</GroupId>\s*<RunLevel>HighestAvailable</RunLevel>", "highest rights"),
                          (r"<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>", "no time limit"),
                          (r"<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\s*"
                           r"<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>", "on battery"),
                          (r"<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>", "parallel instances"),
                          (r'<Command>"@PROGRAM@"</Command>\s*@ARGUMENTS@\s*</Exec>', "the program's full path, quoted")):
        check(re.search(pattern, xml) is not None, f"task template: {what}")
    print(f"msi: {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
