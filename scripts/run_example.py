#!/usr/bin/env python3
"""Runs the resident program on the bundled example under Wine: starts the example
programs, lets the profile doctor explain examples/My Favs 1 and tell what a scan would do,
starts the program of --build (MarrowbineJr.exe, or MarrowbineJr64.exe in a 64-bit build)
beside the profile, and shows what changed.

  run_example.py --build build/win32 [--seconds N] [--display N]
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import WineSession  # noqa: E402

PROGRAMS = ["Render\\render.exe", "Encoder\\encoder.exe", "Games, Old\\game.exe"]
CLASSES = {0x20: "Normal", 0x40: "Low", 0x80: "High", 0x100: "Real", 0x4000: "Below", 0x8000: "Above"}


def table(session, probe):
    rc, out, _ = session.wine([probe, "list"], timeout=60)
    rows = {}
    for line in out.splitlines():
        parts = line.split("\t", 3)
        if len(parts) == 4 and parts[3]:
            rows[parts[3].lower()] = (int(parts[0]), int(parts[1]), int(parts[2]))
    return rows


def digits(mask):
    return "".join(str(b) for b in range(32) if mask >> b & 1)


def show(session, probe, title):
    rows = table(session, probe)
    print(f"\n{title}")
    for rel in PROGRAMS:
        path = "C:\\Example\\" + rel
        pid, mask, cls = rows.get(path.lower(), (0, 0, 0))
        print(f"  {path:<36} pid {pid:<5} CPUs {digits(mask):<4} priority {CLASSES.get(cls, cls)}")


def built(directory, *names):
    """The first of the names that the build holds (the 32-bit or the 64-bit program)."""
    for name in names:
        if os.path.exists(os.path.join(directory, name)):
            return os.path.join(directory, name)
    return os.path.join(directory, names[0])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--seconds", type=float, default=5)
    ap.add_argument("--display", type=int, default=61)
    a = ap.parse_args()
    program = built(os.path.join(a.build, "src"), "MarrowbineJr.exe", "MarrowbineJr64.exe")
    doctor = built(os.path.join(a.build, "src"), "MarrowbineJrCheck.exe", "MarrowbineJrCheck64.exe")
    sleeper = os.path.join(a.build, "tests", "e2e", "jr_sleeper.exe")
    probe = os.path.join(a.build, "tests", "e2e", "jr_probe.exe")
    out_dir = os.path.join(ROOT, "build", "example")
    os.makedirs(out_dir, exist_ok=True)

    print(f"starting a Wine session on display :{a.display} (about 20 s)...")
    session = WineSession(a.display).start()
    spawned = []
    try:
        example = os.path.join(session.drive_c(), "Example")
        jr_dir = os.path.join(example, "Jr")
        os.makedirs(jr_dir)
        shutil.copy(program, jr_dir)
        shutil.copy(doctor, jr_dir)
        shutil.copy(os.path.join(ROOT, "examples", "My Favs 1"), jr_dir)
        for rel in PROGRAMS:
            path = os.path.join(example, *rel.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            shutil.copy(sleeper, path)
            spawned.append(session.spawn([path, "600"]))
        time.sleep(1.5)
        show(session, probe, "before: the example programs as they started")

        print(f"\n{os.path.basename(doctor)} on the profile (reads only):")
        rc, out, _ = session.wine([os.path.join(jr_dir, os.path.basename(doctor))], cwd=jr_dir, timeout=60)
        for line in out.splitlines():
            print(f"  {line}")
        print(f"  (exit status {rc})")

        jr = session.spawn([os.path.join(jr_dir, os.path.basename(program))], cwd=jr_dir)
        spawned.append(jr)
        # The first window of a new session also starts Wine's desktop: give it time.
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and jr.poll() is None:
            rows = table(session, probe)
            if rows.get("c:\\example\\render\\render.exe", (0, 0, 0))[2] == 0x4000:
                break
            time.sleep(0.5)
        time.sleep(1)
        show(session, probe, f"after {os.path.basename(program)} started in resident mode (profile My Favs 1):")
        print(f"\n{os.path.basename(program)} is {'running in the notification area' if jr.poll() is None else 'not running'}")
        shot = os.path.join(out_dir, "desktop.png")
        subprocess.run(["import", "-window", "root", shot], env=session.env(), check=False)
        print(f"screenshot of the Wine desktop: {shot}")
        time.sleep(a.seconds)
    finally:
        for p in spawned:
            if p.poll() is None:
                p.kill()
        session.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
