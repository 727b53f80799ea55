#!/usr/bin/env python3
"""End-to-end tests of one-shot mode: MarrowbineJr.exe "/My Favs 2 /exit" beside a profile,
against sleeping helper processes, checked with jr_probe (Win32 view) and taskset (Linux view).

  oneshot_tests.py --state FILE --program EXE --sleeper EXE --probe EXE CASE
Exit code 0 pass, 1 fail, 77 skipped (the machine cannot show the case).
"""
import argparse
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Failure, Skip, WineSession, check, run_case  # noqa: E402
from oneshot_world import (ABOVE, BELOW, HIGH, IDLE, NORMAL, World, expect_restricted_dll_search, fav, fmt,  # noqa: E402
                           need_cpus, need_desktop, quoted)


# ----- the cases -----

def plain_match(w):
    need_cpus(w, 2)
    a = w.helper("Apps\\Tool.exe")
    b = w.helper("Apps\\Other.exe")
    w.profile("My Favs 2", [fav("0", "High", a.win_path), fav("1", "Low", b.win_path)])
    w.run_program("/My Favs 2 /exit")
    w.expect(a, 0x1, HIGH)
    w.expect(b, 0x2, IDLE)
    expect_restricted_dll_search(w.s, [os.path.join(w.prog_dir, "MarrowbineJr.exe"), "/My Favs 2 /exit"],
                                 w.prog_dir)


def rules_as_people_write_them(w):
    """Letter case of any letter, "*" within one name and "**" for any depth, the first
    matching line across exact and pattern lines, refused patterns, and the profile name
    quoted as people quote it."""
    need_cpus(w, 2)
    cased = w.helper("Cased\\Tool.exe")
    cyrillic = w.helper("\u0418\u0433\u0440\u044b\\game.exe")
    one_level = w.helper("Games\\Foo 1.2\\bin\\game.exe")
    two_levels = w.helper("Games\\a\\b\\bin\\game.exe")
    deep = w.helper("Deep\\x\\y\\z.exe")
    top = w.helper("Deep\\top.exe")
    first = w.helper("Apps\\first.exe")
    refused = w.helper("Refused\\x.exe")
    other = w.helper("Elsewhere\\Tool.exe")
    case_dir = w.win_root.split("\\", 2)[2]  # "<case>" below C:\jr
    w.profile("My Favs 2", [
        fav("0", "High", w.win("CASED\\tool.EXE")),                           # 2
        fav("1", "Low", cased.win_path),                                       # 3: the same program: never used
        fav("1", "Above", w.win("\u0418\u0413\u0420\u042b\\GAME.EXE")),           # 4
        fav("0", "Below", w.win("Games\\*\\bin\\game.exe")),                    # 5: one folder between
        fav("1", "High", w.win("Deep\\**\\*.exe")),                             # 6: any depth, none included
        fav("0", "Above", w.win("Apps\\*.exe")),                                # 7
        fav("1", "Low", first.win_path),                                       # 8: line 7 wins
        fav("1", "Low", "**\\x.exe"),                                           # 9: refused
        fav("1", "Low", f"C:\\*\\{case_dir}\\Refused\\x.exe"),                   # 10: refused
    ], encoding="utf-8")
    w.run_program("My Favs 2", "/exit")
    w.expect(cased, 0x1, HIGH, "(named in other letter case)")
    w.expect(cyrillic, 0x2, ABOVE, "(Cyrillic in other letter case)")
    w.expect(one_level, 0x1, BELOW, "(* is one folder)")
    w.expect_untouched(two_levels, "(* is never two folders)")
    w.expect(deep, 0x2, HIGH, "(** at depth 2)")
    w.expect(top, 0x2, HIGH, "(** as no folder)")
    w.expect(first, 0x1, ABOVE, "(the pattern on line 7 before the exact line 8)")
    w.expect_untouched(refused, "(refused patterns)")
    w.expect_untouched(other, "(not in the profile)")
    # The other two ways people quote the name read it too (no "My Favs 1" exists here).
    for args in (("/My Favs 2", "/exit"), ("/exit", "/My Favs 2")):
        w.probe("setaff", str(cased.win_pid), str(w.full_mask))
        w.probe("setprio", str(cased.win_pid), str(NORMAL))
        w.run_program(*args)
        w.expect(cased, 0x1, HIGH, f"(command line {args})")


