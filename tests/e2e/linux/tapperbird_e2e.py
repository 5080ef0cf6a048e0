#!/usr/bin/env python3
"""End-to-end tests of the Linux program on a private Xvfb + openbox desktop.

Drives xev windows with xdotool, takes screenshots with ImageMagick's import and checks them pixel
by pixel against the built frames. Every process it starts is stopped by its PID when it ends,
also on failure. Standard library only.

  tapperbird_e2e.py --program P --assets DIR --artifacts DIR [--compositor] suite
  tapperbird_e2e.py ... soak --seconds 600
  tapperbird_e2e.py ... perf --seconds 60
  tapperbird_e2e.py --program P no-display
"""

import argparse
import ctypes
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

SCREEN_W, SCREEN_H = 1024, 768
FRAME_W, FRAME_H = 43, 71
# openbox's default theme around a client: left, right, top (title), bottom (handle).
FRAME_EXTENTS = (1, 1, 20, 5)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


def _die_with_parent():
    # A harness killed outright (a ctest timeout) must not leave its desktop running.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


# ---------------------------------------------------------------------------------------------
# Pictures


def read_bmp32(path):
    """Frame pixels as rows of (r, g, b, a), top row first."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    bottom_up = height > 0
    height = abs(height)
    rows = []
    for y in range(height):
        src = height - 1 - y if bottom_up else y
        at = offset + src * width * 4
        row = []
        for x in range(width):
            b, g, r, a = data[at + 4 * x: at + 4 * x + 4]
            row.append((r, g, b, a))
        rows.append(row)
    return rows


class Shot:
    """An RGB screenshot (or a part of one) read from binary PPM."""

    def __init__(self, ppm, left=0, top=0):
        header = []
        pos = 0
        while len(header) < 4:
            while ppm[pos:pos + 1].isspace():
                pos += 1
            if ppm[pos:pos + 1] == b"#":
                pos = ppm.index(b"\n", pos)
                continue
            end = pos
            while not ppm[end:end + 1].isspace():
                end += 1
            header.append(ppm[pos:end])
            pos = end
        check(header[0] == b"P6" and header[3] == b"255", "screenshot is not an 8-bit PPM")
        self.width, self.height = int(header[1]), int(header[2])
        self.pixels = ppm[pos + 1:]
        self.left, self.top = left, top

    def at(self, x, y):
        """Colour at screen coordinates."""
        i = 3 * ((y - self.top) * self.width + (x - self.left))
        return tuple(self.pixels[i:i + 3])

    def diff_box(self, other):
        """Bounding box (left, top, right, bottom) of the pixels that differ, or None."""
        check(self.width == other.width and self.height == other.height, "shot sizes differ")
        w = self.width
        a, b = self.pixels, other.pixels
        box = None
        row_bytes = 3 * w
        for y in range(self.height):
            ra, rb = a[y * row_bytes:(y + 1) * row_bytes], b[y * row_bytes:(y + 1) * row_bytes]
            if ra == rb:
                continue
            xs = [x for x in range(w) if ra[3 * x:3 * x + 3] != rb[3 * x:3 * x + 3]]
            l, r = min(xs), max(xs) + 1
            box = (l, y, r, y + 1) if box is None else (
                min(box[0], l), box[1], max(box[2], r), y + 1)
        return box


# ---------------------------------------------------------------------------------------------
# The desktop


class Desktop:
    """Xvfb + openbox (+ xcompmgr) with private XDG folders; stops everything it started."""

    def __init__(self, program, artifacts, compositor):
        self.program = program
        self.artifacts = artifacts
        self.compositor = compositor
        self.processes = []
        self.temp = tempfile.mkdtemp(prefix="tapperbird-e2e-")
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "GDK_BACKEND", "XDG_SESSION_TYPE", "DBUS_SESSION_BUS_ADDRESS"):
            self.env.pop(name, None)
        self.env.update({
            "HOME": os.path.join(self.temp, "home"),
            "XDG_CONFIG_HOME": os.path.join(self.temp, "config"),
            "XDG_RUNTIME_DIR": os.path.join(self.temp, "runtime"),
            "XDG_CACHE_HOME": os.path.join(self.temp, "cache"),
            "NO_AT_BRIDGE": "1",
            "GTK_THEME": "Adwaita",
        })
        for name in ("HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"):
            os.makedirs(self.env[name], mode=0o700, exist_ok=True)
        self.bird_process = None
        self.spy = None

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()
        return False

    def spawn(self, argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs):
        p = subprocess.Popen(argv, env=self.env, stdout=stdout, stderr=stderr,
                             stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent, **kwargs)
        self.processes.append(p)
        return p

    def start(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-noreset", "-nolisten", "tcp",
             "-screen", "0", f"{SCREEN_W}x{SCREEN_H}x24", "+extension", "Composite"],
            pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        self.processes.append(xvfb)
        os.close(write_fd)
        number = b""
        deadline = time.time() + 20
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(read_fd, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_fd)
        check(number.strip().isdigit(), "Xvfb did not report a display")
        self.env["DISPLAY"] = ":" + number.decode().strip()
        log(f"Xvfb on {self.env['DISPLAY']}")
        self.spawn(["openbox", "--sm-disable"])
        self.wait_for(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.x(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 10, "openbox did not start")
        if self.compositor:
            self.spawn(["xcompmgr"])
            time.sleep(1.0)  # it announces itself only through a selection xprop cannot show
        self.spy = self.spawn(["xprop", "-root", "-spy", "_NET_ACTIVE_WINDOW"],
                              stdout=subprocess.PIPE)
        os.set_blocking(self.spy.stdout.fileno(), False)
        self.active_history = ""

    def stop(self):
        for p in reversed(self.processes):
            if p.poll() is None:
                p.terminate()
        deadline = time.time() + 3
        for p in reversed(self.processes):
            try:
                p.wait(timeout=max(0.1, deadline - time.time()))
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        self.processes.clear()
        shutil.rmtree(self.temp, ignore_errors=True)

    # --- small helpers ---

    def x(self, *argv, check_rc=False):
        r = subprocess.run(argv, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           text=True, timeout=20)
        if check_rc and r.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed: {r.stderr.strip()}")
        return r.stdout

    def wait_for(self, predicate, seconds, message, interval=0.1):
        deadline = time.time() + seconds
        while time.time() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(interval)
        raise Failure(message)

    def active_window(self):
        out = self.x("xprop", "-root", "_NET_ACTIVE_WINDOW")
        m = re.search(r"window id # (0x[0-9a-f]+)", out)
        return int(m.group(1), 16) if m else 0

    def drain_spy(self):
        try:
            chunk = self.spy.stdout.read()
        except (BlockingIOError, TypeError):
            chunk = None
        if chunk:
            self.active_history += chunk.decode(errors="replace")
        return {int(v, 16) for v in re.findall(r"window id # (0x[0-9a-f]+)", self.active_history)}

    def geometry(self, window, frame=False):
        """(left, top, width, height) of a window, or of its window-manager frame."""
        out = self.x("xwininfo", "-id", hex(window))
        values = {}
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            m = re.search(key + r":\s+(-?\d+)", out)
            check(m is not None, f"no geometry for window {window:#x}")
            values[key] = int(m.group(1))
        left, top = values["Absolute upper-left X"], values["Absolute upper-left Y"]
        width, height = values["Width"], values["Height"]
        if frame:
            # The frame is the client plus the extents the window manager announces.
            m = re.search(r"= (\d+), (\d+), (\d+), (\d+)",
                          self.x("xprop", "-id", hex(window), "_NET_FRAME_EXTENTS"))
            check(m is not None, f"no frame extents on window {window:#x}")
            l, r, t, b = (int(v) for v in m.groups())
            left, top, width, height = left - l, top - t, width + l + r, height + t + b
        return left, top, width, height

    def map_state(self, window):
        m = re.search(r"Map State:\s+(\w+)", self.x("xwininfo", "-id", hex(window)))
        return m.group(1) if m else "Gone"

    def shot(self, name=None, crop=None):
        argv = ["import", "-window", "root", "-depth", "8"]
        left = top = 0
        if crop is not None:
            left, top, w, h = crop
            argv += ["-crop", f"{w}x{h}+{left}+{top}", "+repage"]
        r = subprocess.run(argv + ["ppm:-"], env=self.env, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=20)
        check(r.returncode == 0 and r.stdout, "import failed")
        if name is not None:
            path = os.path.join(self.artifacts, name + ".png")
            subprocess.run(["convert", "ppm:-", path], input=r.stdout, timeout=20)
        return Shot(r.stdout, left, top)

    def open_window(self, width, height, x, y, name):
        """An xev window of an exact client size; returns (process, client window, log path)."""
        path = os.path.join(self.temp, name + ".log")
        out = open(path, "wb")
        before = set(self.client_windows())
        p = self.spawn(["xev", "-name", name, "-geometry", f"{width}x{height}+{x}+{y}",
                        "-event", "button", "-event", "structure"], stdout=out)
        out.close()
        window = self.wait_for(lambda: next(iter(set(self.client_windows()) - before), None), 10,
                               f"window {name} did not appear")
        self.wait_for(lambda: self.active_window() == window, 10, f"{name} was not activated")
        time.sleep(0.3)
        return p, window, path

    def client_windows(self):
        out = self.x("xprop", "-root", "_NET_CLIENT_LIST")
        return [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", out)]


# ---------------------------------------------------------------------------------------------
# The bird as the screen shows it


class Bird:
    def __init__(self, desktop, assets):
        self.d = desktop
        self.frames = [read_bmp32(os.path.join(assets, f"frame{i}.bmp")) for i in range(1, 7)]
        for f in self.frames:
            check(len(f) == FRAME_H and len(f[0]) == FRAME_W, "unexpected frame size")
        # Pixels opaque in every frame take a press whatever the animation shows; pixels clear in
        # every frame let it through.
        self.always_opaque = [(x, y) for y in range(FRAME_H) for x in range(FRAME_W)
                              if all(f[y][x][3] == 255 for f in self.frames)]
        self.never_opaque = [(x, y) for y in range(FRAME_H) for x in range(FRAME_W)
                             if all(f[y][x][3] == 0 for f in self.frames)]
        check(self.always_opaque, "no pixel is opaque in every frame")
        self.window = None
        self.process = None

    def start(self, log_name="tapperbird"):
        with open(os.path.join(self.d.artifacts, log_name + ".log"), "wb") as err:
            self.process = self.d.spawn([self.d.program], stderr=err)
        self.window = self.d.wait_for(self.find_window, 15, "the bird window did not appear")
        log(f"bird window {self.window:#x}")

    def find_window(self):
        out = self.d.x("xwininfo", "-root", "-children")
        for line in out.splitlines():
            m = re.match(r"\s*(0x[0-9a-f]+) \"Tapperbird\".*\s(\d+)x(\d+)[+-]", line)
            if m and (int(m.group(2)), int(m.group(3))) == (FRAME_W, FRAME_H):
                window = int(m.group(1), 16)
                info = self.d.x("xwininfo", "-id", hex(window))
                if "Override Redirect State: yes" in info and "IsViewable" in info:
                    return window
        return None

    def position(self):
        x, y, w, h = self.d.geometry(self.window)
        check((w, h) == (FRAME_W, FRAME_H), f"bird window is {w}x{h}")
        return x, y

    def depth(self):
        m = re.search(r"Depth:\s+(\d+)", self.d.x("xwininfo", "-id", hex(self.window)))
        return int(m.group(1))

    def perch_for(self, window):
        left, top, width, height = self.d.geometry(window, frame=True)
        right = left + width
        x = right if right == SCREEN_W else right - 4
        return x, round(top + height / 4)  # round() ties to even, as the program does

    def frame_in(self, shot, x, y):
        """Index (1..6) of the frame whose opaque pixels the shot shows at (x, y), or None."""
        best = None
        for index, frame in enumerate(self.frames, start=1):
            ok = True
            count = 0
            for fy in range(FRAME_H):
                sy = y + fy
                if not 0 <= sy < SCREEN_H:
                    continue
                for fx in range(FRAME_W):
                    sx = x + fx
                    r, g, b, a = frame[fy][fx]
                    if a == 0 or not 0 <= sx < SCREEN_W:
                        continue
                    count += 1
                    if shot.at(sx, sy) != (r, g, b):
                        ok = False
                        break
                if not ok:
                    break
            if ok and count and (best is None or count > best[1]):
                best = (index, count)
        return best[0] if best else None

    def wait_perched(self, window, seconds=5):
        """Waits until the bird sits at the window's perch; returns the perch point."""
        def settled():
            expected = self.perch_for(window)
            return expected if self.position() == expected else None
        try:
            return self.d.wait_for(settled, seconds, "")
        except Failure:
            raise Failure(f"bird at {self.position()}, expected the perch {self.perch_for(window)} "
                          f"of window {window:#x}")

    def visible_frame(self, point):
        x, y = point
        shot = self.d.shot(crop=(x, y, FRAME_W, FRAME_H))
        return self.frame_in(shot, x, y)

    def is_hidden(self):
        x, y = self.position()
        return x >= SCREEN_W or y >= SCREEN_H or x + FRAME_W <= 0 or y + FRAME_H <= 0

    def click(self, point, pixel, button):
        self.d.x("xdotool", "mousemove", str(point[0] + pixel[0]), str(point[1] + pixel[1]),
                 check_rc=True)
        time.sleep(0.15)
        self.d.x("xdotool", "click", str(button), check_rc=True)

    def open_menu(self, point, button=3):
        self.click(point, self.always_opaque[len(self.always_opaque) // 2], button)
        pointer = self.pointer()
        menu = self.d.wait_for(lambda: self.menu_window(), 5,
                               f"no menu after a press of button {button}")
        mx, my, mw, mh = self.d.geometry(menu)
        # At the pointer + (1, 1), or flipped to the pointer's other side near a screen edge.
        check(mx in (pointer[0] + 1, pointer[0] - mw) and my in (pointer[1] + 1, pointer[1] - mh),
              f"menu at {(mx, my)} {mw}x{mh}, pointer at {pointer}")
        time.sleep(0.2)
        return menu

    def menu_window(self):
        out = self.d.x("xwininfo", "-root", "-children")
        for line in out.splitlines():
            m = re.match(r"\s*(0x[0-9a-f]+) \"Tapperbird\".*\s(\d+)x(\d+)[+-]", line)
            if not m or int(m.group(1), 16) == self.window:
                continue
            if int(m.group(2)) > 50 and int(m.group(3)) > 50:
                info = self.d.x("xwininfo", "-id", m.group(1))
                if "IsViewable" in info and "Override Redirect State: yes" in info:
                    return int(m.group(1), 16)
        return None

    def choose(self, *keys):
        self.d.x("xdotool", "key", *keys, check_rc=True)
        self.d.wait_for(lambda: self.menu_window() is None, 5, "the menu did not close")

    def pointer(self):
        out = self.d.x("xdotool", "getmouselocation")
        m = re.search(r"x:(\d+) y:(\d+)", out)
        return int(m.group(1)), int(m.group(2))


# ---------------------------------------------------------------------------------------------
# The suite


def autostart_file(d):
    return os.path.join(d.env["XDG_CONFIG_HOME"], "autostart", "Tapperbird.desktop")


def expected_exec(program):
    quoted = program.replace("\\", "\\\\").replace('"', '\\"').replace("`", "\\`")
    quoted = quoted.replace("$", "\\$").replace("%", "%%")
    return 'Exec="' + quoted.replace("\\", "\\\\") + '"'


def run_suite(args):
    with Desktop(args.program, args.artifacts, args.compositor) as d:
        bird = Bird(d, args.assets)
        tag = "composited" if args.compositor else "plain"

        # A first window, and the desktop as it looks without the bird.
        _, w1, w1_log = d.open_window(300, 400, 100, 100, "first")
        time.sleep(0.5)
        baseline = d.shot(f"{tag}-00-baseline")

        log("first run: autostart entry and marker")
        bird.start(f"{tag}-tapperbird")
        check(bird.depth() == (32 if args.compositor else 24),
              f"bird window depth {bird.depth()} with compositor={args.compositor}")
        entry = d.wait_for(lambda: os.path.exists(autostart_file(d)) and
                           open(autostart_file(d)).read(), 5, "no autostart entry")
        check(expected_exec(os.path.realpath(args.program)) in entry.splitlines(),
              f"autostart entry does not start the program:\n{entry}")
        check("Hidden=true" not in entry, "new autostart entry is disabled")
        marker = os.path.join(d.env["XDG_CONFIG_HOME"], "Velmor's Software", "Tapperbird", "1.0",
                              "temp")
        check(os.path.isdir(marker), "no first-run marker folder")

        log("perched on the active window, and nowhere else")
        perch = bird.wait_perched(w1)
        time.sleep(0.3)
        shot = d.shot(f"{tag}-01-perched")
        box = shot.diff_box(baseline)
        check(box is not None, "the bird changed nothing on the screen")
        check(perch[0] <= box[0] and perch[1] <= box[1] and box[2] <= perch[0] + FRAME_W and
              box[3] <= perch[1] + FRAME_H,
              f"screen changed in {box}, outside the bird at {perch}")
        frame = bird.frame_in(shot, *perch)
        check(frame is not None, "the bird's pixels are not one of the frames")
        for fy in range(FRAME_H):
            for fx in range(FRAME_W):
                if bird.frames[frame - 1][fy][fx][3] == 0:
                    p = (perch[0] + fx, perch[1] + fy)
                    check(shot.at(*p) == baseline.at(*p),
                          f"transparent pixel ({fx},{fy}) of frame {frame} hides the desktop")

        log("follows a moved and a resized window")
        d.x("xdotool", "windowmove", hex(w1), "200", "150", check_rc=True)
        perch = bird.wait_perched(w1)
        check(bird.visible_frame(perch) is not None, "bird not drawn after the move")
        d.x("xdotool", "windowsize", hex(w1), "360", "300", check_rc=True)
        perch = bird.wait_perched(w1)
        check(bird.visible_frame(perch) is not None, "bird not drawn after the resize")
        d.shot(f"{tag}-02-followed")

        log("moves to a newly activated window and rests about three seconds")
        _, w2, _ = d.open_window(250, 300, 600, 250, "second")
        activated = time.time()
        perch = bird.wait_perched(w2, 2)
        frames = []
        while time.time() - activated < 2.6:
            frames.append(bird.visible_frame(perch))
        check(frames and all(f == 1 for f in frames),
              f"frames during the settle delay: {frames}")
        d.shot(f"{tag}-03-new-window")
        seen = set()
        while time.time() - activated < 18 and not (seen - {1, None}):
            seen.add(bird.visible_frame(perch))
        check(seen - {1, None}, "the bird never pecked again after the settle delay")

        log("a press on a transparent pixel reaches the window beneath")
        d.x("xdotool", "windowactivate", "--sync", hex(w1), check_rc=True)
        perch = bird.wait_perched(w1)
        left, top, width, height = d.geometry(w1, frame=True)
        client_right = left + width - FRAME_EXTENTS[1]
        through = [(x, y) for (x, y) in bird.never_opaque
                   if perch[0] + x < client_right - 1 and 30 < y < 60]
        check(through, "no transparent pixel of the bird lies over the window")
        px, py = perch[0] + through[0][0], perch[1] + through[0][1]
        with open(w1_log, "rb") as f:
            f.seek(0, os.SEEK_END)
            mark = f.tell()
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
        check(os.path.exists(autostart_file(d)), "menu presses changed the autostart entry")

        log('"Run at Startup" removes and restores the entry')
        bird.open_menu(perch)
        bird.choose("Down", "Down", "Return")
        d.wait_for(lambda: not os.path.exists(autostart_file(d)), 5, "entry not removed")
        bird.open_menu(perch)
        d.shot(f"{tag}-05-menu-unticked")
        bird.choose("Down", "Down", "Return")
        d.wait_for(lambda: os.path.exists(autostart_file(d)), 5, "entry not restored")
        check(expected_exec(os.path.realpath(args.program)) in
              open(autostart_file(d)).read().splitlines(), "restored entry is wrong")
        # Switched off in the session settings, the entry counts as absent; ticking rewrites it on.
        with open(autostart_file(d), "a") as f:
            f.write("Hidden=true\n")
        bird.open_menu(perch)
        bird.choose("Down", "Down", "Return")
        d.wait_for(lambda: "Hidden=true" not in open(autostart_file(d)).read(), 5,
                   "a disabled entry was not rewritten enabled")

        log('"About Tapperbird" hides the bird; closing it brings it back')
        bird.open_menu(perch)
        bird.choose("Down", "Return")
        about = d.wait_for(lambda: next((w for w in d.client_windows()
                                         if "\"About\"" in d.x("xprop", "-id", hex(w), "WM_NAME")),
                                        None), 5, "no About window")
        d.wait_for(lambda: d.active_window() == about, 5, "the About window is not active")
        time.sleep(0.5)
        check(bird.is_hidden(), f"bird visible at {bird.position()} while About is open")
        ax, ay, aw, ah = d.geometry(about)
        check((aw, ah) == (240, 295), f"About client area is {aw}x{ah}, not 240x295")
        fx, fy, fw, fh = d.geometry(about, frame=True)
        check(abs((fx + fw / 2) - SCREEN_W / 2) <= 2 and abs((fy + fh / 2) - SCREEN_H / 2) <= 12,
              f"About window not centred: frame {fx},{fy} {fw}x{fh}")
        actions = d.x("xprop", "-id", hex(about), "_NET_WM_ALLOWED_ACTIONS")
        check("_NET_WM_ACTION_CLOSE" in actions and "MAXIMIZE" not in actions and
              "RESIZE" not in actions, f"About window actions: {actions}")
        d.shot(f"{tag}-06-about")
        d.x("xdotool", "key", "alt+F4", check_rc=True)  # openbox's own close binding
        d.wait_for(lambda: about not in d.client_windows(), 5, "About did not close")
        d.wait_for(lambda: not bird.is_hidden(), 5, "the bird did not come back after About")
        perch = bird.wait_perched(d.active_window())
        d.shot(f"{tag}-07-after-about")

        log("a short or minimised window hides the bird")
        _, w3, _ = d.open_window(200, 80, 500, 500, "short")  # frame 105 px: not over 106.5
        d.wait_for(bird.is_hidden, 5, "bird shown on a 105 px high window")
        d.x("xdotool", "windowsize", hex(w3), "200", "82", check_rc=True)  # frame 107 px
        bird.wait_perched(w3)
        d.x("xdotool", "windowminimize", "--sync", hex(w3), check_rc=True)
        d.wait_for(lambda: d.active_window() != w3, 5, "minimised window still active")
        for w in (w1, w2):
            d.x("xdotool", "windowminimize", "--sync", hex(w), check_rc=True)
        d.wait_for(bird.is_hidden, 5, "bird shown with every window minimised")
        d.shot(f"{tag}-08-all-minimised")
        d.x("xdotool", "windowactivate", "--sync", hex(w2), check_rc=True)
        perch = bird.wait_perched(w2)

        log("the bird never became the active window")
        history = d.drain_spy()
        check(history, "the active-window log is empty")
        check(bird.window not in history, "the bird window became the active window")

        log('"Exit" ends the process')
        bird.open_menu(perch)
        d.x("xdotool", "key", "Up", "Return", check_rc=True)
        try:
            code = bird.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end on Exit")
        check(code == 0, f"exit code {code}")
        log(f"suite passed ({tag})")


# ---------------------------------------------------------------------------------------------
# Soak and performance


def rss_kib(pid, field="VmRSS"):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def x_resources(d, pid):
    """The X resources the client with this PID holds, by kind, from xrestop."""
    out = d.x("xrestop", "-b", "-m", "1")
    for block in re.split(r"\n(?=\d+ - )", out):
        if re.search(rf"\(\s*PID:\s*{pid}\s*\)", block):
            counts = {}
            for key in ("windows", "GCs", "fonts", "pixmaps", "pictures", "glyphsets",
                        "colormaps", "passive grabs", "cursors", "unknowns", "pixmap bytes"):
                m = re.search(rf"^\s*{key}\s*:\s*(\d+)", block, re.M)
                if m:
                    counts[key] = int(m.group(1))
            return counts
    return None


def run_soak(args):
    with Desktop(args.program, args.artifacts, args.compositor) as d:
        bird = Bird(d, args.assets)
        _, w1, _ = d.open_window(300, 400, 100, 100, "base")
        bird.start()
        pid = bird.process.pid
        samples = []
        start = time.time()
        step = 0
        windows = []
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
                p, _, _ = windows.pop(0)
                p.terminate()
                p.wait()
                d.x("xdotool", "windowactivate", hex(w1))
            step += 1
            time.sleep(0.4)
            if step % 25 == 0:
                samples.append((time.time() - start, rss_kib(pid), x_resources(d, pid)))
                log(f"t={samples[-1][0]:.0f}s rss={samples[-1][1]} KiB x={samples[-1][2]}")
        check(bird.process.poll() is None, "the program ended during the soak")
        samples.append((time.time() - start, rss_kib(pid), x_resources(d, pid)))
        log(f"end: rss={samples[-1][1]} KiB x={samples[-1][2]} after {step} steps")
        # Judge from the first fifth on: start-up caches (fonts, GTK styles) fill early.
        settled = [s for s in samples if s[0] >= args.seconds / 5] or samples[-2:]
        growth = samples[-1][1] - settled[0][1]
        check(growth <= 1024, f"RSS grew by {growth} KiB during the soak")
        first_x, last_x = settled[0][2], samples[-1][2]
        check(first_x is not None and last_x is not None, "xrestop did not list the program")
        for key, value in last_x.items():
            slack = 4096 if key == "pixmap bytes" else 2
            check(value <= first_x.get(key, 0) + slack,
                  f"X {key} grew from {first_x.get(key)} to {value}")
        log("soak passed")


def run_perf(args):
    with Desktop(args.program, args.artifacts, args.compositor) as d:
        bird = Bird(d, args.assets)
        d.open_window(300, 400, 100, 100, "rest")
        bird.start()
        # Debian installs the games outside the usual PATH.
        oneko_path = shutil.which("oneko") or shutil.which("oneko", path="/usr/games")
        check(oneko_path is not None, "oneko is not installed")
        oneko = d.spawn([oneko_path, "-tofocus"])
        time.sleep(3)
        before = {name: cpu_seconds(p.pid) for name, p in (("tapperbird", bird.process),
                                                              ("oneko", oneko))}
        time.sleep(args.seconds)
        for name, p in (("tapperbird", bird.process), ("oneko", oneko)):
            used = cpu_seconds(p.pid) - before[name]
            print(f"{name}: CPU {used:.2f} s over {args.seconds} s "
                  f"({100 * used / args.seconds:.2f} %), peak RSS {rss_kib(p.pid, 'VmHWM')} KiB",
                  flush=True)


def run_no_display(args):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    r = subprocess.run([args.program], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       text=True, timeout=20)
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
    # ctest stops a test with SIGTERM first: unwind so the desktop is torn down.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        {"suite": run_suite, "soak": run_soak, "perf": run_perf,
         "no-display": run_no_display}[args.mode](args)
    except Failure as e:
        print(f"FAILED: {e}", file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
