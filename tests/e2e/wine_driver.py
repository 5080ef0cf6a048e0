"""Tapperbird.exe under 64-bit Wine on the private X desktop, in a fresh prefix stopped with its
wineserver, at a DPI of Wine's LogPixels and, when asked, on two monitors (an Xvfb screen split with
xrandr --setmonitor, which Wine reads through Xinerama). Window facts come from Wine itself through
the probe helper (tb_probe.cpp), which also hosts the plain windows the bird perches on; settings
come from the registry."""

import os
import queue
import shutil
import subprocess
import threading
import time

import desktop
from desktop import check, poll, wait_for

RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
MARKER_KEY = r"HKCU\Software\Velmor's Software\Tapperbird\1.0\temp"
INSTALLED = ("Program Files", "Tapperbird", "Tapperbird.exe")
COLOURS = ("2860a0", "3c8c3c", "a0a0a0", "6a4c9c", "c08040", "30a0a0")
# The whole number the bird is enlarged by at each DPI: the scale rounded to nearest, halves down.
FACTORS = {96: 1, 120: 1, 144: 1, 168: 2, 288: 3, 192: 2}
SPLIT = 800  # with two monitors: the primary's width, the other to its right


class Probe:
    """The probe helper in the prefix: a command a line in, "ok key=value ..." a line out."""

    def __init__(self, d, exe):
        self.proc = d.spawn(["wine", exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=lambda: [self.lines.put(line.strip()) for line in self.proc.stdout],
                         daemon=True).start()

    def ask(self, command, timeout=30):
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()
        reply = self.lines.get(timeout=timeout)
        check(reply.startswith("ok"), f"probe: {command!r} -> {reply}")
        fields = (part.partition("=") for part in reply.split()[1:])
        return {k: int(v) if k != "hwnd" and v.lstrip("-").isdigit() else v for k, _, v in fields}


def rect(reply, prefix=""):
    return tuple(reply[prefix + side] for side in ("left", "top", "right", "bottom"))


class WineDriver(desktop.Desktop):
    name = "wine"
    rss_slack = 4096  # KiB
    resource_slack = {}
    expected_entry = ("REG_SZ", '"C:\\' + "\\".join(INSTALLED) + '"')

    def __init__(self, args):
        super().__init__(args.artifacts, *((1600, 900) if args.monitors else (1024, 768)),
                         args.assets)
        self.monitors, self.start_dpi = args.monitors, args.dpi
        self.primary = (SPLIT, self.height) if args.monitors else self.primary
        self.exe, self.probe_exe, self.unit = args.program, args.probe, args.unit
        self.assets = args.assets
        self.env.update(WINEPREFIX=os.path.join(self.temp, "prefix"), WINEARCH="win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.titles = {}

    def start(self):
        super().start()
        if self.monitors:
            h, right = self.height, self.width - SPLIT
            for monitor in (f"left {SPLIT}/200x{h}/200+0+0 screen",
                            f"right {right}/200x{h}/200+{SPLIT}+0 none"):
                self.x("xrandr", "--setmonitor", *monitor.split(), check_rc=True)
        subprocess.run(["wineboot", "-i"], env=self.env, capture_output=True, timeout=300,
                       check=True)
        if self.monitors:  # Wine's RandR code lists CRTCs, of which Xvfb has one
            self.reg("add", r"HKCU\Software\Wine\X11 Driver", "/v", "UseXRandR", "/d", "N", "/f")
        self.set_dpi(self.start_dpi)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
        os.makedirs(os.path.dirname(self.drive_c(*INSTALLED)), exist_ok=True)
        shutil.copy(self.exe, self.drive_c(*INSTALLED))
        self.probe = Probe(self, self.probe_exe)
        self.probe.ask("watch on")  # samples the foreground window every 25 ms from now on
        monitors = self.probe.ask("monitors")
        check(monitors["count"] == 1 + self.monitors and monitors["m0_right"] == self.primary[0],
              f"Wine does not show the monitors asked for: {monitors}")

    def stop(self):
        if os.path.isdir(self.env["WINEPREFIX"]):  # every Windows process of this prefix
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        super().stop()

    def drive_c(self, *parts):
        return os.path.join(self.env["WINEPREFIX"], "drive_c", *parts)

    def found(self, what):
        reply = self.probe.ask(what)
        return reply if reply["found"] else None

    # -- the program
    def launch(self):
        self.program = self.spawn(["wine", self.drive_c(*INSTALLED)])
        wait_for(lambda: self.found("bird"), 20, "the bird window never appeared")

    def stop_program(self):
        self.program.terminate()  # by the PID this run started
        self.program.wait(timeout=20)
        wait_for(lambda: not self.found("bird"), 10, "the bird window stayed")

    def run_unit_checks(self):
        """The realisation's own edge cases, against Wine's user32, gdi32 and advapi32."""
        if self.unit:
            r = subprocess.run(["wine", self.unit], env=self.env, capture_output=True, text=True,
                               timeout=120)
            failed = [line for line in r.stdout.splitlines() if line.startswith("FAIL")]
            check(r.returncode == 0 and not failed and "PASS" in r.stdout,
                  "realisation checks failed:\n  " + "\n  ".join(failed))

    def bird_rect(self):
        return rect(self.probe.ask("bird"))

    def bird_was_foreground(self):
        watch = self.probe.ask("watch report")
        check(watch["samples"] > 100, f"the foreground watch barely ran: {watch}")
        return watch["bird"] > 0

    def menu_rect(self):
        menu = self.probe.ask("menu")
        return rect(menu) if menu["open"] else None

    def about(self):
        about = self.found("about")
        return about and about["hwnd"]

    def check_about(self, about):
        """The donate picture enlarged as the bird is, nearest neighbour; the hand over it and both
        links, the arrow over the other labels."""
        r = self.probe.ask("rect " + about)
        shot = self.shot()
        picture = desktop.Frame(os.path.join(self.assets, "donate.bmp")).enlarged(self.scale)
        px, py = (r["client_" + side] + round(t * self.dpi / 1440)
                  for side, t in (("left", 240 + 1080), ("top", 1080 + 960)))
        # Wine frames the client area from its own caption metrics, openbox with its own title
        # bar, so the screen may show the client a few pixels off where Wine reports it.
        check(any(shot.frame_at([picture], px + dx, py + dy) for dy in range(-24, 25)
                  for dx in range(-24, 25)), f"the donate picture is not shown near {(px, py)}")

        def cursor_at(x_twips, y_twips):
            self.xdotool("mousemove", r["client_left"] + x_twips * self.dpi // 1440,
                         r["client_top"] + y_twips * self.dpi // 1440)
            time.sleep(0.3)
            return self.probe.ask("cursor")["handle"]
        # Points inside each control's designed place; CreditsFrame's children offset by it.
        arrow = {cursor_at(240 + 150, 240 + 120), cursor_at(240 + 100, 720 + 90)}  # Title, Version
        hands = {cursor_at(240 + 1080 + 465, 1080 + 960 + 232),  # DonateButton
                 cursor_at(240 + 360 + 300, 1080 + 1680 + 120),  # MakerLink
                 cursor_at(240 + 615 + 930, 1080 + 2400 + 120)}  # ArtistLink
        check(len(arrow) == 1 and len(hands) == 1 and arrow != hands,
              f"cursors: labels {arrow}, links {hands}")

    def close(self, window):
        self.probe.ask("close " + window)  # what the close box does

    def set_dpi(self, dpi):
        self.dpi = dpi
        self.set_scale(FACTORS[dpi])
        self.reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                 "/d", str(dpi), "/f")

    # -- the registry
    def reg(self, *args):
        return subprocess.run(["wine", "reg", *args], env=self.env, capture_output=True,
                              text=True, timeout=60)

    def startup_entry(self):
        """The Run value's (type, data); None when absent."""
        out = self.reg("query", RUN_KEY, "/v", "Tapperbird")
        for parts in (line.strip().split(None, 2) for line in out.stdout.splitlines()):
            if out.returncode == 0 and len(parts) == 3 and parts[0] == "Tapperbird":
                return parts[1], parts[2]
        return None

    def remove_entry(self):
        self.reg("delete", RUN_KEY, "/v", "Tapperbird", "/f")

    def first_run_marker(self):
        return self.reg("query", MARKER_KEY).returncode == 0

    def registry_state(self):
        """What the program may write: the Run value and the first-run marker, as text."""
        return [self.reg("query", key).stdout.strip() for key in (RUN_KEY, MARKER_KEY)]

    # -- the windows around it
    def open_window(self, name, x, y, width, height):
        """A plain probe window of this outer size; the foreground when this returns."""
        colour = COLOURS[len(self.titles) % len(COLOURS)]
        window = self.probe.ask(f"open {name} {x} {y} {width} {height} {colour}")["hwnd"]
        self.titles[window] = name
        self.opened.append(window)
        wait_for(lambda: self.xid(name), 10, f"window {name} did not appear")
        self.activate(window)
        return window

    def foreground(self):
        window = self.probe.ask("fg")["hwnd"]
        return None if window == "0" else window

    def frame_rect(self, window):
        return rect(self.probe.ask("rect " + window))

    def client_size(self, window):
        left, top, right, bottom = rect(self.probe.ask("rect " + window), "client_")
        return right - left, bottom - top

    def presses(self, window):
        return None  # the probe's windows keep no record of presses

    def move(self, window, x, y):
        left, top, right, bottom = self.frame_rect(window)
        self.probe.ask(f"move {window} {x} {y} {right - left} {bottom - top}")

    def resize(self, window, width, height):
        left, top, _, _ = self.frame_rect(window)
        self.probe.ask(f"move {window} {left} {top} {width} {height}")

    def xwindow(self, window):
        return self.xid(self.titles[window]) or "0"

    def activate(self, window):
        super().activate(window)
        poll(lambda: self.foreground() == window, 2)  # Wine learns of it a moment later

    def destroy(self, window):
        self.probe.ask("destroy " + window)
        del self.titles[window]

    def resources(self):
        return {}  # Wine counts no GDI, USER or kernel objects: only the memory can tell