def quoted_path_with_comma(w):
    need_cpus(w, 2)
    h = w.helper("Apps, Old\\tool.exe")
    w.profile("My Favs 2", [quoted(fav("1", "Below", h.win_path))])
    w.run_program("/My Favs 2 /exit")
    w.expect(h, 0x2, BELOW)


def default_keeps_priority(w):
    """Default leaves the priority, and as a CPU text the processors; Task Manager's words apply."""
    need_cpus(w, 2)
    kept = w.helper("Apps\\Kept.exe")
    reset = w.helper("Apps\\Reset.exe")
    words = {"high": HIGH, " Below normal ": BELOW, "Idle": IDLE}
    worded = {word: w.helper(f"Apps\\Word{k}.exe") for k, word in enumerate(words)}
    for h in (kept, reset):
        w.probe("setprio", str(h.win_pid), str(IDLE))
    for h in worded.values():
        w.probe("setaff", str(h.win_pid), "2")
    w.profile("My Favs 2", [fav("0", "Default", kept.win_path), fav("0", "Normal", reset.win_path)] +
              [fav(" default", word, h.win_path) for word, h in worded.items()])
    w.run_program("/My Favs 2 /exit")
    w.expect(kept, 0x1, IDLE, "(Default)")
    w.expect(reset, 0x1, NORMAL, "(Normal)")
    for word, h in worded.items():
        w.expect(h, 0x2, words[word], f"(CPUs Default, priority {word!r})")


def digits_out_of_order_applied_every_run(w):
    need_cpus(w, 2)
    if w.ncpu > 8:
        raise Skip("digit texts name at most eight processors")
    in_order = "".join(str(d) for d in range(w.ncpu))
    reversed_ = in_order[::-1]
    shuffled = w.helper("Apps\\Shuffled.exe")
    ordered = w.helper("Apps\\Ordered.exe")
    w.profile("My Favs 2", [fav(reversed_, "Normal", shuffled.win_path),
                            fav(in_order, "Normal", ordered.win_path)])
    for run in (1, 2):
        # Only the Linux threads move; Wine still reports all processors. A set is visible
        # on the Linux side only when the program makes it.
        for h in (shuffled, ordered):
            w.set_linux_mask(h, 0x1)
            check(w.state(h) == (w.full_mask, NORMAL, 0x1), f"run {run}: taskset did not take")
        w.run_program("/My Favs 2 /exit")
        got = w.state(shuffled)
        check(got == (w.full_mask, NORMAL, w.full_mask),
              f"run {run}: {reversed_!r} was not applied again: {fmt(got)}")
        got = w.state(ordered)
        check(got == (w.full_mask, NORMAL, 0x1),
              f"run {run}: {in_order!r} equals the mask's digits and must not be set: {fmt(got)}")
    # Both are real matches: with the mask changed on the Windows side, both are set back.
    for h in (shuffled, ordered):
        w.probe("setaff", str(h.win_pid), "1")
    w.run_program("/My Favs 2 /exit")
    w.expect(shuffled, w.full_mask, NORMAL)
    w.expect(ordered, w.full_mask, NORMAL)


def absent_processor_refused(w):
    need_cpus(w, 2)
    digit = max(w.ncpu, 3)
    if digit > 9:
        raise Skip(f"every digit names a processor of this {w.ncpu}-processor machine")
    absent = w.helper("Apps\\Absent.exe")
    after = w.helper("Apps\\After.exe")
    w.profile("My Favs 2", [fav(str(digit), "High", absent.win_path),
                            fav("1", "Below", after.win_path)])
    w.run_program("/My Favs 2 /exit", status=2)
    w.expect(absent, w.full_mask, HIGH, f"(digit {digit}: mask refused, class still set)")
    w.expect(after, 0x2, BELOW, "(the pass goes on after a refusal)")


