#!/usr/bin/env python3
"""End-to-end checks of the real Tapperbird.exe under Wine, in Xvfb with openbox, driven with
xdotool and judged from Wine's own window rectangles, the registry and exact screenshot pixels.

    tapperbird_wine_e2e.py --exe Tapperbird.exe --probe tb_probe.exe --assets DIR --artifacts DIR
    ... --soak SECONDS   (the long run: foreground changes, window churn, menus; flat counts)
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import time

from wine_desktop import (HEIGHT, WIDTH, Desktop, Probe, load_frames, round_half_even)

RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
MARKER_KEY = r"HKCU\Software\Velmor's Software\Tapperbird\1.0\temp"
INSTALLED = ("Program Files", "Tapperbird", "Tapperbird.exe")
INSTALLED_WINDOWS_PATH = "C:\\" + "\\".join(INSTALLED)
TARGET_A, TARGET_B = "0x2860a0", "0x3c8c3c"


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, timeout, step=0.1):
    """Polls until predicate() gives a true value, returning it, or None after timeout s."""
    deadline = time.time() + timeout
    while True:
        value = predicate()
        if value or time.time() >= deadline:
            return value
        time.sleep(step)


class Session:
    """One Wine desktop, the probe, the program under test and what the checks share."""

    def __init__(self, args):
        self.args = args
        self.desktop = Desktop(args.artifacts)
        self.frames = load_frames(args.assets)
        self.frame_w = self.frames[0].width
        self.frame_h = self.frames[0].height
        common = set(self.frames[0].opaque)
        for frame in self.frames[1:]:
            common &= set(frame.opaque)
        # A pixel opaque in every frame: pressing there always lands on the bird.
        self.grip = sorted(common, key=lambda p: (p[1], p[0]))[len(common) // 2]
        self.probe = None
        self.program = None
        self.windows = {}

    def start(self):
        self.desktop.start()
        target = self.desktop.drive_c(*INSTALLED)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(self.args.exe, target)
        self.probe = Probe(self.desktop, self.args.probe)
        self.probe.ask("screen")

    def stop(self):
        if self.probe:
            self.probe.close()
        self.desktop.stop()

    # ---- the program ------------------------------------------------------------------------
    def launch(self):
        self.program = self.desktop.wine(self.desktop.drive_c(*INSTALLED))
        bird = wait_for(lambda: self.probe.ask("bird")["found"] and self.probe.ask("bird"), 20)
        expect(bird, "the bird window never appeared")
        return bird

    def running(self):
        return self.program is not None and self.program.poll() is None

    # ---- windows ----------------------------------------------------------------------------
    def open_window(self, title, x, y, w, h, colour):
        hwnd = self.probe.ask(f"open {title} {x} {y} {w} {h} {colour[2:]}")["hwnd"]
        self.windows[title] = hwnd
        wait_for(lambda: self.desktop.xid(title), 10)
        self.desktop.activate(title)
        return hwnd

    def rect(self, title):
        return self.probe.ask("rect " + self.windows[title])

    def perch_of(self, rect):
        """Where the bird's top-left corner belongs on a window with this rectangle."""
        height = rect["bottom"] - rect["top"]
        x = rect["right"] if rect["right"] == WIDTH else rect["right"] - 4
        return x, round_half_even(height / 4 + rect["top"])

    def bird_at(self, point, timeout=3.0):
        """Waits for Wine to report the bird window at `point`; returns its rectangle."""
        def there():
            bird = self.probe.ask("bird")
            return bird if (bird["left"], bird["top"]) == point else None
        return wait_for(there, timeout)

    def check_perched(self, title, shot_name):
        rect = self.rect(title)
        point = self.perch_of(rect)
        bird = self.bird_at(point)
        expect(bird, f"bird not at the perch {point} of {title} {rect}: {self.probe.ask('bird')}")
        # Wine reports the new position a moment before the X server shows the new pixels.
        shot = frame = None
        for _ in range(8):
            shot = self.desktop.grab()
            frame = shot.frame_at(self.frames, *point)
            if frame:
                break
            time.sleep(0.1)
        self.desktop.save(shot, shot_name)
        expect(frame, f"no frame's opaque pixels show unblended at {point} ({shot_name})")
        x, y = point
        stray = shot.bird_only_pixels(outside=(x, y, x + self.frame_w, y + self.frame_h))
        expect(not stray, f"bird colours outside the bird at {stray[:5]} ({shot_name})")
        return point, frame

    def check_hidden(self, shot_name):
        def away():
            bird = self.probe.ask("bird")
            return bird if bird["left"] >= WIDTH or bird["top"] >= HEIGHT else None
        bird = wait_for(away, 3)
        expect(bird, f"the bird did not leave the screen: {self.probe.ask('bird')}")
        shot = self.desktop.grab(shot_name)
        stray = shot.bird_only_pixels()
        expect(not stray, f"bird colours still on screen at {stray[:5]} ({shot_name})")

    # ---- the menu ---------------------------------------------------------------------------
    def open_menu(self, button=1):
        bird = self.probe.ask("bird")
        self.desktop.click(bird["left"] + self.grip[0], bird["top"] + self.grip[1], button)
        menu = wait_for(lambda: self.probe.ask("menu")["open"] and self.probe.ask("menu"), 3)
        expect(menu, f"button {button} on the bird opened no menu")
        return menu

    def menu_items(self, menu):
        """Centres of the four commands, found from the two separator lines."""
        time.sleep(0.2)
        shot = self.desktop.grab()
        left, right = menu["left"] + 6, menu["right"] - 6
        rows = []
        for y in range(menu["top"] + 2, menu["bottom"] - 2):
            colours = {shot.at(x, y) for x in range(left, right)}
            if len(colours) == 1 and shot.at(left, y) != shot.at(left, menu["top"] + 3):
                rows.append(y)
        separators = []
        for y in rows:
            if not separators or y - separators[-1][-1] > 1:
                separators.append([y])
            else:
                separators[-1].append(y)
        expect(len(separators) == 2, f"expected two separators in the menu, saw {separators}")
        s1, s2 = separators[0][0], separators[1][0]
        x = (menu["left"] + menu["right"]) // 2
        return {"about": (x, (menu["top"] + s1) // 2), "start": (x, (separators[0][-1] + s2) // 2),
                "donation": (x, s2 + (menu["bottom"] - s2) // 4),
                "exit": (x, s2 + 3 * (menu["bottom"] - s2) // 4)}

    def choose(self, item, button=1):
        menu = self.open_menu(button)
        x, y = self.menu_items(menu)[item]
        self.desktop.click(x, y)
        expect(wait_for(lambda: not self.probe.ask("menu")["open"], 3), "the menu stayed open")

    def run_value(self):
        return self.desktop.reg_query(RUN_KEY, "Tapperbird")


# ---- the checks, in the order a user meets them ----------------------------------------------

def check_realisation_units(s):
    if not s.args.unit:
        return
    proc = s.desktop.wine(s.args.unit, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True)
    try:
        output, _ = proc.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise Failure("the realisation checks did not finish within 120 s")
    lines = [line for line in output.splitlines() if line.startswith(("FAIL", "PASS"))]
    expect(proc.returncode == 0 and lines and lines[-1].startswith("PASS"),
           "realisation checks failed:\n  " + "\n  ".join(lines))


def check_first_run(s):
    s.open_window("TargetA", 100, 100, 600, 500, TARGET_A)
    s.probe.ask("watch on")
    s.launch()
    value = wait_for(s.run_value, 10)
    expect(value, "the first run wrote no Run value")
    expected = f'"{INSTALLED_WINDOWS_PATH}"'
    expect(value == ("REG_SZ", expected), f"Run value {value}, expected REG_SZ {expected}")
    expect(s.desktop.reg_query(MARKER_KEY), "the first run left no marker key")


def check_perch(s):
    s.check_perched("TargetA", "01-perched.png")


def check_follows_move(s):
    s.desktop.x("xdotool", "windowmove", "--sync", s.desktop.xid("TargetA"), "220", "160")
    time.sleep(0.3)
    s.check_perched("TargetA", "02-moved.png")


def check_new_target_settles(s):
    s.open_window("TargetB", 760, 80, 400, 560, TARGET_B)
    changed = time.time()
    point, _ = s.check_perched("TargetB", "03-new-target.png")
    rests = []
    while time.time() - changed < 1.9:
        rests.append(s.desktop.grab().frame_at(s.frames, *point))
        time.sleep(0.15)
    expect(rests and all(f == 1 for f in rests), f"frames while settling: {rests}")
    # Pecking resumes after the delay; two draws in twenty start a peck every 200 ms at rest.
    def pecking():
        frame = s.desktop.grab().frame_at(s.frames, *point)
        return frame if frame not in (None, 1) else None
    frame = wait_for(pecking, 20, step=0.05)
    expect(frame, "the bird never pecked after settling")
    expect(time.time() - changed >= 2.0, "the settle delay was shorter than two seconds")


def check_short_and_tall(s):
    xid = s.desktop.xid("TargetB")
    s.desktop.x("xdotool", "windowsize", "--sync", xid, "400", "60")
    time.sleep(0.3)
    rect = s.rect("TargetB")
    expect(rect["bottom"] - rect["top"] <= 106, f"the short window is not short: {rect}")
    s.check_hidden("04-short-hidden.png")
    s.desktop.x("xdotool", "windowsize", "--sync", xid, "400", "560")
    time.sleep(0.3)
    s.check_perched("TargetB", "05-tall-again.png")


def check_menu_buttons(s):
    # A press on a transparent pixel of the bird's square is not a press on the bird.
    bird = s.probe.ask("bird")
    frame = s.frames[s.desktop.grab().frame_at(s.frames, bird["left"], bird["top"]) - 1]
    empty = next((x, y) for y in range(s.frame_h) for x in range(s.frame_w - 1, 8, -1)
                 if (x, y) not in frame.opaque and bird["left"] + x < WIDTH)
    s.desktop.click(bird["left"] + empty[0], bird["top"] + empty[1])
    time.sleep(0.5)
    expect(not s.probe.ask("menu")["open"], f"a press on the empty pixel {empty} opened the menu")
    # That press landed on the bare desktop, which took the foreground; give it back.
    s.desktop.activate("TargetB")
    s.check_perched("TargetB", "06-before-menu.png")
    for button, name in ((1, "06-menu-left.png"), (3, "07-menu-right.png")):
        s.open_menu(button)
        s.desktop.grab(name)
        # Dismiss by clicking into the window the bird sits on.
        rect = s.rect("TargetB")
        s.desktop.click(rect["client_left"] + 40, rect["client_bottom"] - 40)
        expect(wait_for(lambda: not s.probe.ask("menu")["open"], 3), "the menu did not close")
        foreground = wait_for(lambda: s.probe.ask("fg")["hwnd"] == s.windows["TargetB"], 2)
        expect(foreground, f"after the menu the foreground is {s.probe.ask('fg')}")
        s.check_perched("TargetB", name.replace("menu", "after-menu"))


def check_run_at_startup_toggle(s):
    expect(s.run_value(), "no Run value before the toggle")
    s.choose("start")
    expect(wait_for(lambda: s.run_value() is None, 5), "unticking kept the Run value")
    s.choose("start")
    value = wait_for(s.run_value, 5)
    expect(value == ("REG_SZ", f'"{INSTALLED_WINDOWS_PATH}"'), f"re-ticking wrote {value}")


def check_about(s):
    s.choose("about")
    about = wait_for(lambda: s.probe.ask("about")["found"] and s.probe.ask("about"), 5)
    expect(about, "no About window")
    time.sleep(0.5)
    s.desktop.grab("08-about.png")
    bird = s.probe.ask("bird")
    expect(bird["left"] >= WIDTH, f"the bird is not beyond the right edge: {bird}")
    # The hand over the picture and the two links, the arrow over the other labels. Points are
    # inside each control's designed place: 15 twips a pixel, Frame1's children offset by it.
    r = s.probe.ask("rect " + about["hwnd"])
    def cursor_at(x_twips, y_twips):
        s.desktop.x("xdotool", "mousemove", "--sync", str(r["client_left"] + x_twips // 15),
                    str(r["client_top"] + y_twips // 15))
        time.sleep(0.3)
        return s.probe.ask("cursor")["handle"]
    arrow = {cursor_at(240 + 150, 240 + 120), cursor_at(240 + 100, 720 + 90)}  # Label1, lblversion
    hands = {cursor_at(240 + 1080 + 465, 1080 + 960 + 232),  # Image1
             cursor_at(240 + 360 + 300, 1080 + 1680 + 120),  # Label4
             cursor_at(240 + 615 + 930, 1080 + 2400 + 120)}  # Label6
    expect(len(arrow) == 1 and len(hands) == 1 and arrow != hands,
           f"cursors: labels {arrow}, links {hands}")
    s.probe.ask("close " + about["hwnd"])
    expect(wait_for(lambda: not s.probe.ask("about")["found"], 5), "the About window stayed")
    foreground = s.probe.ask("fg")
    title = next((t for t, h in s.windows.items() if h == foreground["hwnd"]), None)
    expect(title, f"after About the foreground is {foreground}")
    s.check_perched(title, "09-after-about.png")


def check_exit(s):
    s.choose("exit")
    expect(wait_for(lambda: not s.running(), 5), "Exit did not end the process")


def check_restart_writes_nothing(s):
    s.desktop.reg_delete(RUN_KEY, "Tapperbird")
    expect(s.run_value() is None, "could not delete the Run value")
    s.launch()
    time.sleep(2)
    expect(s.run_value() is None, "a restart with the marker present wrote the Run value")
    s.check_perched("TargetB", "10-restarted.png")
    s.choose("exit")
    expect(wait_for(lambda: not s.running(), 5), "Exit did not end the restarted process")


def set_dpi(s, dpi):
    subprocess.run(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                    "REG_DWORD", "/d", str(dpi), "/f"], env=s.desktop.env, capture_output=True,
                   timeout=60)


def check_high_dpi(s):
    """At 120 DPI a twip is 1/12 pixel: the About window's 3600 x 4425 twips are 300 x 369."""
    set_dpi(s, 120)
    try:
        s.launch()
        s.desktop.activate("TargetB")
        s.check_perched("TargetB", "11-dpi120-perched.png")
        bird = s.probe.ask("bird")
        expect((bird["right"] - bird["left"], bird["bottom"] - bird["top"]) == (43, 71),
               f"the bird is not 43 x 71 at 120 DPI: {bird}")
        s.choose("about")
        about = wait_for(lambda: s.probe.ask("about")["found"] and s.probe.ask("about"), 5)
        expect(about, "no About window at 120 DPI")
        time.sleep(0.5)
        s.desktop.grab("12-dpi120-about.png")
        r = s.probe.ask("rect " + about["hwnd"])
        client = (r["client_right"] - r["client_left"], r["client_bottom"] - r["client_top"])
        expect(client == (300, 369), f"About client area {client} at 120 DPI")
        s.probe.ask("close " + about["hwnd"])
        wait_for(lambda: not s.probe.ask("about")["found"], 5)
        s.desktop.activate("TargetB")
        s.choose("exit")
        expect(wait_for(lambda: not s.running(), 5), "Exit did not end the process")
    finally:
        set_dpi(s, 96)


def check_never_foreground(s):
    watch = s.probe.ask("watch report")
    expect(watch["samples"] > 100, f"the foreground watch barely ran: {watch}")
    expect(watch["bird"] == 0, f"the bird was the foreground window in {watch['bird']} samples")


CHECKS = [check_realisation_units, check_first_run, check_perch, check_follows_move, check_new_target_settles,
          check_short_and_tall, check_menu_buttons, check_run_at_startup_toggle, check_about,
          check_exit, check_restart_writes_nothing, check_high_dpi, check_never_foreground]


def run_checks(s):
    failures = 0
    for check in CHECKS:
        started = time.time()
        try:
            check(s)
            watch = s.probe.ask("watch report") if s.probe else {}
            if watch.get("bird"):
                print(f"  the bird was the foreground {watch['bird_ms_ago']} ms ago")
            print(f"PASS {check.__name__} ({time.time() - started:.1f} s)", flush=True)
        except Exception as error:  # one broken check must not hide the others' results
            failures += 1
            print(f"FAIL {check.__name__}: {error}", flush=True)
            s.desktop.grab(f"failed-{check.__name__}.png")
    return failures


# ---- the soak run ----------------------------------------------------------------------------

def unix_stats(pid):
    """CPU seconds and resident/peak memory in KiB of a process, from /proc."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    cpu = (int(fields[11]) + int(fields[12])) / ticks
    memory = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                memory[key] = int(value.split()[0])
    return cpu, memory.get("VmRSS", 0), memory.get("VmHWM", 0)


def run_soak(s, seconds):
    s.open_window("Soak0", 60, 60, 500, 400, TARGET_A)
    bird = s.launch()
    pid = bird["pid"]
    time.sleep(3)

    # At rest: one window, nothing happening, one minute.
    cpu0, _, _ = unix_stats(s.program.pid)
    time.sleep(60)
    cpu1, rss, hwm = unix_stats(s.program.pid)
    print(f"REST cpu_seconds_per_60s={cpu1 - cpu0:.2f} rss_kib={rss} peak_kib={hwm}", flush=True)
    print("WINE stats at rest:", s.probe.ask(f"stats {pid}"), flush=True)

    rng = random.Random(1)
    titles = ["Soak0"]
    serial = 1
    samples = []
    menus = missed = 0
    started = time.time()
    next_sample = started
    next_menu = started + 10
    while time.time() - started < seconds:
        expect(s.running(), f"the program died after {time.time() - started:.0f} s")
        action = rng.random()
        if action < 0.1 and len(titles) < 6:
            title = f"Soak{serial}"
            serial += 1
            s.probe.ask(f"open {title} {rng.randrange(0, 800)} {rng.randrange(0, 400)} "
                        f"{rng.randrange(150, 500)} {rng.randrange(80, 400)} {rng.randrange(1 << 24):06x}")
            s.windows[title] = s.probe.ask("fg")["hwnd"]
            titles.append(title)
        elif action < 0.18 and len(titles) > 2:
            title = titles.pop(rng.randrange(len(titles)))
            s.probe.ask("destroy " + s.windows.pop(title, "0"))
        elif action < 0.35 and titles:
            title = rng.choice(titles)
            if title in s.windows:
                s.probe.ask(f"move {s.windows[title]} {rng.randrange(0, 900)} {rng.randrange(0, 500)} "
                            f"{rng.randrange(150, 500)} {rng.randrange(80, 400)}")
        else:
            xid = s.desktop.xid(rng.choice(titles))
            if xid:
                s.desktop.x("xdotool", "windowactivate", xid)
        if time.time() >= next_menu:
            # Hold the churn for a moment so the bird sits still on a tall window to be pressed.
            tall = [t for t in titles if t in s.windows and
                    s.rect(t)["bottom"] - s.rect(t)["top"] > 120]
            if tall and s.desktop.activate(rng.choice(tall)):
                time.sleep(0.5)
                try:
                    s.open_menu(rng.choice((1, 3)))
                    menus += 1
                    s.desktop.click(5, HEIGHT - 5)  # dismiss on the bare desktop
                    wait_for(lambda: not s.probe.ask("menu")["open"], 3)
                except Failure as error:
                    print("menu:", error, flush=True)
                    missed += 1
            next_menu = time.time() + 10
        if time.time() >= next_sample:
            wine = s.probe.ask(f"stats {pid}")
            cpu, rss, hwm = unix_stats(s.program.pid)
            samples.append((time.time() - started, wine, rss))
            print(f"SAMPLE t={samples[-1][0]:.0f}s gdi={wine['gdi']} user={wine['user']} "
                  f"handles={wine['handles']} ws_kib={wine['working_set'] // 1024} "
                  f"rss_kib={rss} cpu_s={cpu:.1f}", flush=True)
            next_sample = time.time() + 30
        time.sleep(0.3)

    expect(s.running(), "the program died at the end of the soak")
    print(f"MENUS opened={menus} missed={missed}", flush=True)
    expect(menus >= 2 * missed and menus > 0, f"only {menus} menus opened, {missed} missed")
    settled = [x for x in samples if x[0] >= 60] or samples
    first, last = settled[0], settled[-1]
    for key, slack in (("gdi", 4), ("user", 8), ("handles", 16)):
        expect(last[1][key] - first[1][key] <= slack,
               f"{key} grew from {first[1][key]} to {last[1][key]}")
    expect(last[2] - first[2] <= 4096, f"resident memory grew from {first[2]} to {last[2]} KiB")
    print(f"SOAK ok for {seconds} s: gdi {first[1]['gdi']}->{last[1]['gdi']}, handles "
          f"{first[1]['handles']}->{last[1]['handles']}, rss {first[2]}->{last[2]} KiB", flush=True)
    return 0


class Tee:
    """Copies what the run prints into the artifacts, since CTest keeps only failed output."""

    def __init__(self, path):
        self.file = open(path, "w")
        self.stdout = sys.stdout

    def write(self, text):
        self.stdout.write(text)
        self.file.write(text)

    def flush(self):
        self.stdout.flush()
        self.file.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--assets", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--unit", help="the realisation's own check program, run first")
    parser.add_argument("--soak", type=int, default=0, help="seconds of soak instead of checks")
    args = parser.parse_args()
    for tool in ("Xvfb", "openbox", "wine", "wineserver", "xdotool", "import", "convert"):
        if shutil.which(tool) is None:
            print(f"missing tool: {tool}")
            return 1
    os.makedirs(args.artifacts, exist_ok=True)
    for name in os.listdir(args.artifacts):
        if name.endswith(".png"):  # last run's pictures would pass for this run's
            os.remove(os.path.join(args.artifacts, name))
    sys.stdout = Tee(os.path.join(args.artifacts, "soak-report.txt" if args.soak else "report.txt"))
    session = Session(args)
    try:
        session.start()
        if args.soak:
            try:
                return run_soak(session, args.soak)
            except Failure as error:
                print(f"FAIL soak: {error}")
                return 1
        failures = run_checks(session)
        print(f"{len(CHECKS) - failures} of {len(CHECKS)} checks passed; screenshots in "
              f"{args.artifacts}")
        return 1 if failures else 0
    finally:
        session.stop()


if __name__ == "__main__":
    sys.exit(main())
