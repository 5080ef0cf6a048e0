"""What the drivers of the Wayland compositors (sway_driver.py, kwin_driver.py) share: the program
and its files copied as an installation keeps them, GTK 3 test windows that log their keyboard
focus, the bird and the menu found on the screen by their pixels (a layer-shell surface and a
popup are in no window list), clicks from a virtual pointer client, and the settings store, which
is the X11 program's own."""

import os
import shutil
import time

import desktop
import x11_driver
from desktop import check, wait_for

# A GTK 3 window on Wayland titled and named (app id) by its name: in the compositor's frame, or
# drawing its own header bar. It prints each change of its keyboard focus ("in", "out"), which
# comes from the compositor's keyboard enter and leave: where keys would go.
GTK_WINDOW = r"""
import os, sys, gi
os.environ["GDK_BACKEND"] = "wayland"
gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk
GLib.set_prgname(sys.argv[1])
window = Gtk.Window(title=sys.argv[1])
if sys.argv[2] == "headerbar":
    window.set_titlebar(Gtk.HeaderBar(title=sys.argv[1], show_close_button=True))
window.set_size_request(40, 20)
def say(word):
    print(word, flush=True)
    return False
window.connect("focus-in-event", lambda *_: say("in"))
window.connect("focus-out-event", lambda *_: say("out"))
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
"""

# The test's theme for the program's menu: the background in a colour nothing else shows, so the
# menu is found by it (the menu's size and place are GTK's own).
MENU_COLOUR = (1, 254, 3)
MENU_CSS = "menu { background-color: #%02x%02x%02x; }\n" % MENU_COLOUR

OUTPUT_WIDTH = 800  # each output's, when there are two


class WaylandDriver(desktop.Desktop):
    dpi = 96
    as_user = []  # the user the compositor and its clients run as, when not the harness's own
    has_keyboard = True  # the seat offers a keyboard, whose focus the test windows log
    places_own_windows = False  # a Wayland client cannot place its windows: the compositor does
    # The program's own top-levels (About, a message box), which rightly take the focus.
    own_titles = ("About", "Tapperbird")

    def __init__(self, args, wm, extra_files=()):
        # Two outputs side by side, each the left half of the screen the scenarios see.
        self.outputs = 2 if args.mode == "two-outputs" else 1
        super().__init__(args.artifacts, 1280 if self.outputs == 1 else 2 * OUTPUT_WIDTH, 800,
                         args.assets, wm=wm)
        self.primary = (self.width // self.outputs, self.height)
        if args.mode == "scaled":
            # The output at scale 2: the compositor's places are in its units, half the screen's
            # pixels, and the bird's frames show twice as large. The driver speaks in the screen's
            # pixels, as the screenshots and the scenarios do.
            self.grid, self.dpi = 2, 2 * self.dpi
            self.set_scale(self.grid)
        self.pointer = args.pointer
        # The program, its GTK module and the files it looks for beside itself, as an
        # installation keeps them, where the compositor's user can run them.
        bin_dir = os.path.join(self.temp, "bin")
        os.makedirs(bin_dir)
        self.path = shutil.copy(args.program, bin_dir)
        for name in ("libtapperbird-gtk.so", *extra_files):
            source = os.path.join(os.path.dirname(args.program), name)
            if os.path.exists(source):
                shutil.copy(source, bin_dir)
        self.program_path = os.path.realpath(self.path)
        self.expected_entry = f'Exec="{self.program_path}"'
        self.entry_path = os.path.join(self.env["XDG_CONFIG_HOME"], "autostart",
                                       "Tapperbird.desktop")
        css = os.path.join(self.env["XDG_CONFIG_HOME"], "gtk-3.0", "gtk.css")
        os.makedirs(os.path.dirname(css))
        with open(css, "w") as f:
            f.write(MENU_CSS)
        self.clients, self.focus_logs = {}, {}
        self.env.update(NO_AT_BRIDGE="1", GTK_THEME="Adwaita")
        self.env.pop("SWAYSOCK", None)
        self.env.pop("I3SOCK", None)

    # -- the program
    def launch(self):
        self.log_path = os.path.join(self.artifacts, "tapperbird.log")
        # On a scaled output its log carries its requests too: a compositor that enlarges by
        # whole pixels shows a scale-1 buffer just like one of the output's scale.
        env = dict(self.env, WAYLAND_DEBUG="client") if self.grid > 1 else None
        with open(self.log_path, "ab") as err:
            self.log_start = err.tell()
            self.program = self.spawn([self.path], stderr=err, env=env)
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

    def menu_rect(self):
        """The menu's outline (its border of one unit of the grid included), or None."""
        seen = self.shot().find_colours({MENU_COLOUR}, limit=1000000)
        if len(seen) < 50 * 50:
            return None
        xs, ys, g = [x for x, _, _ in seen], [y for _, y, _ in seen], self.grid
        return min(xs) - g, min(ys) - g, max(xs) + 1 + g, max(ys) + 1 + g

    def about(self):
        return self.titled("About")

    startup_entry = x11_driver.X11Driver.startup_entry
    remove_entry = x11_driver.X11Driver.remove_entry
    first_run_marker = x11_driver.X11Driver.first_run_marker

    # -- the windows around it
    def gtk_argv(self, name, kind):
        return ["/usr/bin/python3", "-c", GTK_WINDOW, name, kind]

    def focus_log(self, name):
        """Where a GTK test window prints its keyboard focus."""
        self.focus_logs[name] = os.path.join(self.temp, f"{name}.focus")
        return open(self.focus_logs[name], "wb")

    def keyboard_focus(self, window):
        """The last word of the window's keyboard focus log: "in", "out" or None."""
        with open(self.focus_logs[window]) as f:
            words = f.read().split()
        return words[-1] if words else None

    def destroy(self, window):
        p = self.clients.pop(window)
        p.terminate()
        p.wait()

    def to_output(self, *values):
        """Screen pixels in the compositor's units (the output's scale's pixels)."""
        return [v // self.grid for v in values]

    def to_screen(self, *values):
        return tuple(v * self.grid for v in values)

    def output_box(self, crop=None):
        """A screenshot's part (the whole screen if None) as the compositor's tools take it."""
        return desktop.unit_box(crop or (0, 0, self.width, self.height), self.grid)

    def click(self, x, y, button=1):
        # One pointer device for the move and the press: it waits for the client to see the
        # pointer arrive before it presses.
        g = self.grid
        self.x(self.pointer, str(x / g), str(y / g), str(self.width // g), str(self.height // g),
               str(button))
