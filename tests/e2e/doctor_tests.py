#!/usr/bin/env python3
"""End-to-end tests of the profile doctor: MarrowbineJrCheck(64).exe "My Favs 2" beside a
profile, against sleeping helper processes, checked with jr_probe and taskset.

  doctor_tests.py --state FILE --doctor EXE --sleeper EXE --probe EXE CASE
Exit code 0 pass, 1 fail, 77 skipped (the machine cannot show the case).
"""
import argparse
import collections
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (SKIP, Failure, Skip, WineSession, _is_pe32_plus, check, run_case, runs_32bit_programs,  # noqa: E402
                     start_allowance)
from oneshot_world import HIGH, World, expect_restricted_dll_search, fav, need_cpus  # noqa: E402


class DoctorWorld(World):
    def _install_program(self):
        d = self.unix("prog")
        os.makedirs(d)
        self.doctor = os.path.join(d, os.path.basename(self.args.doctor))
        shutil.copy(self.args.doctor, self.doctor)
        if self.args.program:
            shutil.copy(self.args.program, os.path.join(d, "MarrowbineJr.exe"))
        return d

    def run_doctor(self, *args, status):
        allowance = start_allowance(self.doctor)
        rc, raw, elapsed = self.s.wine_bytes([self.doctor] + list(args), cwd=self.prog_dir, timeout=60 + allowance)
        out = raw.decode(errors="replace").replace("\r", "")
        check(rc == status, f"the doctor {' '.join(args)} exited with {rc}, expected {status}:\n{out}")
        check(elapsed < 20 + allowance, f"the doctor took {elapsed:.1f} s")
        # Redirected, the report is UTF-8 with CR LF line ends: what a file opened in Notepad needs.
        check(raw.endswith(b"\r\n") and raw.count(b"\n") == raw.count(b"\r\n") == raw.count(b"\r"),
              f"the report's lines do not all end in CR LF: {raw[:200]!r}")
        try:
            raw.decode("utf-8")
        except UnicodeDecodeError as e:
            raise Failure(f"the report is not UTF-8: {e}")
        return out

    def program_file(self, rel):
        """An existing program file that does not run."""
        path = self.unix(rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copy(self.args.sleeper, path)
        return self.win(rel)


def has(out, text):
    check(text in out, f"expected {text!r} in:\n{out}")


def warned_lines(out):
    """Warned lines, but for who can change the program: under Wine the user owns every file."""
    return collections.Counter(int(m.group(1)) for m in re.finditer(r"^line (\d+): (.*)$", out, re.M)
                               if not re.match(r'Path (pattern )?".*": any user (can|may be able to) ', m.group(2)))


# ----- the cases -----

def names_the_failing_line(w):
    tool = w.program_file("Apps\\Tool.exe")
    comma = fav("1", "Low", w.win("Apps, Old\\tool.exe"))
    w.profile("My Favs 2", [fav("0", "High", tool), comma])
    out = w.run_doctor("My Favs 2", status=1)
    has(out, f"Profile: {w.prog_dir_win}\\My Favs 2\n")
    has(out, f"Verdict: no favourite loads: line 3: a comma outside double quotes cuts the line at column "
             f"{comma.index(',') + 1};")
    w.profile("My Favs 2", [fav("0", "High", tool), "x\t0\tHigh"])
    out = w.run_doctor("--file", f"{w.prog_dir_win}\\My Favs 2", status=1)
    has(out, "Verdict: no favourite loads: line 3 has 3 fields where a favourite needs four")
    # A device where the profile should be: refused before a byte is read.
    out = w.run_doctor("--file", "NUL", status=1)
    has(out, "the file cannot be read: it is not a file on a disk (a pipe or a device)")
    out = w.run_doctor("--bogus", status=2)
    has(out, 'unknown option "--bogus"')
    expect_restricted_dll_search(w.s, [w.doctor, "--help"], w.prog_dir)


def warns_on_the_described_lines_only(w):
    need_cpus(w, 2)
    if w.ncpu > 9:
        raise Skip(f"every digit names a processor of this {w.ncpu}-processor machine")
    p = [w.program_file(f"Apps\\P{k}.exe") for k in range(8)]
    w.program_file("Cased\\Tool.exe")
    w.program_file("Pat\\x.exe")
    with open(w.unix("Apps\\readme.txt"), "w") as f:
        f.write("not a program")
    records = [
        fav("0", "High", p[0]),                    # 2: fine
        fav("10", "Normal", p[1]),                 # 3: out of order
        fav(str(max(w.ncpu, 3)), "High", p[2]),    # 4: a processor the machine lacks
        fav("0x", "Low", p[3]),                    # 5: not a digit
        fav("", "Low", p[4]),                      # 6: no digits
        fav("0", "high ", p[5]),                   # 7: fine: words in any case, blanks at the ends ignored
        fav("0", "Real", p[6]),                    # 8: needs the rights
        fav("1", "Low", p[0]),                     # 9: the Path of line 2 again
        fav("0", "Low", w.win("Cased\\TOOL.EXE")),  # 10: letter case never counts
        fav("0", "High", w.win("Apps\\Gone.exe")),  # 11: no such file
        fav("01", "Default", p[7]),                # 12: fine
        fav("0", "Above", w.win("Pat\\*.exe")),     # 13: a pattern no running program matches
        fav("0", "Low", w.win("Pat\\x.exe")),       # 14: line 13 takes its program
        fav("0", "Low", "**\\obs64.exe"),           # 15: refused
        # Wine lets every user write everywhere: the doctor looks on only after warning of a
        # favourite that raises its program.
        fav("0", "High", w.win("Apps\\Game.lnk")),   # 16: a shortcut
        fav("0", "High", w.win("Apps")),              # 17: a folder
        fav("0", "High", w.win("Apps\\readme.txt")), # 18: no program
        fav("0", "High", w.win("Apps\\P7")),         # 19: the .exe left out
    ]
    w.profile("My Favs 2", records)
    out = w.run_doctor("My Favs 2", status=0)
    # Wine gives the user every folder (and Windows users C:\jr): having warned of one, the doctor
    # looks at nothing below it, so lines 11 and 17 to 19 say only that.
    warned = warned_lines(out)
    check(warned == collections.Counter([3, 4, 5, 6, 8, 9, 14, 15, 16]), f"warned lines {sorted(warned.elements())}:\n{out}")
    for n in (11, 17, 18, 19):
        check(re.search(rf'^line {n}: Path ".*": any user can replace this program, .*: the folder "', out, re.M),
              f"line {n} was not warned of its folder:\n{out}")
    if w.s.under_wine:
        has(out, f'line 2: Path "{p[0]}": any user can replace this program, and it gets High')
        # The program a pattern takes is still checked, with the pattern's class.
        has(out, f'line 14: Path "{w.win("Pat")}\\x.exe": any user can replace this program, and it gets Above')
    has(out, 'line 3: CPU digits "10" are out of order or repeated')
    has(out, 'line 9: this Path is already named on line 2')
    has(out, "line 14: this Path is never used: the pattern on line 13 matches its program first")
    has(out, 'line 15: Path pattern "**\\obs64.exe" is refused and matches nothing')
    has(out, "line 16: Path \"" + w.win("Apps\\Game.lnk") + "\" is a shortcut; name the program it starts")
    has(out, "Pattern \"" + w.win("Pat\\*.exe") + "\" (line 13) matches no running program now.\n")
    has(out, "Verdict: 18 favourites load.")


def dry_run_lists_matches_and_changes_nothing(w):
    need_cpus(w, 2)
    a = w.helper("Apps\\Tool.exe")
    b = w.helper("Apps\\Calm.exe")
    full = "".join(str(d) for d in range(min(w.ncpu, 8)))
    w.profile("My Favs 2", [fav("0", "High", a.win_path), fav(full, "Default", b.win_path)])
    before = (w.state(a), w.state(b))
    out = w.run_doctor("My Favs 2", status=0)
    now = f'CPUs 0-{w.ncpu - 1} ("{full}")'
    has(out, f'pid {a.win_pid}: {a.win_path} (line 2): {now}, priority Normal: '
             f'a scan would set the affinity to processor 0 ("0") and set the priority to High\n')
    has(out, f'pid {b.win_pid}: {b.win_path} (line 3): {now}, priority Normal: a scan changes nothing\n')
    check(re.search(r"^Processes: \d+ listed, 2 matching a favourite, \d+ whose path could not be read\.$", out, re.M),
          f"no count of the processes:\n{out}")
    check((w.state(a), w.state(b)) == before, "the doctor changed a process")
    w.expect_untouched(a)
    w.expect_untouched(b)


def explains_lists_on_a_machine_of_many_processors(w):
    """Under Wine the machine is of one kind: the doctor names the count, P as every
    processor, E as none, and compares a settled list as the pass does."""
    if not w.s.cpus:
        raise Skip("needs a session of many processors (harness.py setup --cpus N)")
    game = w.helper("Apps\\Game.exe")
    w.probe("setaff", str(game.win_pid), str(0xFF00))
    p = [w.program_file(f"Apps\\P{k}.exe") for k in range(4)]
    w.profile("My Favs 2", [fav("8-15", "Default", game.win_path), fav("P", "Default", p[0]),
                            fav("E", "Default", p[1]), fav("15-8", "Default", p[2]),
                            fav("12", "Default", p[3])])
    out = w.run_doctor("My Favs 2", status=0)
    has(out, f'Machine: {w.ncpu} processors; CPU digits name processors 0 to 7 here, one digit each, and a list such as '
             f'"8-{w.ncpu - 1}" the others (the program reads back CPU digits 0 to 7).\n')
    has(out, '  line 2: CPUs "8-15": processors 8-15\n')
    has(out, f'  line 3: CPUs "P": processors 0-{w.ncpu - 1}\n')
    has(out, '  line 4: CPUs "E": this PC has no efficiency processors; the processors are left alone\n')
    has(out, 'line 5: CPUs "15-8": the range "15-8" is written backwards (write "8-15")')
    has(out, 'line 6: CPUs "12" are CPU digits, one processor each: processors 1-2; for processor 12 alone write "12;"')
    has(out, f"pid {game.win_pid}: {game.win_path} (line 2): CPUs 8-15, priority Normal: a scan changes nothing\n")


def catches_what_people_write(w):
    tool = w.program_file("Caf\u00e9 \u00dcber\\tool.exe")
    # Notepad saved "My Favs 2.txt"; Explorer hid the extension.
    w.profile("My Favs 2.txt", [fav("0", "High", tool)], encoding="utf-8")
    out = w.run_doctor("My Favs 2", status=1)
    has(out, 'it does not exist; "My Favs 2.txt" is there (Notepad adds .txt, and Explorer hides it): '
             'rename it to "My Favs 2".')
    # The program's own command line, quoted as people quote it, read as the program reads it.
    for args in (("My Favs 2", "/exit"), ("/My Favs 2", "/exit"), ("/exit", "/My Favs 2")):
        out = w.run_doctor(*args, status=1)
        has(out, f'Profile: {w.prog_dir_win}\\My Favs 2\n')
        has(out, '] reads: one pass (apply the profile once, then exit), profile "My Favs 2", Enforce:Disabled '
                 '(no periodic re-enforcement')
    out = w.run_doctor("/Gaming /exti", "/enforce:5", status=1)
    has(out, '"/Gaming" does nothing: a profile name must contain "my fav"; name the file "My Favs Gaming" '
             'and write /My Favs Gaming\n')
    has(out, '"/exti" does nothing; likely meant /exit\n')
    has(out, '"/enforce:5" sets 10 s, the least\n')
    out = w.run_doctor(f"{w.prog_dir_win}\\My Favs 2", status=1)
    has(out, "to check a profile elsewhere, use --file")

    tool2, tool3 = w.program_file("Caf\u00e9 \u00dcber\\tool2.exe"), w.program_file("Caf\u00e9 \u00dcber\\tool3.exe")
    tool4 = w.program_file("Caf\u00e9 \u00dcber\\tool4.exe")
    records = [
        fav(" 0", "High", tool),                                   # 2: a blank before the digits
        fav("0", "High ", tool2),                                  # 3: fine: blanks around the word are ignored
        fav("0", "Low", tool + " "),                               # 4: a blank after the path
        fav("0", "Low", f'"{tool4}"'),                             # 5: Copy as path: loads without the quotes
        fav("0", "Low", tool.replace("\\", "/")),                 # 6: forward slashes
        fav("0", "Low", "%SystemRoot%\\notepad.exe"),              # 7: a name the program expands
        fav("0", "Low", tool3),                                    # 8: fine
    ]
    system_root = os.environ.get("SystemRoot", "C:\\windows")  # Wine's, as the tests run on Linux
    for encoding in ("utf-16", "utf-8-sig"):
        w.profile("My Favs 2", records, encoding=encoding)
        out = w.run_doctor("My Favs 2", status=0)
        has(out, "Encoding: UTF-16 little-endian" if encoding == "utf-16" else "Encoding: UTF-8 with byte-order mark")
        warned = warned_lines(out)
        check(warned == collections.Counter([2, 4, 6]), f"warned lines {sorted(warned.elements())}:\n{out}")
        has(out, 'line 2: CPU digits " 0" have a blank at an end')
        has(out, f'line 4: Path "{tool} " has a blank at its end')
        has(out, f'line 6: Path "{tool.replace(chr(92), "/")}" has forward slashes; Windows names running programs '
                 f'with backslashes: write "{tool}"')
        has(out, f'Note: line 7: %SystemRoot%\\notepad.exe is {system_root}\\notepad.exe here.')
    # ANSI keeps a "?" of a letter its code page cannot hold.
    w.profile("My Favs 2", [fav("0", "Low", w.win("\u0418\\game.exe"))], encoding="cp1252")
    out = w.run_doctor("My Favs 2", status=0)
    has(out, "Encoding: ANSI")
    has(out, "save the profile as UTF-8")
    # No header: the favourite on line 1 is read as the header.
    w.profile("My Favs 2", [], header=fav("0", "Low", tool))
    out = w.run_doctor("My Favs 2", status=1)
    has(out, "the file holds its header (line 1) and no favourite; line 1 looks like a favourite")


def reaches_no_share_or_pipe(w):
    """A favourite on a share or a pipe gets a warning and no file-system call (Wine's relay trace)."""
    tool = w.program_file("Apps\\Tool.exe")
    share, pipe = "\\\\jrserver\\jrshare\\tool.exe", "\\\\?\\pipe\\jr_doctor_pipe"
    # Tool.exe raises its program, so under Wine, where every user may write, the doctor warns and looks on.
    w.profile("My Favs 2", [fav("0", "High", share), fav("0", "High", pipe), fav("0", "High", tool)])
    out = w.run_doctor("My Favs 2", status=0)
    has(out, f'line 2: Path "{share}" is on a share or a network drive: the doctor does not look there')
    has(out, f'line 3: Path "{pipe}" names a device or a pipe, not a file on a drive: refused')
    calls = w.s.traced_calls([w.doctor, "My Favs 2"], ("CreateFileW GetFileAttributesW GetFileAttributesExW FindFirstFileW "
                             "FindFirstFileExW GetLongPathNameW GetFinalPathNameByHandleW GetBinaryTypeW "
                             "GetNamedSecurityInfoW GetVolumeInformationW").split(), cwd=w.prog_dir)
    trace = "\n".join(calls)
    # The names asked show: the profile's, opened with identification-level security; and nothing
    # below C:\, which Wine lets the user change, of Tool.exe's path once the doctor warned of it.
    check(any("CreateFileW" in c and "My Favs 2" in c and "08110000" in c for c in calls),
          f"the profile is not opened with its security flags:\n{trace}")
    check(any("GetNamedSecurityInfoW" in c and 'L"C:\\\\"' in c for c in calls) and "Tool.exe" not in trace,
          f"the doctor looked below a folder users can write:\n{trace}")
    for name in ("jrserver", "jr_doctor_pipe"):
        check(name not in trace.lower(), f"a file-system call reached {name}:\n{trace}")


def list_lines_apply(w):
    need_cpus(w, 2)
    h = w.helper("Apps\\Caf\u00e9, \u00dcber\\tool.exe")
    other = w.helper("Apps\\plain.exe")
    before = (w.state(h), w.state(other))
    rc, raw, _ = w.s.wine_bytes([w.doctor, "--list"], cwd=w.prog_dir, timeout=60)
    check(rc == 0, f"--list exited with {rc}")
    check(raw.count(b"\n") == raw.count(b"\r\n"), f"--list lines do not end in CR LF: {raw[:200]!r}")
    lines = raw.decode("utf-8").split("\r\n")
    full = "".join(str(d) for d in range(w.ncpu)) if w.ncpu <= 8 else None
    # Its fifth field notes the process and its parent's identifier.
    mine = next((line for line in lines if line.startswith(f'"tool.exe\t{full}\tDefault\t{h.win_path}\tpid {h.win_pid}')),
                None) if full else None
    check(not full or mine, f"no line for tool.exe, pid {h.win_pid}, in:\n{raw.decode()}")
    # After the header, a note names the folders a %NAME% stands for.
    paths = [line.strip('"').split("\t")[3] for line in lines[1:-1] if not line.startswith("#")]
    # In the order of the folders they name: a %NAME% form stands where its folder sorts.
    written_out = [path for path in paths if not path.startswith("%")]
    check(len(paths) == len(set(paths)) and written_out == sorted(written_out),
          f"the paths are not sorted, one each: {paths}")
    check((w.state(h), w.state(other)) == before, "--list changed a process")
    # Redirected into a profile as it is, it loads, and nothing listed would change.
    with open(os.path.join(w.prog_dir, "My Favs 2"), "wb") as f:
        f.write(raw)
    out = w.run_doctor("My Favs 2", status=0)
    has(out, "Encoding: UTF-8.")
    has(out, f'pid {h.win_pid}: {h.win_path} (line {lines.index(mine) + 1 if mine else 0}): ')
    check(not re.search(r"^pid .*: a scan would", out, re.M), f"a listed line would change something:\n{out}")
    # The helper's line pasted into a profile, with other processors and a priority, applies.
    line = next(line for line in lines if h.win_path + "\t" in line)
    fields = line.strip('"').split("\t")
    w.profile("My Favs 2", ['"' + "\t".join([fields[0], "1", "High", fields[3]]) + '"'], encoding="utf-8")
    rc, _, _ = w.s.wine([os.path.join(w.prog_dir, "MarrowbineJr.exe"), "/My Favs 2 /exit"], cwd=w.prog_dir,
                        timeout=60)
    check(rc == 0, f"the program ended with {rc}")
    w.expect(h, 0x2, HIGH)
    w.expect_untouched(other)


def tries_each_placement(w):
    """Wine 8 has no call to read CPU sets and refuses the power set: the report says exactly
    that, everything else works, on whoami.exe of the system folder, started suspended, which
    ends with the doctor."""
    if not w.s.under_wine:
        raise Skip("it reads Wine 8's answers; on Windows the workflow's own --try step reads Windows' own")
    out = w.run_doctor("--try", status=1)
    has(out, "Try: each kind of placement, on C:\\windows\\system32\\whoami.exe (pid ")
    last = w.ncpu - 1
    lets = "This PC lets the program "
    has(out, f"{lets}set a hard affinity, processor {last} alone and back: yes (SetProcessAffinityMask).\n")
    for word in ("Low", "Below", "Normal", "Above", "High"):
        has(out, f"{lets}set the priority {word}: yes (SetPriorityClass).\n")
    has(out, f'{lets}set CPU sets ("~"), processor {last} of group 0 alone and back: yes, but it cannot be read back '
             "here (GetProcessDefaultCpuSets is missing).\n")
    for what in ("set efficiency mode (+Eco, EcoQoS on)",
                 "keep a program from being throttled (+NoEco, EcoQoS off, timer resolution kept)",
                 "keep a program from being throttled as Windows 10 takes it (+NoEco without the timer-resolution flag)"):
        has(out, f"{lets}{what}: no: Windows refuses it (SetProcessInformation: error 1: ")
    has(out, "Result: 3 sets this Windows has did not work: leave +Eco and +NoEco out of this PC's profile.\n")
    for _ in range(30):  # the job ends it as the doctor's handle closes; Wine may take a moment
        left = [pid for pid in os.listdir("/proc") if pid.isdigit() and b"whoami.exe" in _proc_file(pid, "cmdline")
                and f"WINEPREFIX={w.s.prefix}\0".encode() in _proc_file(pid, "environ")]
        if not left:
            break
        time.sleep(0.1)
    check(not left, f"the program tried on outlived the doctor: {left}")


def _proc_file(pid, name):
    try:
        with open(f"/proc/{pid}/{name}", "rb") as f:
            return f.read()
    except OSError:
        return b""


CASES = {f.__name__: f for f in (names_the_failing_line, warns_on_the_described_lines_only,
                                 dry_run_lists_matches_and_changes_nothing, catches_what_people_write,
                                 list_lines_apply, reaches_no_share_or_pipe,
                                 explains_lists_on_a_machine_of_many_processors, tries_each_placement)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--state", required=True)
    ap.add_argument("--doctor", required=True)
    ap.add_argument("--sleeper", required=True)
    ap.add_argument("--probe", required=True)
    ap.add_argument("--program", help="the program of the same build, for the cases that run it")
    ap.add_argument("case", choices=sorted(CASES))
    a = ap.parse_args()
    if not _is_pe32_plus(a.doctor) and not runs_32bit_programs():
        print(f"SKIP {a.case}: this kernel runs no 32-bit programs")
        return SKIP
    if not os.path.isfile(a.doctor):
        print(f"SKIP {a.case}: {a.doctor} is not built (the win32 preset builds it)")
        return SKIP
    session = WineSession.load(a.state)

    def world():
        w = DoctorWorld(session, a, "doctor_" + a.case)
        w.prog_dir_win = w.win("prog")
        return w

    return run_case(a.case, world, CASES[a.case])

if __name__ == "__main__":
    sys.exit(main())
