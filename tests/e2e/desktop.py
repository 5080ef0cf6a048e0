"""A private X desktop for the end-to-end suites: Xvfb on a free display with openbox, temporary
HOME and XDG folders, xdotool, screenshots read pixel by pixel and matched against the bird's
frames. Every process started here is stopped by its PID when the `with` block ends, also on a
failure or a SIGTERM/SIGHUP. Standard library only."""

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

_prctl = ctypes.CDLL(None).prctl  # looked up here: the forked child must not load anything

# Three of the bird's colours that appear nowhere else on the test desktops.
BIRD_ONLY = ((255, 0, 0), (128, 0, 0), (159, 159, 127))


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


report = None  # a file that log() writes to as well


def log(message):
    for out in (sys.stdout, report) if report else (sys.stdout,):
        print(f"[{time.strftime('%H:%M:%S')}] {message}", file=out, flush=True)


def poll(predicate, seconds, step=0.1):
    """predicate()'s first true value within `seconds`, else its last, false one."""
    deadline = time.time() + seconds
    while True:
        value = predicate()
        if value or time.time() >= deadline:
            return value
        time.sleep(step)


def wait_for(predicate, seconds, message, step=0.1):
    """Like poll, but a Failure saying `message` when the time runs out."""
    value = poll(predicate, seconds, step)
    check(value, message)
    return value


def proc_kib(pid, field="VmRSS"):
    with open(f"/proc/{pid}/status") as f:
        return int(re.search(rf"^{field}:\s+(\d+)", f.read(), re.M).group(1))


def perch(left, top, right, bottom, screen_width, scale=1, grid=1):
    """Where the bird, enlarged `scale` times, belongs on a window with this outer rectangle; on a
    screen whose places are whole multiples of `grid` pixels (a Wayland output's scale, in whose
    units the program places the bird), rounded to that grid."""
    # round() takes ties to the even neighbour, as the program's own rounding does.
    return (right if right == screen_width else right - 4 * scale,
            grid * round((top + (bottom - top) / 4) / grid))


def unit_box(crop, unit):
    """A screenshot's part (left, top, width, height in the screen's pixels) as a tool that takes
    whole units of `unit` pixels wants it: the box of units around it, (left, top, right, bottom).
    Such tools (on a scaled output) answer in the screen's pixels."""
    left, top, w, h = crop
    return left // unit, top // unit, -(-(left + w) // unit), -(-(top + h) // unit)


