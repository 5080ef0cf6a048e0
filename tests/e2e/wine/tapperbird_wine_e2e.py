#!/usr/bin/env python3
"""End-to-end checks of the real Tapperbird.exe under Wine, in Xvfb with openbox, driven with
xdotool and judged from Wine's own window rectangles, the registry and exact screenshot pixels.
The desktop comes from ../desktop.py; a fresh 64-bit prefix per run, stopped with its wineserver.

    tapperbird_wine_e2e.py --exe Tapperbird.exe --probe tb_probe.exe --assets DIR --artifacts DIR
    ... --soak SECONDS   (the long run: foreground changes, window churn, menus; flat counts)
"""

import argparse
import os
import queue
import random
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import desktop  # noqa: E402  (the shared harness one folder up)
from desktop import (Failure, check, common_pixels, cpu_seconds, load_frames, perch,  # noqa: E402
                     poll, proc_kib, wait_for)

WIDTH, HEIGHT = 1280, 800
# Three of the bird's colours that appear nowhere else on this test desktop.
BIRD_ONLY = ((255, 0, 0), (128, 0, 0), (159, 159, 127))
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
MARKER_KEY = r"HKCU\Software\Velmor's Software\Tapperbird\1.0\temp"
INSTALLED = ("Program Files", "Tapperbird", "Tapperbird.exe")
RUN_DATA = ("REG_SZ", '"C:\\' + "\\".join(INSTALLED) + '"')
TARGET_A, TARGET_B = "2860a0", "3c8c3c"


class WineDesktop(desktop.Desktop):
    def __init__(self, artifacts):
        super().__init__(artifacts, WIDTH, HEIGHT)
        self.env.update(WINEPREFIX=os.path.join(self.temp, "prefix"), WINEARCH="win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")

    def start(self):
        super().start()
        subprocess.run(["wineboot", "-i"], env=self.env, capture_output=True, timeout=300,
                       check=True)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)

    def stop(self):
        if os.path.isdir(self.env["WINEPREFIX"]):  # every Windows process of this prefix
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        super().stop()

    def drive_c(self, *parts):
        return os.path.join(self.env["WINEPREFIX"], "drive_c", *parts)

    def reg(self, *args):
        return subprocess.run(["wine", "reg", *args], env=self.env, capture_output=True,
                              text=True, timeout=60)

    def reg_query(self, key, value=None):
        """The value's (type, data) or, with no value name, True; None when absent."""
        out = self.reg("query", key, *(["/v", value] if value else []))
        if out.returncode != 0 or value is None:
            return out.returncode == 0 or None
        for parts in (line.strip().split(None, 2) for line in out.stdout.splitlines()):
            if len(parts) >= 2 and parts[0] == value:
                return parts[1], (parts[2] if len(parts) > 2 else "")
        return None