def saved_in_any_encoding(w):
    """What Notepad saves loads: each encoding applies to a program in a folder of
    accented letters, the ANSI profile as before."""
    need_cpus(w, 2)
    h = w.helper("Apps\\Caf\u00e9 \u00dcber\\tool.exe")
    for encoding in ("cp1252", "utf-8", "utf-8-sig", "utf-16", "utf-16-be-marked"):
        w.probe("setaff", str(h.win_pid), str(w.full_mask))
        w.probe("setprio", str(h.win_pid), str(NORMAL))
        record = fav("1", "High", h.win_path)
        if encoding == "utf-16-be-marked":
            with open(os.path.join(w.prog_dir, "My Favs 2"), "wb") as f:
                f.write(b"\xfe\xff" + f"Favorites\r\n{record}\r\n".encode("utf-16-be"))
        else:
            w.profile("My Favs 2", [record], encoding=encoding)
        w.run_program("/My Favs 2 /exit")
        w.expect(h, 0x2, HIGH, f"(profile saved as {encoding})")


def letters_beyond_the_code_page(w):
    """A UTF-8 profile matches a program in a Cyrillic folder, which the ANSI code page
    cannot name."""
    need_cpus(w, 2)
    h = w.helper("\u0418\u0433\u0440\u044b\\game.exe")
    w.profile("My Favs 2", [fav("1", "Above", h.win_path)], encoding="utf-8")
    w.run_program("/My Favs 2 /exit")
    w.expect(h, 0x2, ABOVE)


def profile_fails_to_load(w):
    need_cpus(w, 2)
    h = w.helper("Apps\\Tool.exe")
    comma = w.helper("Apps, Old\\tool.exe")
    good = fav("0", "High", h.win_path)
    comma_record = fav("1", "Low", comma.win_path)
    failing = {
        "missing file": None,
        "unquoted comma in a path": [good, comma_record],
        "header only": [],
        "empty file": "",
        "fewer than four fields": [good, "x\t0\tHigh"],
    }
    path = os.path.join(w.prog_dir, "My Favs 2")
    for what, records in failing.items():
        if os.path.exists(path):
            os.remove(path)
        if records == "":
            open(path, "wb").close()
        elif records is not None:
            w.profile("My Favs 2", records)
        w.run_program("/My Favs 2 /exit", status=1)
        w.expect_untouched(h, f"({what})")
        w.expect_untouched(comma, f"({what})")
    # The same helpers are matched once the profile loads; blank lines and notes are passed over.
    w.profile("My Favs 2", [good, "", "# old, \"x\"", quoted(comma_record), ""])
    w.run_program("/My Favs 2 /exit")
    w.expect(h, 0x1, HIGH, "(profile loads)")
    w.expect(comma, 0x2, IDLE, "(profile loads)")


def second_instance_ends_at_once(w):
    need_cpus(w, 2)
    need_desktop(w)
    h = w.helper("Apps\\Tool.exe")
    w.profile("My Favs 2", [fav("0", "High", h.win_path)])
    # No "My Favs 1": the resident first instance loads nothing and changes nothing.
    first = w.start_program()
    # The first instance holds its single-instance object once it has raised its own class
    # to Above. The first window of a Wine session may wait ~10 s for the desktop's explorer
    # before the program's own code runs, so a fixed pause is not enough.
    prog = w.win("prog\\MarrowbineJr.exe").lower()
    deadline = time.monotonic() + 30
    while not any(path == prog and prio == ABOVE for _, _, prio, path in w.rows()):
        check(first.poll() is None,
              f"the first instance, started with no argument, ended ({first.returncode}) instead of staying resident")
        check(time.monotonic() < deadline, "the first instance did not get under way within 30 s")
        time.sleep(0.2)
    time.sleep(1)
    check(first.poll() is None,
          f"the first instance, started with no argument, ended ({first.returncode}) instead of staying resident")
    elapsed = w.run_program("/My Favs 2 /exit", status=3)
    check(elapsed < 10, f"the second instance took {elapsed:.1f} s")
    w.expect_untouched(h, "(the second instance must not make a pass)")
    check(first.poll() is None, "the first instance ended when the second started")
    running = w.instances()
    check(len(running) == 1, f"expected the first instance alone, listed: {running}")
    w.probe("kill", str(running.pop()))
    first.wait(timeout=20)
    w.run_program("/My Favs 2 /exit")
    w.expect(h, 0x1, HIGH, "(alone, the same command makes its pass)")


