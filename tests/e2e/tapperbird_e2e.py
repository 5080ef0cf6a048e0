#!/usr/bin/env python3
"""Tapperbird's end-to-end behaviours, written once as scenarios over a driver per desktop: the
Linux program on X11 (x11_driver.py) or on a headless sway, KWin, GNOME Shell or weston
(sway_driver.py, kwin_driver.py, gnome_driver.py, weston_driver.py), or Tapperbird.exe under Wine
(wine_driver.py), each on a private desktop (desktop.py), and checked pixel by pixel against the
built frames. A run picks the scenarios of one set: `suite` (what a user meets), `wm` (the
visible frame, drawing and stacking under a window manager, X11), `dpi` (enlarged at high DPI and
on two monitors, Wine), `wayland` (what the bird does on sway, KWin and GNOME), `scaled` (the
same on a Wayland output at scale 2), `two-outputs` (on two Wayland outputs side by side) or
`no-window-information` (a compositor that tells nothing: the fall-back to X11).

  tapperbird_e2e.py x11|wine|sway|kwin|gnome|weston
      suite|wm|dpi|wayland|scaled|two-outputs|no-window-information|soak|no-display|
      display-option
      --program P [--assets DIR] [--artifacts DIR] [--seconds N]
      [--compositor --wm NAME (x11)] [--probe EXE --unit EXE --dpi N --monitors (wine)]
      [--pointer EXE (sway, kwin)] [--kwin-tool EXE (kwin)]
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

import desktop
import wine_driver
from desktop import BIRD_ONLY, Failure, check, log, perch, poll, proc_kib, wait_for
SCENARIOS = []


def scenario(only=None, sets=("suite",)):
    """Adds the function to these sets of scenarios, for every desktop or only the one (or the
    tuple of those) named."""
    def add(function):
        SCENARIOS.append((function, only, sets))
        return function
    return add


# ---- what the scenarios share -----------------------------------------------------------------

def wait_perched(d, window, seconds=5):
    """Waits for the bird, at the size of its frames, at the window's perch; returns the point."""
    def perched():
        x, y = perch(*d.frame_rect(window), d.width, d.scale, d.grid)
        return d.bird_rect() == (x, y, x + d.frames[0].width, y + d.frames[0].height) and (x, y)
    point = poll(perched, seconds)
    check(point, f"the bird at {d.bird_rect()}, not at the perch "
          f"{perch(*d.frame_rect(window), d.width, d.scale, d.grid)} of {window}")
    return point


def visible_frame(d, point=None):
    """The frame that shows at the point (the bird's own place unless told), or None."""
    point = point or d.bird_rect()[:2]
    return d.shot(crop=(*point, d.frames[0].width, d.frames[0].height)).frame_at(d.frames, *point)


def drawn_after(d, what):
    time.sleep(0.2)
    check(visible_frame(d), f"the bird is not drawn whole 0.2 s after {what}")


def off_screen(d):
    left, top, right, bottom = d.bird_rect()
    return left >= d.width or top >= d.height or right <= 0 or bottom <= 0


def check_drawn(d, window, name, baseline=None):
    """The bird perched on the window and drawn there: one frame's opaque pixels unblended at the
    perch and its colours nowhere else; against a baseline without the bird, only those pixels
    changed, so every transparent one shows what lies beneath."""
    x, y = point = wait_perched(d, window)
    w, h = d.frames[0].width, d.frames[0].height
    shots = []  # the window system may report the move a moment before the pixels show
    frame = poll(lambda: shots.append(d.shot()) or shots[-1].frame_at(d.frames, *point), 1)
    shot = shots[-1]
    d.save(shot, name)
    check(frame, f"no frame's opaque pixels show unblended at {point} ({name})")
    stray = shot.find_colours(BIRD_ONLY, (x, y, x + w, y + h))
    if baseline is not None:
        stray += [(sx, sy) for sx, sy in shot.changed(baseline)
                  if (sx - x, sy - y) not in d.frames[frame - 1].opaque]
    check(not stray, f"the bird at {point} shows beyond frame {frame}'s pixels: {stray[:5]}")
    return point


def check_hidden(d, name, outside=(0, 0, 0, 0)):
    """The bird off the screen, and none of its colours left on it (except inside `outside`)."""
    if not poll(lambda: off_screen(d), 5):
        raise Failure(f"the bird is still on the screen at {d.bird_rect()}")
    stray = d.shot(name).find_colours(BIRD_ONLY, outside)
    check(not stray, f"bird colours still on the screen at {stray[:5]} ({name})")


def maps(d, library):
    """True when the program has the library mapped."""
    with open(f"/proc/{d.program.pid}/maps") as f:
        return f"/{library}" in f.read()


