#!/usr/bin/env python3
"""Idle cost of the resident program under Wine (a measurement, not a test; not run by CTest).

Starts its own Wine session (Xvfb display, fresh prefix), about 30 sleeping processes, and
MarrowbineJr.exe with a profile whose one favourite is already in its wanted state, so each
tick takes the cheap unchanged-list path. Then reads, from /proc of the program's Linux
process: CPU time spent over --cpu-seconds, and resident/private memory and open Linux file
descriptors before and after --ticks ticks (500 ms each).

  python3 tests/e2e/resident/measure_idle.py --build build/win32 [--display 52]
        [--others 30] [--cpu-seconds 60] [--ticks 2000]
"""
import argparse
import os
import shutil
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from harness import WineSession  # noqa: E402


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line, 12 and 13 after the name.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory(pid):
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "RssAnon", "VmData"):
                values[key] = int(rest.split()[0])
    private = 0
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith(("Private_Clean:", "Private_Dirty:")):
                private += int(line.split()[1])
    values["Private"] = private
    values["fds"] = len(os.listdir(f"/proc/{pid}/fd"))
    return values


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True, help="the cross build directory")
    ap.add_argument("--display", type=int, default=52)
    ap.add_argument("--others", type=int, default=30)
    ap.add_argument("--cpu-seconds", type=float, default=60)
    ap.add_argument("--ticks", type=int, default=2000)
    a = ap.parse_args()

    program = os.path.join(a.build, "src", "MarrowbineJr.exe")
    sleeper = os.path.join(a.build, "tests", "e2e", "jr_sleeper.exe")
    s = WineSession(a.display).start()
    spawned = []
    try:
        root = os.path.join(s.drive_c(), "idle")
        os.makedirs(os.path.join(root, "tools"))
        shutil.copy(program, os.path.join(root, "MarrowbineJr.exe"))
        keep = str(int(a.cpu_seconds + a.ticks / 2 + 120))
        for i in range(a.others):
            path = os.path.join(root, "tools", f"other{i:02d}.exe")
            shutil.copy(sleeper, path)
            spawned.append(s.spawn([path, keep]))
        # One favourite, other00.exe, on every processor at normal priority: already right.
        digits = "".join(str(i) for i in range(min(len(os.sched_getaffinity(0)), 8)))
        with open(os.path.join(root, "My Favs 1"), "wb") as f:
            f.write(f"idle\r\nx\t{digits}\tNormal\tC:\\idle\\tools\\other00.exe\r\n".encode())
        time.sleep(3)
        jr = s.spawn([os.path.join(root, "MarrowbineJr.exe")])
        spawned.append(jr)
        time.sleep(5)  # load event, first reset, the four scans of the first change
        if jr.poll() is not None:
            raise SystemExit(f"the program ended ({jr.returncode})")

        # A sleeper beside it shows what any idle Wine process costs.
        c0, b0 = cpu_seconds(jr.pid), cpu_seconds(spawned[1].pid)
        time.sleep(a.cpu_seconds)
        c1, b1 = cpu_seconds(jr.pid), cpu_seconds(spawned[1].pid)
        print(f"CPU time over {a.cpu_seconds:.0f} s idle: {c1 - c0:.3f} s "
              f"({100 * (c1 - c0) / a.cpu_seconds:.2f} % of one processor); "
              f"a sleeping Wine process: {b1 - b0:.3f} s")

        m0 = memory(jr.pid)
        start = time.monotonic()
        time.sleep(a.ticks * 0.5)
        m1 = memory(jr.pid)
        print(f"after {a.ticks} ticks ({time.monotonic() - start:.0f} s):")
        for key in ("VmRSS", "RssAnon", "Private", "VmData"):
            print(f"  {key:8} {m0[key]:8d} kB -> {m1[key]:8d} kB ({m1[key] - m0[key]:+d})")
        print(f"  Linux fds {m0['fds']} -> {m1['fds']}")
        print(f"processes running beside it: {a.others} sleepers plus Wine's own")
    finally:
        for p in spawned:
            if p.poll() is None:
                p.kill()
                p.wait(timeout=10)
        s.stop()


if __name__ == "__main__":
    main()
