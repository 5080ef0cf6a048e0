#!/usr/bin/env python3
"""High DPI and two monitors under Wine: the real Tapperbird.exe at 96, 120, 144, 168, 192 and
288 DPI (Wine's LogPixels), each time checked pixel by pixel against the frames enlarged by the
expected whole number, nearest neighbour; at 192 DPI the hit test, the About window and its
picture at twice their size; on two monitors (an Xvfb screen split with xrandr --setmonitor,
which Wine reads through Xinerama) a maximised window and the About pause sending the bird out of
sight; and logging off (wineboot --end-session) ending the program cleanly. The desktop comes from
../desktop.py, with a fresh 64-bit prefix.

    high_dpi_e2e.py --exe Tapperbird.exe --probe tb_probe.exe --assets DIR --artifacts DIR
                    [--unit tb_win32_test.exe]
"""

import argparse
import os
import queue
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import desktop  # noqa: E402  (the shared harness one folder up)
from desktop import Failure, check, common_pixels, load_frames, poll, wait_for  # noqa: E402

WIDTH, HEIGHT, SPLIT = 1600, 900, 800  # two monitors side by side, the primary on the left
BIRD_ONLY = ((255, 0, 0), (128, 0, 0), (159, 159, 127))  # nowhere else on this desktop
TARGET = (60, 60, 500, 600)  # x, y, width, height: on the left monitor, clear of its edge
DESIGN = {"client": (3600, 4425), "picture": (240 + 1080, 1080 + 960)}  # About, in twips
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
MARKER_KEY = r"HKCU\Software\Velmor's Software\Tapperbird\1.0\temp"
# The whole-number factor each DPI should give: the scale rounded to nearest, halves down.
# 192 comes last: that run stays up for the checks that follow.
FACTORS = {96: 1, 120: 1, 144: 1, 168: 2, 288: 3, 192: 2}


class WineDesktop(desktop.Desktop):
    def __init__(self, artifacts):
        super().__init__(artifacts, WIDTH, HEIGHT)
        self.env.update(WINEPREFIX=os.path.join(self.temp, "prefix"), WINEARCH="win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")

    def start(self):
        super().start()
        for name, geometry in (("left", f"{SPLIT}/200x{HEIGHT}/200+0+0"),
                               ("right", f"{WIDTH - SPLIT}/200x{HEIGHT}/200+{SPLIT}+0")):
            self.x("xrandr", "--setmonitor", name, geometry, "screen" if name == "left" else
                   "none", check_rc=True)
        subprocess.run(["wineboot", "-i"], env=self.env, capture_output=True, timeout=300,
                       check=True)
        # Wine's RandR code lists CRTCs, of which Xvfb has one; Xinerama lists the monitors.
        self.reg("add", r"HKCU\Software\Wine\X11 Driver", "/v", "UseXRandR", "/d", "N", "/f")
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)

    def stop(self):
        if os.path.isdir(self.env["WINEPREFIX"]):  # every Windows process of this prefix
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        super().stop()

    def reg(self, *args):
        return subprocess.run(["wine", "reg", *args], env=self.env, capture_output=True,
                              text=True, timeout=60)

    def set_dpi(self, dpi):
        self.reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                 "/d", str(dpi), "/f")

    def registry_state(self):
        """What the program may write: the Run value and the first-run marker, as text."""
        return [self.reg("query", key).stdout.strip() for key in (RUN_KEY, MARKER_KEY)]


class Probe:
    """tb_probe.exe in the prefix: a command a line in, "ok key=value ..." a line out."""

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


class Enlarged:
    """A picture enlarged `factor` times, nearest neighbour: its opaque pixels as screen blocks."""

    def __init__(self, opaque, width, height, factor):
        self.factor, self.width, self.height = factor, width * factor, height * factor
        self.opaque = opaque

    def mismatches(self, shot, left, top, limit=5):
        """Up to `limit` screen pixels of the enlarged picture that do not show its colour."""
        bad = []
        for (x, y), rgb in self.opaque.items():
            for dy in range(self.factor):
                for dx in range(self.factor):
                    sx, sy = left + x * self.factor + dx, top + y * self.factor + dy
                    if shot.at(sx, sy) != rgb:
                        bad.append((sx, sy, shot.at(sx, sy), rgb))
                        if len(bad) >= limit:
                            return bad
        return bad