def open_menu(d, button=3):
    # Pressed where the bird stays: just after the foreground changed hands (a menu or a box
    # closing), it may still be out of sight or on its way back to the perch.
    def settled():
        first = d.bird_rect()
        time.sleep(0.15)
        return not off_screen(d) and d.bird_rect() == first and first
    x, y, _, _ = wait_for(settled, 5, "the bird stayed nowhere on the screen to be pressed")
    gx, gy = d.always_opaque[len(d.always_opaque) // 2]
    d.click(x + gx, y + gy, button)
    left, top, right, bottom = wait_for(d.menu_rect, 5, f"button {button} opened no menu")
    # At the pointer; near a monitor's edge flipped to its other side or pushed against the edge.
    # A press lands on a whole unit of the screen's grid.
    px, py = x + gx, y + gy
    near_x = min(abs(left - px), abs(right - px), abs(right - d.width), abs(right - d.primary[0]))
    check(max(near_x, min(abs(top - py), abs(bottom - py), abs(bottom - d.height))) <= d.grid,
          f"menu at {(left, top, right, bottom)}, pointer at {(px, py)}")
    time.sleep(0.2)


def choose(d, command):
    """Opens the menu and clicks the command, found by the menu's two separator lines:
    About | Run at Startup | Donate, Exit."""
    open_menu(d)
    left, top, right, bottom = d.menu_rect()
    shot, separators, g = d.shot(), [], d.grid  # the menu drawn g times as large
    for y in range(top + 2 * g, bottom - 2 * g):
        if (len({shot.at(x, y) for x in range(left + 6 * g, right - 6 * g)}) == 1 and
                shot.at(left + 6 * g, y) != shot.at(left + 6 * g, top + 3 * g)):
            if separators and y - separators[-1][-1] == 1:
                separators[-1].append(y)
            else:
                separators.append([y])
    if hasattr(d, "menu_item_point"):  # the Shell's menu: its items are asked for by name
        d.click(*d.menu_item_point(command))
    else:
        check(len(separators) == 2, f"expected two separators in the menu, saw {separators}")
        s1, e1, s2 = separators[0][0], separators[0][-1], separators[1][0]
        y = {"about": (top + s1) // 2, "start": (e1 + s2) // 2,
             "donation": s2 + (bottom - s2) // 4, "exit": s2 + 3 * (bottom - s2) // 4}[command]
        d.click((left + right) // 2, y)
    wait_for(lambda: d.menu_rect() is None, 5, f"the menu stayed open after {command}")


def open_about(d):
    choose(d, "about")
    about = wait_for(d.about, 5, "no About window")
    wait_for(lambda: d.foreground() == about, 5, "the About window is not the foreground")
    time.sleep(0.5)
    return about


def about_size(d):
    """The About window's client area: 3600 x 4425 twips at 1440 twips an inch."""
    return round(3600 * d.dpi / 1440), round(4425 * d.dpi / 1440)


def settle_on_framed(d):
    """Over to the header-bar window and back: the bird rests on the framed one after a move, not
    pecking, so no new frame repaints it by chance."""
    d.activate(d.csd)
    wait_perched(d, d.csd)
    d.activate(d.ssd)
    return wait_perched(d, d.ssd)


def restacks(path, windows, start):
    """ConfigureNotify events of `windows` logged by `xev -root` since byte `start`."""
    with open(path, "rb") as f:
        f.seek(start)
        text = f.read().decode(errors="replace")
    return sum(1 for m in re.finditer(r"ConfigureNotify event.*?\n.*?window (0x[0-9a-f]+)", text)
               if int(m.group(1), 16) in windows)


# ---- the scenarios, in the order a user meets them ------------------------------------------

@scenario("wine", ("suite", "dpi"))
def realisation_checks(d):
    d.run_unit_checks()


@scenario(("sway", "kwin", "weston"), ("wayland", "no-window-information"))
def without_window_information_it_falls_back_to_x11_saying_why(d):
    """A compositor that says nothing of its windows (weston; sway with its IPC socket not given,
    KWin with its session bus not either) and no X server: one line on why, then X11's own;
    --wayland there is refused in one line."""
    env = {k: v for k, v in d.env.items()
           if k not in ("SWAYSOCK", "I3SOCK", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS")}
    for argv, expected in (([], ["tapperbird: no window information from this compositor: "
                                 "perching on X11 windows only",
                                 "tapperbird: cannot open display"]),
                           (["--wayland"], ["tapperbird: cannot run on Wayland"])):
        r = subprocess.run(d.as_user + [d.path, *argv], env=env, capture_output=True, text=True,
                           timeout=20)
        lines = r.stderr.strip().splitlines()
        check(r.returncode == 1 and len(lines) == len(expected) and
              all(line.startswith(e) for line, e in zip(lines, expected)),
              f"{argv} without window information: code {r.returncode}, said {lines!r}")


@scenario(sets=("suite", "wayland", "scaled", "two-outputs"))
def first_run_registers_at_startup(d):
    d.w1 = d.open_window("first", 100, 100, 302, 425)
    time.sleep(0.5)
    d.baseline = d.shot("00-baseline")
    d.launch()
    entry = wait_for(d.startup_entry, 10, "the first run wrote no startup entry")
    check(entry == d.expected_entry, f"startup entry {entry!r}, not {d.expected_entry!r}")
    check(d.first_run_marker(), "the first run left no marker")


@scenario(("sway", "kwin", "gnome"), ("wayland",))
def on_wayland_the_bird_maps_no_x_library(d):
    """The bird on Wayland draws and listens through the compositor alone: the X libraries are
    opened only by a bird that runs on X11."""
    with open(f"/proc/{d.program.pid}/maps") as f:
        maps = f.read()
    loaded = [lib for lib in ("libX11.", "libX11-xcb", "libxcb.", "libXext", "libXrandr",
                              "libXfixes") if f"/{lib}" in maps]
    check(not loaded, f"the bird on Wayland maps {loaded}")


@scenario(("sway", "kwin"), ("scaled",))
def the_birds_buffers_are_drawn_at_the_outputs_scale(d):
    """Its frames in buffers enlarged by the output's scale and said to be so: a compositor that
    would enlarge a scale-1 buffer smoothly shows them sharp. Read from the program's requests
    before the first menu, while they are the bird's alone."""
    said = "\n".join(said_since(d, d.log_start))
    scales = set(re.findall(r"-> wl_surface@\d+\.set_buffer_scale\((\d+)\)", said))
    sizes = set(re.findall(r"-> wl_shm_pool@\d+\.create_buffer\(new id wl_buffer@\d+, \d+, "
                           r"(\d+), (\d+),", said))
    w, h = d.frames[0].width, d.frames[0].height
    check(scales == {str(d.grid)} and sizes == {(str(w), str(h))},
          f"buffer scales {scales} and sizes {sizes}, not {d.grid} and {w} x {h}")


@scenario("wine", ("dpi",))
def enlarged_by_whole_numbers_pixel_for_pixel_at_each_dpi(d):
    d.w1 = d.open_window("first", 60, 60, 500, 600)
    for dpi in sorted(wine_driver.FACTORS, key=lambda dpi: dpi == d.start_dpi):  # that one last
        d.set_dpi(dpi)
        d.launch()
        d.activate(d.w1)
        check_drawn(d, d.w1, f"dpi{dpi}-perched")
        if dpi == 120:  # fractions of a pixel: 300 x 368.75
            about = open_about(d)
            check(d.client_size(about) == about_size(d), f"About at {d.client_size(about)}")
            d.close(about)
            wait_for(lambda: d.about() is None, 5, "the About window stayed")
        if dpi != d.start_dpi:
            d.stop_program()


@scenario("x11", ("wm",))
def drawn_at_once_on_the_frame_the_user_sees(d):
    """On the frame the user sees: a window manager's and a header bar's."""
    d.ssd = d.open_window("framed", 100, 100, 302, 425)
    d.launch()
    counter = d.x("xprop", "-id", hex(d.bird), "_NET_WM_SYNC_REQUEST_COUNTER")
    check("not found" in counter, f"the bird window announces a frame counter: {counter.strip()}")
    wait_for(lambda: visible_frame(d, wait_perched(d, d.ssd)), 3, "the bird is not drawn")
    d.csd = d.open_gtk("headerbar", 520, 150, 320, 380)
    wait_perched(d, d.csd)
    # An xterm of four lines is shorter than the bird's limit, though the frame window of some
    # window managers is not.
    _, short = d.open_client(["xterm", "-geometry", "30x4+450+450", "-title", "short"], "short")
    top, bottom = d.frame_rect(short)[1::2]
    check(bottom - top <= 106, f"the short window is {bottom - top} px high")
    check_hidden(d, "short")
    d.activate(d.ssd)
    wait_perched(d, d.ssd)


@scenario(sets=("suite", "wayland", "scaled", "two-outputs"))
def perches_on_the_foreground_window_and_follows_it(d):
    check_drawn(d, d.w1, "01-perched", d.baseline)
    d.move(d.w1, 200, 150)
    check_drawn(d, d.w1, "02-moved")
    d.resize(d.w1, 362, 325)
    check_drawn(d, d.w1, "03-resized")


@scenario(sets=("suite", "wayland"))
def flies_to_a_new_window_rests_then_pecks(d):
    """The rest is counted in whole seconds on the countdown's own beat, and a change while it
    counts keeps that beat: a rest begun at the program's start may end two seconds after the
    next change. So the bird pecks on the new window and the countdown stops (a beat after the
    peck) before the change that is timed, which then rests its full three seconds."""
    d.w2 = d.open_window("second", 600, 250, 252, 325)
    point = wait_perched(d, d.w2, 2)
    wait_for(lambda: visible_frame(d, point) not in (None, 1), 18,
             "the bird never pecked after settling", step=0.05)
    time.sleep(1.2)
    activated = time.time()
    d.activate(d.w1)
    point = wait_perched(d, d.w1, 2)
    wait_for(lambda: visible_frame(d, point), 1, f"the bird is not drawn at {point}")
    rests = []
    while time.time() - activated < 2.5:
        rests.append(visible_frame(d, point))
    check(rests and all(f == 1 for f in rests), f"frames while settling: {rests}")
    wait_for(lambda: visible_frame(d, point) not in (None, 1), 18,
             "the bird never pecked after settling", step=0.05)
    d.activate(d.w2)
    wait_perched(d, d.w2, 2)


@scenario(("sway", "kwin", "gnome"), ("wayland",))
def follows_focus_and_a_floating_move_within_0_3_s_on_either_frame(d):
    """On a header-bar window as on a framed one; the time from the change to the bird seen at
    the new perch, measured through screenshots (so a little late)."""
    d.csd = d.open_gtk("headerbar", 700, 120, 320, 380)
    check_drawn(d, d.csd, "sway-headerbar")
    w, h = d.frames[0].width, d.frames[0].height

    def latency(change, rect):
        """From the change done (the compositor has answered the command) to the start of the
        first screenshot of the new perch that shows the bird."""
        point = perch(*rect, d.width, d.scale, d.grid)
        change()
        started = time.time()
        while time.time() - started < 2:
            shot_at = time.time()
            if d.shot(crop=(*point, w, h)).frame_at(d.frames, *point):
                return shot_at - started
        raise Failure(f"the bird did not show at {point} within 2 s")

    rects = {window: d.frame_rect(window) for window in (d.w1, d.csd)}
    focus = [latency(lambda: d.activate(window), rects[window])
             for window in (d.w1, d.csd) * 5]
    moves = []
    for i in range(6):
        left, top, right, bottom = d.frame_rect(d.csd)
        x, y = 650 + 40 * (i % 3), 100 + 30 * i
        moves.append(latency(lambda: d.move(d.csd, x, y),
                             (x, y, x + right - left, y + bottom - top)))
    check_drawn(d, d.csd, "sway-moved")
    median = lambda values: sorted(values)[len(values) // 2]
    log(f"follow latency: focus median {median(focus) * 1000:.0f} ms "
        f"(max {max(focus) * 1000:.0f}), floating move median {median(moves) * 1000:.0f} ms "
        f"(max {max(moves) * 1000:.0f})")
    check(median(focus) <= 0.3 and median(moves) <= 0.3,
          f"follow medians {median(focus):.2f} s (focus), {median(moves):.2f} s (move)")
    d.destroy(d.csd)  # the scenarios after this one count on their own windows only


@scenario(("sway", "kwin"), ("wayland", "scaled"))
def a_press_on_the_bird_opens_the_menu_there_and_the_user_keeps_the_focus(d):
    """A press on a clear pixel of the bird's box opens nothing; a press on the bird opens the
    menu at the press. The user's window keeps the focus all along: the window the compositor
    reports as focused stays the same, and once the menu is gone the keyboard is the window's
    again (its own log of keyboard enter and leave ends in "in"; where the seat has a keyboard:
    headless sway has none)."""
    keys = d.open_gtk("keys", 150, 120, 320, 400)
    x, y = wait_perched(d, keys)
    if d.has_keyboard:
        wait_for(lambda: d.keyboard_focus(keys) == "in", 5, "the new window has no keyboard focus")
    time.sleep(3.5)  # past the settle delay, when a press opens the menu
    i, j = next((i, j) for (i, j) in d.never_opaque if 30 < j < 60)
    d.click(x + i, y + j)
    time.sleep(0.5)
    check(d.menu_rect() is None, f"a press on the clear pixel {(i, j)} opened the menu")
    check(not maps(d, "libgtk-layer-shell"), "gtk-layer-shell is loaded before the first menu")
    for button in (1, 3):
        open_menu(d, button)
        check(maps(d, "libgtk-layer-shell"), "the menu opened without gtk-layer-shell")
        check(d.foreground() == keys, f"with the menu open the focus is {d.foreground()}")
        d.shot(f"wayland-menu-button{button}")
        left, _, _, bottom = d.frame_rect(keys)
        d.click(left + 40, bottom - 40)  # a press into the window beneath dismisses it
        wait_for(lambda: d.menu_rect() is None, 5, "the menu did not close")
        check(d.foreground() == keys, f"after the menu the focus is {d.foreground()}")
        if d.has_keyboard:
            wait_for(lambda: d.keyboard_focus(keys) == "in", 3,
                     "after the menu the keyboard is not the user's window's")
        wait_perched(d, keys)
    d.destroy(keys)  # the scenarios after this one count on their own windows only
    d.activate(d.w1)
    wait_perched(d, d.w1)
    time.sleep(3.5)  # settled again, for the next press


@scenario("gnome", ("wayland",))
def with_our_extension_disabled_it_falls_back_to_x11_saying_why(d):
    """GNOME Shell with our extension disabled by the user (the program enabled it on its first
    run, never again) and no X server: one line on why, then X11's own."""
    d.disable_extension()
    r = subprocess.run([d.path], env=d.env, capture_output=True, text=True, timeout=20)
    lines = r.stderr.strip().splitlines()
    check(r.returncode == 1 and len(lines) == 2 and
          lines[0] == "tapperbird: no window information from this compositor: perching on X11 "
                      "windows only (the Tapperbird extension is disabled in GNOME Shell)" and
          lines[1].startswith("tapperbird: cannot open display"),
          f"with the extension disabled: code {r.returncode}, said {lines!r}")
    d.enable_extension()


@scenario("gnome", ("wayland", "scaled"))
def a_press_opens_the_shells_menu_at_the_pointer_and_the_focus_stays(d):
    """A press on a clear pixel of the bird's box reaches the window beneath and opens nothing;
    each button on an opaque pixel opens the menu at the pointer, the user's window focused."""
    d.activate(d.w1)
    x, y = wait_perched(d, d.w1)
    # The bird overlaps its window's edge by a few pixels only, where GTK takes a press for a
    # resize: a window beneath, to the right, gets the press through the bird instead, below its
    # header bar, which takes a press for a move. GTK's margins grow with the scale, as the bird.
    right, s = d.frame_rect(d.w1)[2], d.scale
    beneath = d.open_window("beneath", right - 40, y - 40 * s, 300, 200 * s)
    d.activate(d.w1)
    wait_perched(d, d.w1)
    time.sleep(3.5)  # past the settle delay, when a press opens the menu
    through = [(i, j) for (i, j) in d.never_opaque
               if x + i > right + 8 * s and 20 * s < j < 60 * s]
    check(through, "no transparent pixel of the bird lies over the window beneath")
    px, py = x + through[0][0], y + through[0][1]
    d.click(px, py)
    time.sleep(0.5)
    check(d.menu_rect() is None, f"a press on the transparent pixel {through[0]} opened the menu")
    # The Shell gives a press on a window that lacks the focus to the window as a focus click:
    # GTK reports none, but the window takes the focus.
    check((px, py) in d.presses(beneath) or d.foreground() == beneath,
          f"the window beneath did not get the press at {(px, py)}")
    d.destroy(beneath)
    d.activate(d.w1)
    for button in (1, 2, 3):
        wait_perched(d, d.w1)
        open_menu(d, button)
        check(d.foreground() == d.w1, f"with the menu open the focus is {d.foreground()}")
        d.shot(f"gnome-menu-button{button}")
        left, _, _, bottom = d.frame_rect(d.w1)
        d.click(left + 40, bottom - 40)  # a press into the window beneath dismisses it
        wait_for(lambda: d.menu_rect() is None, 5, "the menu did not close")
        wait_for(lambda: d.foreground() == d.w1, 3, f"after the menu the foreground is "
                 f"{d.foreground()}")


@scenario("gnome", ("wayland",))
def run_at_startup_from_the_shells_menu(d):
    run_at_startup_removes_and_restores_the_entry(d)


@scenario(sets=("suite", "dpi"))
def a_press_on_a_clear_pixel_passes_through_and_every_button_opens_the_menu(d):
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
    check(d.name != "x11" or not maps(d, "libgtk-layer-shell"),
          "the X11 program's menu loaded gtk-layer-shell")


@scenario(sets=("suite", "wayland"))
def run_at_startup_removes_and_restores_the_entry(d):
    choose(d, "start")
    wait_for(lambda: d.startup_entry() is None, 5, "unticking kept the startup entry")
    choose(d, "start")
    wait_for(lambda: d.startup_entry() == d.expected_entry, 5,
             f"ticking wrote {d.startup_entry()!r}")


@scenario(sets=("suite", "dpi", "wayland", "scaled"))
def about_sends_the_bird_away_until_it_closes(d):
    """Out of sight past every monitor, not just the primary one. Centred where the program
    places its windows (on Wayland the compositor does)."""
    about = open_about(d)
    left, top, right, bottom = d.frame_rect(about)
    check_hidden(d, "05-about", (left, top, right, bottom))
    client = d.client_size(about)
    check(client is None or client == about_size(d), f"About client area {client}")
    check(not d.places_own_windows or (abs(left + right - d.primary[0]) <= 4 and
                                       abs(top + bottom - d.primary[1]) <= 24),
          f"About not centred: {left, top, right, bottom}")
    d.check_about(about)
    d.close(about)
    wait_for(lambda: d.about() is None, 5, "the About window stayed")
    foreground = wait_for(lambda: d.foreground() in d.opened and d.foreground(), 5,
                          f"after About the foreground is {d.foreground()}")
    check_drawn(d, foreground, "06-after-about")


@scenario("wine", ("dpi",))
def beside_the_left_monitors_edge_the_bird_hides_past_both(d):
    """Beside a window flush with the left monitor's right edge the bird would show on the right
    one: snapped there or maximised, it hides instead."""
    for flush, back in ((f"move {d.w1} 0 0 {wine_driver.SPLIT} 700", f"move {d.w1} 60 60 500 600"),
                        (f"show {d.w1} 3", f"show {d.w1} 9")):
        wait_perched(d, d.w1)
        d.probe.ask(flush)
        wait_for(lambda: d.frame_rect(d.w1)[2] >= wine_driver.SPLIT, 5, f"no {flush}")
        check_hidden(d, f"flush-left-monitor-{flush.split()[0]}")
        d.probe.ask(back)
    wait_perched(d, d.w1)


@scenario(("sway", "kwin", "gnome"), ("two-outputs",))
def on_two_outputs_it_follows_its_window_across_and_hides_past_both(d):
    """Two outputs side by side: the bird goes with its window from one to the other and back,
    drawn whole across their border, hidden beside a window flush with the left one's right edge
    (it would show on the right one), and pressed on the right one, its menu opens there."""
    split = d.primary[0]
    left, _, right, _ = d.frame_rect(d.w1)
    width = right - left
    for x, name in ((split + 150, "second-output"), (150, "first-output"),
                    (split - width - 10, "across-the-border")):
        d.move(d.w1, x, 150)
        check_drawn(d, d.w1, f"two-outputs-{name}")
    d.move(d.w1, split - width, 150)
    wait_for(lambda: d.frame_rect(d.w1)[2] == split, 5, "the window did not move flush")
    check_hidden(d, "two-outputs-flush-left-output")
    d.move(d.w1, split + 150, 150)
    wait_perched(d, d.w1)
    time.sleep(3.5)  # past the settle delay, when a press opens the menu
    open_menu(d)
    check(d.menu_rect()[0] >= split, f"the menu at {d.menu_rect()} is not on the right output")
    left, _, _, bottom = d.frame_rect(d.w1)
    d.click(left + 40, bottom - 40)  # a press into the window beneath dismisses it
    if d.name == "kwin":
        # Headless KWin 5.27 stops repainting what its second output uncovers once a popup
        # there has closed: the menu's pixels stay on its screenshots after the menu is gone.
        return
    wait_for(lambda: d.menu_rect() is None, 5, "the menu did not close")
    wait_perched(d, d.w1)


@scenario("x11", ("wm",))
def drawn_whole_right_after_the_menu_about_and_a_restack(d):
    settle_on_framed(d)
    open_menu(d)
    d.xdotool("key", "Escape")
    wait_for(lambda: d.menu_rect() is None, 5, "the menu did not close")
    drawn_after(d, "the menu was dismissed")
    settle_on_framed(d)
    about = open_about(d)
    check_hidden(d, "about", d.frame_rect(about))
    d.close(about)  # alt+F4, the close binding of every window manager here
    wait_for(lambda: d.about() is None, 5, "About did not close")
    wait_for(lambda: not off_screen(d), 5, "no bird after About")
    drawn_after(d, "About closed")
    # A window that comes up over the bird without taking the focus: the bird climbs back on top.
    x, y = settle_on_framed(d)
    d.open_gtk("cover", x - 60, y - 40, 200, 200, "nofocus")
    check(d.foreground() == d.ssd and d.bird_rect()[:2] == (x, y),
          "a window that does not take the focus moved the focus or the bird")
    drawn_after(d, "a restack over it")


@scenario("x11", ("wm",))
def other_programs_popups_and_a_second_copy_stay_above_it(d):
    watch = os.path.join(d.temp, "root.log")
    with open(watch, "wb") as out:
        d.spawn(["xev", "-root", "-event", "substructure"], stdout=out)
    time.sleep(0.5)
    x, y, _, _ = d.bird_rect()
    menu = d.xc.popup(x - 10, y + 10, 120, 30, (200, 30, 160))
    # The user's windows restacked under the menu: the bird may follow them, never above it.
    for w in d.client_windows():
        d.xdotool("windowraise", w, check_rc=False)
    time.sleep(0.5)
    order = d.stacking()
    check(order.index(menu) > order.index(d.bird), "the bird went over another's menu")
    check(d.shot(crop=(x, y + 20, 1, 1)).at(x, y + 20) == (200, 30, 160),
          "the menu does not show over the bird")
    d.xc.destroy(menu)

    mark = os.path.getsize(watch)
    locker = d.xc.popup(0, 0, d.width, d.height, (10, 10, 40))
    time.sleep(2)
    order = d.stacking()
    check(order.index(locker) > order.index(d.bird), "the bird went over the locker")
    moves = restacks(watch, {d.bird}, mark)
    check(moves == 0, f"the bird restacked itself {moves} times under the locker")
    check(not d.shot("locker").find_colours(BIRD_ONLY, limit=1), "bird pixels over the locker")
    d.xc.destroy(locker)
    time.sleep(0.5)

    second = d.spawn([d.path])
    other = wait_for(lambda: d.find_bird({d.bird}), 15, "no second bird")
    time.sleep(4)  # both perched and past the settle delay
    mark = os.path.getsize(watch)
    time.sleep(3)
    moves = restacks(watch, {d.bird, other}, mark)
    check(moves < 3, f"two copies restacked {moves} times in 3 s at rest")
    second.terminate()
    second.wait()


@scenario("x11", ("wm",))
def about_destroyed_from_outside_brings_the_bird_back(d):
    d.activate(d.ssd)
    wait_perched(d, d.ssd)
    time.sleep(3.5)  # past the settle delay, when a press opens the menu
    for attempt in range(2):
        about = open_about(d)
        wait_for(lambda: off_screen(d), 5, "the bird stayed while About is open")
        d.xc.destroy(about)
        wait_for(lambda: not off_screen(d), 5, "the bird did not come back after About died")
        time.sleep(0.5)


@scenario(sets=("suite", "wayland", "scaled"))
def short_or_minimised_windows_hide_the_bird(d):
    # Not over one and a half birds, as large as the bird is.
    s = d.scale
    short = d.open_window("short", 500, 450, 202 * s, 106 * s)
    check_hidden(d, "07-short")
    d.resize(short, 202 * s, 107 * s)
    check_drawn(d, short, "08-tall-enough")
    windows = [short, d.w1] + ([d.w2] if hasattr(d, "w2") else [])
    for window in windows:
        d.minimise(window)
        wait_for(lambda: d.foreground() != window, 5, f"minimised {window} still foreground")
    check_hidden(d, "09-all-minimised")
    d.activate(windows[-1])
    check_drawn(d, windows[-1], "10-restored")


@scenario(sets=("suite", "wayland"))
def a_restart_after_the_first_run_writes_nothing(d):
    """On KWin, Exit also takes the program's script out of KWin."""
    if d.name == "kwin":
        check(d.script_loaded("tapperbird"), "the program's KWin script is not loaded")
    choose(d, "exit")
    code = d.program.wait(timeout=5)  # TimeoutExpired: Exit did not end the program
    check(code == 0, f"exit code {code}")
    if d.name == "kwin":
        check(not d.script_loaded("tapperbird"), "the KWin script stayed loaded after Exit")
    d.remove_entry()
    d.launch()
    time.sleep(2)
    check(d.startup_entry() is None, "a restart after the first run wrote the startup entry")
    check_drawn(d, d.w2, "11-restarted")


@scenario(("sway", "kwin"), ("wayland",))
def perches_on_an_xwayland_window_on_the_frame_the_compositor_draws(d):
    """An X11 program is a window like any other: on the compositor's border and title bar, not
    on the X11 rectangle inside them, and followed as the focus goes to a native window and back.
    Last of the compositor's own: sway 1.7 has been seen to crash on a click after an XWayland
    window closed, so the xterm stays."""
    xterm = d.open_x11("xwayland-xterm", 620, 180, 400, 300)
    said = d.x("xwininfo", "-name", "xwayland-xterm", check_rc=True)
    x11_top = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", said).group(1))
    check(x11_top - d.frame_rect(xterm)[1] >= 15,
          f"no title bar above the X11 rectangle at {x11_top}: frame {d.frame_rect(xterm)}")
    check_drawn(d, xterm, f"{d.name}-xwayland")
    d.activate(d.w2)
    check_drawn(d, d.w2, f"{d.name}-xwayland-to-native")
    d.activate(xterm)
    check_drawn(d, xterm, f"{d.name}-native-to-xwayland")


@scenario(sets=("suite", "dpi", "wayland", "scaled", "two-outputs"))
def the_bird_never_became_the_foreground(d):
    check(not d.bird_was_foreground(), "the bird window became the foreground window")


@scenario("gnome", ("wayland",))
def only_the_program_drives_the_bird_and_its_end_hides_it(d):
    """Another program on the session bus is refused by the extension, whatever it asks; the
    program killed outright, the extension hides the bird within a second by itself."""
    before = d.bird_rect()
    check(not off_screen(d), "the bird is not on the screen to begin with")
    for method, args in (("Hello", ["1"]), ("Show", ["1", "1", "10", "10", "43", "71"]),
                         ("Hide", [])):
        r = subprocess.run(["gdbus", "call", "--session", "--dest",
                            "example.velmor.Tapperbird.Shell", "--object-path",
                            "/example/velmor/Tapperbird/Shell", "--method",
                            f"example.velmor.Tapperbird.Shell1.{method}", *args],
                           env=d.env, capture_output=True, text=True, timeout=10)
        check(r.returncode != 0 and "AccessDenied" in r.stderr,
              f"a stranger's {method} got {r.stdout.strip() or r.stderr.strip()}")
    check(d.bird_rect() == before, f"a stranger moved the bird to {d.bird_rect()}")
    d.program.kill()
    killed = time.time()
    d.program.wait()
    wait_for(lambda: off_screen(d), 1, "the bird stayed a second after the program died")
    log(f"hidden {(time.time() - killed) * 1000:.0f} ms after the program died")


@scenario("gnome", ("wayland",))
def an_extension_the_shell_loads_at_the_next_login_is_announced_once(d):
    """Installed after the Shell started (here: the Shell made to forget it): the X11 fall-back
    each time, and the first time only a box in plain words over the bird on X11 (an Xvfb stands
    in for the Shell's XWayland)."""
    d.forget_extension()
    saved = dict(d.env)
    d.env["DISPLAY"] = d.start_xvfb()

    def boxes():
        """Our dialogs on the X server: windows titled Tapperbird of the dialog type."""
        ids = d.xdotool("search", "--name", "^Tapperbird$", check_rc=False).split()
        return [i for i in ids if "_NET_WM_WINDOW_TYPE_DIALOG" in
                d.x("xprop", "-id", i, "_NET_WM_WINDOW_TYPE")]

    try:
        for run in range(2):
            err_path = os.path.join(d.temp, f"login-notice-{run + 1}.err")
            with open(err_path, "wb") as err:
                p = d.spawn([d.path], stderr=err)
            try:
                said = lambda: open(err_path, errors="replace").read().strip().splitlines()
                wait_for(said, 10, f"run {run + 1} said nothing")
                check(said()[0].endswith("(GNOME Shell loads the newly installed Tapperbird "
                                         "extension at the next login)"),
                      f"run {run + 1} with the extension unknown to the Shell said {said()!r}")
                if run == 0:
                    box = wait_for(boxes, 10, "no box told of the login on the first run")[0]
                    d.shot_by(["import", "-window", "root", "-depth", "8", "ppm:-"], 0, 0,
                              "gnome-login-notice")
                    # OK closes the box and the bird goes on.
                    d.xdotool("windowfocus", "--sync", box, check_rc=False)
                    d.xdotool("key", "--window", box, "Return")
                    wait_for(lambda: not boxes(), 5, "OK left the box open")
                else:
                    check(not poll(boxes, 3), "a box told of the login a second time")
                check(p.poll() is None, f"run {run + 1} ended with code {p.poll()} on X11")
            finally:
                p.terminate()
                p.wait()
    finally:
        d.env = saved


def said_since(d, mark):
    with open(d.log_path, "rb") as f:
        return f.read()[mark:].decode(errors="replace").strip().splitlines()


def launch_copy(d, folders, module, env=None):
    """The program copied into the folders below the current one (named one by one, so the path
    may be longer than PATH_MAX), its module to `module` from there, and started there."""
    here, saved = os.open(".", os.O_RDONLY), dict(d.env)
    try:
        for name in folders:
            os.makedirs(name, exist_ok=True)
            os.chdir(name)
        shutil.copy(d.installed, "tapperbird")
        shutil.copy(os.path.join(os.path.dirname(d.installed), "libtapperbird-gtk.so"), module)
        d.path = "./tapperbird"
        d.env.update(env or {})
        d.launch()
    finally:
        d.path, d.env = d.installed, saved
        os.fchdir(here)
        os.close(here)


@scenario("x11")
def no_toolkit_before_the_first_click_and_none_needed_to_keep_pecking(d):
    """The restarted bird, never clicked, maps no GLib and no GTK; a copy whose only module was
    planted where another user could change it loads none, says why in one line when clicked,
    opens no menu and keeps pecking."""
    with open(f"/proc/{d.program.pid}/maps") as f:
        maps = f.read()
    loaded = [lib for lib in ("libglib-2.0", "libgobject", "libgio", "libgtk", "libgdk",
                              "libpango", "libcairo", "libfontconfig", "libGL", "libatk")
              if f"/{lib}" in maps]
    check(not loaded, f"a bird nobody clicked maps {loaded}")
    d.program.terminate()
    d.program.wait(5)
    d.installed, home = d.path, os.getcwd()
    with tempfile.TemporaryDirectory() as folder:
        os.chdir(folder)
        try:
            mark = os.path.getsize(d.log_path)
            os.makedirs("lib/tapperbird")
            os.chmod("lib", 0o777)
            launch_copy(d, ["bin"], "../lib/tapperbird/libtapperbird-gtk.so")
            x, y = wait_perched(d, d.w2)
            for _ in range(2):
                gx, gy = d.always_opaque[len(d.always_opaque) // 2]
                d.click(x + gx, y + gy)
                time.sleep(0.5)
                check(d.menu_rect() is None, "a menu opened with no module to draw it")
            shown = {visible_frame(d, (x, y)) for _ in range(40) if time.sleep(0.2) is None}
            check(len(shown - {None}) > 1 and d.program.poll() is None,
                  f"the bird without its module showed only frames {shown}")
            with open(f"/proc/{d.program.pid}/maps") as f:
                check("libtapperbird-gtk" not in f.read(), "the planted module was loaded")
            said = said_since(d, mark)
            check(len(said) == 1 and said[0].startswith("tapperbird: cannot load the menu") and
                  "/bin/../lib is writable by every user" in said[0],
                  f"the program said {said!r} with a planted module")
            d.program.terminate()
            d.program.wait(5)

            # Under a GDK_BACKEND meant for Wayland programs, from a folder too long for PATH_MAX,
            # its package removed before the first click: the menu still opens, and Exit ends it.
            launch_copy(d, ["d" * 250] * 18, "libtapperbird-gtk.so", {"GDK_BACKEND": "wayland"})
            shutil.rmtree("d" * 250)
            wait_perched(d, d.w2)
            time.sleep(3.5)  # past the settle delay, when a press opens the menu
            choose(d, "start")  # ticked: the path is refused in a box, the entry kept as it was
            box = wait_for(lambda: d.titled("Tapperbird"), 5, "no message box refused the path")
            d.close(box)
            wait_for(lambda: d.titled("Tapperbird") is None, 5, "the message box stayed")
            check(d.startup_entry() is None, f"the startup entry became {d.startup_entry()!r}")
            wait_perched(d, d.w2)  # back from the box, which was the foreground while it stood
            time.sleep(3.5)
            choose(d, "exit")
            check(d.program.wait(timeout=5) == 0, "Exit did not end the bird")
        finally:
            os.chdir(home)


@scenario("x11")
def the_about_windows_client_killed_ends_the_bird_in_one_true_line(d):
    """xkill closes the module's connection, not the server: the line must not say it is gone."""
    d.launch()
    wait_perched(d, d.w2)
    time.sleep(3.5)  # past the settle delay, when a press opens the menu
    mark = os.path.getsize(d.log_path)
    d.x("xkill", "-id", hex(open_about(d)), check_rc=True)
    code = d.program.wait(timeout=10)  # TimeoutExpired: the bird outlived its connection
    said = said_since(d, mark)
    check(code != 0 and len(said) == 1 and "connection" in said[0] and "closed" in said[0] and
          "lost" not in said[0], f"exit code {code} and {said!r} after xkill of About")


@scenario("wine", ("dpi",))
def logging_off_ends_the_program_and_writes_nothing(d):
    """wineboot --end-session: WM_QUERYENDSESSION and WM_ENDSESSION to every window."""
    before = d.registry_state()
    ending = d.spawn(["wineboot", "--end-session"])
    check(poll(lambda: d.program.poll() is not None, 15), "the program runs after the session")
    check(d.program.poll() == 0, f"the program ended with code {d.program.poll()}")
    ending.wait(timeout=60)
    check(d.registry_state() == before, f"the registry changed at logoff: {before}")


def stop_the_display_server(d, what):
    """Stops the desktop's server (Xvfb, the compositor) under the program; its exit code and
    the lines it wrote since."""
    mark = os.path.getsize(d.log_path)
    d.processes[0].terminate()
    d.processes[0].wait()
    try:
        code = d.program.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise Failure(f"the program did not end when {what} went away")
    with open(d.log_path, "rb") as f:
        return code, f.read()[mark:].decode(errors="replace").strip().splitlines()


@scenario("x11", ("wm",))
def a_lost_x_server_is_reported_in_one_line(d):
    code, lines = stop_the_display_server(d, "the X server")
    check(code != 0, "exit code 0 after losing the X server")
    check(len(lines) == 1 and d.env["DISPLAY"] in lines[0] and "tapperbird:" in lines[0],
          f"the program said {lines!r} on losing {d.env['DISPLAY']}")


@scenario(("sway", "kwin"), ("wayland",))
def a_lost_compositor_is_reported_and_ends_the_program(d):
    """sway gone: the program ends with an error, its last word the lost compositor (the window
    information's socket, closing at the same moment, may have said its own line first)."""
    code, lines = stop_the_display_server(d, "the compositor")
    check(code != 0 and 1 <= len(lines) <= 2 and
          lines[-1] == "tapperbird: lost the connection to the Wayland compositor" and
          all(line.startswith("tapperbird: ") for line in lines),
          f"exit code {code}, said {lines!r} on losing the compositor")


def run_scenarios(d, chosen):
    for function, only, sets in SCENARIOS:
        names = only if isinstance(only, tuple) else (only,)
        if (only is not None and d.name not in names) or chosen not in sets:
            continue
        started = time.time()
        try:
            function(d)
        except Exception:
            log(f"FAIL {function.__name__}")
            if d.processes and d.processes[0].poll() is None:
                d.shot(f"failed-{function.__name__}")
            raise
        log(f"PASS {function.__name__} ({time.time() - started:.1f} s)")
    log(f"{chosen} passed on {d.name} ({d.wm}, {d.dpi} DPI)")


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


def run_no_display(program, option):
    """Without a display, one line and exit code 1; --display names the display tried there,
    whatever $DISPLAY says."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    argv = [program, "--display=:65001"] if option else [program]
    r = subprocess.run(argv, env=dict(env, DISPLAY=":65000") if option else env,
                       capture_output=True, text=True, timeout=20)
    lines = r.stderr.strip().splitlines()
    check(r.returncode == 1, f"exit code {r.returncode} without a display")
    check(len(lines) == 1 and lines[0].startswith("tapperbird: cannot open display") and
          (not option or ":65001" in lines[0]), f"stderr without a display: {r.stderr!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("desktop", choices=["x11", "wine", "sway", "kwin", "gnome", "weston"])
    parser.add_argument("mode", choices=["suite", "wm", "dpi", "wayland", "scaled", "two-outputs",
                                         "soak",
                                         "no-display", "display-option", "no-window-information"])
    parser.add_argument("--program", required=True)
    parser.add_argument("--assets")
    parser.add_argument("--artifacts", default=".")
    parser.add_argument("--compositor", action="store_true", help="x11: run xcompmgr")
    parser.add_argument("--wm", default="openbox", choices=sorted(desktop.WINDOW_MANAGERS))
    parser.add_argument("--dpi", type=int, default=96, choices=sorted(wine_driver.FACTORS))
    parser.add_argument("--monitors", action="store_true", help="wine: two, side by side")
    parser.add_argument("--probe", help="wine: the probe helper")
    parser.add_argument("--unit", help="wine: the realisation's own checks, run first")
    parser.add_argument("--seconds", type=int, default=600)
    parser.add_argument("--pointer", help="sway, kwin: the virtual pointer client that clicks")
    parser.add_argument("--kwin-tool", help="kwin: screenshots and scripts over KWin's bus")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    try:
        if args.mode in ("no-display", "display-option"):
            run_no_display(args.program, args.mode == "display-option")
            return 0
        # Beside the plain run's pictures, not over them.
        folder = {"wm": f"wm-{args.wm}", "dpi": "high-dpi", "wayland": args.desktop,
                  "scaled": f"{args.desktop}-scaled",
                  "two-outputs": f"{args.desktop}-two-outputs",
                  "no-window-information": args.desktop}.get(args.mode, "")
        args.artifacts = os.path.join(args.artifacts, folder or "composited" * args.compositor)
        os.makedirs(args.artifacts, exist_ok=True)
        for name in os.listdir(args.artifacts):
            if name.endswith(".png"):  # last run's pictures would pass for this run's
                os.remove(os.path.join(args.artifacts, name))
        # CTest shows only a failed test's output: keep each run's report beside its pictures.
        desktop.report = open(os.path.join(args.artifacts, f"{args.mode}-report.txt"), "w")
        if args.desktop == "x11":
            from x11_driver import X11Driver as Driver
        elif args.desktop == "sway":
            from sway_driver import SwayDriver as Driver
        elif args.desktop == "kwin":
            from kwin_driver import KwinDriver as Driver
        elif args.desktop == "gnome":
            from gnome_driver import GnomeDriver as Driver
        elif args.desktop == "weston":
            from weston_driver import WestonDriver as Driver
        else:
            from wine_driver import WineDriver as Driver
        with Driver(args) as d:
            if args.mode == "soak":
                run_soak(d, args.seconds)
            else:
                run_scenarios(d, args.mode)
    except Exception as error:  # a Failure, or a tool or the probe giving up
        log(f"FAILED: {error!r}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
