#!/usr/bin/env python3
"""The Linux program under several window managers, with and without their compositors: the perch
on the frame the user sees (a window-manager frame and a client-side-decorated GTK window), the
bird drawn whole right after its menu, the About window and a restack, its place in the stacking
order next to other programs' override-redirect windows and a second copy, the About window
destroyed from outside, and a lost X server. The desktop comes from ../desktop.py.

  wm_matrix_e2e.py --program P --assets DIR --artifacts DIR --wm NAME [--measure] matrix
  wm_matrix_e2e.py --program P display-option
"""

import argparse
import ctypes
import ctypes.util
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import desktop  # noqa: E402  (the shared harness one folder up)
from desktop import Failure, check, load_frames, log, poll, wait_for  # noqa: E402

SCREEN_W, SCREEN_H = 1024, 768
FRAME_W, FRAME_H = 43, 71

# A GTK 3 window with a header bar: client-side decorations, and shadows under a compositor.
CSD_WINDOW = r"""
import sys, gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk
title, width, height, x, y = sys.argv[1], *map(int, sys.argv[2:6])
window = Gtk.Window(title=title)
if sys.argv[6:] == ["nofocus"]:  # a window that comes up on top without taking the focus
    window.set_accept_focus(False)
    window.set_focus_on_map(False)
else:
    window.set_titlebar(Gtk.HeaderBar(title=title, show_close_button=True))
window.set_default_size(width, height)
window.move(x, y)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
"""


