#!/usr/bin/env python3
"""End-to-end tests of the Linux program on a private Xvfb + openbox desktop: xev windows driven
by xdotool, screenshots (ImageMagick's import) checked pixel by pixel against the built frames.
The desktop itself comes from ../desktop.py. Standard library only.

  tapperbird_e2e.py --program P --assets DIR --artifacts DIR [--compositor] suite
  tapperbird_e2e.py ... soak --seconds 600
  tapperbird_e2e.py ... perf --seconds 60
  tapperbird_e2e.py --program P no-display
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import desktop  # noqa: E402  (the shared harness one folder up)
from desktop import (Failure, check, common_pixels, cpu_seconds, load_frames, log,  # noqa: E402
                     poll, proc_kib, wait_for)

SCREEN_W, SCREEN_H = 1024, 768
FRAME_W, FRAME_H = 43, 71
# openbox's default theme around a client: left, right, top (title), bottom (handle).
FRAME_EXTENTS = (1, 1, 20, 5)


class Desktop(desktop.Desktop):
    """The shared desktop, with xcompmgr when asked and a log of every active window."""

    def __init__(self, program, artifacts, compositor):
        super().__init__(artifacts, SCREEN_W, SCREEN_H, xvfb_args=("+extension", "Composite"))
        self.program, self.compositor = program, compositor
        self.env.update(NO_AT_BRIDGE="1", GTK_THEME="Adwaita")

    def start(self):
        super().start()
        if self.compositor:
            self.spawn(["xcompmgr"])
            time.sleep(1.0)  # it announces itself only through a selection xprop cannot show
        self.spy = self.spawn(["xprop", "-root", "-spy", "_NET_ACTIVE_WINDOW"],
                              stdout=subprocess.PIPE)
        os.set_blocking(self.spy.stdout.fileno(), False)

    def active_window(self):
        m = re.search(r"window id # (0x[0-9a-f]+)", self.x("xprop", "-root", "_NET_ACTIVE_WINDOW"))
        return int(m.group(1), 16) if m else 0

    def ever_active(self):
        """Every window _NET_ACTIVE_WINDOW named since the desktop started."""
        try:
            out = self.spy.stdout.read() or b""
        except BlockingIOError:
            out = b""
        return {int(v, 16) for v in re.findall(rb"window id # (0x[0-9a-f]+)", out)}

    def geometry(self, window, frame=False):
        """(left, top, width, height) of a window, or of its window-manager frame."""
        m = re.search(r"Absolute upper-left X:\s+(-?\d+).*?Absolute upper-left Y:\s+(-?\d+).*?"
                      r"Width:\s+(\d+).*?Height:\s+(\d+)", self.x("xwininfo", "-id", hex(window)),
                      re.S)
        check(m is not None, f"no geometry for window {window:#x}")
        left, top, width, height = (int(v) for v in m.groups())
        if not frame:
            return left, top, width, height
        # The frame is the client plus the extents the window manager announces.
        m = re.search(r"= (\d+), (\d+), (\d+), (\d+)",
                      self.x("xprop", "-id", hex(window), "_NET_FRAME_EXTENTS"))
        check(m is not None, f"no frame extents on window {window:#x}")
        l, r, t, b = (int(v) for v in m.groups())
        return left - l, top - t, width + l + r, height + t + b

    def open_window(self, width, height, x, y, name):
        """An xev window of an exact client size; returns (process, client window, log path)."""
        path = os.path.join(self.temp, name + ".log")
        before = set(self.client_windows())
        with open(path, "wb") as out:
            p = self.spawn(["xev", "-name", name, "-geometry", f"{width}x{height}+{x}+{y}",
                            "-event", "button", "-event", "structure"], stdout=out)
        window = wait_for(lambda: next(iter(set(self.client_windows()) - before), None), 10,
                               f"window {name} did not appear")
        wait_for(lambda: self.active_window() == window, 10, f"{name} was not activated")
        time.sleep(0.3)
        return p, window, path

    def client_windows(self):
        return [int(v, 16) for v in re.findall(r"0x[0-9a-f]+",
                                               self.x("xprop", "-root", "_NET_CLIENT_LIST"))]


class Bird:
    """The bird as the screen shows it."""

    def __init__(self, d, assets):
        self.d = d
        self.frames = load_frames(assets)
        check(all((f.width, f.height) == (FRAME_W, FRAME_H) for f in self.frames),
              "unexpected frame size")
        # Pixels opaque in every frame take a press whatever the animation shows; pixels clear in
        # every frame let it through.
        self.always_opaque = common_pixels(self.frames, True)
        self.never_opaque = common_pixels(self.frames, False)
        check(self.always_opaque, "no pixel is opaque in every frame")
        self.window = self.process = None

    def start(self, log_name="tapperbird"):
        with open(os.path.join(self.d.artifacts, log_name + ".log"), "wb") as err:
            self.process = self.d.spawn([self.d.program], stderr=err)
        self.window = wait_for(self.find_window, 15, "the bird window did not appear")
        log(f"bird window {self.window:#x}")

    def own_popups(self):
        """(window, width, height) of the program's viewable override-redirect windows."""
        found = []
        for m in re.finditer(r"^\s*(0x[0-9a-f]+) \"Tapperbird\".*\s(\d+)x(\d+)[+-]",
                             self.d.x("xwininfo", "-root", "-children"), re.M):
            info = self.d.x("xwininfo", "-id", m.group(1))
            if "Override Redirect State: yes" in info and "IsViewable" in info:
                found.append((int(m.group(1), 16), int(m.group(2)), int(m.group(3))))
        return found

    def find_window(self):
        return next((w for w, *size in self.own_popups() if size == [FRAME_W, FRAME_H]), None)

    def menu_window(self):
        return next((w for w, width, height in self.own_popups()
                     if w != self.window and width > 50 and height > 50), None)

    def position(self):
        x, y, w, h = self.d.geometry(self.window)
        check((w, h) == (FRAME_W, FRAME_H), f"bird window is {w}x{h}")
        return x, y

    def perch_for(self, window):
        left, top, width, height = self.d.geometry(window, frame=True)
        return desktop.perch(left, top, left + width, top + height, SCREEN_W)

    def wait_perched(self, window, seconds=5):
        """Waits until the bird sits at the window's perch; returns the perch point."""
        point = poll(lambda: (p := self.perch_for(window)) == self.position() and p, seconds)
        check(point, f"bird at {self.position()}, expected the perch {self.perch_for(window)} "
              f"of window {window:#x}")
        return point

    def visible_frame(self, point):
        return self.d.shot(crop=(*point, FRAME_W, FRAME_H)).frame_at(self.frames, *point)

    def is_hidden(self):
        x, y = self.position()
        return x >= SCREEN_W or y >= SCREEN_H or x + FRAME_W <= 0 or y + FRAME_H <= 0

    def click(self, point, pixel, button):
        self.d.click(point[0] + pixel[0], point[1] + pixel[1], button, pause=0.15)

    def open_menu(self, point, button=3):
        self.click(point, self.always_opaque[len(self.always_opaque) // 2], button)
        px, py = (int(v) for v in re.search(r"x:(\d+) y:(\d+)", self.d.x(
            "xdotool", "getmouselocation")).groups())
        menu = wait_for(self.menu_window, 5, f"no menu after a press of button {button}")
        mx, my, mw, mh = self.d.geometry(menu)
        # At the pointer + (1, 1), or flipped to the pointer's other side near a screen edge.
        check(mx in (px + 1, px - mw) and my in (py + 1, py - mh),
              f"menu at {(mx, my)} {mw}x{mh}, pointer at {(px, py)}")
        time.sleep(0.2)

    def choose(self, *keys):
        self.d.xdotool("key", *keys)
        wait_for(lambda: self.menu_window() is None, 5, "the menu did not close")


def autostart_text(d):
    """The autostart entry's text, or None while there is none."""
    try:
        with open(os.path.join(d.env["XDG_CONFIG_HOME"], "autostart", "Tapperbird.desktop")) as f:
            return f.read()
    except FileNotFoundError:
        return None


def expected_exec(program):
    quoted = program.replace("\\", "\\\\").replace('"', '\\"').replace("`", "\\`")
    quoted = quoted.replace("$", "\\$").replace("%", "%%")
    return 'Exec="' + quoted.replace("\\", "\\\\") + '"'


def run_suite(args):
    with Desktop(args.program, args.artifacts, args.compositor) as d:
        bird = Bird(d, args.assets)
        tag = "composited" if args.compositor else "plain"
        exec_line = expected_exec(os.path.realpath(args.program))

        # A first window, and the desktop as it looks without the bird.
        _, w1, w1_log = d.open_window(300, 400, 100, 100, "first")
        time.sleep(0.5)
        baseline = d.shot(f"{tag}-00-baseline")

        log("first run: autostart entry and marker")
        bird.start(f"{tag}-tapperbird")
        depth = re.search(r"Depth:\s+(\d+)", d.x("xwininfo", "-id", hex(bird.window))).group(1)
        check(depth == ("32" if args.compositor else "24"),
              f"bird window depth {depth} with compositor={args.compositor}")
        entry = wait_for(lambda: autostart_text(d), 5, "no autostart entry")
        check(exec_line in entry.splitlines(), f"the entry does not start the program:\n{entry}")
        check("Hidden=true" not in entry, "new autostart entry is disabled")
        check({"Icon=tapperbird", "TryExec=" + os.path.realpath(args.program)} <=
              set(entry.splitlines()), f"the entry lacks its icon or TryExec:\n{entry}")
        check(os.path.isdir(os.path.join(d.env["XDG_CONFIG_HOME"], "tapperbird", "temp")),
              "no first-run marker")

        log("perched on the active window, and nowhere else")
        perch = bird.wait_perched(w1)
        time.sleep(0.3)
        shot = d.shot(f"{tag}-01-perched")
        box = shot.diff_box(baseline)
        check(box is not None, "the bird changed nothing on the screen")
        check(perch[0] <= box[0] and perch[1] <= box[1] and box[2] <= perch[0] + FRAME_W and
              box[3] <= perch[1] + FRAME_H, f"screen changed in {box}, outside the bird at {perch}")
        frame = shot.frame_at(bird.frames, *perch)
        check(frame is not None, "the bird's pixels are not one of the frames")
        for fx, fy in ((x, y) for y in range(FRAME_H) for x in range(FRAME_W)
                       if (x, y) not in bird.frames[frame - 1].opaque):
            p = (perch[0] + fx, perch[1] + fy)
            check(shot.at(*p) == baseline.at(*p),
                  f"transparent pixel ({fx},{fy}) of frame {frame} hides the desktop")

        log("follows a moved and a resized window")
        for command, x, y in (("windowmove", 200, 150), ("windowsize", 360, 300)):
            d.xdotool(command, hex(w1), x, y)
            perch = bird.wait_perched(w1)
            check(bird.visible_frame(perch) is not None, f"bird not drawn after {command}")
        d.shot(f"{tag}-02-followed")

        log("moves to a newly activated window and rests about three seconds")
        _, w2, _ = d.open_window(250, 300, 600, 250, "second")
        activated = time.time()
        perch = bird.wait_perched(w2, 2)
        frames = []
        while time.time() - activated < 2.6:
            frames.append(bird.visible_frame(perch))
        check(frames and all(f == 1 for f in frames), f"frames during the settle delay: {frames}")
        d.shot(f"{tag}-03-new-window")
        seen = set()
        while time.time() - activated < 18 and not (seen - {1, None}):
            seen.add(bird.visible_frame(perch))
        check(seen - {1, None}, "the bird never pecked again after the settle delay")

        log("a press on a transparent pixel reaches the window beneath")
        d.xdotool("windowactivate", "--sync", hex(w1))
        perch = bird.wait_perched(w1)
        left, top, width, height = d.geometry(w1, frame=True)
        through = [(x, y) for (x, y) in bird.never_opaque
                   if perch[0] + x < left + width - FRAME_EXTENTS[1] - 1 and 30 < y < 60]
        check(through, "no transparent pixel of the bird lies over the window")
        px, py = perch[0] + through[0][0], perch[1] + through[0][1]
        mark = os.path.getsize(w1_log)
        bird.click(perch, through[0], 1)
        time.sleep(0.5)
        with open(w1_log, "rb") as f:
            f.seek(mark)
            events = f.read().decode(errors="replace")
        check(re.search(rf"ButtonPress event.*?root:\({px},{py}\)", events, re.S),
              f"the window beneath did not get the press at {(px, py)}:\n{events[-600:]}")
        check(bird.menu_window() is None, "a press on a transparent pixel opened the menu")

        log("presses with each button open the menu")
        for button in (1, 2, 3):
            bird.open_menu(perch, button)
            if button == 3:
                d.shot(f"{tag}-04-menu")
            bird.choose("Escape")
        check(autostart_text(d), "menu presses changed the autostart entry")

        log('"Run at Startup" removes and restores the entry')
        bird.open_menu(perch)
        bird.choose("Down", "Down", "Return")
        wait_for(lambda: autostart_text(d) is None, 5, "entry not removed")
        bird.open_menu(perch)
        d.shot(f"{tag}-05-menu-unticked")
        bird.choose("Down", "Down", "Return")
        entry = wait_for(lambda: autostart_text(d), 5, "entry not restored")
        check(exec_line in entry.splitlines(), "restored entry is wrong")
        # Switched off in the session settings, the entry counts as absent; ticking rewrites it on.
        with open(os.path.join(d.env["XDG_CONFIG_HOME"], "autostart", "Tapperbird.desktop"),
                  "a") as f:
            f.write("Hidden=true\n")
        bird.open_menu(perch)
        bird.choose("Down", "Down", "Return")
        wait_for(lambda: "Hidden=true" not in (autostart_text(d) or "Hidden=true"), 5,
                   "a disabled entry was not rewritten enabled")

        log('"About Tapperbird" hides the bird; closing it brings it back')
        bird.open_menu(perch)
        bird.choose("Down", "Return")
        about = wait_for(lambda: next((w for w in d.client_windows()
                                         if "\"About\"" in d.x("xprop", "-id", hex(w), "WM_NAME")),
                                        None), 5, "no About window")
        wait_for(lambda: d.active_window() == about, 5, "the About window is not active")
        time.sleep(0.5)
        check(bird.is_hidden(), f"bird visible at {bird.position()} while About is open")
        _, _, aw, ah = d.geometry(about)
        check((aw, ah) == (240, 295), f"About client area is {aw}x{ah}, not 240x295")
        fx, fy, fw, fh = d.geometry(about, frame=True)
        check(abs((fx + fw / 2) - SCREEN_W / 2) <= 2 and abs((fy + fh / 2) - SCREEN_H / 2) <= 12,
              f"About window not centred: frame {fx},{fy} {fw}x{fh}")
        actions = d.x("xprop", "-id", hex(about), "_NET_WM_ALLOWED_ACTIONS")
        check("_NET_WM_ACTION_CLOSE" in actions and "MAXIMIZE" not in actions and
              "RESIZE" not in actions, f"About window actions: {actions}")
        d.shot(f"{tag}-06-about")
        d.xdotool("key", "alt+F4")  # openbox's own close binding
        wait_for(lambda: about not in d.client_windows(), 5, "About did not close")
        wait_for(lambda: not bird.is_hidden(), 5, "the bird did not come back after About")
        bird.wait_perched(d.active_window())
        d.shot(f"{tag}-07-after-about")

        log("a short or minimised window hides the bird")
        _, w3, _ = d.open_window(200, 80, 500, 500, "short")  # frame 105 px: not over 106.5
        wait_for(bird.is_hidden, 5, "bird shown on a 105 px high window")
        d.xdotool("windowsize", hex(w3), 200, 82)  # frame 107 px
        bird.wait_perched(w3)
        d.xdotool("windowminimize", "--sync", hex(w3))
        wait_for(lambda: d.active_window() != w3, 5, "minimised window still active")
        for w in (w1, w2):
            d.xdotool("windowminimize", "--sync", hex(w))
        wait_for(bird.is_hidden, 5, "bird shown with every window minimised")
        d.shot(f"{tag}-08-all-minimised")
        d.xdotool("windowactivate", "--sync", hex(w2))
        perch = bird.wait_perched(w2)

        log("the bird never became the active window")
        history = d.ever_active()
        check(history, "the active-window log is empty")
        check(bird.window not in history, "the bird window became the active window")

        log('"Exit" ends the process')
        bird.open_menu(perch)
        d.xdotool("key", "Up", "Return")
        try:
            code = bird.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end on Exit")
        check(code == 0, f"exit code {code}")
        log(f"suite passed ({tag})")


def x_resources(d, pid):
    """The X resources the client with this PID holds, by kind, from xrestop; None if unlisted."""
    for block in re.split(r"\n(?=\d+ - )", d.x("xrestop", "-b", "-m", "1")):
        if re.search(rf"\(\s*PID:\s*{pid}\s*\)", block):
            return {key: int(n) for key, n in re.findall(
                r"^\s*(windows|GCs|fonts|pixmaps|pictures|glyphsets|colormaps|passive grabs|"
                r"cursors|unknowns|pixmap bytes)\s*:\s*(\d+)", block, re.M)}
    return None


def run_soak(args):
    with Desktop(args.program, args.artifacts, args.compositor) as d:
        _, w1, _ = d.open_window(300, 400, 100, 100, "base")
        bird = Bird(d, args.assets)
        bird.start()
        pid, samples, windows, step, start = bird.process.pid, [], [], 0, time.time()

        def sample():
            samples.append((time.time() - start, proc_kib(pid), x_resources(d, pid)))
            log(f"t={samples[-1][0]:.0f}s rss={samples[-1][1]} KiB x={samples[-1][2]}")

        while time.time() - start < args.seconds:
            check(bird.process.poll() is None, f"the program ended during the soak (step {step})")
            # Churn: open, move, resize, switch between, minimise and close windows.
            kind = step % 6
            if kind == 0 and len(windows) < 4:
                windows.append(d.open_window(150 + 10 * (step % 7), 120 + 20 * (step % 9),
                                             50 + 37 * (step % 17), 40 + 23 * (step % 13),
                                             f"churn{step}"))
            elif kind == 1:
                d.x("xdotool", "windowmove", hex(w1), str(60 + step % 300), str(40 + step % 200))
            elif kind == 2:
                d.x("xdotool", "windowsize", hex(w1), str(200 + step % 150), str(150 + step % 250))
            elif kind == 3 and windows:
                d.x("xdotool", "windowactivate", hex(windows[step % len(windows)][1]))
            elif kind == 4 and windows:
                d.x("xdotool", "windowminimize", hex(windows[0][1]))
            elif kind == 5 and windows:
                p = windows.pop(0)[0]
                p.terminate()
                p.wait()
                d.x("xdotool", "windowactivate", hex(w1))
            step += 1
            time.sleep(0.4)
            if step % 25 == 0:
                sample()
        check(bird.process.poll() is None, "the program ended during the soak")
        sample()
        # Judge from the first fifth on: start-up caches (fonts, GTK styles) fill early.
        settled = [s for s in samples if s[0] >= args.seconds / 5] or samples[-2:]
        growth = samples[-1][1] - settled[0][1]
        check(growth <= 1024, f"RSS grew by {growth} KiB during the soak")
        first_x, last_x = settled[0][2], samples[-1][2]
        check(first_x is not None and last_x is not None, "xrestop did not list the program")
        for key, value in last_x.items():
            check(value <= first_x.get(key, 0) + (4096 if key == "pixmap bytes" else 2),
                  f"X {key} grew from {first_x.get(key)} to {value}")
        log(f"soak passed after {step} steps")


def run_perf(args):
    with Desktop(args.program, args.artifacts, args.compositor) as d:
        d.open_window(300, 400, 100, 100, "rest")
        bird = Bird(d, args.assets)
        bird.start()
        # Debian installs the games outside the usual PATH.
        oneko_path = shutil.which("oneko") or shutil.which("oneko", path="/usr/games")
        check(oneko_path is not None, "oneko is not installed")
        pets = {"tapperbird": bird.process, "oneko": d.spawn([oneko_path, "-tofocus"])}
        time.sleep(3)
        before = {name: cpu_seconds(p.pid) for name, p in pets.items()}
        time.sleep(args.seconds)
        for name, p in pets.items():
            used = cpu_seconds(p.pid) - before[name]
            print(f"{name}: CPU {used:.2f} s over {args.seconds} s "
                  f"({100 * used / args.seconds:.2f} %), peak RSS {proc_kib(p.pid, 'VmHWM')} KiB",
                  flush=True)


def run_no_display(args):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    r = subprocess.run([args.program], env=env, capture_output=True, text=True, timeout=20)
    lines = r.stderr.strip().splitlines()
    check(r.returncode == 1, f"exit code {r.returncode} without a display")
    check(len(lines) == 1 and lines[0].startswith("tapperbird: cannot open display"),
          f"stderr without a display: {r.stderr!r}")
    log("no-display passed")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--assets")
    parser.add_argument("--artifacts", default=".")
    parser.add_argument("--compositor", action="store_true")
    parser.add_argument("--seconds", type=int, default=600)
    parser.add_argument("mode", choices=["suite", "soak", "perf", "no-display"])
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    os.makedirs(args.artifacts, exist_ok=True)
    try:
        {"suite": run_suite, "soak": run_soak, "perf": run_perf,
         "no-display": run_no_display}[args.mode](args)
    except Failure as e:
        print(f"FAILED: {e}", file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
