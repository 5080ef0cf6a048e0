"""The Linux program on a headless GNOME Shell 43 (Wayland, no X server), with our extension and a
test-only helper extension enabled before it starts (ours installed, for the program to enable): GTK 3 Wayland windows with header bars to
perch on (GNOME draws no frames for Wayland clients); window facts and changes, presses from a
virtual pointer and screenshots through the Shell's Eval and Screenshot interfaces, which the
helper opens to the test. Windows are known by their titles; the bird is found on the screen by its
pixels, as on sway."""

import ast
import json
import os
import shutil
import subprocess
import time

import desktop
import kwin_driver
import sway_driver
import wayland_driver
import x11_driver
from desktop import check, log, poll, wait_for

UUID = "tapperbird@example.velmor.Tapperbird"
HELPER = "tapperbird-test-helper@example.velmor.Tapperbird"

# A GTK 3 window with a header bar, titled by its name; it prints each press on it, in its
# surface's coordinates.
GTK_WINDOW = r"""
import os, sys, gi
os.environ["GDK_BACKEND"] = "wayland"
gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk
window = Gtk.Window(title=sys.argv[1])
window.add_events(Gdk.EventMask.BUTTON_PRESS_MASK)
window.set_titlebar(Gtk.HeaderBar(title=sys.argv[1], show_close_button=True))
window.set_size_request(40, 20)
def pressed(_, event):  # in the buffer's pixels, which are the screen's
    scale = window.get_scale_factor()
    print(round(event.x * scale), round(event.y * scale), flush=True)
window.connect("button-press-event", pressed)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
"""

# What each query and change starts with: the window titled NAME.
HELPERS = """
const named = name => global.get_window_actors().map(a => a.meta_window)
    .find(w => w.get_title() === name) || null;
const rect = r => [r.x, r.y, r.x + r.width, r.y + r.height];
"""