class Probe:
    """The probe helper in the prefix: a command a line in, "ok key=value ..." a line out."""

    def __init__(self, d, exe):
        self.proc = d.spawn(["wine", exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=lambda: [self.lines.put(line.strip()) for line in self.proc.stdout],
                         daemon=True).start()

    def ask(self, command, timeout=30):
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()
        reply = self.lines.get(timeout=timeout)
        if not reply.startswith("ok"):
            raise RuntimeError(f"probe: {command!r} -> {reply}")
        fields = (part.partition("=") for part in reply.split()[1:])
        return {k: int(v) if k != "hwnd" and v.lstrip("-").isdigit() else v for k, _, v in fields}


class Session:
    """The Wine desktop, the probe, the program under test and what the checks share."""

    def __init__(self, args, d):
        self.args, self.d = args, d
        self.frames = load_frames(args.assets)
        self.frame_w, self.frame_h = self.frames[0].width, self.frames[0].height
        # A pixel opaque in every frame: pressing there always lands on the bird.
        common = common_pixels(self.frames, True)
        self.grip = common[len(common) // 2]
        self.program = None
        self.windows = {}
        target = d.drive_c(*INSTALLED)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(args.exe, target)
        self.probe = Probe(d, args.probe)
        self.probe.ask("fg")

    def launch(self):
        self.program = self.d.spawn(["wine", self.d.drive_c(*INSTALLED)])
        return wait_for(lambda: self.ask_found("bird"), 20, "the bird window never appeared")

    def ask_found(self, what):
        reply = self.probe.ask(what)
        return reply if reply["found"] else None

    def running(self):
        return self.program is not None and self.program.poll() is None

    def exit(self):
        self.choose("exit")
        wait_for(lambda: not self.running(), 5, "Exit did not end the process")

    def open_window(self, title, x, y, w, h, colour):
        self.windows[title] = self.probe.ask(f"open {title} {x} {y} {w} {h} {colour}")["hwnd"]
        poll(lambda: self.d.xid(title), 10)
        self.d.activate(title)

    def rect(self, title):
        return self.probe.ask("rect " + self.windows[title])

    def bird_where(self, test, timeout=3.0):
        """Waits for Wine to report the bird window where test(bird) holds; returns it."""
        def there():
            bird = self.probe.ask("bird")
            return bird if test(bird) else None
        return poll(there, timeout)

    def check_perched(self, title, shot_name):
        r = self.rect(title)
        point = perch(r["left"], r["top"], r["right"], r["bottom"], WIDTH)
        check(self.bird_where(lambda b: (b["left"], b["top"]) == point),
              f"bird not at the perch {point} of {title} {r}: {self.probe.ask('bird')}")
        # Wine reports the new position a moment before the X server shows the new pixels.
        shots = []
        frame = poll(lambda: shots.append(self.d.shot()) or shots[-1].frame_at(self.frames, *point),
                     0.7)
        self.d.save(shots[-1], shot_name)
        check(frame, f"no frame's opaque pixels show unblended at {point} ({shot_name})")
        x, y = point
        stray = shots[-1].find_colours(BIRD_ONLY, (x, y, x + self.frame_w, y + self.frame_h))
        check(not stray, f"bird colours outside the bird at {stray[:5]} ({shot_name})")
        return point

    def check_hidden(self, shot_name):
        check(self.bird_where(lambda b: b["left"] >= WIDTH or b["top"] >= HEIGHT),
              f"the bird did not leave the screen: {self.probe.ask('bird')}")
        stray = self.d.shot(shot_name).find_colours(BIRD_ONLY)
        check(not stray, f"bird colours still on screen at {stray[:5]} ({shot_name})")

    def menu_closed(self, message):
        wait_for(lambda: not self.probe.ask("menu")["open"], 3, message)

    def open_menu(self, button=1):
        bird = self.probe.ask("bird")
        self.d.click(bird["left"] + self.grip[0], bird["top"] + self.grip[1], button)
        return wait_for(lambda: (m := self.probe.ask("menu"))["open"] and m, 3,
                        f"button {button} on the bird opened no menu")

    def menu_items(self, menu):
        """Centres of the four commands, found from the two separator lines."""
        time.sleep(0.2)
        shot = self.d.shot()
        left, right = menu["left"] + 6, menu["right"] - 6
        separators = []
        for y in range(menu["top"] + 2, menu["bottom"] - 2):
            if (len({shot.at(x, y) for x in range(left, right)}) == 1 and
                    shot.at(left, y) != shot.at(left, menu["top"] + 3)):
                if separators and y - separators[-1][-1] == 1:
                    separators[-1].append(y)
                else:
                    separators.append([y])
        check(len(separators) == 2, f"expected two separators in the menu, saw {separators}")
        s1, e1, s2 = separators[0][0], separators[0][-1], separators[1][0]
        x, top, bottom = (menu["left"] + menu["right"]) // 2, menu["top"], menu["bottom"]
        return {"about": (x, (top + s1) // 2), "start": (x, (e1 + s2) // 2),
                "donation": (x, s2 + (bottom - s2) // 4), "exit": (x, s2 + 3 * (bottom - s2) // 4)}

    def choose(self, item, button=1):
        self.d.click(*self.menu_items(self.open_menu(button))[item])
        self.menu_closed("the menu stayed open")

    def open_about(self, shot_name):
        self.choose("about")
        about = wait_for(lambda: self.ask_found("about"), 5, "no About window")
        time.sleep(0.5)
        self.d.shot(shot_name)
        return about, self.probe.ask("rect " + about["hwnd"])

    def close_about(self, about):
        self.probe.ask("close " + about["hwnd"])
        wait_for(lambda: not self.probe.ask("about")["found"], 5, "the About window stayed")

    def run_value(self):
        return self.d.reg_query(RUN_KEY, "Tapperbird")


# ---- the checks, in the order a user meets them ----------------------------------------------

def check_realisation_units(s):
    if not s.args.unit:
        return
    proc = s.d.spawn(["wine", s.args.unit], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                     text=True)
    try:
        output, _ = proc.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise Failure("the realisation checks did not finish within 120 s")
    lines = [line for line in output.splitlines() if line.startswith(("FAIL", "PASS"))]
    check(proc.returncode == 0 and lines and lines[-1].startswith("PASS"),
          "realisation checks failed:\n  " + "\n  ".join(lines))


def check_first_run(s):
    s.open_window("TargetA", 100, 100, 600, 500, TARGET_A)
    s.probe.ask("watch on")
    s.launch()
    value = wait_for(s.run_value, 10, "the first run wrote no Run value")
    check(value == RUN_DATA, f"Run value {value}, expected {RUN_DATA}")
    check(s.d.reg_query(MARKER_KEY), "the first run left no marker key")


def check_perch_and_follows_move(s):
    s.check_perched("TargetA", "01-perched")
    s.d.xdotool("windowmove", "--sync", s.d.xid("TargetA"), 220, 160)
    time.sleep(0.3)
    s.check_perched("TargetA", "02-moved")


def check_new_target_settles(s):
    s.open_window("TargetB", 760, 80, 400, 560, TARGET_B)
    changed = time.time()
    point = s.check_perched("TargetB", "03-new-target")
    rests = []
    while time.time() - changed < 1.9:
        rests.append(s.d.shot().frame_at(s.frames, *point))
        time.sleep(0.15)
    check(rests and all(f == 1 for f in rests), f"frames while settling: {rests}")
    # Pecking resumes after the delay; two draws in twenty start a peck every 200 ms at rest.
    wait_for(lambda: s.d.shot().frame_at(s.frames, *point) not in (None, 1), 20,
             "the bird never pecked after settling", step=0.05)
    check(time.time() - changed >= 2.0, "the settle delay was shorter than two seconds")


def check_short_and_tall(s):
    s.d.xdotool("windowsize", "--sync", s.d.xid("TargetB"), 400, 60)
    time.sleep(0.3)
    rect = s.rect("TargetB")
    check(rect["bottom"] - rect["top"] <= 106, f"the short window is not short: {rect}")
    s.check_hidden("04-short-hidden")
    s.d.xdotool("windowsize", "--sync", s.d.xid("TargetB"), 400, 560)
    time.sleep(0.3)
    s.check_perched("TargetB", "05-tall-again")


def check_menu_buttons(s):
    # A press on a transparent pixel of the bird's square is not a press on the bird.
    bird = s.probe.ask("bird")
    frame = s.frames[s.d.shot().frame_at(s.frames, bird["left"], bird["top"]) - 1]
    empty = next((x, y) for y in range(s.frame_h) for x in range(s.frame_w - 1, 8, -1)
                 if (x, y) not in frame.opaque and bird["left"] + x < WIDTH)
    s.d.click(bird["left"] + empty[0], bird["top"] + empty[1])
    time.sleep(0.5)
    check(not s.probe.ask("menu")["open"], f"a press on the empty pixel {empty} opened the menu")
    # That press landed on the bare desktop, which took the foreground; give it back.
    s.d.activate("TargetB")
    s.check_perched("TargetB", "06-before-menu")
    for button, name in ((1, "06-menu-left"), (3, "07-menu-right")):
        s.open_menu(button)
        s.d.shot(name)
        # Dismiss by clicking into the window the bird sits on.
        rect = s.rect("TargetB")
        s.d.click(rect["client_left"] + 40, rect["client_bottom"] - 40)
        s.menu_closed("the menu did not close")
        check(poll(lambda: s.probe.ask("fg")["hwnd"] == s.windows["TargetB"], 2),
              f"after the menu the foreground is {s.probe.ask('fg')}")
        s.check_perched("TargetB", name.replace("menu", "after-menu"))


def check_run_at_startup_toggle(s):
    check(s.run_value(), "no Run value before the toggle")
    s.choose("start")
    wait_for(lambda: s.run_value() is None, 5, "unticking kept the Run value")
    s.choose("start")
    value = poll(s.run_value, 5)
    check(value == RUN_DATA, f"re-ticking wrote {value}")


def check_about(s):
    about, r = s.open_about("08-about")
    bird = s.probe.ask("bird")
    check(bird["left"] >= WIDTH, f"the bird is not beyond the right edge: {bird}")
    # The hand over the picture and the two links, the arrow over the other labels. Points are
    # inside each control's designed place: 15 twips a pixel, Frame1's children offset by it.
    def cursor_at(x_twips, y_twips):
        s.d.xdotool("mousemove", "--sync", r["client_left"] + x_twips // 15,
                    r["client_top"] + y_twips // 15)
        time.sleep(0.3)
        return s.probe.ask("cursor")["handle"]
    arrow = {cursor_at(240 + 150, 240 + 120), cursor_at(240 + 100, 720 + 90)}  # Label1, lblversion
    hands = {cursor_at(240 + 1080 + 465, 1080 + 960 + 232),  # Image1
             cursor_at(240 + 360 + 300, 1080 + 1680 + 120),  # Label4
             cursor_at(240 + 615 + 930, 1080 + 2400 + 120)}  # Label6
    check(len(arrow) == 1 and len(hands) == 1 and arrow != hands,
          f"cursors: labels {arrow}, links {hands}")
    s.close_about(about)
    foreground = s.probe.ask("fg")
    title = next((t for t, h in s.windows.items() if h == foreground["hwnd"]), None)
    check(title, f"after About the foreground is {foreground}")
    s.check_perched(title, "09-after-about")


def check_exit_and_restart_writes_nothing(s):
    s.exit()
    s.d.reg("delete", RUN_KEY, "/v", "Tapperbird", "/f")
    check(s.run_value() is None, "could not delete the Run value")
    s.launch()
    time.sleep(2)
    check(s.run_value() is None, "a restart with the marker present wrote the Run value")
    s.check_perched("TargetB", "10-restarted")
    s.exit()


def check_high_dpi(s):
    """At 120 DPI a twip is 1/12 pixel: the About window's 3600 x 4425 twips are 300 x 369."""
    def set_dpi(dpi):
        s.d.reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                str(dpi), "/f")
    set_dpi(120)
    try:
        s.launch()
        s.d.activate("TargetB")
        s.check_perched("TargetB", "11-dpi120-perched")
        bird = s.probe.ask("bird")
        check((bird["right"] - bird["left"], bird["bottom"] - bird["top"]) == (43, 71),
              f"the bird is not 43 x 71 at 120 DPI: {bird}")
        about, r = s.open_about("12-dpi120-about")
        client = (r["client_right"] - r["client_left"], r["client_bottom"] - r["client_top"])
        check(client == (300, 369), f"About client area {client} at 120 DPI")
        s.close_about(about)
        s.d.activate("TargetB")
        s.exit()
    finally:
        set_dpi(96)


def check_never_foreground(s):
    watch = s.probe.ask("watch report")
    check(watch["samples"] > 100, f"the foreground watch barely ran: {watch}")
    check(watch["bird"] == 0, f"the bird was the foreground window in {watch['bird']} samples")


CHECKS = [check_realisation_units, check_first_run, check_perch_and_follows_move,
          check_new_target_settles, check_short_and_tall, check_menu_buttons,
          check_run_at_startup_toggle, check_about, check_exit_and_restart_writes_nothing,
          check_high_dpi, check_never_foreground]


def run_checks(s):
    failures = 0
    for each in CHECKS:
        started = time.time()
        try:
            each(s)
            watch = s.probe.ask("watch report")
            if watch["bird"]:
                print(f"  the bird was the foreground {watch['bird_ms_ago']} ms ago")
            print(f"PASS {each.__name__} ({time.time() - started:.1f} s)", flush=True)
        except Exception as error:  # one broken check must not hide the others' results
            failures += 1
            print(f"FAIL {each.__name__}: {error}", flush=True)
            s.d.shot(f"failed-{each.__name__}")
    print(f"{len(CHECKS) - failures} of {len(CHECKS)} checks passed; screenshots in "
          f"{s.args.artifacts}")
    return 1 if failures else 0


# ---- the soak run ----------------------------------------------------------------------------

def run_soak(s, seconds):
    s.open_window("Soak0", 60, 60, 500, 400, TARGET_A)
    pid, unix_pid = s.launch()["pid"], s.program.pid
    time.sleep(3)
    # At rest: one window, nothing happening, one minute.
    cpu0 = cpu_seconds(unix_pid)
    time.sleep(60)
    print(f"REST cpu_seconds_per_60s={cpu_seconds(unix_pid) - cpu0:.2f} "
          f"rss_kib={proc_kib(unix_pid)} peak_kib={proc_kib(unix_pid, 'VmHWM')}", flush=True)
    print("WINE stats at rest:", s.probe.ask(f"stats {pid}"), flush=True)

    rng = random.Random(1)
    titles, serial, samples, menus, missed = ["Soak0"], 1, [], 0, 0
    started = next_sample = time.time()
    next_menu = started + 10
    while time.time() - started < seconds:
        check(s.running(), f"the program died after {time.time() - started:.0f} s")
        action = rng.random()
        if action < 0.1 and len(titles) < 6:
            title = f"Soak{serial}"
            serial += 1
            s.probe.ask(f"open {title} {rng.randrange(0, 800)} {rng.randrange(0, 400)} "
                        f"{rng.randrange(150, 500)} {rng.randrange(80, 400)} "
                        f"{rng.randrange(1 << 24):06x}")
            s.windows[title] = s.probe.ask("fg")["hwnd"]
            titles.append(title)
        elif action < 0.18 and len(titles) > 2:
            title = titles.pop(rng.randrange(len(titles)))
            s.probe.ask("destroy " + s.windows.pop(title, "0"))
        elif action < 0.35 and titles:
            title = rng.choice(titles)
            if title in s.windows:
                s.probe.ask(f"move {s.windows[title]} {rng.randrange(0, 900)} "
                            f"{rng.randrange(0, 500)} {rng.randrange(150, 500)} "
                            f"{rng.randrange(80, 400)}")
        else:
            xid = s.d.xid(rng.choice(titles))
            if xid:
                s.d.xdotool("windowactivate", xid, check_rc=False)
        if time.time() >= next_menu:
            # Hold the churn for a moment so the bird sits still on a tall window to be pressed.
            tall = [t for t in titles if t in s.windows and
                    s.rect(t)["bottom"] - s.rect(t)["top"] > 120]
            if tall and s.d.activate(rng.choice(tall)):
                time.sleep(0.5)
                try:
                    s.open_menu(rng.choice((1, 3)))
                    menus += 1
                    s.d.click(5, HEIGHT - 5)  # dismiss on the bare desktop
                    poll(lambda: not s.probe.ask("menu")["open"], 3)
                except Failure as error:
                    print("menu:", error, flush=True)
                    missed += 1
            next_menu = time.time() + 10
        if time.time() >= next_sample:
            wine, rss = s.probe.ask(f"stats {pid}"), proc_kib(unix_pid)
            samples.append((time.time() - started, wine, rss))
            print(f"SAMPLE t={samples[-1][0]:.0f}s gdi={wine['gdi']} user={wine['user']} "
                  f"handles={wine['handles']} ws_kib={wine['working_set'] // 1024} "
                  f"rss_kib={rss} cpu_s={cpu_seconds(unix_pid):.1f}", flush=True)
            next_sample = time.time() + 30
        time.sleep(0.3)

    check(s.running(), "the program died at the end of the soak")
    print(f"MENUS opened={menus} missed={missed}", flush=True)
    check(menus >= 2 * missed and menus > 0, f"only {menus} menus opened, {missed} missed")
    settled = [x for x in samples if x[0] >= 60] or samples
    first, last = settled[0], settled[-1]
    for key, slack in (("gdi", 4), ("user", 8), ("handles", 16)):
        check(last[1][key] - first[1][key] <= slack,
              f"{key} grew from {first[1][key]} to {last[1][key]}")
    check(last[2] - first[2] <= 4096, f"resident memory grew from {first[2]} to {last[2]} KiB")
    print(f"SOAK ok for {seconds} s: gdi {first[1]['gdi']}->{last[1]['gdi']}, handles "
          f"{first[1]['handles']}->{last[1]['handles']}, rss {first[2]}->{last[2]} KiB", flush=True)
    return 0


class Tee:
    """Copies what the run prints into the artifacts, since CTest keeps only failed output."""

    def __init__(self, path):
        self.file, self.stdout = open(path, "w"), sys.stdout

    def write(self, text):
        self.stdout.write(text)
        self.file.write(text)

    def flush(self):
        self.stdout.flush()
        self.file.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("--exe", "--probe", "--assets", "--artifacts"):
        parser.add_argument(option, required=True)
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
    with WineDesktop(args.artifacts) as d:
        s = Session(args, d)
        if not args.soak:
            return run_checks(s)
        try:
            return run_soak(s, args.soak)
        except Failure as error:
            print(f"FAIL soak: {error}")
            return 1


if __name__ == "__main__":
    sys.exit(main())
