"""The Linux program on the private X desktop under openbox (with xcompmgr when asked) or another
window manager: xev, xterm and GTK windows for the bird to perch on, window facts from xwininfo and
xprop, the few Xlib calls no tool makes through ctypes, the autostart entry in the private XDG
folders."""

import ctypes
import ctypes.util
import os
import re
import subprocess
import time

import desktop
from desktop import check, log, poll, wait_for

# openbox's default theme around a client: left, right, top (title), bottom (handle).
EXTENTS = (1, 1, 20, 5)

# A GTK 3 window with a header bar (client-side decorations, and shadows under a compositor), or
# with "nofocus" a plain one that comes up on top without taking the focus.
GTK_WINDOW = r"""
import sys, gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk
title, width, height, x, y = sys.argv[1], *map(int, sys.argv[2:6])
window = Gtk.Window(title=title)
if sys.argv[6:] == ["nofocus"]:
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
    """Another client's override-redirect windows and a window destroyed from outside: what no
    command-line tool does."""

    class Attributes(ctypes.Structure):  # XSetWindowAttributes
        _fields_ = [(n, ctypes.c_ulong) for n in ("bg_pixmap", "bg_pixel", "border_pixmap",
                                                   "border_pixel")] + [
            ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
            ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
            ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
            ("event_mask", ctypes.c_long), ("no_propagate", ctypes.c_long),
            ("override_redirect", ctypes.c_int), ("colormap", ctypes.c_ulong),
            ("cursor", ctypes.c_ulong)]

    def __init__(self, display):
        x = self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        p, u, i, ul = ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong
        x.XOpenDisplay.restype, x.XOpenDisplay.argtypes = p, [ctypes.c_char_p]
        x.XDefaultRootWindow.restype, x.XDefaultRootWindow.argtypes = ul, [p]
        x.XCreateWindow.restype = ul
        x.XCreateWindow.argtypes = [p, ul, i, i, u, u, u, i, u, p, ul,
                                    ctypes.POINTER(self.Attributes)]
        x.XMapRaised.argtypes = x.XDestroyWindow.argtypes = [p, ul]
        x.XSync.argtypes = [p, i]
        self.display = x.XOpenDisplay(display.encode())
        check(self.display, f"cannot open {display} from the test")
        self.root = x.XDefaultRootWindow(self.display)

    def popup(self, left, top, width, height, rgb):
        """Maps an override-redirect window of one colour on top; returns its id."""
        a = self.Attributes(override_redirect=1, bg_pixel=(rgb[0] << 16) | (rgb[1] << 8) | rgb[2])
        window = self.x.XCreateWindow(self.display, self.root, left, top, width, height, 0, 0, 1,
                                      None, 1 << 1 | 1 << 9, ctypes.byref(a))  # CWBackPixel, CWOR
        self.x.XMapRaised(self.display, window)
        self.x.XSync(self.display, 0)
        return window

    def destroy(self, window):
        self.x.XDestroyWindow(self.display, window)
        self.x.XSync(self.display, 0)

class X11Driver(desktop.Desktop):
    name = "x11"
    dpi = 96
    rss_slack = 1024  # KiB
    resource_slack = {"windows": 2, "GCs": 2, "fonts": 2, "pixmaps": 2, "pictures": 2,
                      "cursors": 2, "pixmap bytes": 4096}

    def __init__(self, args):
        super().__init__(args.artifacts, 1024, 768, args.assets,
                         xvfb_args=("+extension", "Composite"), wm=args.wm)
        self.path, self.compositor = args.program, args.compositor
        self.env.update(NO_AT_BRIDGE="1", GTK_THEME="Adwaita")
        # The build path needs none of the entry's escapes, only the quotes every path gets.
        self.program_path = os.path.realpath(args.program)
        self.expected_entry = f'Exec="{self.program_path}"'
        self.entry_path = os.path.join(self.env["XDG_CONFIG_HOME"], "autostart",
                                       "Tapperbird.desktop")
        self.logs, self.xev, self.birds = {}, {}, set()

    def start(self):
        super().start()
        if self.compositor:
            self.spawn(["xcompmgr"])
            time.sleep(1.0)  # it announces itself only through a selection xprop cannot show
        self.spy = self.spawn(["xprop", "-root", "-spy", "_NET_ACTIVE_WINDOW"],
                              stdout=subprocess.PIPE)
        os.set_blocking(self.spy.stdout.fileno(), False)
        self.xc = XConnection(self.env["DISPLAY"])  # makes no call once the scenarios end

    # -- the program
    def launch(self):
        self.log_path = os.path.join(self.artifacts, "tapperbird.log")
        with open(self.log_path, "ab") as err:
            self.program = self.spawn([self.path], stderr=err)
        self.bird = wait_for(self.find_bird, 15, "the bird window did not appear")
        self.birds.add(self.bird)
        log(f"bird window {self.bird:#x}")
        if self.wm == "openbox":
            # Per-pixel alpha needs an ARGB visual under a compositor; else shape and 24 bits.
            depth = re.search(r"Depth:\s+(\d+)", self.x("xwininfo", "-id", hex(self.bird))).group(1)
            check(depth == ("32" if self.compositor else "24"),
                  f"bird window depth {depth} with compositor={self.compositor}")

    def own_popups(self):
        """(window, width, height) of the program's viewable override-redirect windows."""
        found = []
        for m in re.finditer(r"^\s*(0x[0-9a-f]+) \"Tapperbird\".*\s(\d+)x(\d+)[+-]",
                             self.x("xwininfo", "-root", "-children"), re.M):
            info = self.x("xwininfo", "-id", m.group(1))
            if "Override Redirect State: yes" in info and "IsViewable" in info:
                found.append((int(m.group(1), 16), int(m.group(2)), int(m.group(3))))
        return found

    def find_bird(self, exclude=()):
        size = [self.frames[0].width, self.frames[0].height]
        return next((w for w, *wh in self.own_popups() if wh == size and w not in exclude), None)

    def bird_rect(self):
        return self.frame_rect(self.bird, frame=False)

    def bird_was_foreground(self):
        out = self.spy.stdout.read() or b""
        history = {int(v, 16) for v in re.findall(rb"window id # (0x[0-9a-f]+)", out)}
        check(history, "the active-window log is empty")
        return bool(history & self.birds)

    def menu_rect(self):
        menu = next((w for w, width, height in self.own_popups()
                     if w != self.bird and width > 50 and height > 50), None)
        return menu and self.frame_rect(menu)  # less the shadows GTK draws under a compositor

    def titled(self, title):
        return next((w for w in self.client_windows()
                     if f'"{title}"' in self.x("xprop", "-id", hex(w), "WM_NAME")), None)

    def about(self):
        return self.titled("About")

    def check_about(self, about):
        actions = self.x("xprop", "-id", hex(about), "_NET_WM_ALLOWED_ACTIONS")
        check("_NET_WM_ACTION_CLOSE" in actions and "MAXIMIZE" not in actions and
              "RESIZE" not in actions, f"About window actions: {actions}")

    def close(self, window):
        self.xdotool("key", "alt+F4")  # every window manager's here, on the active window

    # -- the startup entry
    def startup_entry(self):
        """The entry's Exec line; None while there is none or it is switched off."""
        try:
            with open(self.entry_path) as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return None
        if "Hidden=true" in lines:
            return None
        exec_line = next((line for line in lines if line.startswith("Exec=")), "")
        # The desktop skips an entry whose program is gone only when it names it in TryExec.
        owned = {"Icon=tapperbird", "TryExec=" + self.program_path}
        return exec_line if owned <= set(lines) else f"{exec_line} without {owned - set(lines)}"

    def remove_entry(self):
        os.remove(self.entry_path)

    def first_run_marker(self):
        return os.path.isdir(os.path.join(self.env["XDG_CONFIG_HOME"], "tapperbird", "temp"))

    # -- the windows around it
    def open_window(self, name, x, y, width, height):
        """An xev window whose frame is width x height under openbox; active when this returns."""
        path = os.path.join(self.temp, name + ".log")
        geometry = f"{width - EXTENTS[0] - EXTENTS[1]}x{height - EXTENTS[2] - EXTENTS[3]}+{x}+{y}"
        with open(path, "wb") as out:
            p, window = self.open_client(["xev", "-name", name, "-geometry", geometry, "-event",
                                          "button", "-event", "structure"], name, stdout=out)
        self.logs[window], self.xev[window] = path, p
        return window

    def open_gtk(self, name, x, y, width, height, *mode):
        """A GTK window (see GTK_WINDOW) of this client size."""
        # Debian's own Python: PyGObject comes from python3-gi, not from a private interpreter.
        return self.open_client(["/usr/bin/python3", "-c", GTK_WINDOW, name, str(width),
                                 str(height), str(x), str(y), *mode], name, not mode)[1]

    def open_client(self, argv, name, activate=True, **kwargs):
        """Starts a program with one new top-level; returns (process, window), the window made
        active unless told otherwise."""
        before = set(self.client_windows())
        p = self.spawn(argv, **kwargs)
        window = wait_for(lambda: next(iter(set(self.client_windows()) - before), None), 15,
                          f"window {name} did not appear")
        self.opened.append(window)
        wait_for(lambda: "IsViewable" in self.x("xwininfo", "-id", hex(window)), 5,
                 f"{name} is not shown")
        if activate:
            if not poll(lambda: self.foreground() == window, 3):  # some refuse a new window
                self.activate(window)
            wait_for(lambda: self.foreground() == window, 10, f"{name} was not activated")
            time.sleep(0.3)
        return p, window

    def stacking(self):
        """The root's children, bottom first (xwininfo lists the top first)."""
        tree = self.x("xwininfo", "-root", "-children")
        return [int(v, 16) for v in re.findall(r"^\s*(0x[0-9a-f]+)", tree, re.M)][::-1]

    def client_windows(self):
        return [int(v, 16) for v in re.findall(r"0x[0-9a-f]+",
                                               self.x("xprop", "-root", "_NET_CLIENT_LIST"))]

    def foreground(self):
        m = re.search(r"window id # (0x[0-9a-f]+)", self.x("xprop", "-root", "_NET_ACTIVE_WINDOW"))
        return int(m.group(1), 16) if m else None

    def frame_rect(self, window, frame=True):
        """(left, top, right, bottom) of the frame the user sees, or of the window itself: the
        client grown by the window manager's frame extents, less the shadows a client-side-
        decorated window draws itself."""
        m = re.search(r"Absolute upper-left X:\s+(-?\d+).*?Absolute upper-left Y:\s+(-?\d+).*?"
                      r"Width:\s+(\d+).*?Height:\s+(\d+)", self.x("xwininfo", "-id", hex(window)),
                      re.S)
        check(m is not None, f"no geometry for window {window:#x}")
        left, top, width, height = (int(v) for v in m.groups())
        right, bottom = left + width, top + height
        for sign, name in ((1, "_NET_FRAME_EXTENTS"), (-1, "_GTK_FRAME_EXTENTS")) * frame:
            e = re.search(r"=\s*(\d+), (\d+), (\d+), (\d+)$",
                          self.x("xprop", "-id", hex(window), name).strip())
            if e:
                l, r, t, b = (sign * int(v) for v in e.groups())
                left, right, top, bottom = left - l, right + r, top - t, bottom + b
        return left, top, right, bottom

    def client_size(self, window):
        left, top, right, bottom = self.frame_rect(window, frame=False)
        return right - left, bottom - top

    def presses(self, window):
        """Where (root coordinates) the window has seen button presses, oldest first."""
        with open(self.logs[window], "rb") as f:
            events = f.read().decode(errors="replace")
        return [(int(x), int(y)) for x, y in
                re.findall(r"ButtonPress event.*?root:\((\d+),(\d+)\)", events, re.S)]

    def move(self, window, x, y):
        self.xdotool("windowmove", hex(window), x, y, check_rc=False)

    def resize(self, window, width, height):
        self.xdotool("windowsize", hex(window), width - EXTENTS[0] - EXTENTS[1],
                     height - EXTENTS[2] - EXTENTS[3], check_rc=False)

    def xwindow(self, window):
        return hex(window)

    def destroy(self, window):
        p = self.xev.pop(window)
        p.terminate()
        p.wait()

    def resources(self):
        """The X resources the program holds, by kind, from xrestop."""
        for block in re.split(r"\n(?=\d+ - )", self.x("xrestop", "-b", "-m", "1")):
            if re.search(rf"\(\s*PID:\s*{self.program.pid}\s*\)", block):
                return {key: int(n) for key, n in re.findall(
                    r"^\s*(windows|GCs|fonts|pixmaps|pictures|cursors|pixmap bytes)\s*:\s*(\d+)",
                    block, re.M)}
        raise desktop.Failure("xrestop did not list the program")