class GnomeDriver(desktop.Desktop):
    name = "gnome"
    dpi = 96
    as_user = []
    places_own_windows = False  # a Wayland client cannot place its windows: the Shell does

    def __init__(self, args):
        # Two monitors side by side, each the left half of the screen the scenarios see.
        self.outputs = 2 if args.mode == "two-outputs" else 1
        super().__init__(args.artifacts, 1280 if self.outputs == 1 else 1600, 800, args.assets,
                         wm="gnome-shell")
        self.primary = (self.width // self.outputs, self.height)
        # The Shell's places are the screen's pixels at any scale: only the bird grows.
        self.shell_scale = 2 if args.mode == "scaled" else 1
        if self.shell_scale > 1:
            self.dpi *= self.shell_scale
            self.set_scale(self.shell_scale)
        bin_dir = os.path.join(self.temp, "bin")
        os.makedirs(bin_dir)
        self.path = shutil.copy(args.program, bin_dir)
        module = os.path.join(os.path.dirname(args.program), "libtapperbird-gtk.so")
        if os.path.exists(module):
            shutil.copy(module, bin_dir)
        self.program_path = os.path.realpath(self.path)
        self.expected_entry = f'Exec="{self.program_path}"'
        self.entry_path = os.path.join(self.env["XDG_CONFIG_HOME"], "autostart",
                                       "Tapperbird.desktop")
        # Both extensions where a user's own go; ours in the form GNOME 43 loads.
        extensions = os.path.join(self.env["XDG_DATA_HOME"], "gnome-shell", "extensions")
        built = os.path.join(os.path.dirname(args.program), "gnome-extension", "legacy", UUID)
        shutil.copytree(built, os.path.join(extensions, UUID))
        shutil.copytree(os.path.join(os.path.dirname(__file__), "gnome", HELPER),
                        os.path.join(extensions, HELPER))
        self.clients, self.client_out = {}, {}
        self.env.update(NO_AT_BRIDGE="1", GTK_THEME="Adwaita", LIBGL_ALWAYS_SOFTWARE="1",
                        XDG_CURRENT_DESKTOP="GNOME", XDG_SESSION_TYPE="wayland")
        self.env.pop("SWAYSOCK", None)
        self.env.pop("I3SOCK", None)

    def start(self):
        # GNOME Shell needs a system bus; the machine's may have no login manager behind it.
        system = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                             f"--address=unix:path={self.temp}/system-bus"],
                            stdout=subprocess.PIPE)
        check(system.stdout.readline().strip(), "the system bus did not start")
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={self.temp}/system-bus"
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE)
        address = bus.stdout.readline().decode().strip()
        check(address, "dbus-daemon did not report an address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        for schema, key, value in (
                # Ours installed but not enabled: the program's first run enables it.
                ("org.gnome.shell", "enabled-extensions", repr([HELPER])),
                ("org.gnome.desktop.interface", "enable-animations", "false"),
                ("org.gnome.desktop.notifications", "show-banners", "false"),
                ("org.gnome.desktop.interface", "scaling-factor", str(self.shell_scale))):
            self.x("gsettings", "set", schema, key, value, check_rc=True)
        self.shell_log = os.path.join(self.artifacts, "gnome-shell.log")
        with open(self.shell_log, "wb") as err:
            monitors = ["--virtual-monitor", f"{self.primary[0]}x{self.height}"] * self.outputs
            self.spawn(["gnome-shell", "--headless", "--wayland", "--no-x11", *monitors,
                        "--wayland-display", "tapperbird-gnome"],
                       stdout=err, stderr=err)
        self.processes.insert(0, self.processes.pop())  # the Shell first, as the compositor
        self.env["WAYLAND_DISPLAY"] = "tapperbird-gnome"
        wait_for(lambda: self.eval_js("!Main.layoutManager._startingUp && "
                                      "!Main.overview.visible", check_ok=False), 60,
                 "GNOME Shell did not start on its desktop")
        check(self.eval_js("Main.extensionManager.lookup('%s').state" % UUID) not in (None, 1),
              "our extension is not installed, or enabled already")
        log("GNOME Shell on tapperbird-gnome")

    # -- the Shell's Eval, opened by the helper
    def eval_js(self, expression, check_ok=True):
        """The value of a JavaScript expression inside the Shell (JSON-able), or None."""
        r = subprocess.run(["gdbus", "call", "--session", "--dest", "org.gnome.Shell",
                            "--object-path", "/org/gnome/Shell", "--method",
                            "org.gnome.Shell.Eval", HELPERS + expression],
                           env=self.env, capture_output=True, text=True, timeout=30)
        if r.returncode != 0:
            check(not check_ok, f"Eval failed: {r.stderr.strip()}")
            return None
        ok, text = ast.literal_eval(r.stdout.strip().replace("(true,", "(True,", 1)
                                    .replace("(false,", "(False,", 1))
        check(ok or not check_ok, f"Eval of {expression!r} threw: {text}")
        return json.loads(text) if ok and text else None

    # -- the program, found on the screen by its pixels
    launch = sway_driver.SwayDriver.launch
    bird_rect = sway_driver.SwayDriver.bird_rect

    def bird_was_foreground(self):
        """True when a window the test did not open ever took the focus."""
        focused = self.eval_js("global.tapperbirdFocusLog")
        check(focused, "the Shell's focus log is empty")
        return any(title is not None and title not in self.opened and
                   title not in wayland_driver.WaylandDriver.own_titles for title in focused)

    def menu_rect(self):
        """The open popup menu's box, on the screen."""
        return self.eval_js("""(() => {
            const open = Main.layoutManager.uiGroup.get_children().find(a =>
                a.mapped && a.has_style_class_name && a.has_style_class_name('popup-menu-boxpointer'));
            if (!open) return null;
            const [x, y] = open.bin.get_transformed_position();
            const [w, h] = open.bin.get_transformed_size();
            return [Math.round(x), Math.round(y), Math.round(x + w), Math.round(y + h)];
        })()""")

    def menu_item_point(self, command):
        """The middle of the open menu's item for the command."""
        label = {"about": "About", "start": "Run at Startup", "donation": "Donate",
                 "exit": "Exit"}[command]
        point = self.eval_js("""(() => {
            const open = Main.layoutManager.uiGroup.get_children().find(a =>
                a.mapped && a.has_style_class_name && a.has_style_class_name('popup-menu-boxpointer'));
            const items = [];
            const walk = actor => { for (const c of actor.get_children()) {
                if (c.has_style_class_name && c.has_style_class_name('popup-menu-item')) items.push(c);
                walk(c); } };
            if (open) walk(open);
            const hit = items.find(i => i.label_actor && i.label_actor.text.startsWith(%s));
            if (!hit) return null;
            const [x, y] = hit.get_transformed_position();
            const [w, h] = hit.get_transformed_size();
            return [Math.round(x + w / 2), Math.round(y + h / 2)];
        })()""" % json.dumps(label))
        check(point, f"no {label!r} item in the open menu")
        return point

    def about(self):
        """The program's About window, by its title."""
        return self.eval_js("named('About') ? 'About' : null")

    def check_about(self, about):
        allowed = self.eval_js(f"(() => {{ const w = named({json.dumps(about)}); "
                               "return [w.resizeable, w.can_maximize()]; })()")
        check(allowed == [False, False], f"About [resizeable, can maximise]: {allowed}")

    def client_size(self, window):
        """None: GTK draws the frame of its windows itself here (GNOME draws none for Wayland
        clients), so the Shell cannot tell the client area from the frame."""
        return None

    startup_entry = x11_driver.X11Driver.startup_entry
    remove_entry = x11_driver.X11Driver.remove_entry
    first_run_marker = x11_driver.X11Driver.first_run_marker

    # -- the windows around it
    def open_window(self, name, x, y, width, height):
        """A GTK 3 header-bar window, its frame width x height at (x, y); active when this
        returns. A client's size is whole units of its scale."""
        width, height = self.whole_units(width, height)
        self.eval_js(f"global.tapperbirdPlaces[{json.dumps(name)}] = [{x}, {y}, {width}, {height}]")
        p = self.spawn(["/usr/bin/python3", "-c", GTK_WINDOW, name], stdout=subprocess.PIPE)
        os.set_blocking(p.stdout.fileno(), False)
        self.clients[name], self.client_out[name] = p, b""
        self.opened.append(name)
        target = [x, y, x + width, y + height]
        # Placed by the helper as it appears, and focused: returns at once, so that the scenarios
        # time the bird from about the moment the window took the focus.
        ready = (f"(() => {{ const w = named({json.dumps(name)}); return w !== null && "
                 f"rect(w.get_frame_rect()).join() === '{x},{y},{x + width},{y + height}' && "
                 "global.display.focus_window === w; })()")
        if not poll(lambda: self.eval_js(ready), 15, step=0.02):
            check(self.eval_js(f"named({json.dumps(name)}) !== null"),
                  f"window {name} did not appear")
            self.change(name, f"w.move_resize_frame(true, {x}, {y}, {width}, {height}); "
                              "w.activate(global.get_current_time());")
            wait_for(lambda: self.eval_js(ready), 5,
                     f"{name} is at {self.frame_rect(name)}, not {target}, or not focused")
        return name

    open_gtk = open_window

    def whole_units(self, *values):
        return [v // self.shell_scale * self.shell_scale for v in values]

    def change(self, window, statement):
        self.eval_js(f"(() => {{ const w = named({json.dumps(window)}); if (w) {{ {statement} }} "
                     "return true; })()")

    def foreground(self):
        return self.eval_js("global.display.focus_window ? "
                            "global.display.focus_window.get_title() : null")

    def frame_rect(self, window):
        return tuple(self.eval_js(f"rect(named({json.dumps(window)}).get_frame_rect())"))

    def presses(self, window):
        """Every press the window saw, in screen coordinates."""
        p = self.clients[window]
        self.client_out[window] += p.stdout.read() or b""
        left, top, _, _ = self.eval_js(f"rect(named({json.dumps(window)}).get_buffer_rect())")
        return [(left + int(x), top + int(y)) for x, y in
                (line.split() for line in self.client_out[window].decode().splitlines())]

    def activate(self, window):
        self.change(window, "w.activate(global.get_current_time());")

    def minimise(self, window):
        self.change(window, "w.minimize();")

    def move(self, window, x, y):
        self.change(window, f"w.move_frame(true, {x}, {y});")

    def resize(self, window, width, height):
        width, height = self.whole_units(width, height)
        self.change(window, "const r = w.get_frame_rect(); "
                            f"w.move_resize_frame(true, r.x, r.y, {width}, {height});")

    def close(self, window):
        self.change(window, "w.delete(global.get_current_time());")

    destroy = kwin_driver.KwinDriver.destroy

    def click(self, x, y, button=1):
        """A press and release from a virtual pointer of the Shell's own seat."""
        self.eval_js(f"""(() => {{
            const {{Clutter, GLib}} = imports.gi;
            global.tapperbirdPointer = global.tapperbirdPointer || Clutter.get_default_backend()
                .get_default_seat().create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
            const p = global.tapperbirdPointer, t = GLib.get_monotonic_time();
            p.notify_absolute_motion(t, {x}, {y});
            p.notify_button(t + 1000, {button}, Clutter.ButtonState.PRESSED);
            p.notify_button(t + 2000, {button}, Clutter.ButtonState.RELEASED);
            return true;
        }})()""")
        time.sleep(0.15)

    def shot(self, name=None, crop=None):
        # The Screenshot interface takes its area in units of the interface's scale.
        left, top, right, bottom = desktop.unit_box(crop or (0, 0, self.width, self.height),
                                                    self.shell_scale)
        path = os.path.join(self.temp, "shot.png")
        r = subprocess.run(["gdbus", "call", "--session", "--dest", "org.gnome.Shell.Screenshot",
                            "--object-path", "/org/gnome/Shell/Screenshot", "--method",
                            "org.gnome.Shell.Screenshot.ScreenshotArea", str(left), str(top),
                            str(right - left), str(bottom - top), "false", path],
                           env=self.env, capture_output=True, text=True, timeout=30)
        check(r.returncode == 0, f"the Shell took no screenshot: {r.stderr.strip()}")
        return self.shot_by(["convert", path, "-depth", "8", "ppm:-"], left * self.shell_scale,
                            top * self.shell_scale, name)

    def disable_extension(self):
        self.eval_js(f"Main.extensionManager.disableExtension('{UUID}') || true")

    def enable_extension(self):
        self.eval_js(f"Main.extensionManager.enableExtension('{UUID}') || true")

    def forget_extension(self):
        """The Shell as it is after our extension was installed: it knows nothing of it."""
        self.eval_js("Main.extensionManager.unloadExtension("
                     f"Main.extensionManager.lookup('{UUID}')) || true")
