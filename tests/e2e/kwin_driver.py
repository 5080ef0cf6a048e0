"""The Linux program on a headless KWin 5.27 (KDE Plasma), on a private session bus: small GTK 3
windows on Wayland, one in KWin's own frame (Breeze) and one with a header bar, and an xterm
through KWin's XWayland, to perch on; window facts and changes through one-shot KWin scripts,
whose answers KWin prints to its log; screenshots from KWin's ScreenShot2 and clicks from its
fake input (tb_kwin_tool, tb_virtual_pointer). Windows are known by their titles; the rest is
wayland_driver.py's."""

import itertools
import json
import os
import shlex
import shutil
import subprocess
import time

import wayland_driver
from desktop import check, log, wait_for

# Every activation, with KWin's clock, for the check that the bird never kept the focus.
SPY = """
var activated = workspace.windowActivated || workspace.clientActivated;
activated.connect(function (w) {
    print("TBSPY " + Date.now() + " " + JSON.stringify(w ? w.caption : null));
});
"""

# What each query and change script starts with: the window titled NAME, in either API.
HELPERS = """
function windows() {
    return workspace.windowList ? workspace.windowList() : workspace.clientList();
}
function named(name) {
    var all = windows();
    for (var i = 0; i < all.length; ++i) {
        if (all[i].caption === name && !all[i].deleted) return all[i];
    }
    return null;
}
function active() {
    return workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
}
function activate(w) {
    if (workspace.activeWindow !== undefined) workspace.activeWindow = w;
    else workspace.activeClient = w;
}
"""