class XConnection:
    """The few Xlib calls the checks need that no command-line tool makes: a window destroyed
    from outside, override-redirect windows of another client, the stacking order."""

    class SetAttributes(ctypes.Structure):
        _fields_ = [("background_pixmap", ctypes.c_ulong), ("background_pixel", ctypes.c_ulong),
                    ("border_pixmap", ctypes.c_ulong), ("border_pixel", ctypes.c_ulong),
                    ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                    ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                    ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                    ("event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                    ("override_redirect", ctypes.c_int), ("colormap", ctypes.c_ulong),
                    ("cursor", ctypes.c_ulong)]

    CW_BACK_PIXEL, CW_OVERRIDE_REDIRECT = 1 << 1, 1 << 9

    def __init__(self, display):
        x = self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XCreateWindow.restype = ctypes.c_ulong
        x.XCreateWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                    ctypes.c_uint, ctypes.c_uint, ctypes.c_uint, ctypes.c_int,
                                    ctypes.c_uint, ctypes.c_void_p, ctypes.c_ulong,
                                    ctypes.POINTER(self.SetAttributes)]
        for name in ("XMapRaised", "XDestroyWindow", "XUnmapWindow"):
            getattr(x, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        self.display = x.XOpenDisplay(display.encode())
        check(self.display, f"cannot open {display} from the test")
        self.root = x.XDefaultRootWindow(self.display)

    def close(self):
        if self.display:
            self.x.XCloseDisplay(self.display)
            self.display = None

    def popup(self, left, top, width, height, rgb):
        """Maps an override-redirect window of one colour on top; returns its id."""
        attributes = self.SetAttributes(override_redirect=1,
                                        background_pixel=(rgb[0] << 16) | (rgb[1] << 8) | rgb[2])
        window = self.x.XCreateWindow(self.display, self.root, left, top, width, height, 0, 0, 1,
                                      None, self.CW_BACK_PIXEL | self.CW_OVERRIDE_REDIRECT,
                                      ctypes.byref(attributes))
        self.x.XMapRaised(self.display, window)
        self.x.XSync(self.display, 0)
        return window

    def destroy(self, window):
        self.x.XDestroyWindow(self.display, window)
        self.x.XSync(self.display, 0)

    def stacking(self):
        """The root's children, bottom first."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        self.x.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(count))
        order = [children[i] for i in range(count.value)]
        if children:
            self.x.XFree(children)
        return order


class Desktop(desktop.Desktop):
    def __init__(self, program, artifacts, wm):
        super().__init__(artifacts, SCREEN_W, SCREEN_H, xvfb_args=("+extension", "Composite"),
                         wm=wm)
        self.program = program
        self.env.update(NO_AT_BRIDGE="1", GTK_THEME="Adwaita")

    def props(self, window, name):
        """The CARDINAL list `name` of a window, or None."""
        m = re.search(r"=\s*([\d, ]+)$", self.x("xprop", "-id", hex(window), name).strip())
        return [int(v) for v in m.group(1).split(",")] if m else None

    def geometry(self, window):
        m = re.search(r"Absolute upper-left X:\s+(-?\d+).*?Absolute upper-left Y:\s+(-?\d+).*?"
                      r"Width:\s+(\d+).*?Height:\s+(\d+)", self.x("xwininfo", "-id", hex(window)),
                      re.S)
        check(m is not None, f"no geometry for window {window:#x}")
        return tuple(int(v) for v in m.groups())

    def visible_frame(self, window):
        """(left, top, right, bottom) the user sees: the client grown by the window manager's
        frame extents, less the shadows a client-side-decorated window draws itself."""
        left, top, width, height = self.geometry(window)
        right, bottom = left + width, top + height
        for sign, name in ((1, "_NET_FRAME_EXTENTS"), (-1, "_GTK_FRAME_EXTENTS")):
            e = self.props(window, name)
            if e and len(e) == 4:
                left, right, top, bottom = (left - sign * e[0], right + sign * e[1],
                                            top - sign * e[2], bottom + sign * e[3])
        return left, top, right, bottom

    def client_windows(self):
        return [int(v, 16) for v in re.findall(r"0x[0-9a-f]+",
                                               self.x("xprop", "-root", "_NET_CLIENT_LIST"))]

    def active_window(self):
        m = re.search(r"window id # (0x[0-9a-f]+)", self.x("xprop", "-root", "_NET_ACTIVE_WINDOW"))
        return int(m.group(1), 16) if m else 0

    def open(self, argv, name):
        """Starts a program whose one new top-level is made active; returns (process, window)."""
        before = set(self.client_windows())
        p = self.spawn(argv)
        window = wait_for(lambda: next(iter(set(self.client_windows()) - before), None), 15,
                          f"window {name} did not appear")
        if not poll(lambda: self.active_window() == window, 3):
            self.xdotool("windowactivate", window, check_rc=False)
        wait_for(lambda: self.active_window() == window, 10, f"{name} was not activated")
        time.sleep(0.3)
        return p, window

    def xev(self, width, height, x, y, name):
        return self.open(["xev", "-name", name, "-geometry", f"{width}x{height}+{x}+{y}",
                          "-event", "structure"], name)

    def csd(self, width, height, x, y, name):
        # Debian's own Python: PyGObject comes from python3-gi, not from a private interpreter.
        sizes = map(str, (width, height, x, y))
        return self.open(["/usr/bin/python3", "-c", CSD_WINDOW, name, *sizes], name)


class Bird:
    def __init__(self, d, assets):
        self.d, self.frames = d, load_frames(assets)
        self.window = self.process = None

    def start(self, log_name):
        self.log_path = os.path.join(self.d.artifacts, log_name + ".log")
        with open(self.log_path, "wb") as err:
            self.process = self.d.spawn([self.d.program], stderr=err)
        self.window = wait_for(lambda: self.find_window(set()), 15, "no bird window")
        return self

    def find_window(self, exclude):
        for m in re.finditer(r"^\s*(0x[0-9a-f]+) \"Tapperbird\".*\s43x71[+-]",
                             self.d.x("xwininfo", "-root", "-children"), re.M):
            window = int(m.group(1), 16)
            if window not in exclude and "IsViewable" in self.d.x("xwininfo", "-id", m.group(1)):
                return window
        return None

    def position(self):
        x, y, _, _ = self.d.geometry(self.window)
        return x, y

    def hidden(self):
        x, y = self.position()
        return x >= SCREEN_W or y >= SCREEN_H or x + FRAME_W <= 0 or y + FRAME_H <= 0

    def perch_of(self, window):
        return desktop.perch(*self.d.visible_frame(window), SCREEN_W)

    def settle_on(self, window, seconds=5):
        """The bird's offset from the window's perch once it stops moving."""
        poll(lambda: self.position() == self.perch_of(window), seconds)
        time.sleep(0.3)
        (x, y), (px, py) = self.position(), self.perch_of(window)
        return x - px, y - py

    def drawn(self, point=None):
        """True when every opaque pixel of one frame shows at the bird's place."""
        point = point or self.position()
        shot = self.d.shot(crop=(*point, FRAME_W, FRAME_H))
        return shot.frame_at(self.frames, *point) is not None

    def press(self, button=3):
        x, y = self.position()
        opaque = sorted(set.intersection(*(set(f.opaque) for f in self.frames)))
        fx, fy = opaque[len(opaque) // 2]
        self.d.click(x + fx, y + fy, button)

    def menu_open(self):
        return any(w != self.window and width > 50 and height > 50
                   for w, width, height in own_popups(self.d))


def own_popups(d):
    found = []
    for m in re.finditer(r"^\s*(0x[0-9a-f]+) \"Tapperbird\".*\s(\d+)x(\d+)[+-]",
                         d.x("xwininfo", "-root", "-children"), re.M):
        info = d.x("xwininfo", "-id", m.group(1))
        if "Override Redirect State: yes" in info and "IsViewable" in info:
            found.append((int(m.group(1), 16), int(m.group(2)), int(m.group(3))))
    return found


def restacks(log_path, windows, start):
    """ConfigureNotify events of `windows` logged by `xev -root` since byte `start`."""
    with open(log_path, "rb") as f:
        f.seek(start)
        text = f.read().decode(errors="replace")
    return sum(1 for m in re.finditer(r"ConfigureNotify event.*?\n.*?window (0x[0-9a-f]+)", text)
               if int(m.group(1), 16) in windows)


def check_shown(d, bird):
    log("the bird is on the screen, and no compositor waits on a frame counter before showing it")
    counter = d.x("xprop", "-id", hex(bird.window), "_NET_WM_SYNC_REQUEST_COUNTER")
    check("not found" in counter, f"the bird window announces a frame counter: {counter.strip()}")
    wait_for(bird.drawn, 3, "the bird is not drawn at its perch")


def check_perch(d, bird, args, results):
    log("perch on the visible frame: a window-manager frame and a client-side-decorated window")
    _, ssd = d.xev(300, 400, 100, 100, "framed")
    results.append(("server-side frame", bird.settle_on(ssd)))
    _, csd = d.csd(320, 380, 520, 150, "headerbar")
    results.append(("client-side decorations", bird.settle_on(csd)))
    d.shot(f"{args.wm}-perch-csd")
    # xev asks for at least 78 px; an xterm of four lines is shorter, and its visible frame lower
    # than the bird's limit though the frame window of some window managers is not.
    _, short = d.open(["xterm", "-geometry", "30x4+450+450", "-title", "short"], "short")
    top, bottom = d.visible_frame(short)[1::2]
    log(f"short window: client {d.geometry(short)}, visible frame {d.visible_frame(short)}")
    check(bottom - top <= 106, f"the short window is {bottom - top} px high")
    hidden = poll(bird.hidden, 3)
    for name, offset in results:
        print(f"PERCH {args.wm} {name}: {offset[0]:+d},{offset[1]:+d}", flush=True)
    print(f"PERCH {args.wm} a {bottom - top} px window: bird "
          f"{'hidden' if hidden else f'shown at {bird.position()}'}", flush=True)
    if args.measure:
        return None, None
    check(all(offset == (0, 0) for _, offset in results), f"perch offsets: {results}")
    check(hidden, f"the bird stays on a window whose visible frame is {bottom - top} px high")
    d.xdotool("windowactivate", "--sync", ssd)
    wait_for(lambda: bird.position() == bird.perch_of(ssd), 5, "the bird did not come back")
    return ssd, csd


def check_always_drawn(d, bird, ssd, csd):
    log("drawn whole within 0.2 s of the menu closing, About closing and a restack")

    def settling_on_ssd():
        # Each check runs while the bird rests on one frame after a move, not pecking, so no
        # new frame repaints it by chance.
        d.xdotool("windowactivate", "--sync", csd)
        wait_for(lambda: bird.position() == bird.perch_of(csd), 5, "the bird did not move")
        d.xdotool("windowactivate", "--sync", ssd)
        return wait_for(lambda: bird.position() == bird.perch_of(ssd) and bird.position(), 5,
                        "the bird did not perch on the framed window")

    def open_menu():
        bird.press()
        wait_for(bird.menu_open, 5, "the menu did not open")
        time.sleep(0.3)

    settling_on_ssd()
    open_menu()
    d.xdotool("key", "Escape")
    wait_for(lambda: not bird.menu_open(), 5, "the menu did not close")
    time.sleep(0.2)
    check(bird.drawn(), "the bird is not drawn whole 0.2 s after the menu was dismissed")

    settling_on_ssd()
    open_menu()
    d.xdotool("key", "Down", "Return")  # the first item: About
    about = wait_for(lambda: next((w for w in d.client_windows() if '"About"' in d.x(
        "xprop", "-id", hex(w), "WM_NAME")), None), 5, "no About window")
    wait_for(bird.hidden, 5, "the bird stayed while About is open")
    wait_for(lambda: d.active_window() == about, 5, "About is not active")
    d.xdotool("key", "alt+F4")  # the close binding of every window manager here
    wait_for(lambda: about not in d.client_windows(), 5, "About did not close")
    back = wait_for(lambda: not bird.hidden() and bird.position(), 5, "no bird after About")
    time.sleep(0.2)
    check(bird.drawn(back), "the bird is not drawn whole 0.2 s after About closed")

    # A window that comes up over the bird without taking the focus: the bird climbs back on top.
    x, y = settling_on_ssd()
    before = set(d.client_windows())
    d.spawn(["/usr/bin/python3", "-c", CSD_WINDOW, "cover", "200", "200", str(x - 60),
             str(y - 40), "nofocus"])
    cover = wait_for(lambda: next(iter(set(d.client_windows()) - before), None), 15,
                     "the covering window did not appear")
    wait_for(lambda: "IsViewable" in d.x("xwininfo", "-id", hex(cover)), 5, "cover not shown")
    time.sleep(0.2)
    check(d.active_window() == ssd and bird.position() == (x, y),
          "a window that does not take the focus moved the focus or the bird")
    check(bird.drawn((x, y)), "the bird is not drawn whole 0.2 s after a restack over it")


def check_stacking(d, bird, xc, args):
    log("stacking: other programs' override-redirect windows stay above the bird")
    watch = os.path.join(d.temp, "root.log")
    with open(watch, "wb") as out:
        d.spawn(["xev", "-root", "-event", "substructure"], stdout=out)
    time.sleep(0.5)
    x, y = bird.position()
    menu = xc.popup(x - 10, y + 10, 120, 30, (200, 30, 160))
    # The user's windows restacked under the menu: the bird may follow them, never above it.
    for w in d.client_windows():
        d.xdotool("windowraise", w, check_rc=False)
    time.sleep(0.5)
    order = xc.stacking()
    check(order.index(menu) > order.index(bird.window), "the bird went over another's menu")
    check(d.shot(crop=(x, y + 20, 1, 1)).at(x, y + 20) == (200, 30, 160),
          "the menu does not show over the bird")
    xc.destroy(menu)

    mark = os.path.getsize(watch)
    locker = xc.popup(0, 0, SCREEN_W, SCREEN_H, (10, 10, 40))
    time.sleep(2)
    order = xc.stacking()
    check(order.index(locker) > order.index(bird.window), "the bird went over the locker")
    moves = restacks(watch, {bird.window}, mark)
    check(moves == 0, f"the bird restacked itself {moves} times under the locker")
    shot = d.shot(f"{args.wm}-locker")
    check(not shot.find_colours([c for f in bird.frames for c in list(f.opaque.values())[:3]],
                                limit=1), "bird pixels show over the locker")
    xc.destroy(locker)
    time.sleep(0.5)

    log("two copies at rest do not fight for the top")
    second = Bird(d, args.assets)
    second.process = d.spawn([d.program])
    second.window = wait_for(lambda: second.find_window({bird.window}), 15, "no second bird")
    time.sleep(4)  # both perched and past the settle delay
    mark = os.path.getsize(watch)
    time.sleep(3)
    moves = restacks(watch, {bird.window, second.window}, mark)
    check(moves < 3, f"two copies restacked {moves} times in 3 s at rest")
    second.process.terminate()
    second.process.wait()


def check_about_destroyed(d, bird, xc, ssd):
    log("About destroyed from outside runs the close logic")
    d.xdotool("windowactivate", "--sync", ssd)
    wait_for(lambda: bird.position() == bird.perch_of(ssd), 5, "the bird is not on its window")
    time.sleep(3.5)  # past the settle delay, when a press opens the menu
    for attempt in range(2):
        bird.press()
        wait_for(bird.menu_open, 5, "the menu did not open")
        time.sleep(0.3)
        d.xdotool("key", "Down", "Return")
        about = wait_for(lambda: next((w for w in d.client_windows() if '"About"' in d.x(
            "xprop", "-id", hex(w), "WM_NAME")), None), 5, f"no About window (try {attempt + 1})")
        wait_for(bird.hidden, 5, "the bird stayed while About is open")
        xc.destroy(about)
        wait_for(lambda: not bird.hidden(), 5, "the bird did not come back after About died")
        time.sleep(0.5)


def check_lost_server(d, bird):
    log("a lost X server is reported in one line")
    with open(bird.log_path, "rb") as f:
        mark = len(f.read())
    xvfb = d.processes[0]
    xvfb.terminate()
    xvfb.wait()
    try:
        code = bird.process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        raise Failure("the program did not end when the X server went away")
    with open(bird.log_path, "rb") as f:
        lines = f.read()[mark:].decode(errors="replace").strip().splitlines()
    check(code != 0, "exit code 0 after losing the X server")
    check(len(lines) == 1 and d.env["DISPLAY"] in lines[0] and "tapperbird:" in lines[0],
          f"the program said {lines!r} on losing {d.env['DISPLAY']}")


def run_matrix(args):
    results = []
    with Desktop(args.program, args.artifacts, args.wm) as d:
        bird = Bird(d, args.assets)
        _, first = d.xev(300, 300, 40, 300, "first")
        bird.start(f"{args.wm}-tapperbird")
        bird.settle_on(first)
        xc = XConnection(d.env["DISPLAY"])
        try:
            if not args.measure:
                check_shown(d, bird)
            ssd, csd = check_perch(d, bird, args, results)
            if args.measure:
                return
            if "drawn" in args.checks:
                check_always_drawn(d, bird, ssd, csd)
            if "stacking" in args.checks:
                check_stacking(d, bird, xc, args)
            if "about" in args.checks:
                check_about_destroyed(d, bird, xc, ssd)
        finally:
            xc.close()
        if "lost-server" in args.checks:
            check_lost_server(d, bird)
        log(f"passed under {args.wm}")


def run_display_option(args):
    """--display names the display tried in the one-line failure, whatever $DISPLAY says."""
    env = dict(os.environ, DISPLAY=":65000")
    r = subprocess.run([args.program, "--display=:65001"], env=env, capture_output=True,
                       text=True, timeout=20)
    lines = r.stderr.strip().splitlines()
    check(r.returncode == 1 and len(lines) == 1 and ":65001" in lines[0],
          f"with --display=:65001: exit {r.returncode}, {r.stderr!r}")
    log("display-option passed")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--assets")
    parser.add_argument("--artifacts", default=".")
    parser.add_argument("--wm", default="openbox", choices=sorted(desktop.WINDOW_MANAGERS))
    parser.add_argument("--measure", action="store_true",
                        help="print the perch offsets and stop, without judging them")
    parser.add_argument("--checks", default="drawn,stacking,about,lost-server",
                        help="which checks follow the perch ones, comma-separated")
    parser.add_argument("mode", choices=["matrix", "display-option"])
    args = parser.parse_args()
    args.program = os.path.abspath(args.program)
    os.makedirs(args.artifacts, exist_ok=True)
    try:
        {"matrix": run_matrix, "display-option": run_display_option}[args.mode](args)
    except Failure as e:
        print(f"FAILED: {e}", file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