def read_bmp_opaque(path):
    frame = desktop.Frame(path)
    return frame.opaque, frame.width, frame.height


class Session:
    def __init__(self, args, d):
        self.args, self.d = args, d
        self.frames = load_frames(args.assets)
        self.program = None
        self.probe = Probe(d, args.probe)
        self.target = self.probe.ask("open Target {} {} {} {} 2860a0".format(*TARGET))["hwnd"]
        poll(lambda: d.xid("Target"), 10)

    def launch(self):
        self.program = self.d.spawn(["wine", self.args.exe])
        self.d.activate("Target")
        return wait_for(lambda: (b := self.probe.ask("bird"))["found"] and b, 20,
                        "the bird window never appeared")

    def stop_program(self):
        self.program.terminate()  # by the PID this run started
        self.program.wait(timeout=20)
        wait_for(lambda: not self.probe.ask("bird")["found"], 10, "the bird window stayed")

    def rect(self):
        return self.probe.ask("rect " + self.target)

    def perch(self, factor):
        r = self.rect()
        return r["right"] - 4 * factor, round(r["top"] + (r["bottom"] - r["top"]) / 4)

    def bird_at(self, point, timeout=5.0):
        return poll(lambda: (b := self.probe.ask("bird")) and
                    (b["left"], b["top"]) == point and b, timeout)

    def shown_frame(self, factor, left, top, shot_name=None):
        """The number of the frame that shows, enlarged, exactly at (left, top), or None; the
        last screenshot is kept under `shot_name`."""
        enlarged = [Enlarged(f.opaque, f.width, f.height, factor) for f in self.frames]
        shots = []

        def matching():
            shots.append(self.d.shot())
            return next((n for n, e in enumerate(enlarged, 1)
                         if not e.mismatches(shots[-1], left, top, 1)), None)
        number = poll(matching, 1.5)
        if shot_name:
            self.d.save(shots[-1], shot_name)
        return number, shots[-1]

    def hidden(self, shot_name):
        """True once the bird is past every monitor and none of its colours show."""
        bird = poll(lambda: (b := self.probe.ask("bird"))["left"] >= WIDTH and b, 3)
        stray = self.d.shot(shot_name).find_colours(BIRD_ONLY)
        return bird and not stray, (self.probe.ask("bird"), stray[:3])

    def menu_items(self):
        """The open menu's rectangle and the centre of its first command (About)."""
        menu = wait_for(lambda: (m := self.probe.ask("menu"))["open"] and m, 3, "no menu")
        time.sleep(0.3)
        shot = self.d.shot()
        left, right = menu["left"] + 6, menu["right"] - 6
        for y in range(menu["top"] + 2, menu["bottom"] - 2):  # the first separator line
            if (len({shot.at(x, y) for x in range(left, right)}) == 1 and
                    shot.at(left, y) != shot.at(left, menu["top"] + 3)):
                return menu, ((menu["left"] + menu["right"]) // 2, (menu["top"] + y) // 2)
        raise Failure(f"no separator in the menu {menu}")


# ---- the checks ------------------------------------------------------------------------------

def check_realisation_units(s):
    """The realisation's own checks, here at 192 DPI, where the About layout doubles."""
    if not s.args.unit:
        return
    proc = s.d.spawn(["wine", s.args.unit], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                     text=True)
    output, _ = proc.communicate(timeout=120)
    lines = [line for line in output.splitlines() if line.startswith(("FAIL", "PASS"))]
    check(proc.returncode == 0 and lines and lines[-1].startswith("PASS"),
          "realisation checks at 192 DPI failed:\n  " + "\n  ".join(lines))


def check_two_monitors_seen(s):
    monitors = s.probe.ask("monitors")
    check(monitors["count"] == 2 and monitors["m0_right"] == SPLIT and
          monitors["m1_right"] == WIDTH, f"Wine does not show the two monitors: {monitors}")


def check_sizes_at_each_dpi(s):
    sizes = []
    for dpi, factor in FACTORS.items():
        s.d.set_dpi(dpi)
        s.launch()
        point = s.perch(factor)
        bird = s.bird_at(point)
        check(bird, f"{dpi} DPI: the bird is not at the perch {point}: {s.probe.ask('bird')}")
        size = (bird["right"] - bird["left"], bird["bottom"] - bird["top"])
        sizes.append((dpi, factor, size))
        print(f"MEASURED dpi={dpi} factor={factor} bird={size[0]}x{size[1]}", flush=True)
        check(size == (43 * factor, 71 * factor), f"{dpi} DPI: the bird is {size}")
        number, shot = s.shown_frame(factor, *point, f"dpi{dpi}-perched")
        check(number, f"{dpi} DPI: no frame shows enlarged {factor}x, nearest neighbour, at "
                      f"{point} (dpi{dpi}-perched.png)")
        x, y = point
        stray = shot.find_colours(BIRD_ONLY, (x, y, x + size[0], y + size[1]))
        check(not stray, f"{dpi} DPI: bird colours outside the bird at {stray[:3]}")
        if dpi == 192:
            crop = (x - 10, y - 10, size[0] + 20, size[1] + 20)
            s.d.shot("bird-2x-192dpi", crop)
        if dpi != 192:
            s.stop_program()
    with open(os.path.join(s.args.artifacts, "high-dpi-sizes.txt"), "w") as f:
        for dpi, factor, (w, h) in sizes:
            f.write(f"{dpi} DPI: factor {factor}, bird {w} x {h} px\n")


def check_hit_test_at_twice(s):
    """At 192 DPI: a press on a pixel opaque in every frame opens the menu, one on a pixel clear
    in every frame does not."""
    point = s.perch(2)
    clear = [p for p in common_pixels(s.frames, False) if p[0] > 8 and p[1] > 8]
    x, y = clear[len(clear) // 2]
    s.d.click(point[0] + 2 * x + 1, point[1] + 2 * y + 1)
    time.sleep(0.5)
    check(not s.probe.ask("menu")["open"], f"a press on the clear pixel {(x, y)} opened the menu")
    s.d.activate("Target")
    check(s.bird_at(point), "the bird did not come back to the target")
    opaque = common_pixels(s.frames, True)
    x, y = opaque[len(opaque) // 2]
    s.d.click(point[0] + 2 * x + 1, point[1] + 2 * y + 1)
    s.menu_items()  # open
    s.d.shot("menu-192dpi")
    r = s.rect()
    s.d.click(r["client_left"] + 40, r["client_bottom"] - 40)
    wait_for(lambda: not s.probe.ask("menu")["open"], 3, "the menu did not close")


def check_about_at_twice(s):
    point = s.perch(2)
    check(s.bird_at(point), "the bird is not perched before About")
    opaque = common_pixels(s.frames, True)
    x, y = opaque[len(opaque) // 2]
    s.d.click(point[0] + 2 * x + 1, point[1] + 2 * y + 1)
    _, about_item = s.menu_items()
    s.d.click(*about_item)
    about = wait_for(lambda: (a := s.probe.ask("about"))["found"] and a, 5, "no About window")
    time.sleep(0.5)
    r = s.probe.ask("rect " + about["hwnd"])
    client = (r["client_right"] - r["client_left"], r["client_bottom"] - r["client_top"])
    expected = tuple(round(t * 192 / 1440) for t in DESIGN["client"])
    check(client == expected, f"About client area {client} at 192 DPI, expected {expected}")
    # The About pause: past every monitor, not at the primary's width on the right monitor.
    bird = s.probe.ask("bird")
    check(bird["left"] >= WIDTH, f"the paused bird is on a monitor: {bird}")
    shot = s.d.shot("about-192dpi")
    opaque, w, h = read_bmp_opaque(os.path.join(s.args.assets, "donate.bmp"))
    px, py = (r["client_left"] + round(t * 192 / 1440) for t in DESIGN["picture"])
    # Wine frames the client area from its own caption metrics, openbox with its own title bar,
    # so the screen may show the client a few pixels off where Wine reports it.
    picture = Enlarged(opaque, w, h, 2)
    found = [(x, y) for dy in range(-24, 25) for dx in range(-24, 25)
             if not picture.mismatches(shot, (x := px + dx), (y := py + dy), 1)]
    check(found, f"the donate picture is not shown 2x nearest neighbour near {(px, py)}")
    print(f"donate picture 2x at {found[0]}, Wine's client area puts it at {(px, py)}")
    return about


def check_flush_on_the_left_monitor(s, about):
    """Two monitors: beside a window flush with the left one's right edge the bird would show
    on the right one, so it hides past both."""
    s.probe.ask("close " + about["hwnd"])
    wait_for(lambda: not s.probe.ask("about")["found"], 5, "the About window stayed")
    s.d.activate("Target")
    check(s.bird_at(s.perch(2)), "the bird did not perch again after About")
    # Flush with the left monitor's right edge, as maximised or snapped there.
    s.probe.ask(f"move {s.target} 0 0 {SPLIT} 700")
    ok, detail = s.hidden("flush-left-monitor")
    check(ok, f"beside a window flush with the left monitor the bird shows: {detail}")
    s.probe.ask("move {} {} {} {} {}".format(s.target, *TARGET))
    check(s.bird_at(s.perch(2)), "the bird did not perch once the window left the edge")
    # Maximised by the window manager, which fills the monitor the window is on.
    s.probe.ask(f"show {s.target} 3")
    maximised = poll(lambda: (r := s.rect())["client_right"] == SPLIT and r, 5)
    check(maximised, f"the window did not fill the left monitor: {s.rect()}")
    ok, detail = s.hidden("maximised-left-monitor")
    check(ok, f"beside a window maximised on the left monitor the bird shows: {detail}")
    s.probe.ask(f"show {s.target} 9")
    wait_for(lambda: s.rect()["client_right"] < SPLIT, 5, "the window was not restored")
    check(s.bird_at(s.perch(2)), "the bird did not perch on the restored window")


def check_logging_off(s):
    """wineboot --end-session: WM_QUERYENDSESSION and WM_ENDSESSION to every window. The program
    ends by itself, with exit code 0, having written nothing."""
    before = s.d.registry_state()
    ending = s.d.spawn(["wineboot", "--end-session"])
    ended = poll(lambda: s.program.poll() is not None, 15)
    check(ended, "the program still runs after the session ended")
    code = s.program.poll()
    check(code == 0, f"the program ended with code {code}")
    ending.wait(timeout=60)
    after = s.d.registry_state()
    check(after == before, f"the registry changed at logoff: {before} -> {after}")


CHECKS = [check_two_monitors_seen, check_sizes_at_each_dpi, check_hit_test_at_twice]


def run(s):
    failures = 0

    def attempt(name, fn, *a):
        nonlocal failures
        started = time.time()
        try:
            value = fn(*a)
            print(f"PASS {name} ({time.time() - started:.1f} s)", flush=True)
            return value
        except Exception as error:  # one broken check must not hide the others' results
            failures += 1
            print(f"FAIL {name}: {error}", flush=True)
            s.d.shot(f"failed-{name}")
            return None

    for each in CHECKS:
        attempt(each.__name__, each, s)
    about = attempt("check_about_at_twice", check_about_at_twice, s)
    if about:
        attempt("check_flush_on_the_left_monitor", check_flush_on_the_left_monitor, s, about)
    attempt("check_realisation_units", check_realisation_units, s)
    if s.program is not None and s.program.poll() is None:
        attempt("check_logging_off", check_logging_off, s)
    else:
        failures += 1
        print("FAIL check_logging_off: the program was not running", flush=True)
    print(f"{failures} failure(s); screenshots in {s.args.artifacts}")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    for option in ("--exe", "--probe", "--assets", "--artifacts"):
        parser.add_argument(option, required=True)
    parser.add_argument("--unit", help="the realisation's own check program")
    args = parser.parse_args()
    for tool in ("Xvfb", "openbox", "wine", "wineserver", "wineboot", "xdotool", "xrandr",
                 "import", "convert"):
        if shutil.which(tool) is None:
            print(f"missing tool: {tool}")
            return 1
    os.makedirs(args.artifacts, exist_ok=True)
    for name in os.listdir(args.artifacts):
        if name.endswith(".png"):  # last run's pictures would pass for this run's
            os.remove(os.path.join(args.artifacts, name))
    with WineDesktop(args.artifacts) as d:
        return run(Session(args, d))


if __name__ == "__main__":
    sys.exit(main())
