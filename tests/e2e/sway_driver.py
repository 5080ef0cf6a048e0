"""The Linux program on a headless sway (the wlroots family), as an unprivileged user the harness
makes when it runs as root (sway will not run as root): foot windows with sway's server-side
frame and GTK 3 header-bar windows to perch on, window facts from sway's IPC, screenshots from
grim, clicks from a zwlr_virtual_pointer_v1 client. The bird is found on the screen by its
pixels: a layer-shell surface is in no window list."""

import json
import os
import pwd
import shutil
import subprocess
import time

import desktop
import x11_driver
from desktop import check, log, poll, wait_for

USER = "tapperbird-e2e"
# sway's default colours for the focused window's frame; the title bar's top row is its border.
FOCUSED_BORDER = (0x4c, 0x78, 0x99)

CONFIG = """output HEADLESS-1 mode {width}x{height} position 0 0 bg #203040 solid_color
default_border normal 2
focus_follows_mouse no
focus_on_window_activation focus
seat * hide_cursor 0
"""

# A GTK 3 window with a header bar, named by its application id; GDK on Wayland.
GTK_WINDOW = r"""
import os, sys, gi
os.environ["GDK_BACKEND"] = "wayland"
gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk
GLib.set_prgname(sys.argv[1])
window = Gtk.Window(title=sys.argv[1])
window.set_titlebar(Gtk.HeaderBar(title=sys.argv[1], show_close_button=True))
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
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


class SwayDriver(desktop.Desktop):
    name = "sway"
    dpi = 96

    def __init__(self, args):
        super().__init__(args.artifacts, 1280, 800, args.assets, wm="sway")
        self.pointer = args.pointer
        self.as_user = []
        if os.geteuid() == 0:
            uid, gid = ensure_user()
            self.as_user = ["setpriv", f"--reuid={uid}", f"--regid={gid}", "--clear-groups",
                            "--pdeathsig=TERM"]
            for folder, _, files in os.walk(self.temp):
                for path in [folder] + [os.path.join(folder, f) for f in files]:
                    os.chown(path, uid, gid)
        # The program and its GTK module, where the user can run them whatever the build tree's
        # permissions.
        bin_dir = os.path.join(self.temp, "bin")
        os.makedirs(bin_dir)
        self.path = shutil.copy(args.program, bin_dir)
        module = os.path.join(os.path.dirname(args.program), "libtapperbird-gtk.so")
        if os.path.exists(module):
            shutil.copy(module, bin_dir)
        if self.as_user:
            for path in (bin_dir, *[os.path.join(bin_dir, f) for f in os.listdir(bin_dir)]):
                os.chown(path, uid, gid)
        self.program_path = os.path.realpath(self.path)
        self.expected_entry = f'Exec="{self.program_path}"'
        self.entry_path = os.path.join(self.env["XDG_CONFIG_HOME"], "autostart",
                                       "Tapperbird.desktop")
        self.clients, self.focus_log = {}, b""
        self.env.update(NO_AT_BRIDGE="1", GTK_THEME="Adwaita",
                        WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                        WLR_RENDERER="pixman")
        self.env.pop("SWAYSOCK", None)
        self.env.pop("I3SOCK", None)

    def spawn(self, argv, **kwargs):
        return super().spawn(self.as_user + list(argv), **kwargs)

    def x(self, *argv, check_rc=False):
        return super().x(*self.as_user, *argv, check_rc=check_rc)

    def start(self):
        runtime = self.env["XDG_RUNTIME_DIR"]
        config = os.path.join(self.temp, "sway.config")
        with open(config, "w") as f:
            f.write(CONFIG.format(width=self.width, height=self.height))
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
    def launch(self):
        self.log_path = os.path.join(self.artifacts, "tapperbird.log")
        with open(self.log_path, "ab") as err:
            self.program = self.spawn([self.path], stderr=err)
        if self.foreground() is not None:
            wait_for(lambda: self.bird_rect()[0] < self.width, 15, "the bird did not appear")
        else:
            time.sleep(1)
        check(self.program.poll() is None, "the program ended at start")

    def bird_rect(self):
        """Where the bird's pixels show: a frame whose opaque pixels all show unblended there,
        found from the colours only the bird has; off the screen when none shows."""
        w, h = self.frames[0].width, self.frames[0].height
        shot = self.shot()
        seen = shot.find_colours(desktop.BIRD_ONLY, limit=10000)
        if not seen:
            return self.width, self.height, self.width + w, self.height + h
        left, top = min(x for x, _, _ in seen), min(y for _, y, _ in seen)
        candidates = []
        for frame in self.frames:
            own = [(fx, fy) for (fx, fy), rgb in frame.opaque.items() if rgb in desktop.BIRD_ONLY]
            origin = (left - min(fx for fx, _ in own), top - min(fy for _, fy in own))
            candidates.append(origin)
            if shot.frame_at(self.frames, *origin):
                return origin[0], origin[1], origin[0] + w, origin[1] + h
        return candidates[0][0], candidates[0][1], candidates[0][0] + w, candidates[0][1] + h

    def bird_was_foreground(self):
        """True when sway ever focused a window that is not one the test opened."""
        self.focus_log += self.spy.stdout.read() or b""
        focused = [json.loads(line)["container"] for line in self.focus_log.splitlines()
                   if line.strip().startswith(b"{") and b'"change": "focus"' in line]
        check(focused, "sway's focus log is empty")
        return any(c["id"] not in self.opened for c in focused)

    def menu_rect(self):
        return None

    # The settings store is the X11 program's own: the same files, read the same way.
    startup_entry = x11_driver.X11Driver.startup_entry
    remove_entry = x11_driver.X11Driver.remove_entry
    first_run_marker = x11_driver.X11Driver.first_run_marker

    # -- the windows around it
    def open_window(self, name, x, y, width, height):
        """A foot terminal in sway's own frame (border and title bar), floating, its frame
        width x height at (x, y); active when this returns."""
        return self.open_client(["foot", "--app-id", name, "--", "sleep", "100000"], name,
                                x, y, width, height)

    def open_gtk(self, name, x, y, width, height):
        """A GTK 3 window that draws its own header bar; sway adds no frame."""
        return self.open_client(["/usr/bin/python3", "-c", GTK_WINDOW, name], name,
                                x, y, width, height)

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

    def open_client(self, argv, name, x, y, width, height):
        p = self.spawn(argv)
        node = wait_for(lambda: next((n for n in self.windows() if name in (
            n.get("app_id"), n.get("window_properties", {}).get("title"))), None), 15,
            f"window {name} did not appear")
        window = node["id"]
        self.clients[window] = p
        self.opened.append(window)
        # A new client may commit its old size just after it floats: place it until it stays.
        for _ in range(10):
            self.msg(f"[con_id={window}]", "floating", "enable", ",", "resize", "set",
                     str(width), str(height), ",", "move", "position", str(x), str(y), ",",
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

    def foreground(self):
        focused = [n for n in self.windows() if n.get("focused")]
        return focused[0]["id"] if focused else None

    def frame_rect(self, window):
        """(left, top, right, bottom) of the frame the user sees: the container, which holds the
        border, and a normal border's title bar above it."""
        n = self.node(window)
        check(n is not None, f"no window {window}")
        r, title = n["rect"], n["deco_rect"]["height"] if n.get("border") == "normal" else 0
        return r["x"], r["y"] - title, r["x"] + r["width"], r["y"] + r["height"]

    def client_size(self, window):
        r = self.node(window)["window_rect"]
        return r["width"], r["height"]

    def presses(self, window):
        return None  # foot logs no presses

    def activate(self, window):
        self.msg(f"[con_id={window}]", "focus")

    def minimise(self, window):
        self.msg(f"[con_id={window}]", "move", "scratchpad")  # sway's way of putting it away

    def move(self, window, x, y):
        self.msg(f"[con_id={window}]", "move", "position", str(x), str(y))

    def resize(self, window, width, height):
        self.msg(f"[con_id={window}]", "resize", "set", str(width), str(height))

    def close(self, window):
        self.msg(f"[con_id={window}]", "kill")

    def destroy(self, window):
        p = self.clients.pop(window)
        p.terminate()
        p.wait()

    def click(self, x, y, button=1):
        # One pointer device for the move and the press: it waits for the client to see the
        # pointer arrive before it presses.
        self.x(self.pointer, str(x), str(y), str(self.width), str(self.height), str(button))

    def shot(self, name=None, crop=None):
        left, top, w, h = crop or (0, 0, self.width, self.height)
        argv = ["grim", "-t", "ppm"] + (["-g", f"{left},{top} {w}x{h}"] if crop else []) + ["-"]
        return self.shot_by(self.as_user + argv, left, top, name)
