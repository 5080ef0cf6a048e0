#!/usr/bin/env python3
"""Tapperbird's end-to-end behaviours, written once as scenarios over a driver per desktop: the
Linux program on X11 (x11_driver.py) or Tapperbird.exe under Wine (wine_driver.py), both on the
private desktop of desktop.py, and checked pixel by pixel against the built frames.

  tapperbird_e2e.py x11|wine suite|soak|perf|no-display --program P [--assets DIR] [--artifacts DIR]
      [--seconds N] [--compositor (x11)] [--probe EXE --unit EXE (wine)]
"""

import argparse
import os
import random
import subprocess
import sys
import time

import desktop
from desktop import Failure, check, cpu_seconds, log, perch, poll, proc_kib, wait_for

BIRD_W, BIRD_H = 43, 71  # pixels, whatever the screen's DPI
# Three of the bird's colours that appear nowhere else on the test desktops.
BIRD_ONLY = ((255, 0, 0), (128, 0, 0), (159, 159, 127))
SCENARIOS = []


def scenario(only=None):
    """Adds the function to the suite, for every desktop or only the one named."""
    def add(function):
        SCENARIOS.append((function, only))
        return function
    return add


# ---- what the scenarios share -----------------------------------------------------------------

def wait_perched(d, window, seconds=5):
    """Waits for the bird, at its own size, at the window's perch; returns the perch point."""
    def perched():
        x, y = perch(*d.frame_rect(window), d.width)
        return d.bird_rect() == (x, y, x + BIRD_W, y + BIRD_H) and (x, y)
    point = poll(perched, seconds)
    check(point, f"the bird at {d.bird_rect()}, not at the perch "
          f"{perch(*d.frame_rect(window), d.width)} of {window}")
    return point


def visible_frame(d, point):
    return d.shot(crop=(*point, BIRD_W, BIRD_H)).frame_at(d.frames, *point)


def check_drawn(d, window, name, baseline=None, within=1.0):
    """The bird perched on the window and drawn there: one frame's opaque pixels unblended at the
    perch and its colours nowhere else; against a baseline without the bird, only those pixels
    changed, so every transparent one shows what lies beneath."""
    x, y = point = wait_perched(d, window)
    shots = []  # the window system may report the move a moment before the pixels show
    frame = poll(lambda: shots.append(d.shot()) or shots[-1].frame_at(d.frames, *point), within)
    shot = shots[-1]
    d.save(shot, name)
    check(frame, f"no frame's opaque pixels show unblended at {point} ({name})")
    stray = shot.find_colours(BIRD_ONLY, (x, y, x + BIRD_W, y + BIRD_H))
    if baseline is not None:
        stray += [(sx, sy) for sx, sy in shot.changed(baseline)
                  if (sx - x, sy - y) not in d.frames[frame - 1].opaque]
    check(not stray, f"the bird at {point} shows beyond frame {frame}'s pixels: {stray[:5]}")
    return point


def check_hidden(d, name, outside=(0, 0, 0, 0)):
    """The bird off the screen, and none of its colours left on it (except inside `outside`)."""
    def hidden():
        left, top, right, bottom = d.bird_rect()
        return left >= d.width or top >= d.height or right <= 0 or bottom <= 0
    wait_for(hidden, 5, f"the bird is still on the screen at {d.bird_rect()}")
    stray = d.shot(name).find_colours(BIRD_ONLY, outside)
    check(not stray, f"bird colours still on the screen at {stray[:5]} ({name})")