class KwinDriver(wayland_driver.WaylandDriver):
    name = "kwin"

    def __init__(self, args):
        super().__init__(args, "kwin", extra_files=("tapperbird-kwin.js",))
        self.tool, self.queries = args.kwin_tool, itertools.count()
        self.env.update(LIBGL_ALWAYS_SOFTWARE="1", KWIN_SCREENSHOT_NO_PERMISSION_CHECKS="1",
                        KWIN_WAYLAND_NO_PERMISSION_CHECKS="1", QT_QPA_PLATFORM="wayland",
                        XDG_CURRENT_DESKTOP="KDE")  # as Plasma's session says

    def start(self):
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         stdout=subprocess.PIPE)
        address = bus.stdout.readline().decode().strip()
        check(address, "dbus-daemon did not report an address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        # The packaged binary carries a file capability, which a container refuses to honour; a
        # copy of its own, of the same name (it finds its plugins by it), runs.
        kwin = os.path.join(self.temp, "kwin", "kwin_wayland")
        os.makedirs(os.path.dirname(kwin))
        shutil.copy("/usr/bin/kwin_wayland", kwin)
        self.kwin_log = os.path.join(self.artifacts, "kwin.log")
        # With KWin's own XWayland, whose display KWin tells only the programs it starts: one
        # of them writes it down.
        said_display = os.path.join(self.temp, "x-display")
        with open(self.kwin_log, "wb") as err:
            self.spawn([kwin, "--virtual", "--no-lockscreen", "--no-global-shortcuts",
                        "--no-kactivities", "--width", str(self.primary[0] // self.grid),
                        "--height", str(self.height // self.grid), "--scale", str(self.grid),
                        "--output-count", str(self.outputs),
                        "--socket", "tapperbird-kwin", "--xwayland",
                        f'sh -c \'echo "$DISPLAY" > {shlex.quote(said_display)}\''],
                       stderr=err)
        # KWin first, as the scenarios know the compositor (the bus stops after it).
        self.processes.insert(0, self.processes.pop())
        runtime = self.env["XDG_RUNTIME_DIR"]
        wait_for(lambda: os.path.exists(os.path.join(runtime, "tapperbird-kwin")), 30,
                 "KWin did not start")
        self.env["WAYLAND_DISPLAY"] = "tapperbird-kwin"
        self.x_display = wait_for(
            lambda: os.path.exists(said_display) and open(said_display).read().strip(), 30,
            "KWin started no XWayland")
        wait_for(lambda: self.run_script(SPY, "tapperbird-spy", check_rc=False), 30,
                 "KWin's scripting does not answer")
        log("KWin on tapperbird-kwin")

    # -- KWin's scripting
    def run_script(self, body, name, check_rc=True):
        path = os.path.join(self.temp, name + ".js")
        with open(path, "w") as f:
            f.write(HELPERS + body)
        r = subprocess.run([self.tool, "run", path, name], env=self.env, timeout=30,
                           stderr=subprocess.PIPE)
        check(not check_rc or r.returncode == 0, r.stderr.decode(errors="replace").strip())
        return r.returncode == 0

    def kwin_said(self, prefix):
        with open(self.kwin_log, "rb") as f:
            # Whole lines only: KWin may be halfway through writing the last one.
            lines = f.read().decode(errors="replace").split("\n")[:-1]
        return [line[len(prefix):] for line in lines if line.startswith(prefix)]

    def query(self, expression):
        """The value of a JavaScript expression inside KWin (JSON-able)."""
        tag = f"js: TBQ{next(self.queries)} "
        self.run_script(f'print("{tag[4:]}" + JSON.stringify({expression}));', "tapperbird-q")
        said = wait_for(lambda: self.kwin_said(tag), 10, f"KWin did not answer {expression}")
        return json.loads(said[0])

    def change(self, window, statement):
        self.run_script(f"var w = named({json.dumps(window)}); if (w) {{ {statement} }}",
                        "tapperbird-change")

    # -- the program
    def bird_was_foreground(self):
        """True when a window the test did not open kept the focus beyond the moment KWin gives
        a clicked surface before the program's script hands it back."""
        events = [line.split(" ", 1) for line in self.kwin_said("js: TBSPY ")]
        events = [(int(ms), json.loads(caption)) for ms, caption in events]
        check(events, "KWin's activation log is empty")
        kept = []
        for (ms, caption), (next_ms, _) in zip(events, events[1:] + [(None, None)]):
            if caption is not None and caption not in (*self.opened, *self.own_titles):
                held = None if next_ms is None else next_ms - ms
                log(f"{caption!r} was active for {held if held is not None else 'ever'} ms")
                if held is None or held > 200:
                    kept.append(caption)
        return bool(kept)

    def script_loaded(self, name):
        r = subprocess.run([self.tool, "loaded", name], env=self.env, timeout=30,
                           capture_output=True, text=True)
        check(r.returncode == 0, r.stderr.strip())
        return r.stdout.strip() == "true"

    # -- the windows around it
    def open_window(self, name, x, y, width, height):
        """A GTK 3 window in KWin's frame (title bar and border), its frame width x height at
        (x, y); active when this returns."""
        with self.focus_log(name) as out:
            return self.open_client(self.gtk_argv(name, "framed"), name, x, y, width, height, out)

    def open_gtk(self, name, x, y, width, height):
        """A GTK 3 window that draws its own header bar (and shadow); KWin adds no frame."""
        with self.focus_log(name) as out:
            return self.open_client(self.gtk_argv(name, "headerbar"), name, x, y, width, height,
                                    out)

    def open_x11(self, name, x, y, width, height):
        """An xterm through KWin's XWayland, in KWin's frame like a native window."""
        self.env["DISPLAY"] = self.x_display
        # KWin keeps an xterm to whole character cells: its size may come out a cell short.
        return self.open_client(["xterm", "-title", name], name, x, y, width, height, cell=30)

    def open_client(self, argv, name, x, y, width, height, stdout=subprocess.DEVNULL, cell=0):
        lx, ly, lw, lh = self.to_output(x, y, width, height)
        x, y, width, height = self.to_screen(lx, ly, lw, lh)
        p = self.spawn(argv, stdout=stdout)
        wait_for(lambda: self.query(f"named({json.dumps(name)}) !== null"), 15,
                 f"window {name} did not appear")
        self.clients[name] = p
        self.opened.append(name)
        target = (x, y, x + width, y + height)
        placed = lambda r: r[:2] == target[:2] and all(
            0 <= t - e <= cell for t, e in zip(target[2:], r[2:]))
        for _ in range(10):
            self.change(name, f"w.frameGeometry = {{x: {lx}, y: {ly}, width: {lw}, "
                              f"height: {lh}}}; activate(w);")
            if placed(self.frame_rect(name)):
                break
            time.sleep(0.3)
        check(placed(self.frame_rect(name)), f"{name} is at {self.frame_rect(name)}, not {target}")
        wait_for(lambda: self.foreground() == name, 10, f"{name} was not focused")
        # The frame KWin reports is what shows: its top edge (title bar or header bar) starts
        # on its first row, not above it nor below (a shadow is not the frame).
        time.sleep(0.3)
        mid = (x + x + width) // 2
        shot = self.shot(crop=(mid, y - 2, 1, 5))
        jump = lambda a, b: sum(abs(i - j) for i, j in zip(shot.at(mid, a), shot.at(mid, b)))
        check(jump(y - 1, y) > 60,
              f"no frame edge at {(mid, y)} for {name}: {[shot.at(mid, y + i) for i in range(-2, 3)]}")
        return name

    def titled(self, title):
        return title if self.query(f"named({json.dumps(title)}) !== null") else None

    def check_about(self, about):
        allowed = self.query(f"[named({json.dumps(about)}).resizeable, "
                             f"named({json.dumps(about)}).maximizable]")
        check(allowed == [False, False], f"About [resizeable, maximizable]: {allowed}")

    def foreground(self):
        return self.query("active() ? active().caption : null")

    def frame_rect(self, window):
        g = self.query(f"named({json.dumps(window)}).frameGeometry")
        return self.to_screen(g["x"], g["y"], g["x"] + g["width"], g["y"] + g["height"])

    def client_size(self, window):
        """The client area of a window in KWin's frame: its buffer (GTK draws no shadow of its
        own under a server-side frame)."""
        g = self.query(f"named({json.dumps(window)}).bufferGeometry")
        return self.to_screen(g["width"], g["height"])

    def presses(self, window):
        return None

    def activate(self, window):
        self.change(window, "activate(w);")

    def minimise(self, window):
        self.change(window, "w.minimized = true;")

    def move(self, window, x, y):
        x, y = self.to_output(x, y)
        self.change(window, f"var g = w.frameGeometry; w.frameGeometry = {{x: {x}, y: {y}, "
                            "width: g.width, height: g.height};")

    def resize(self, window, width, height):
        width, height = self.to_output(width, height)
        self.change(window, f"var g = w.frameGeometry; w.frameGeometry = {{x: g.x, y: g.y, "
                            f"width: {width}, height: {height}}};")

    def close(self, window):
        self.change(window, "w.closeWindow();")

    def shot(self, name=None, crop=None):
        left, top, right, bottom = self.output_box(crop)
        return self.shot_by([self.tool, "shot", str(left), str(top), str(right - left),
                             str(bottom - top)], left * self.grid, top * self.grid, name)
