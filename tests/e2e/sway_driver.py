"""The Linux program on a headless sway (the wlroots family), as an unprivileged user the harness
makes when it runs as root (sway will not run as root): foot windows with sway's server-side
frame and GTK 3 header-bar windows to perch on, window facts from sway's IPC, screenshots from
grim, clicks from a zwlr_virtual_pointer_v1 client (wayland_driver.py)."""

import json
import os
import pwd
import subprocess
import time

import wayland_driver
from desktop import check, log, wait_for

USER = "tapperbird-e2e"
# sway's default colours for the focused window's frame; the title bar's top row is its border.
FOCUSED_BORDER = (0x4c, 0x78, 0x99)

CONFIG = """output HEADLESS-1 mode {width}x{height} position 0 0 bg #203040 solid_color
output HEADLESS-1 scale {scale}
{second}default_border normal 2
focus_follows_mouse no
focus_on_window_activation focus
seat * hide_cursor 0
"""

def ensure_user():
    """The unprivileged user sway and its clients run as: (uid, gid)."""
    try:
        entry = pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                        "--shell", "/usr/sbin/nologin", USER], check=True)
        entry = pwd.getpwnam(USER)
    return entry.pw_uid, entry.pw_gid


class SwayDriver(wayland_driver.WaylandDriver):
    name = "sway"
    has_keyboard = False  # headless, with no input devices: the seat has no keyboard

    def __init__(self, args):
        super().__init__(args, "sway")
        if os.geteuid() == 0:
            uid, gid = ensure_user()
            self.as_user = ["setpriv", f"--reuid={uid}", f"--regid={gid}", "--clear-groups",
                            "--pdeathsig=TERM"]
            for folder, _, files in os.walk(self.temp):
                for path in [folder] + [os.path.join(folder, f) for f in files]:
                    os.chown(path, uid, gid)
        self.focus_log_text = b""
        self.env.update(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                        WLR_RENDERER="pixman", WLR_HEADLESS_OUTPUTS=str(self.outputs))

    def spawn(self, argv, **kwargs):
        return super().spawn(self.as_user + list(argv), **kwargs)

    def x(self, *argv, check_rc=False):
        return super().x(*self.as_user, *argv, check_rc=check_rc)

    def start(self):
        runtime = self.env["XDG_RUNTIME_DIR"]
        config = os.path.join(self.temp, "sway.config")
        with open(config, "w") as f:
            w = self.width // self.outputs
            second = (f"output HEADLESS-2 mode {w}x{self.height} position {w} 0 bg #304020 "
                      "solid_color\n" if self.outputs == 2 else "")
            f.write(CONFIG.format(width=w, height=self.height, scale=self.grid, second=second))
        os.chmod(config, 0o644)
        with open(os.path.join(self.artifacts, "sway.log"), "wb") as err:
            self.spawn(["sway", "-c", config], stderr=err)
        sockets = lambda: ([n for n in os.listdir(runtime) if n.startswith("sway-ipc.")],
                           [n for n in os.listdir(runtime) if n.startswith("wayland-") and
                            not n.endswith(".lock")])
        ipc, wayland = wait_for(lambda: all(sockets()) and sockets(), 15, "sway did not start")
        self.env["SWAYSOCK"] = os.path.join(runtime, ipc[0])
        self.env["WAYLAND_DISPLAY"] = wayland[0]
        log(f"sway on {wayland[0]}")
        self.spy = self.spawn(["swaymsg", "-m", "-t", "subscribe", '["window"]'],
                              stdout=subprocess.PIPE)
        os.set_blocking(self.spy.stdout.fileno(), False)

    def msg(self, *command):
        return self.x("swaymsg", *command)

    def tree(self):
        return json.loads(self.x("swaymsg", "-t", "get_tree", "-r"))

    def windows(self, node=None):
        """Every window (container with a client) in the tree."""
        node = node or self.tree()
        found = [node] if node.get("pid") else []
        for child in node.get("nodes", []) + node.get("floating_nodes", []):
            found += self.windows(child)
        return found

    def node(self, window):
        return next((n for n in self.windows() if n["id"] == window), None)

    # -- the program
    def bird_was_foreground(self):
        """True when sway ever focused a window that is neither one the test opened nor one of
        the program's own top-levels."""
        self.focus_log_text += self.spy.stdout.read() or b""
        focused = [json.loads(line)["container"] for line in self.focus_log_text.splitlines()
                   if line.strip().startswith(b"{") and b'"change": "focus"' in line]
        check(focused, "sway's focus log is empty")
        return any(c["id"] not in self.opened and c.get("name") not in self.own_titles
                   for c in focused)

    # -- the windows around it
    def open_window(self, name, x, y, width, height):
        """A foot terminal in sway's own frame (border and title bar), floating, its frame
        width x height at (x, y); active when this returns."""
        return self.open_client(["foot", "--app-id", name, "--", "sleep", "100000"], name,
                                x, y, width, height)

    def open_gtk(self, name, x, y, width, height):
        """A GTK 3 window that draws its own header bar; sway adds no frame."""
        with self.focus_log(name) as out:
            window = self.open_client(self.gtk_argv(name, "headerbar"), name, x, y, width,
                                      height, stdout=out)
        self.focus_logs[window] = self.focus_logs.pop(name)
        return window

    def open_x11(self, name, x, y, width, height):
        """An xterm through sway's XWayland, in sway's frame like a native window."""
        if "DISPLAY" not in self.env:
            # sway's own children see its XWayland display; ask one.
            path = os.path.join(self.temp, "display")
            self.msg("exec", f"echo $DISPLAY > {path}")
            self.env["DISPLAY"] = wait_for(
                lambda: os.path.exists(path) and open(path).read().strip(), 10,
                "sway has no XWayland display")
        return self.open_client(["xterm", "-title", name], name, x, y, width, height)

    def open_client(self, argv, name, x, y, width, height, stdout=subprocess.DEVNULL):
        lx, ly, lw, lh = self.to_output(x, y, width, height)
        x, y, width, height = self.to_screen(lx, ly, lw, lh)
        p = self.spawn(argv, stdout=stdout)
        node = wait_for(lambda: next((n for n in self.windows() if name in (
            n.get("app_id"), n.get("window_properties", {}).get("title"))), None), 15,
            f"window {name} did not appear")
        window = node["id"]
        self.clients[window] = p
        self.opened.append(window)
        # A new client may commit its old size just after it floats: place it until it stays.
        for _ in range(10):
            self.msg(f"[con_id={window}]", "floating", "enable", ",", "resize", "set",
                     str(lw), str(lh), ",", "move", "absolute", "position", str(lx), str(ly), ",",
                     "focus")
            time.sleep(0.3)
            if self.frame_rect(window) == (x, y, x + width, y + height):
                break
        check(self.frame_rect(window) == (x, y, x + width, y + height),
              f"{name} is at {self.frame_rect(window)}, not {(x, y, x + width, y + height)}")
        wait_for(lambda: self.foreground() == window, 10, f"{name} was not focused")
        if self.node(window).get("border") == "normal":
            # The frame from the tree is where sway draws it: its top row is the focused border.
            shot = self.shot(crop=(x, y - 1, 3, 3))
            check(shot.at(x + 1, y) == FOCUSED_BORDER and shot.at(x + 1, y - 1) != FOCUSED_BORDER,
                  f"no focused frame edge at {(x, y)} for {name}")
        time.sleep(0.3)
        return window

    def titled(self, title):
        return next((n["id"] for n in self.windows() if n.get("name") == title), None)

    def check_about(self, about):
        check(self.node(about)["type"] == "floating_con", "sway tiled the About window")

    def foreground(self):
        focused = [n for n in self.windows() if n.get("focused")]
        return focused[0]["id"] if focused else None

    def frame_rect(self, window):
        """(left, top, right, bottom) of the frame the user sees: the container, which holds the
        border, and a normal border's title bar above it."""
        n = self.node(window)
        check(n is not None, f"no window {window}")
        r, title = n["rect"], n["deco_rect"]["height"] if n.get("border") == "normal" else 0
        return self.to_screen(r["x"], r["y"] - title, r["x"] + r["width"], r["y"] + r["height"])

    def client_size(self, window):
        r = self.node(window)["window_rect"]
        return self.to_screen(r["width"], r["height"])

    def presses(self, window):
        return None  # foot logs no presses

    def activate(self, window):
        self.msg(f"[con_id={window}]", "focus")

    def minimise(self, window):
        self.msg(f"[con_id={window}]", "move", "scratchpad")  # sway's way of putting it away

    def move(self, window, x, y):
        self.msg(f"[con_id={window}]", "move", "absolute", "position",
                 *map(str, self.to_output(x, y)))

    def resize(self, window, width, height):
        self.msg(f"[con_id={window}]", "resize", "set", *map(str, self.to_output(width, height)))

    def close(self, window):
        self.msg(f"[con_id={window}]", "kill")

    def shot(self, name=None, crop=None):
        left, top, right, bottom = self.output_box(crop)
        box = ["-g", f"{left},{top} {right - left}x{bottom - top}"] if crop else []
        return self.shot_by(self.as_user + ["grim", "-t", "ppm", *box, "-"], left * self.grid,
                            top * self.grid, name)
