#!/usr/bin/env python3
"""Writes the 64-bit Windows Installer package from a finished 64-bit Release build.

  make_msi.py --win64 build/win64 --version 1.4.0 --out MSI

wixl builds installer/MarrowbineJr.wxs; then the tables wixl 0.101 gets wrong are mended
with msibuild from msiinfo's exports: it drops a custom action that runs an installed exe,
a component's NeverOverwrite and Permanent and any launch condition of our own, places
custom actions where After= does not say, and leaves file versions empty.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_package  # noqa: E402  the README.txt and CHANGELOG.txt of the zip

ROOT = make_package.ROOT
WXS = os.path.join(ROOT, "installer", "MarrowbineJr.wxs")
PROGRAMS = ["MarrowbineJr64.exe", "MarrowbineJrCheck64.exe", "MarrowbineJrTask.exe"]
SETUP_DLL = "MarrowbineJrSetup.dll"  # the Binary table's custom actions, never installed

# Windows Installer numbers.
COMPONENT_64BIT, COMPONENT_PERMANENT, COMPONENT_NEVER_OVERWRITE = 256, 16, 128
CA_DLL_IN_BINARY, CA_EXE_IN_DIRECTORY, CA_SET_PROPERTY = 1, 34, 51
CA_CONTINUE, CA_ROLLBACK, CA_COMMIT, CA_DEFERRED, CA_NO_IMPERSONATE = 64, 256, 512, 1024, 2048
SYSTEM_DLL = CA_DLL_IN_BINARY + CA_DEFERRED + CA_NO_IMPERSONATE

HELPER = '"[INSTALLDIR]MarrowbineJrTask.exe"'
UPGRADE_VERSION_MAX_INCLUSIVE = 512
# The task goes with the program's component: REMOVE=ALL and REMOVE=Complete (the one feature)
# alike, and the old product's removal in an upgrade.
INSTALL, REMOVE = "NOT Installed AND NOT REMOVE", "$Program=2"
# name -> (type, source, target, condition, sequence); deferred ones sit inside the script:
# removal before RemoveRegistryValues (2600: the reset request goes first, so the emptied key
# goes too) and RemoveFiles, install after InstallFiles (4000) and the registry (5000), which
# the helper reads ENFORCE from. The helper runs as SYSTEM, so no command line holds a
# property's value: it knows its folder from its own path. In maintenance the folder and
# ENFORCE are the saved ones whatever the command line says, so a repair writes back what it
# read. PROFILE is read by CheckProfile itself, before InstallValidate (1400) and so before
# anything is removed or installed, only in a new install (a first one, or the new product of
# an upgrade); the checked bytes reach SYSTEM as CopyProfile's data, never the path. An upgrade
# ends the older version's copies before RemoveExistingProducts (moved from 1401 to 1420).
PROFILE_GIVEN, PROFILE_CHECKED = "PROFILE AND NOT Installed", "CopyProfile AND NOT Installed"
REMOVE_EXISTING_PRODUCTS = 1420
CUSTOM_ACTIONS = {
    "CheckProfile": (CA_DLL_IN_BINARY, "SetupActions", "CheckProfile", PROFILE_GIVEN, 1390),
    "EndOldCopies": (CA_DLL_IN_BINARY, "SetupActions", "EndOldCopies", "WIX_UPGRADE_DETECTED", 1410),
    # The profile is copied after the files (the example's never-overwrite rule cannot undo it);
    # a rollback puts back the file it replaced, a finished install forgets that file.
    "RestorePreviousProfile": (SYSTEM_DLL + CA_ROLLBACK, "SetupActions", "RestorePreviousProfile",
                               PROFILE_CHECKED, 4001),
    "CopyProfile": (SYSTEM_DLL, "SetupActions", "CopyProfile", PROFILE_CHECKED, 4002),
    "ForgetPreviousProfile": (SYSTEM_DLL + CA_COMMIT, "SetupActions", "ForgetPreviousProfile", PROFILE_CHECKED, 4003),
    "RestoreInstallDir": (CA_SET_PROPERTY, "INSTALLDIR", "[SAVEDINSTALLDIR]",
                          "Installed OR (SAVEDINSTALLDIR AND NOT INSTALLDIR)", 51),
    "RestoreEnforce": (CA_SET_PROPERTY, "ENFORCE", "[SAVEDENFORCE]", "Installed OR (SAVEDENFORCE AND NOT ENFORCE)", 52),
    "RemoveLogonTask": (CA_EXE_IN_DIRECTORY + CA_DEFERRED + CA_NO_IMPERSONATE, "INSTALLDIR", HELPER + " /remove",
                        REMOVE, 2590),
    # A failed install leaves no task pointing into the folder it removes.
    "RollbackLogonTask": (CA_EXE_IN_DIRECTORY + CA_ROLLBACK + CA_DEFERRED + CA_NO_IMPERSONATE, "INSTALLDIR",
                          HELPER + " /remove", INSTALL, 6499),
    "RegisterLogonTask": (CA_EXE_IN_DIRECTORY + CA_DEFERRED + CA_NO_IMPERSONATE, "INSTALLDIR", HELPER + " /register",
                          INSTALL, 6500),
    # A task that cannot start now still starts at the next logon: no reason to roll back.
    "StartLogonTask": (CA_EXE_IN_DIRECTORY + CA_DEFERRED + CA_NO_IMPERSONATE + CA_CONTINUE, "INSTALLDIR",
                       HELPER + " /start", INSTALL + ' AND NOSTART<>"1"', 6510),
}
UI_ACTIONS = ["RestoreInstallDir", "RestoreEnforce", "CheckProfile"]
# In the dialogs' part (where PROFILE from a prompt that is not elevated is still seen), after
# CostFinalize (1000) and before ExecuteAction (1300).
UI_SEQUENCE = {"CheckProfile": 1290}
# Inside Program Files only: the logon task runs the program elevated.
LAUNCH_CONDITION = ('Installed OR NOT INSTALLDIR OR (INSTALLDIR ~<< ProgramFiles64Folder AND NOT INSTALLDIR >< "..")',
                    "Marrowbine Jr installs only inside the Program Files folder ([ProgramFiles64Folder]): its logon "
                    "task runs it with administrator rights, so its folder must be one only administrators can "
                    "change. INSTALLDIR was \"[INSTALLDIR]\".")
# Only what may come from a prompt that is not elevated: the folder and ENFORCE reach SYSTEM.
SECURE = ["NOSTART"]
EXAMPLES = ["My Favs Hybrid", "My Favs Two Dies"]


def export(msi, table, _folder):
    """(header lines, rows as lists of fields) of a table."""
    text = subprocess.run(["msiinfo", "export", msi, table], check=True, capture_output=True).stdout
    lines = text.decode("utf-8").replace("\r\n", "\n").rstrip("\n").split("\n")
    return lines[:3], [line.split("\t") for line in lines[3:]]


def replace(msi, table, header, rows, folder):
    path = os.path.join(folder, table + ".idt")
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write("".join(line + "\r\n" for line in header + ["\t".join(r) for r in rows]))
    subprocess.run(["msibuild", msi, "-i", path], check=True)


def mend(msi, version, folder):
    header, rows = export(msi, "Component", folder)
    for r in rows:
        if r[0] == "Profile":
            r[3] = str(int(r[3]) | COMPONENT_PERMANENT | COMPONENT_NEVER_OVERWRITE)
    replace(msi, "Component", header, rows, folder)

    header, rows = export(msi, "CustomAction", folder)
    rows = [r for r in rows if r[0] not in CUSTOM_ACTIONS]
    rows += [[name, str(t), source, target, ""] for name, (t, source, target, _, _) in CUSTOM_ACTIONS.items()]
    replace(msi, "CustomAction", header, rows, folder)

    for table, names in (("InstallExecuteSequence", list(CUSTOM_ACTIONS)), ("InstallUISequence", UI_ACTIONS)):
        header, rows = export(msi, table, folder)
        rows = [r for r in rows if r[0] not in CUSTOM_ACTIONS]
        ui = table == "InstallUISequence"
        rows += [[n, CUSTOM_ACTIONS[n][3], str(UI_SEQUENCE.get(n, CUSTOM_ACTIONS[n][4]) if ui else CUSTOM_ACTIONS[n][4])]
                 for n in names]
        for r in rows:
            if r[0] == "RemoveExistingProducts":
                r[2] = str(REMOVE_EXISTING_PRODUCTS)
        replace(msi, table, header, sorted(rows, key=lambda r: int(r[2])), folder)

    # A rebuild of the installed version replaces it too, instead of installing beside it.
    header, rows = export(msi, "Upgrade", folder)
    for r in rows:
        if r[6] == "WIX_UPGRADE_DETECTED":
            r[4] = str(int(r[4]) | UPGRADE_VERSION_MAX_INCLUSIVE)
    replace(msi, "Upgrade", header, rows, folder)

    header, rows = export(msi, "LaunchCondition", folder)
    replace(msi, "LaunchCondition", header, rows + [list(LAUNCH_CONDITION)], folder)

    header, rows = export(msi, "Property", folder)
    for r in rows:
        if r[0] == "SecureCustomProperties":
            r[1] = ";".join(r[1].split(";") + SECURE)
    replace(msi, "Property", header, rows, folder)

    # The programs are versioned files, so a later package replaces them by version; the
    # hash table is for unversioned files only.
    header, rows = export(msi, "File", folder)
    for r in rows:
        if r[0] in PROGRAMS:
            r[4] = version + ".0"
    replace(msi, "File", header, rows, folder)
    header, rows = export(msi, "MsiFileHash", folder)
    replace(msi, "MsiFileHash", header, [r for r in rows if r[0] not in PROGRAMS], folder)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--win64", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()

    bin_dir = os.path.abspath(os.path.join(args.win64, "src"))
    for name in PROGRAMS + [SETUP_DLL]:
        if not os.path.isfile(os.path.join(bin_dir, name)):
            sys.exit(f"make_msi.py: {bin_dir}/{name} is missing: build the 64-bit Release build first")
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="mjr-msi.") as folder:
        # wixl reads sources by relative names only: stage everything beside the .wxs.
        for name in PROGRAMS + [SETUP_DLL]:
            shutil.copy(os.path.join(bin_dir, name), folder)
        shutil.copy(os.path.join(ROOT, "examples", "My Favs 1"), folder)
        os.makedirs(os.path.join(folder, "examples"))
        for name in EXAMPLES:
            shutil.copy(os.path.join(ROOT, "examples", name), os.path.join(folder, "examples"))
        shutil.copy(WXS, folder)
        with open(os.path.join(folder, "README.txt"), "wb") as f:
            f.write(make_package.windows_readme(args.version))
        with open(os.path.join(folder, "CHANGELOG.txt"), "wb") as f:
            f.write(make_package.windows_changelog())
        tmp = os.path.abspath(args.out) + ".tmp"
        wixl = subprocess.run(["wixl", "-a", "x64", "-D", f"Version={args.version}", "-o", tmp, os.path.basename(WXS)],
                              capture_output=True, text=True, cwd=folder)
        # wixl warns about each attribute it ignores (the ones mended here): only a missing
        # package is a failure.
        if wixl.returncode != 0 or not os.path.isfile(tmp):
            sys.exit("make_msi.py: wixl failed:\n" + wixl.stderr)
        tables = os.path.join(folder, "tables")
        os.makedirs(tables)
        mend(tmp, args.version, tables)
    os.replace(tmp, args.out)
    print(f"wrote {args.out} ({os.path.getsize(args.out)} bytes)")


if __name__ == "__main__":
    main()
