"""The Linux program on the private X desktop, with xcompmgr when asked: xev windows for the bird
to perch on, window facts from xwininfo and xprop, the autostart entry in the private XDG folders."""

import os
import re
import subprocess
import time

import desktop
from desktop import check, log, wait_for

# openbox's default theme around a client: left, right, top (title), bottom (handle).
EXTENTS = (1, 1, 20, 5)


class X11Driver(desktop.Desktop):
    name = "x11"
    rss_slack = 1024  # KiB
    resource_slack = {"windows": 2, "GCs": 2, "fonts": 2, "pixmaps": 2, "pictures": 2,
                      "cursors": 2, "pixmap bytes": 4096}

    def __init__(self, args):
        super().__init__(args.artifacts, 1024, 768, args.assets,
                         xvfb_args=("+extension", "Composite"))
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

    # -- the program
    def launch(self):
        with open(os.path.join(self.artifacts, "tapperbird.log"), "ab") as err:
            self.program = self.spawn([self.path], stderr=err)
        self.bird = wait_for(self.find_bird, 15, "the bird window did not appear")
        self.birds.add(self.bird)
        log(f"bird window {self.bird:#x}")
        # Per-pixel alpha needs an ARGB visual under a compositor; without one, shape and 24 bits.
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

    def find_bird(self):
        size = [self.frames[0].width, self.frames[0].height]
        return next((w for w, *wh in self.own_popups() if wh == size), None)

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
        return menu and self.frame_rect(menu, frame=False)

    def about(self):
        return next((w for w in self.client_windows()
                     if '"About"' in self.x("xprop", "-id", hex(w), "WM_NAME")), None)

    def check_about(self, about):
        actions = self.x("xprop", "-id", hex(about), "_NET_WM_ALLOWED_ACTIONS")
        check("_NET_WM_ACTION_CLOSE" in actions and "MAXIMIZE" not in actions and
              "RESIZE" not in actions, f"About window actions: {actions}")

    def close(self, window):
        self.xdotool("key", "alt+F4")  # openbox's own close binding, on the active window

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

    def disable_entry(self):
        with open(self.entry_path, "a") as f:
            f.write("Hidden=true\n")

    def remove_entry(self):
        os.remove(self.entry_path)

    def first_run_marker(self):
        return os.path.isdir(os.path.join(self.env["XDG_CONFIG_HOME"], "tapperbird", "temp"))

    # -- the windows around it
    def open_window(self, name, x, y, width, height):
        """An xev window whose frame is width x height; active when this returns."""
        path = os.path.join(self.temp, name + ".log")
        before = set(self.client_windows())
        geometry = f"{width - EXTENTS[0] - EXTENTS[1]}x{height - EXTENTS[2] - EXTENTS[3]}+{x}+{y}"
        with open(path, "wb") as out:
            p = self.spawn(["xev", "-name", name, "-geometry", geometry, "-event", "button",
                            "-event", "structure"], stdout=out)
        window = wait_for(lambda: next(iter(set(self.client_windows()) - before), None), 10,
                          f"window {name} did not appear")
        wait_for(lambda: self.foreground() == window, 10, f"{name} was not activated")
        time.sleep(0.3)
        self.logs[window], self.xev[window] = path, p
        return window

    def client_windows(self):
        return [int(v, 16) for v in re.findall(r"0x[0-9a-f]+",
                                               self.x("xprop", "-root", "_NET_CLIENT_LIST"))]

    def foreground(self):
        m = re.search(r"window id # (0x[0-9a-f]+)", self.x("xprop", "-root", "_NET_ACTIVE_WINDOW"))
        return int(m.group(1), 16) if m else None

    def frame_rect(self, window, frame=True):
        """(left, top, right, bottom) of a window's frame, or of the window itself."""
        m = re.search(r"Absolute upper-left X:\s+(-?\d+).*?Absolute upper-left Y:\s+(-?\d+).*?"
                      r"Width:\s+(\d+).*?Height:\s+(\d+)", self.x("xwininfo", "-id", hex(window)),
                      re.S)
        check(m is not None, f"no geometry for window {window:#x}")
        left, top, width, height = (int(v) for v in m.groups())
        l, r, t, b = EXTENTS if frame else (0, 0, 0, 0)
        return left - l, top - t, left + width + r, top + height + b

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