class Frame:
    """One sprite frame from its 32-bit BMP: its size and the colour of each opaque pixel."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        offset, = struct.unpack_from("<I", data, 10)
        self.width, height = struct.unpack_from("<ii", data, 18)
        self.height = abs(height)
        self.opaque = {}
        for row in range(self.height):
            y = self.height - 1 - row if height > 0 else row
            for x in range(self.width):
                i = offset + 4 * (row * self.width + x)
                if data[i + 3]:
                    self.opaque[(x, y)] = (data[i + 2], data[i + 1], data[i])

    def enlarged(self, factor):
        """The picture `factor` times as large, nearest neighbour: each pixel a square block."""
        big = Frame.__new__(Frame)
        big.width, big.height = self.width * factor, self.height * factor
        big.opaque = {(x * factor + dx, y * factor + dy): rgb for (x, y), rgb in self.opaque.items()
                      for dy in range(factor) for dx in range(factor)}
        return big


def load_frames(assets):
    return [Frame(os.path.join(assets, f"frame{n}.bmp")) for n in range(1, 7)]


def common_pixels(frames, opaque):
    """The pixels opaque (or clear) in every frame, row by row from the top."""
    return [(x, y) for y in range(frames[0].height) for x in range(frames[0].width)
            if all(((x, y) in f.opaque) == opaque for f in frames)]


class Shot:
    """An RGB screenshot, or a part of one, from binary PPM; at() takes screen coordinates."""

    def __init__(self, ppm, left=0, top=0):
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        check(m is not None, "screenshot is not an 8-bit PPM")
        self.width, self.height = int(m.group(1)), int(m.group(2))
        self.ppm, self.pixels, self.left, self.top = ppm, ppm[m.end():], left, top

    def at(self, x, y):
        i = 3 * ((y - self.top) * self.width + (x - self.left))
        return tuple(self.pixels[i:i + 3])

    def frame_at(self, frames, x, y):
        """The number (1..6) of the frame whose opaque pixels all show, unblended, with its
        top-left corner at (x, y); the fullest such match, or None."""
        shown = [n for n, frame in enumerate(frames, start=1) if all(
            self.at(x + fx, y + fy) == rgb for (fx, fy), rgb in frame.opaque.items())]
        return max(shown, key=lambda n: len(frames[n - 1].opaque), default=None)

    def changed(self, other):
        """The screen points whose colour differs in another shot of the same place."""
        n = 3 * self.width
        return [(self.left + x, self.top + y) for y in range(self.height)
                if self.pixels[y * n:(y + 1) * n] != other.pixels[y * n:(y + 1) * n]
                for x in range(self.width)
                if self.pixels[y * n + 3 * x:y * n + 3 * x + 3] !=
                other.pixels[y * n + 3 * x:y * n + 3 * x + 3]]

    def find_colours(self, colours, outside=(0, 0, 0, 0), limit=20):
        """Up to `limit` (x, y, colour) showing one of `colours`, except inside `outside`
        (left, top, right, bottom)."""
        found = []
        for colour in colours:
            start = self.pixels.find(bytes(colour))
            while start != -1 and len(found) < limit:
                if start % 3 == 0:
                    x = self.left + start // 3 % self.width
                    y = self.top + start // 3 // self.width
                    if not (outside[0] <= x < outside[2] and outside[1] <= y < outside[3]):
                        found.append((x, y, colour))
                start = self.pixels.find(bytes(colour), start + 1)
        return found


def _exit_on_signal(signum, _frame):
    sys.exit(128 + signum)  # unwinds through the `with` block, which stops the desktop


# The window managers a desktop can run: the command, and whether it needs a session bus (mutter
# asks for one at start-up; xfwm4 reads its settings through xfconfd, which the bus starts).
WINDOW_MANAGERS = {
    "openbox": (["openbox", "--sm-disable"], False),
    "mutter": (["mutter", "--x11", "--replace", "--sm-disable"], True),
    "xfwm4": (["xfwm4", "--compositor=off", "--sm-client-disable"], True),
    "xfwm4-composited": (["xfwm4", "--compositor=on", "--sm-client-disable"], True),
}


class Desktop:
    """Xvfb + a window manager (openbox unless told) with private HOME and XDG folders and, given
    the assets folder, the bird's frames; stops everything it started. A driver derives from it and
    adds what the scenarios ask of the program under test."""

    places_own_windows = True  # the program centres its About window itself
    grid = 1  # places on the screen are whole multiples of this many pixels

    def __init__(self, artifacts, width, height, assets=None, xvfb_args=(), wm="openbox"):
        self.artifacts, self.xvfb_args, self.wm = artifacts, xvfb_args, wm
        self.width, self.height = width, height
        self.primary = (width, height)  # the primary monitor's size
        self.opened = []  # the windows opened for the bird to perch on
        os.makedirs(artifacts, exist_ok=True)
        self.processes = []
        self.program = None  # the program under test, once launched
        if assets is not None:
            self.originals = load_frames(assets)
            self.set_scale(1)
        self.temp = tempfile.mkdtemp(prefix="tapperbird-e2e-")
        self.env = {k: v for k, v in os.environ.items() if k not in (
            "DISPLAY", "WAYLAND_DISPLAY", "GDK_BACKEND", "XDG_SESSION_TYPE",
            "DBUS_SESSION_BUS_ADDRESS")}
        for name, folder in (("HOME", "home"), ("XDG_CONFIG_HOME", "config"),
                             ("XDG_CACHE_HOME", "cache"), ("XDG_DATA_HOME", "data"),
                             ("XDG_RUNTIME_DIR", "runtime")):
            self.env[name] = os.path.join(self.temp, folder)
            os.makedirs(self.env[name], mode=0o700)

    def set_scale(self, factor):
        """The frames as the screen shows them, `factor` times as large."""
        self.scale = factor
        self.frames = [f.enlarged(factor) for f in self.originals]
        # Pixels opaque in every frame take a press whatever the animation shows; pixels clear in
        # every frame let it through.
        self.always_opaque = common_pixels(self.frames, True)
        self.never_opaque = common_pixels(self.frames, False)

    def __enter__(self):
        for sig in (signal.SIGTERM, signal.SIGHUP):  # ctest stops a test with SIGTERM first
            signal.signal(sig, _exit_on_signal)
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    def spawn(self, argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
              stdin=subprocess.DEVNULL, env=None, **kwargs):
        # PR_SET_PDEATHSIG: a harness killed outright must not leave its desktop running.
        p = subprocess.Popen(argv, env=env or self.env, stdout=stdout, stderr=stderr, stdin=stdin,
                             preexec_fn=lambda: _prctl(1, signal.SIGTERM), **kwargs)
        self.processes.append(p)
        return p

    def start_xvfb(self):
        """An X server on a free display, the size of the desktop; returns its name."""
        read_fd, write_fd = os.pipe()
        self.spawn(["Xvfb", "-displayfd", str(write_fd), "-noreset", "-nolisten", "tcp", "-screen",
                    "0", f"{self.width}x{self.height}x24", *self.xvfb_args], pass_fds=(write_fd,))
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()  # written once the server listens; EOF if it died
        check(number.isdigit(), "Xvfb did not report a display")
        log(f"Xvfb on :{number}")
        return ":" + number

    def start(self):
        self.env["DISPLAY"] = self.start_xvfb()
        command, needs_bus = WINDOW_MANAGERS[self.wm]
        if needs_bus:
            # A private session bus, stopped by its PID like the rest.
            bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                             stdout=subprocess.PIPE)
            address = bus.stdout.readline().decode().strip()
            check(address, "dbus-daemon did not report an address")
            self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        with open(os.path.join(self.artifacts, f"{self.wm}.log"), "wb") as err:
            self.spawn(command, stderr=err)
        wait_for(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.x(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 15, f"{self.wm} did not start")

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

    def x(self, *argv, check_rc=False):
        r = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=30)
        check(not check_rc or r.returncode == 0, f"{' '.join(argv)} failed: {r.stderr.strip()}")
        return r.stdout

    def xdotool(self, *argv, check_rc=True):
        return self.x("xdotool", *map(str, argv), check_rc=check_rc)

    def xid(self, title):
        """The X window of the top-level titled exactly `title`, or None."""
        ids = self.xdotool("search", "--name", f"^{title}$", check_rc=False).split()
        return ids[0] if ids else None

    def activate(self, window):
        self.xdotool("windowactivate", "--sync", self.xwindow(window), check_rc=False)

    def minimise(self, window):
        self.xdotool("windowminimize", self.xwindow(window), check_rc=False)

    def click(self, x, y, button=1):
        self.xdotool("mousemove", x, y)
        time.sleep(0.15)  # let the toolkit see the pointer arrive before the press
        self.xdotool("click", button)

    def shot(self, name=None, crop=None):
        """The screen, or the (left, top, width, height) part of it; saved as name.png if named."""
        left, top, w, h = crop or (0, 0, self.width, self.height)
        return self.shot_by(["import", "-window", "root", "-depth", "8", "-crop",
                             f"{w}x{h}+{left}+{top}", "+repage", "ppm:-"], left, top, name)

    def shot_by(self, argv, left, top, name=None):
        """The PPM a screenshot tool writes, its top-left corner at (left, top); saved if named."""
        r = subprocess.run(argv, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           timeout=30)
        check(r.returncode == 0 and r.stdout, f"{argv[0]} failed")
        shot = Shot(r.stdout, left, top)
        if name is not None:
            self.save(shot, name)
        return shot

    def save(self, shot, name):
        subprocess.run(["convert", "ppm:-", os.path.join(self.artifacts, name + ".png")],
                       input=shot.ppm, timeout=30)