def forged_module_path_gets_nothing(w):
    """A process that rewrites its module list to claim a favourite's path is not that favourite."""
    need_cpus(w, 2)
    real = w.helper("Program Files\\Encoder\\encoder.exe")
    forger = w.helper("Users\\me\\forger.exe", sleeper=w.args.forger, args=[real.win_path])
    # The forgery must hold before the run, or the case proves nothing.
    deadline = time.monotonic() + 20
    while True:
        rc, out, _ = w.s.wine([w.args.probe, "modpath", str(forger.win_pid)], timeout=60)
        if rc == 0 and out.strip().lower() == real.win_path.lower():
            break
        check(time.monotonic() < deadline, f"the forger's module list never claimed {real.win_path}: {out.strip()!r}")
        time.sleep(0.2)
    w.profile("My Favs 2", [fav("1", "High", real.win_path)])
    w.run_program("/My Favs 2 /exit")
    w.expect(real, 0x2, HIGH, "(the real favourite)")
    w.expect_untouched(forger, "(claims the favourite's path in its module list)")


def launchers_child_gets_its_class(w):
    """A favourite asking for its children: the program its launcher started, which matches no
    favourite, gets the favourite's placement in one pass, linked by the parent Windows reports."""
    need_cpus(w, 2)
    game = w.win("Games\\game.exe")
    os.makedirs(w.unix("Games"))
    shutil.copy(w.args.sleeper, w.unix("Games\\game.exe"))
    launcher = w.helper("Launcher\\launcher.exe", args=["--start", game])
    deadline = time.monotonic() + 20
    while game.lower() not in w.table():
        check(time.monotonic() < deadline, f"the launcher never started {game}")
        time.sleep(0.1)
    w.profile("My Favs 2", [fav("1", "High", launcher.win_path) + "\tchildren"])
    w.run_program("/My Favs 2 /exit")
    w.expect(launcher, 0x2, HIGH, "(the favourite)")
    row = w.table()[game.lower()]
    w.probe("kill", str(row[0]))
    check(row[1:] == (0x2, HIGH), f"the launcher's child is {row}, not on processor 1 at High")


def both_bitnesses(w):
    """Either build reads the kernel's path of a 64-bit and of a 32-bit process, and sets both."""
    need_cpus(w, 2)
    if not w.args.program32 or not w.args.sleeper32:
        raise Skip("needs the 32-bit program and sleeper beside the 64-bit ones")
    for built in (w.args.program32, w.args.sleeper32):
        if not os.path.isfile(built):
            raise Skip(f"the 32-bit build is absent ({built}): build the win32 preset first")
    h64 = w.helper("Apps64\\tool64.exe")
    h32 = w.helper("Apps32\\tool32.exe", sleeper=w.args.sleeper32)
    w.profile("My Favs 2", [fav("1", "High", h64.win_path), fav("1", "High", h32.win_path)])
    dir32 = w.install_other_program(w.args.program32, "prog32")
    shutil.copy(os.path.join(w.prog_dir, "My Favs 2"), dir32)
    w.run_program("/My Favs 2 /exit", prog_dir=dir32)
    w.expect(h64, 0x2, HIGH, "(32-bit build, 64-bit process)")
    w.expect(h32, 0x2, HIGH, "(32-bit build, 32-bit process)")
    for h in (h64, h32):
        w.probe("setaff", str(h.win_pid), str(w.full_mask))
        w.probe("setprio", str(h.win_pid), str(NORMAL))
    w.run_program("/My Favs 2 /exit")
    w.expect(h64, 0x2, HIGH, "(64-bit build, 64-bit process)")
    w.expect(h32, 0x2, HIGH, "(64-bit build, 32-bit process)")


def many_processors(w):
    """The session is the machine the preloaded library makes it, and masks past the real
    processors are set and read back as Windows programs see them."""
    if not w.s.cpus:
        raise Skip("needs a session of many processors (harness.py setup --cpus N)")
    check(w.ncpu == w.s.cpus, f"GetSystemInfo says {w.ncpu} processors, the session has {w.s.cpus}")
    h = w.helper("Apps\\Probe.exe")
    masks = [0xFF00, 0x80000000] + ([1 << 63] if w.ncpu >= 64 else [])
    for mask in masks:
        w.probe("setaff", str(h.win_pid), str(mask))
        w.expect(h, mask, NORMAL, f"(set {mask:#x} from outside)")
    return h


