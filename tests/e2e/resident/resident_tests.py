#!/usr/bin/env python3
"""End-to-end tests of resident mode: MarrowbineJr.exe with no argument beside a profile,
its hidden window and tray icon, the 500 ms monitor, the pause while the main application's
window exists, and the ways out. Driven with jr_window (Win32 view of windows), jr_probe
(process table), xdotool and ImageMagick on the session's own display.

  resident_tests.py --state FILE --program EXE --sleeper EXE --probe EXE --window EXE
                    --mainapp EXE --shots DIR CASE
Exit code 0 pass, 1 fail, 77 skipped.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
sys.path.insert(0, HERE)
from harness import Skip, WineSession, check, run_case  # noqa: E402
from resident_world import (BELOW, CORRECTED_WITHIN_S, HIGH, IMAGE1_AT, IMAGE2_AT, IMAGE3_AT,  # noqa: E402
                            LABEL_FAVS_LOADED, LABEL_PROFILE, NORMAL, PICMAIN, TIMER1, TRAY_ICON_AREA, WM_TIMER,
                            World, client_rect, dark, greenish, pixels, reddish, share, tray_icon_shown, wait_until)


# ----- the cases -----

def good_profile_hides_and_enforces(w):
    digits = "0" if w.ncpu > 1 else None
    w.write_profile([(digits or "0", "High", w.helper_path("target.exe"))])
    w.start_program()
    win = w.wait_in_tray()
    check(w.tray_has_icon(), "no tray icon after the load event")
    time.sleep(1.0)
    check(w.program.poll() is None, "the program did not stay")
    check(not w.info().visible, "the window came back by itself")

    seen = w.start_helper("target.exe")

    def corrected():
        affinity, priority = w.helper_state("target.exe")
        return priority == HIGH and (digits is None or affinity == 1)
    wait_until("the helper's correction", corrected, 5)
    took = time.monotonic() - seen
    check(took <= CORRECTED_WITHIN_S, f"correction took {took:.2f} s")
    check(w.program.poll() is None and not w.info().visible, "window or process changed")
    print(f"corrected {took:.2f} s after the helper appeared; window {win}")


def starts_corrects_and_closes(w):
    """A build's smoke, the 32-bit one under emulation too: into the tray, a favourite
    corrected, and ended by a close, its icon with it."""
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_program()
    w.wait_in_tray()
    w.start_helper("target.exe")
    wait_until("the helper's correction", lambda: w.helper_state("target.exe") == (1, HIGH), 5 + w.allowance)
    w.post(16, 0, 0)  # WM_CLOSE
    w.wait_program_end()
    check(not w.tray_has_icon(), "the icon stayed")


def no_favourites_comes_back_centred(w):
    w.write_profile([])
    w.start_program()
    win = w.wait_shown()
    check(win.centred(), f"not centred: {win}")
    check((win.client_w, win.client_h) == (268, 94), f"client area {win.client_w}x{win.client_h}")
    check(w.tray_has_icon(), "no tray icon")

    # The profile is mended and a match starts; with the timer off nothing notices, not
    # even the main application coming and going, nor ticks that were already queued when
    # the timer stopped (posted here: one while the main application runs, which would
    # pause, one after it closed, which would reset and so reload and enforce).
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_helper("target.exe")
    mainapp = w.start_mainapp()
    time.sleep(1.2)
    w.post(WM_TIMER, TIMER1, 0)
    time.sleep(0.3)
    w.post(16, 0, 0, hwnd=mainapp)
    wait_until("the main application's window to go",
               lambda: w.window("gone", mainapp, 100, ok=(0, 1))[0] == 0, 10)
    w.post(WM_TIMER, TIMER1, 0)
    time.sleep(1.5)
    check(w.helper_state("target.exe")[1] == NORMAL, "the timer ran without favourites")
    shot = w.screenshot("no_favourites.png")
    check(share(pixels(shot, client_rect(win, (200, 6, 60, 8))), reddish) > 0.9, "no trouble picture")

    # Image1 reloads: the all-well picture and the timer.
    w.click(IMAGE1_AT)
    wait_until("the correction after Image1", lambda: w.helper_state("target.exe")[1] == HIGH, 5)
    time.sleep(0.3)
    shot = w.screenshot("no_favourites_mended.png")
    check(share(pixels(shot, client_rect(win, (200, 6, 60, 8))), greenish) > 0.9, "no all-well picture")


def main_application_pauses_and_resumes(w):
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_program()
    w.wait_in_tray()
    mainapp = w.start_mainapp()
    time.sleep(0.6)  # at least one tick sees it
    w.start_helper("target.exe")
    time.sleep(2.0)
    check(w.helper_state("target.exe")[1] == NORMAL, "enforced while the main application ran")

    # The profile changes while paused; the resume must reload it.
    w.write_profile([("0", "Below", w.helper_path("target.exe"))])
    w.post(16, 0, 0, hwnd=mainapp)
    wait_until("the main application's window to go",
               lambda: w.window("gone", mainapp, 100, ok=(0, 1))[0] == 0, 10)
    gone = time.monotonic()
    wait_until("enforcement after the pause", lambda: w.helper_state("target.exe")[1] == BELOW, 5)
    took = time.monotonic() - gone
    check(took <= 2.0, f"resumed {took:.2f} s after the main application closed")
    check(not w.info().visible, "the resume showed the window")


def reset_request_reloads_the_edited_profile(w):
    # A zip install: no key yet, so the copy watches for the one "/reset" makes.
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_program()
    w.wait_in_tray()
    w.start_helper("target.exe")
    wait_until("the first correction", lambda: w.helper_state("target.exe")[1] == HIGH, 5)
    w.write_profile([("0", "Below", w.helper_path("target.exe"))])
    time.sleep(1.5)
    check(w.helper_state("target.exe")[1] == HIGH, "the edited profile was read without a request")
    rc, _, took = w.s.wine([os.path.join(w.prog_dir, "MarrowbineJr.exe"), "/reset"], timeout=60)
    check(rc == 0, f"/reset ended with {rc}")
    sent = time.monotonic()
    wait_until("the edited profile applied", lambda: w.helper_state("target.exe")[1] == BELOW, 5)
    check(w.program.poll() is None and not w.info().visible, "the request changed more than the profile")
    print(f"/reset took {took:.2f} s; the edit applied {time.monotonic() - sent:.2f} s after it ended")


def tray_double_click_restores_centred(w):
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_program()
    w.wait_in_tray()
    for code in (512, 513, 514, 516, 519):  # other mouse events over the icon do nothing
        w.post(512, 1, code)
    time.sleep(0.5)
    win = w.info()
    check(not win.visible and win.iconic, f"another code acted: {win}")
    check(w.window("popup", 300, ok=(0, 1))[0] == 1, "a menu opened")

    w.post(512, 1, 515)
    win = w.wait_shown()
    check(win.centred(), f"not centred: {win}")

    # Image2 minimises into the tray again; a real double-click on the icon brings it back.
    w.click(IMAGE2_AT)
    w.wait_in_tray()
    x, y = TRAY_ICON_AREA[0] + 13, TRAY_ICON_AREA[1] + 9
    w.xdotool("mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "80", "1")
    win = w.wait_shown()
    check(win.centred(), f"not centred after the real double-click: {win}")


def close_while_restoring_ends(w):
    # The double-click's restore lets pending events run; the close queued behind it runs there.
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_program()
    w.wait_in_tray()
    w.window("post", w.hwnd, 512, 1, 515, 16, 0, 0)
    w.wait_program_end()
    check(not w.tray_has_icon(), "the icon stayed")


def taskbar_created_adds_icon_again(w):
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_program()
    w.wait_in_tray()
    check(w.tray_has_icon(), "no icon at start")
    w.window("untray", w.hwnd, 1)
    check(not w.tray_has_icon(), "the icon could not be removed from outside")
    w.window("taskbar-created")
    wait_until("the icon again", w.tray_has_icon, 5)
    win = w.info()
    check(not win.visible and w.program.poll() is None, f"more than the icon changed: {win}")
    # The icon still answers: a double-click on it restores the window.
    w.post(512, 1, 515)
    w.wait_shown()


def tray_codes_at(w, dpi):
    """Both tray codes, from real clicks on the icon, in a program started at that scale."""
    old = w.set_dpi(dpi)
    try:
        w.write_profile([("0", "High", w.helper_path("target.exe"))])
        w.start_program()
        w.wait_in_tray()
    finally:
        w.set_dpi(old)  # the program keeps its scale; later cases start at the usual one
    x, y = TRAY_ICON_AREA[0] + 13, TRAY_ICON_AREA[1] + 9
    w.xdotool("mousemove", str(x), str(y), "click", "3")
    rc, _ = w.window("popup", 5000, ok=(0, 1))
    check(rc == 0, f"a right-click on the icon opened no menu at {dpi} dpi")
    time.sleep(0.3)
    w.xdotool("mousemove", "300", "300", "click", "1")  # a click elsewhere closes it
    wait_until("the menu to close", lambda: w.window("popup", 0, ok=(0, 1))[0] == 1, 5)
    check(not w.info().visible, "the menu showed the window")
    w.xdotool("mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "80", "1")
    win = w.wait_shown()
    check(win.centred(), f"not centred at {dpi} dpi: {win}")
    width = round(4020 / (1440 / dpi))
    check(abs(win.client_w - width) <= 1, f"not at {dpi} dpi: client area {win.client_w} wide, not {width}")


def tray_codes_at_168_dpi(w):
    tray_codes_at(w, 168)


def drag_from_image_button_is_no_tray_event(w):
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_program()
    w.wait_in_tray()
    w.post(512, 1, 515)
    w.wait_shown()
    # The restore shows the window before it centres it: move it only once it is centred.
    wait_until("the window centred", lambda: w.info().centred(), 5)
    w.window("move", w.hwnd, 20, 30)  # away from the centre, where a restore would put it
    win = wait_until("the window moved", lambda: (lambda i: i if i.left == 20 else None)(w.info()), 5)
    for code in (515, 517):
        # Press on Image1, drag with the button held to client x = code, release there.
        x0, y0 = win.client_x + IMAGE1_AT[0], win.client_y + IMAGE1_AT[1]
        w.xdotool("mousemove", str(x0), str(y0))
        time.sleep(0.1)
        w.xdotool("mousedown", "1")
        time.sleep(0.1)
        for x in (x0 + 40, win.client_x + code - 1, win.client_x + code):
            w.xdotool("mousemove", str(x), str(y0))
            time.sleep(0.1)
        time.sleep(0.3)
        check(w.window("popup", 300, ok=(0, 1))[0] == 1, f"a drag to x = {code} opened the menu")
        w.xdotool("mouseup", "1")
        time.sleep(0.5)
        now = w.info()
        check((now.left, now.top, now.visible) == (win.left, win.top, True),
              f"a drag to x = {code} moved or hid the window: {now}")
        check(w.window("popup", 300, ok=(0, 1))[0] == 1, f"a drag to x = {code} opened the menu")


def _ends_and_removes_icon(w, how):
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    w.start_program()
    w.wait_in_tray()
    time.sleep(0.3)
    check(tray_icon_shown(w.screenshot(f"{w.case}_before.png")), "no icon in the notification area")
    how()
    w.wait_program_end()
    check(not w.tray_has_icon(), "the icon stayed")
    time.sleep(0.5)
    check(not tray_icon_shown(w.screenshot(f"{w.case}_after.png")), "the icon is still drawn")


def close_ends_and_removes_icon(w):
    _ends_and_removes_icon(w, lambda: w.post(16, 0, 0))


def exit_jr_ends_and_removes_icon(w):
    def choose_exit():
        # On a busy machine the menu can close again before it is measured: open it anew.
        m = None
        for _ in range(3):
            w.post(512, 1, 517)
            rc, menu = w.window("popup", 5000, ok=(0, 1))
            check(rc == 0, "the menu did not open")
            m = w.info(int(menu))
            if m is not None:
                break
        check(m is not None, "the menu closed before it could be chosen from")
        w.screenshot("exit_jr_menu.png")
        # The menu's only item fills it: a left click in its middle chooses "Exit Jr".
        w.xdotool("mousemove", str((m.left + m.right) // 2), str((m.top + m.bottom) // 2))
        time.sleep(0.2)
        w.xdotool("click", "1")
    _ends_and_removes_icon(w, choose_exit)


def hand_over_launches_and_ends(w):
    w.write_profile([("0", "High", w.helper_path("target.exe"))])
    shutil.copy(w.args.mainapp, os.path.join(w.prog_dir, "Marrowbine64.exe"))
    started = os.path.join(w.prog_dir, "mainapp_started.txt")
    w.start_program()
    w.wait_in_tray()
    w.post(512, 1, 515)
    w.wait_shown()

    def answer(button):
        w.click(IMAGE3_AT)
        box = wait_until("the hand-over box", lambda: w._find("#32770", "Switch to Marrowbine64"), 10)
        w.window("press", box, button)
        wait_until("the box to close", lambda: w.window("gone", box, 100, ok=(0, 1))[0] == 0, 10)

    answer("no")
    time.sleep(1.0)
    check(w.program.poll() is None and not os.path.exists(started), "No did something")

    # Without the main application's file the hand-over ends quietly and enforcement goes on.
    os.rename(os.path.join(w.prog_dir, "Marrowbine64.exe"), os.path.join(w.prog_dir, "away.exe"))
    answer("yes")
    time.sleep(1.0)
    check(w.program.poll() is None and w.info().visible, "a failed launch changed the window")
    check(not w.windows_of_program("#32770"), "a message was shown")
    check(w.tray_has_icon(), "the failed hand-over removed the icon")
    w.start_helper("target.exe")
    wait_until("enforcement after the failed hand-over", lambda: w.helper_state("target.exe")[1] == HIGH, 5)

    os.rename(os.path.join(w.prog_dir, "away.exe"), os.path.join(w.prog_dir, "Marrowbine64.exe"))
    answer("yes")
    w.wait_program_end()
    wait_until("the main application's start", lambda: os.path.exists(started), 10)
    with open(started) as f:
        show, folder = f.read().split("\n")[:2]
    check(show == "4", "not launched with SW_SHOWNOACTIVATE")
    check(folder.lower() == (w.win_root + "\\prog").lower(), f"started in {folder}, not its own folder")
    check(not w.tray_has_icon(), "the icon stayed")
    mainapp = wait_until("the main application's window",
                         lambda: w._find("ThunderRT6FormDC", "Marrowbine64"), 10)
    w.post(16, 0, 0, hwnd=mainapp)


def tooltip_over_image2(w):
    w.write_profile([])  # the window comes back by itself
    w.start_program()
    win = w.wait_shown()

    def tooltips_shown():
        rows = [line.split("\t") for line in w.window("list")[1].splitlines()]
        return [r for r in rows if len(r) >= 4 and r[3] == "tooltips_class32" and r[2] == "1"
                and int(r[1]) == win.pid]
    check(not tooltips_shown(), "a tooltip before pointing at anything")
    x, y = win.client_x + IMAGE2_AT[0], win.client_y + IMAGE2_AT[1]
    w.xdotool("mousemove", str(x - 3), str(y - 3))
    time.sleep(0.1)
    w.xdotool("mousemove", str(x), str(y))
    wait_until("the tooltip of Image2", tooltips_shown, 5)
    # Over a label there is none.
    w.xdotool("mousemove", str(win.client_x + 60), str(win.client_y + 18))
    time.sleep(0.1)
    w.xdotool("mousemove", str(win.client_x + 62), str(win.client_y + 18))
    wait_until("the tooltip to go", lambda: not tooltips_shown(), 5)
    time.sleep(1.5)
    check(not tooltips_shown(), "a tooltip over a label")


def screenshots(w):
    """The shown window in both states, checked with pixel probes, saved for docs/."""
    wide = w.ncpu < 10  # digit 9 names an absent processor: the set is refused
    if not wide:
        raise Skip("every CPU digit names a processor here")
    w.write_profile([("0", "High", w.helper_path("ok.exe")), ("9", "High", w.helper_path("bad.exe"))])
    w.start_helper("ok.exe")
    w.start_program()
    w.wait_in_tray()
    time.sleep(1.2)
    w.post(512, 1, 515)
    win = w.wait_shown()
    time.sleep(0.5)
    shot = w.screenshot("all_well_full.png")
    frame = (win.left, win.top, win.width, win.height)
    pic = pixels(shot, client_rect(win, (180, 6, 80, 8)))  # right of the labels, above the buttons
    check(share(pic, greenish) > 0.9, "PicMain does not show the all-well picture")
    check(share(pixels(shot, client_rect(win, PICMAIN)), greenish) > 0.5, "the all-well picture is not mostly green")
    check(share(pixels(shot, client_rect(win, LABEL_FAVS_LOADED)), dark) > 0.05, "no text at LblFavsLoaded")
    check(share(pixels(shot, client_rect(win, LABEL_PROFILE)), dark) > 0.05, "no text at LblProfileUsed")
    check(share(pixels(shot, client_rect(win, (0, 88, 268, 6))), lambda p: p == (255, 255, 255)) > 0.9,
          "the window's background is not white")
    crop(shot, frame, os.path.join(w.args.shots, "resident-all-well.png"))

    w.start_helper("bad.exe")

    def trouble_shot():  # a loaded machine may take a few scans' time to show it
        shot = w.screenshot("trouble_full.png")
        return shot if share(pixels(shot, client_rect(win, (180, 6, 80, 8))), reddish) > 0.5 else None
    shot = wait_until("PicMain to show the trouble picture after a failed set", trouble_shot, 10)
    check(share(pixels(shot, client_rect(win, PICMAIN)), reddish) > 0.5, "the trouble picture is not mostly red")
    check(share(pixels(shot, client_rect(win, LABEL_FAVS_LOADED)), dark) > 0.05, "no text over the trouble picture")
    crop(shot, frame, os.path.join(w.args.shots, "resident-trouble.png"))


def crop(shot, rect, out):
    x, y, wd, ht = rect
    subprocess.run(["convert", shot, "-crop", f"{wd}x{ht}+{x}+{y}", "+repage", out], check=True)


CASES = {f.__name__: f for f in (
    good_profile_hides_and_enforces, starts_corrects_and_closes, no_favourites_comes_back_centred,
    main_application_pauses_and_resumes, reset_request_reloads_the_edited_profile, tray_double_click_restores_centred,
    taskbar_created_adds_icon_again, close_ends_and_removes_icon, close_while_restoring_ends, exit_jr_ends_and_removes_icon,
    hand_over_launches_and_ends, tooltip_over_image2, screenshots, tray_codes_at_168_dpi,
    drag_from_image_button_is_no_tray_event)}

# Under Wine a scale other than 96 dpi outlives the program started at it: later programs'
# window coordinates come out scaled. Such a case gets a Wine session of its own.
OWN_SESSION_CASES = {"tray_codes_at_168_dpi"}
OWN_SESSION_DISPLAY_OFFSET = 100


def main():
    ap = argparse.ArgumentParser()
    for name in ("state", "program", "sleeper", "probe", "window", "mainapp", "shots"):
        ap.add_argument("--" + name, required=True)
    ap.add_argument("case", choices=sorted(CASES))
    args = ap.parse_args()
    if not os.path.isfile(args.program):
        print(f"SKIP {args.case}: {args.program} is not built (the win32 preset builds it)")
        return 77
    session = WineSession.load(args.state)
    own = None
    try:
        if args.case in OWN_SESSION_CASES:
            own = WineSession(session.display + OWN_SESSION_DISPLAY_OFFSET).start()
            session = own
        return run_case(args.case, lambda: World(session, args, args.case), CASES[args.case])
    finally:
        if own:
            own.stop()

if __name__ == "__main__":
    sys.exit(main())