def open_menu(d, button=3):
    x, y, _, _ = d.bird_rect()
    gx, gy = d.always_opaque[len(d.always_opaque) // 2]
    d.click(x + gx, y + gy, button)
    left, top, right, bottom = wait_for(d.menu_rect, 5, f"button {button} opened no menu")
    # At the pointer; near a screen edge flipped to its other side or pushed against the edge.
    px, py = x + gx, y + gy
    check(min(abs(left - px), abs(right - px), abs(right - d.width)) <= 1 and
          min(abs(top - py), abs(bottom - py), abs(bottom - d.height)) <= 1,
          f"menu at {(left, top, right, bottom)}, pointer at {(px, py)}")
    time.sleep(0.2)


def choose(d, command):
    """Opens the menu and clicks the command, found by the menu's two separator lines:
    About | Run at Startup | Donate, Exit."""
    open_menu(d)
    left, top, right, bottom = d.menu_rect()
    shot, separators = d.shot(), []
    for y in range(top + 2, bottom - 2):
        if (len({shot.at(x, y) for x in range(left + 6, right - 6)}) == 1 and
                shot.at(left + 6, y) != shot.at(left + 6, top + 3)):
            if separators and y - separators[-1][-1] == 1:
                separators[-1].append(y)
            else:
                separators.append([y])
    check(len(separators) == 2, f"expected two separators in the menu, saw {separators}")
    s1, e1, s2 = separators[0][0], separators[0][-1], separators[1][0]
    y = {"about": (top + s1) // 2, "start": (e1 + s2) // 2,
         "donation": s2 + (bottom - s2) // 4, "exit": s2 + 3 * (bottom - s2) // 4}[command]
    d.click((left + right) // 2, y)
    wait_for(lambda: d.menu_rect() is None, 5, f"the menu stayed open after {command}")


def exit_program(d):
    choose(d, "exit")
    code = d.program.wait(timeout=5)  # TimeoutExpired: Exit did not end the program
    check(code == 0, f"exit code {code}")


def open_about(d):
    choose(d, "about")
    about = wait_for(d.about, 5, "no About window")
    wait_for(lambda: d.foreground() == about, 5, "the About window is not the foreground")
    time.sleep(0.5)
    return about


# ---- the suite, in the order a user meets it ------------------------------------------------

@scenario("wine")
def realisation_checks(d):
    d.run_unit_checks()


@scenario()
def first_run_registers_at_startup(d):
    d.w1 = d.open_window("first", 100, 100, 302, 425)
    time.sleep(0.5)
    d.baseline = d.shot("00-baseline")
    d.launch()
    entry = wait_for(d.startup_entry, 10, "the first run wrote no startup entry")
    check(entry == d.expected_entry, f"startup entry {entry!r}, not {d.expected_entry!r}")
    check(d.first_run_marker(), "the first run left no marker")


@scenario()
def perches_on_the_foreground_window_and_follows_it(d):
    check_drawn(d, d.w1, "01-perched", d.baseline)
    d.move(d.w1, 200, 150)
    check_drawn(d, d.w1, "02-moved")
    d.resize(d.w1, 362, 325)
    check_drawn(d, d.w1, "03-resized")


@scenario()
def flies_to_a_new_window_rests_then_pecks(d):
    d.w2 = d.open_window("second", 600, 250, 252, 325)
    activated = time.time()
    point = wait_perched(d, d.w2, 2)
    wait_for(lambda: visible_frame(d, point), 1, f"the bird is not drawn at {point}")
    rests = []
    while time.time() - activated < 2.5:
        rests.append(visible_frame(d, point))
    check(rests and all(f == 1 for f in rests), f"frames while settling: {rests}")
    wait_for(lambda: visible_frame(d, point) not in (None, 1), 18,
             "the bird never pecked after settling", step=0.05)


@scenario()
def a_press_on_a_transparent_pixel_passes_through(d):
    d.activate(d.w1)
    x, y = wait_perched(d, d.w1)
    right = d.frame_rect(d.w1)[2]
    through = [(i, j) for (i, j) in d.never_opaque if x + i < right - 2 and 30 < j < 60]
    check(through, "no transparent pixel of the bird lies over the window")
    px, py = x + through[0][0], y + through[0][1]
    before = d.presses(d.w1)
    d.click(px, py)
    time.sleep(0.5)
    check(d.menu_rect() is None, f"a press on the transparent pixel {through[0]} opened the menu")
    if before is not None:
        check((px, py) in d.presses(d.w1)[len(before):],
              f"the window beneath did not get the press at {(px, py)}")


@scenario()
def every_button_opens_the_menu(d):
    for button in (1, 2, 3):
        wait_perched(d, d.w1)
        open_menu(d, button)
        d.shot(f"04-menu-button{button}")
        left, _, _, bottom = d.frame_rect(d.w1)
        d.click(left + 40, bottom - 40)  # a press into the window beneath dismisses it
        wait_for(lambda: d.menu_rect() is None, 5, "the menu did not close")
        wait_for(lambda: d.foreground() == d.w1, 3, f"after the menu the foreground is "
                 f"{d.foreground()}")
    check(d.startup_entry() == d.expected_entry, "the menu changed the startup entry")


@scenario()
def run_at_startup_removes_and_restores_the_entry(d):
    choose(d, "start")
    wait_for(lambda: d.startup_entry() is None, 5, "unticking kept the startup entry")
    choose(d, "start")
    wait_for(lambda: d.startup_entry() == d.expected_entry, 5,
             f"ticking wrote {d.startup_entry()!r}")


@scenario("x11")
def a_disabled_autostart_entry_is_ticked_back_on(d):
    d.disable_entry()  # switched off in the session settings: it counts as absent
    choose(d, "start")
    wait_for(lambda: d.startup_entry() == d.expected_entry, 5,
             "a disabled entry was not rewritten enabled")


@scenario()
def about_sends_the_bird_away_until_it_closes(d):
    about = open_about(d)
    left, top, right, bottom = d.frame_rect(about)
    check_hidden(d, "05-about", (left, top, right, bottom))
    check(d.client_size(about) == (240, 295), f"About client area {d.client_size(about)}")
    check(abs(left + right - d.width) <= 4 and abs(top + bottom - d.height) <= 24,
          f"About not centred: {left, top, right, bottom}")
    d.check_about(about)
    d.close(about)
    wait_for(lambda: d.about() is None, 5, "the About window stayed")
    foreground = wait_for(lambda: d.foreground() in (d.w1, d.w2) and d.foreground(), 5,
                          f"after About the foreground is {d.foreground()}")
    check_drawn(d, foreground, "06-after-about", within=1)


@scenario()
def short_or_minimised_windows_hide_the_bird(d):
    short = d.open_window("short", 500, 450, 202, 106)  # not over one and a half birds
    check_hidden(d, "07-short")
    d.resize(short, 202, 107)
    check_drawn(d, short, "08-tall-enough")
    for window in (short, d.w1, d.w2):
        d.minimise(window)
        wait_for(lambda: d.foreground() != window, 5, f"minimised {window} still foreground")
    check_hidden(d, "09-all-minimised")
    d.activate(d.w2)
    check_drawn(d, d.w2, "10-restored")


@scenario()
def a_restart_after_the_first_run_writes_nothing(d):
    exit_program(d)
    d.remove_entry()
    d.launch()
    time.sleep(2)
    check(d.startup_entry() is None, "a restart after the first run wrote the startup entry")
    check_drawn(d, d.w2, "11-restarted")


@scenario("wine")
def at_120_dpi_the_bird_keeps_its_size_and_about_grows(d):
    """A twip is 1/12 pixel at 120 DPI: the About window's 3600 x 4425 twips are 300 x 369."""
    exit_program(d)
    d.set_dpi(120)
    try:
        d.launch()
        d.activate(d.w2)
        check_drawn(d, d.w2, "12-dpi120-perched")  # at 43 x 71 pixels
        about = open_about(d)
        d.shot("13-dpi120-about")
        check(d.client_size(about) == (300, 369), f"About client area {d.client_size(about)}")
        d.close(about)
    finally:
        d.set_dpi(96)


@scenario()
def the_bird_never_became_the_foreground(d):
    check(not d.bird_was_foreground(), "the bird window became the foreground window")


def run_suite(d):
    for function, only in SCENARIOS:
        if only not in (None, d.name):
            continue
        started = time.time()
        try:
            function(d)
        except Exception:
            log(f"FAIL {function.__name__}")
            d.shot(f"failed-{function.__name__}")
            raise
        log(f"PASS {function.__name__} ({time.time() - started:.1f} s)")
    log(f"suite passed on {d.name}")


# ---- the long runs --------------------------------------------------------------------------

def run_soak(d, seconds):
    """Window churn, foreground changes and menus; memory and the program's resources stay flat."""
    rng = random.Random(1)
    base = d.open_window("soak0", 100, 100, 302, 425)
    windows, serial, samples, menus, missed = [base], 1, [], 0, 0
    d.launch()
    start = next_sample = time.time()
    next_menu = start + 5

    def sample():
        samples.append((time.time() - start, proc_kib(d.program.pid), d.resources()))
        log(f"t={samples[-1][0]:.0f}s rss={samples[-1][1]} KiB {samples[-1][2]}")

    while time.time() - start < seconds:
        check(d.program.poll() is None, f"the program ended after {time.time() - start:.0f} s")
        action, window = rng.random(), rng.choice(windows)
        if action < 0.1 and len(windows) < 6:
            windows.append(d.open_window(f"soak{serial}", rng.randrange(0, 700),
                                         rng.randrange(0, 400), rng.randrange(150, 400),
                                         rng.randrange(80, 400)))
            serial += 1
        elif action < 0.18 and len(windows) > 2:
            d.destroy(windows.pop(rng.randrange(1, len(windows))))
        elif action < 0.28:
            d.move(window, rng.randrange(0, 700), rng.randrange(0, 400))
        elif action < 0.38:
            d.resize(window, rng.randrange(150, 400), rng.randrange(150, 400))
        elif action < 0.43 and window != base:
            d.minimise(window)
        else:
            d.activate(window)
        if time.time() >= next_menu:
            # Hold the churn for a moment so the bird sits still on a tall window to be pressed.
            d.activate(base)
            time.sleep(0.5)
            try:
                open_menu(d, rng.choice((1, 3)))
                menus += 1
                d.click(5, d.height - 5)  # dismissed on the bare desktop
                poll(lambda: d.menu_rect() is None, 3)
            except Failure as error:
                log(f"menu: {error}")
                missed += 1
            next_menu = time.time() + 10
        if time.time() >= next_sample:
            sample()
            next_sample = time.time() + min(30, seconds / 10)
        time.sleep(0.3)
    check(d.program.poll() is None, "the program ended at the end of the soak")
    sample()
    check(menus > 0 and menus >= 2 * missed, f"only {menus} menus opened, {missed} missed")
    # Judge from the first fifth on: start-up caches (fonts, styles) fill early.
    settled = [s for s in samples if s[0] >= seconds / 5] or samples[-2:]
    first, last = settled[0], samples[-1]
    check(last[1] - first[1] <= d.rss_slack, f"RSS grew from {first[1]} to {last[1]} KiB")
    for key, slack in d.resource_slack.items():
        check(last[2][key] <= first[2][key] + slack,
              f"{key} grew from {first[2][key]} to {last[2][key]}")
    log(f"soak passed: {menus} menus, {missed} missed")


def run_perf(d, seconds):
    """CPU and peak memory of the bird at rest beside oneko, the classic desktop pet."""
    import shutil
    d.open_window("rest", 100, 100, 302, 425)
    d.launch()
    oneko = shutil.which("oneko") or shutil.which("oneko", path="/usr/games")
    check(oneko is not None, "oneko is not installed")
    pets = {"tapperbird": d.program, "oneko": d.spawn([oneko, "-tofocus"])}
    time.sleep(3)
    before = {name: cpu_seconds(p.pid) for name, p in pets.items()}
    time.sleep(seconds)
    for name, p in pets.items():
        used = cpu_seconds(p.pid) - before[name]
        log(f"{name}: CPU {used:.2f} s over {seconds} s ({100 * used / seconds:.2f} %), "
            f"peak RSS {proc_kib(p.pid, 'VmHWM')} KiB")


def run_no_display(program):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    r = subprocess.run([program], env=env, capture_output=True, text=True, timeout=20)
    lines = r.stderr.strip().splitlines()
    check(r.returncode == 1, f"exit code {r.returncode} without a display")
    check(len(lines) == 1 and lines[0].startswith("tapperbird: cannot open display"),
          f"stderr without a display: {r.stderr!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("desktop", choices=["x11", "wine"])
    parser.add_argument("mode", choices=["suite", "soak", "perf", "no-display"])
    parser.add_argument("--program", required=True)
    parser.add_argument("--assets")
    parser.add_argument("--artifacts", default=".")
    parser.add_argument("--compositor", action="store_true", help="x11: run xcompmgr")
    parser.add_argument("--probe", help="wine: the probe helper")
    parser.add_argument("--unit", help="wine: the realisation's own checks, run first")
    parser.add_argument("--seconds", type=int, default=600)
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    try:
        if args.mode == "no-display":
            run_no_display(args.program)
            return 0
        if args.compositor:  # beside the plain run's pictures, not over them
            args.artifacts = os.path.join(args.artifacts, "composited")
        os.makedirs(args.artifacts, exist_ok=True)
        for name in os.listdir(args.artifacts):
            if name.endswith(".png"):  # last run's pictures would pass for this run's
                os.remove(os.path.join(args.artifacts, name))
        # CTest shows only a failed test's output: keep each run's report beside its pictures.
        desktop.report = open(os.path.join(args.artifacts, f"{args.mode}-report.txt"), "w")
        if args.desktop == "x11":
            from x11_driver import X11Driver as Driver
        else:
            from wine_driver import WineDriver as Driver
        with Driver(args) as d:
            {"suite": lambda: run_suite(d), "soak": lambda: run_soak(d, args.seconds),
             "perf": lambda: run_perf(d, args.seconds)}[args.mode]()
    except Exception as error:  # a Failure, or a tool or the probe giving up
        log(f"FAILED: {error!r}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