def lists_set_exactly_the_named_processors(w):
    """Lists set exactly their processors, once; digits beside them keep their meaning."""
    many_processors(w)
    # Wine shows the library's processors as of one kind, caches alike: P and C are every
    # processor, E none.
    lists = {"8-15": 0xFF00, "0;2;4-6": 0x75, "16-31": 0xFFFF0000, "12;": 0x1000,
             "P": w.full_mask, "c": w.full_mask, "E; 3": 0x8}
    if w.ncpu >= 64:
        lists["32-47; 63"] = 0x8000FFFF00000000
    helpers = {text: w.helper(f"Apps\\List{k}.exe") for k, text in enumerate(lists)}
    digits = w.helper("Apps\\Digits.exe")
    for text in ("P", "c"):
        w.probe("setaff", str(helpers[text].win_pid), "1")
    w.profile("My Favs 2", [fav(text, "Normal", h.win_path) for text, h in helpers.items()] +
              [fav("13", "High", digits.win_path)])
    before = {text: len(w.s.affinity_sets(h.linux_pid)) for text, h in helpers.items()}
    for run in (1, 2):
        w.run_program("/My Favs 2 /exit")
        for text, h in helpers.items():
            w.expect(h, lists[text], NORMAL, f"(list {text!r}, run {run})")
            sets = w.s.affinity_sets(h.linux_pid)[before[text]:]
            check(sets == [lists[text]], f"list {text!r} after run {run} received the sets "
                                         f"{[hex(m) for m in sets]}: once, and never again once settled")
        w.expect(digits, 0xA, HIGH, f"(digits 13, run {run})")
    # Digits in order read back equal, as ever: set on the first run only.
    check(w.s.affinity_sets(digits.linux_pid).count(0xA) == 1, "digits 13 were not set exactly once")


def relay_calls(lines):
    """(function, arguments, return value) of each traced KERNEL32 call, numbers, in order."""
    found, pending = [], None
    for line in lines:
        if line.startswith("Call KERNEL32."):
            name, rest = line[len("Call KERNEL32."):].split("(", 1)
            pending = (name, [int(a, 16) for a in rest.split(")", 1)[0].split(",") if a])
        elif line.startswith("Ret  KERNEL32.") and pending:
            found.append(pending + (int(line.split("retval=", 1)[1].split()[0], 16),))
            pending = None
    return found


def after_open(calls, access, pid):
    """The handle an open of pid with access gave, and the calls up to the next open."""
    for k, (name, args, ret) in enumerate(calls):
        if name == "OpenProcess" and args[0] == access and args[2] == pid and ret:
            end = next((j for j in range(k + 1, len(calls)) if calls[j][0] == "OpenProcess"), len(calls))
            return ret, calls[k + 1:end]
    raise Failure(f"no open of {pid} with {access:#x}: {calls}")


def cpu_sets_and_eco_at_the_calls(w):
    """Wine carries out neither CPU sets nor power throttling, but its relay trace shows the
    calls: "~32-63" opens with the limited right to set (0x3000) and sets 32 identifiers on that
    handle, hard affinity untouched; "Eco" sets the idle class, then asks for EcoQoS once, refused.
    Digits and lists beside them behave as before."""
    many_processors(w)
    need_cpus(w, 64)
    cpu_sets = w.helper("Apps\\Sets.exe")
    eco = w.helper("Apps\\Eco.exe")
    digits = w.helper("Apps\\Digits.exe")
    listed = w.helper("Apps\\List.exe")
    w.profile("My Favs 2", [fav("~32-63", "Default", cpu_sets.win_path), fav("Default", "Eco", eco.win_path),
                            fav("13", "High", digits.win_path), fav("8-15", "Normal", listed.win_path)])
    calls = relay_calls(w.s.traced_calls(
        [os.path.join(w.prog_dir, "MarrowbineJr.exe"), "/My Favs 2 /exit"],
        ["KERNEL32.OpenProcess", "KERNEL32.SetProcessDefaultCpuSets", "KERNEL32.SetProcessInformation",
         "KERNEL32.SetPriorityClass", "KERNEL32.SetProcessAffinityMask"], cwd=w.prog_dir, returns=True))
    opened = [args[0] for name, args, _ in calls if name == "OpenProcess" and args[2] == cpu_sets.win_pid]
    check(opened == [0x1000, 0x3000], f"the CPU-set favourite was opened with {[hex(a) for a in opened]}")
    handle, then = after_open(calls, 0x3000, cpu_sets.win_pid)
    check([(name, args[0], args[2]) for name, args, _ in then] == [("SetProcessDefaultCpuSets", handle, 32)],
          f"expected one SetProcessDefaultCpuSets of 32 identifiers on {handle:#x}: {then}")
    handle, then = after_open(calls, 0x1200, eco.win_pid)
    check([name for name, _, _ in then] == ["SetPriorityClass", "SetProcessInformation"] and
          then[0][1] == [handle, IDLE] and then[1][1][:2] + then[1][1][3:] + [then[1][2]] == [handle, 4, 12, 0],
          f"expected the idle class, then one refused SetProcessInformation(ProcessPowerThrottling): {then}")
    w.expect(cpu_sets, w.full_mask, NORMAL, "(CPU sets: hard affinity left alone)")
    check(not w.s.affinity_sets(cpu_sets.linux_pid), "the CPU-set favourite had its hard affinity set")
    w.expect(eco, w.full_mask, IDLE, "(Eco)")
    w.expect(digits, 0xA, HIGH, "(digits 13)")
    w.expect(listed, 0xFF00, NORMAL, "(list 8-15)")


def settled_list_is_not_set_again_while_resident(w):
    """The resident program sets a list once; later scans leave it alone until the mask
    changes from outside."""
    need_cpus(w, 32)
    need_desktop(w)
    h = w.helper("Apps\\Game.exe")
    w.profile("My Favs 1", [fav("16-31", "Default", h.win_path)])
    w.start_program()
    # The resident start is slow on a loaded machine: the bound is generous, the usual wait a few seconds.
    deadline = time.monotonic() + 40
    while w.state(h)[0] != 0xFFFF0000:
        check(time.monotonic() < deadline, f"the list was not applied: {fmt(w.state(h))}")
        time.sleep(0.2)
    # Each new process buys four scans of the list, 2 s in all.
    w.helper("Apps\\Other1.exe")
    time.sleep(3)
    sets = w.s.affinity_sets(h.linux_pid)
    check(sets.count(0xFFFF0000) == 1, f"a settled list was set again while resident: {[hex(m) for m in sets]}")
    w.probe("setaff", str(h.win_pid), "1")
    w.helper("Apps\\Other2.exe")
    deadline = time.monotonic() + 10
    while w.state(h)[0] != 0xFFFF0000:
        check(time.monotonic() < deadline, "a list changed from outside was not set back")
        time.sleep(0.2)
    time.sleep(2.5)
    sets = w.s.affinity_sets(h.linux_pid)
    check(sets.count(0xFFFF0000) == 2, f"the list changed from outside was not set back exactly once: "
                                       f"{[hex(m) for m in sets]}")
    for pid in w.instances():
        w.probe("kill", str(pid))


CASES = {f.__name__: f for f in (
    plain_match, rules_as_people_write_them, quoted_path_with_comma,
    default_keeps_priority, digits_out_of_order_applied_every_run, absent_processor_refused,
    saved_in_any_encoding, letters_beyond_the_code_page, profile_fails_to_load, second_instance_ends_at_once,
    forged_module_path_gets_nothing, launchers_child_gets_its_class, both_bitnesses, lists_set_exactly_the_named_processors,
    settled_list_is_not_set_again_while_resident, cpu_sets_and_eco_at_the_calls)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--state", required=True)
    ap.add_argument("--program", required=True)
    ap.add_argument("--sleeper", required=True)
    ap.add_argument("--probe", required=True)
    ap.add_argument("--forger", help="the helper that claims another program's path in its module list")
    ap.add_argument("--program32", help="the 32-bit program, for the 64-bit build's cross-bitness case")
    ap.add_argument("--sleeper32")
    ap.add_argument("case", choices=sorted(CASES))
    a = ap.parse_args()
    session = WineSession.load(a.state)
    return run_case(a.case, lambda: World(session, a, a.case), CASES[a.case],
                    on_failure=lambda w: print(w.probe("list")))

if __name__ == "__main__":
    sys.exit(main())
