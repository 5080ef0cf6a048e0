#!/usr/bin/env python3
"""What Tapperbird costs on a desktop, side by side with a yardstick, as a Markdown table.

Linux: the program and `oneko -tofocus` on one Xvfb with openbox, two xterms and a D-Bus session
bus, at rest and with a window change every 10 s, a fresh desktop each run. Windows: Tapperbird.exe
under 64-bit Wine beside a program with a hidden window and two 100 ms timers, each in its own
prefix (so each has its own wineserver) on one Xvfb, at rest. Wayland: the same program on a
headless sway with one floating foot window, at rest, against sway alone (with --pointer, the
end-to-end suite's virtual pointer). Every figure is read from /proc or timed from X events or
screenshots during the run; the desktops come from ../tests/e2e/ and every process they start is
stopped by its PID.

    desktop_bench.py --program build/linux/tapperbird --assets build/linux/assets \\
        --exe build/mingw/Tapperbird.exe --yardstick build/mingw/bench/tb_two_timers.exe \\
        [--pointer build/linux/tests/e2e/wayland/tb_virtual_pointer] \\
        [--seconds-rest 60] [--seconds-changes 120] [--runs 3] [--out FILE]
"""

import argparse
import contextlib
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import desktop  # noqa: E402  (the shared harness)
from desktop import Failure, check, common_pixels, load_frames, log  # noqa: E402
from xwatch import MapWatch, Pointer  # noqa: E402

SCREEN_W, SCREEN_H = 1024, 768
SETTLE = 3.0        # s after both programs are up before a measurement starts
CHANGE_EVERY = 10   # s between window changes
XTERMS = (("bench-left", "80x24+40+60"), ("bench-right", "80x30+420+200"))


# --- what /proc says about a process -------------------------------------------------------------

def switches(pid):
    """Voluntary + involuntary context switches of every thread of the process."""
    total = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                text = f.read()
        except (FileNotFoundError, ProcessLookupError):
            continue  # a thread that ended between the listing and the read
        total += sum(int(v) for v in re.findall(
            r"^(?:voluntary|nonvoluntary)_ctxt_switches:\s+(\d+)", text, re.M))
    return total


def rss_kib(pid):
    return desktop.proc_kib(pid, "VmRSS")


def uss_kib(pid):
    """Memory only this process maps: Private_Clean + Private_Dirty of smaps_rollup."""
    with open(f"/proc/{pid}/smaps_rollup") as f:
        text = f.read()
    return sum(int(v) for v in re.findall(r"^Private_(?:Clean|Dirty):\s+(\d+) kB", text, re.M))


class Usage:
    """CPU seconds and context switches of a group of processes from one moment on."""

    def __init__(self, pids):
        self.pids = pids
        self.start = time.monotonic()
        self.cpu = {pid: cpu_seconds(pid) for pid in pids}
        self.switches = {pid: switches(pid) for pid in pids}

    def cpu_since(self, pid):
        return cpu_seconds(pid) - self.cpu[pid]

    def switches_per_second(self, pid):
        return (switches(pid) - self.switches[pid]) / (time.monotonic() - self.start)


# --- desktops ------------------------------------------------------------------------------------

def descendants(pid):
    """Every living process below `pid`, parents before children."""
    found, queue = [], [pid]
    while queue:
        parent = queue.pop(0)
        try:
            tids = os.listdir(f"/proc/{parent}/task")
        except FileNotFoundError:
            continue
        for tid in tids:
            try:
                with open(f"/proc/{parent}/task/{tid}/children") as f:
                    kids = [int(v) for v in f.read().split()]
            except FileNotFoundError:
                continue
            found += kids
            queue += kids
    return found


def cpu_seconds(pid):
    """User + system time the process has used so far."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def stop_pids(pids):
    """SIGTERM, then SIGKILL after 3 s, to processes this run started indirectly."""
    for pid in pids:
        try:
            os.kill(pid, 15)
        except ProcessLookupError:
            pass
    deadline = time.time() + 3
    while time.time() < deadline and any(alive(p) for p in pids):
        time.sleep(0.05)
    for pid in pids:
        if alive(pid):
            os.kill(pid, 9)


class LinuxDesktop(desktop.Desktop):
    """openbox, two xterms and a private D-Bus session bus, as a user's session would have."""

    def __init__(self, artifacts):
        super().__init__(artifacts, SCREEN_W, SCREEN_H)
        # A real session has the accessibility bridge on; leave it as the user would have it.
        self.env.pop("NO_AT_BRIDGE", None)
        self.bus = None

    def start(self):
        super().start()
        read_fd, write_fd = os.pipe()
        self.bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                               "--address=unix:path=" + os.path.join(self.env["XDG_RUNTIME_DIR"],
                                                                     "bus"),
                               f"--print-address={write_fd}"], pass_fds=(write_fd,))
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            address = f.readline().strip()
        check(address.startswith("unix:"), "dbus-daemon did not report its address")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        for title, geometry in XTERMS:
            self.spawn(["xterm", "-title", title, "-geometry", geometry])
            desktop.wait_for(lambda t=title: self.xid(t), 10, f"xterm {title} did not appear")
        self.activate(XTERMS[0][0])

    def xwindow(self, title):
        return self.xid(title)

    def stop(self):
        # Services the bus started for the programs (the accessibility bus, dconf) go first.
        if self.bus is not None:
            stop_pids(descendants(self.bus.pid))
        super().stop()


class WineDesktop(desktop.Desktop):
    """Two 64-bit prefixes on one display, one per program, so each has its own wineserver."""

    def __init__(self, artifacts, names):
        super().__init__(artifacts, SCREEN_W, SCREEN_H)
        self.env.update(WINEARCH="win64", WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.prefixes = {name: os.path.join(self.temp, "prefix-" + name) for name in names}

    def wine_env(self, name):
        return dict(self.env, WINEPREFIX=self.prefixes[name])

    def start(self):
        super().start()
        first, *others = self.prefixes
        env = self.wine_env(first)
        subprocess.run(["wineboot", "-i"], env=env, capture_output=True, timeout=600, check=True)
        subprocess.run(["wineserver", "-w"], env=env, timeout=120)
        for name in others:  # a copy boots as the original did, in a fraction of the time
            subprocess.run(["cp", "-a", self.prefixes[first], self.prefixes[name]], check=True)

    def stop_prefix(self, name):
        if os.path.isdir(self.prefixes[name]):
            subprocess.run(["wineserver", "-k"], env=self.wine_env(name), capture_output=True,
                           timeout=60)

    def stop(self):
        for name in self.prefixes:
            self.stop_prefix(name)
        super().stop()

    def spawn_wine(self, name, argv):
        env = self.env
        self.env = self.wine_env(name)
        try:
            return self.spawn(["wine", *argv])
        finally:
            self.env = env

    def wineserver(self, name):
        """The PID of the prefix's wineserver, found by its executable and its WINEPREFIX."""
        wanted = b"WINEPREFIX=" + self.prefixes[name].encode()
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                exe = os.path.basename(os.readlink(f"/proc/{entry}/exe"))
                with open(f"/proc/{entry}/environ", "rb") as f:
                    env = f.read().split(b"\0")
            except (FileNotFoundError, ProcessLookupError, PermissionError):
                continue
            if exe.startswith("wineserver") and wanted in env:
                return int(entry)
        return None


# --- windows and their timing --------------------------------------------------------------------

def window_props(d, window):
    """(_NET_WM_PID or None, WM_NAME or None) of a window; (None, None) once it is gone."""
    out = d.x("xprop", "-id", hex(window), "_NET_WM_PID", "WM_NAME")
    pid = re.search(r"_NET_WM_PID\(CARDINAL\) = (\d+)", out)
    name = re.search(r'WM_NAME\(\w+\) = "(.*)"', out)
    return (int(pid.group(1)) if pid else None), (name.group(1) if name else None)


def window_size(d, window):
    m = re.search(r"Width:\s+(\d+).*?Height:\s+(\d+)", d.x("xwininfo", "-id", hex(window)), re.S)
    return (int(m.group(1)), int(m.group(2))) if m else (0, 0)


def first_map(d, watch, start, owned, seconds=30):
    """(moment, window) of the first window mapped since `start` for which owned(window) holds."""
    judged = {}

    def look():
        for moment, window in watch.mapped_since(start):
            if window not in judged or not judged[window]:
                judged[window] = owned(window)
            if judged[window]:
                return moment, window
        return None
    return desktop.wait_for(look, seconds, "no window of the program was mapped", step=0.02)


def launch(d, watch, argv, owned_by, spawn=None):
    """Starts a program; returns (process, its first mapped window, ms from exec to that map)."""
    start = time.monotonic()
    process = (spawn or d.spawn)(argv)
    moment, window = first_map(d, watch, start, lambda w: owned_by(w, process))
    return process, window, 1000 * (moment - start)


def owned_by_pid(d):
    return lambda window, process: window_props(d, window)[0] == process.pid


def named(d, name):
    return lambda window, _process: window_props(d, window)[1] == name


def on_screen(d, window):
    """Whether any of the window shows on the screen (the bird hides off-screen when it has
    nowhere to perch)."""
    m = re.search(r"Absolute upper-left X:\s+(-?\d+).*?Absolute upper-left Y:\s+(-?\d+).*?"
                  r"Width:\s+(\d+).*?Height:\s+(\d+)", d.x("xwininfo", "-id", hex(window)), re.S)
    left, top, width, height = (int(v) for v in m.groups())
    return left < SCREEN_W and top < SCREEN_H and left + width > 0 and top + height > 0


def first_menu_ms(d, watch, bird, window, assets):
    """Presses on the bird where every frame is opaque; ms until the menu window is mapped."""
    frames = load_frames(assets)
    grip = common_pixels(frames, True)
    check(grip, "no pixel is opaque in every frame")
    gx, gy = grip[len(grip) // 2]
    m = re.search(r"Absolute upper-left X:\s+(-?\d+).*?Absolute upper-left Y:\s+(-?\d+).*?"
                  r"Width:\s+(\d+).*?Height:\s+(\d+)", d.x("xwininfo", "-id", hex(window)), re.S)
    left, top, width, height = (int(v) for v in m.groups())
    # The window may be drawn at a scale; the same spot of the sprite, scaled.
    x, y = left + gx * width // frames[0].width, top + gy * height // frames[0].height
    check(0 <= x < SCREEN_W and 0 <= y < SCREEN_H, f"the bird is off-screen at {(left, top)}")
    pointer = Pointer(d.env["DISPLAY"])
    try:
        pointer.move(x, y)
        time.sleep(0.2)  # the toolkit sees the pointer arrive before the press
        start = pointer.click(1)
        moment, _ = first_map(
            d, watch, start,
            lambda w: w != window and window_props(d, w)[0] == bird.pid and
            min(window_size(d, w)) > 20, seconds=10)
    finally:
        pointer.close()
    return 1000 * (moment - start)


# --- the runs ------------------------------------------------------------------------------------

def oneko_path():
    found = shutil.which("oneko") or shutil.which("oneko", path="/usr/games")
    check(found is not None, "oneko is not installed")
    return found


def window_changes(d, seconds):
    """A change every CHANGE_EVERY s: bring the other xterm to the front, or move the front one."""
    start, step = time.monotonic(), 0
    while True:
        due = start + step * CHANGE_EVERY
        if due >= start + seconds:
            break
        time.sleep(max(0.0, due - time.monotonic()))
        front = XTERMS[(step // 2 + 1) % 2][0]  # the one the even step brought forward
        if step % 2 == 0:
            d.activate(front)
        else:
            d.xdotool("windowmove", d.xid(front), 40 + 30 * (step % 7), 60 + 25 * (step % 5))
        step += 1
    time.sleep(max(0.0, start + seconds - time.monotonic()))
    return step


def linux_run(args, kind, seconds, number, sample):
    log(f"linux {kind} run {number}: {seconds} s")
    oneko = oneko_path()
    with LinuxDesktop(args.artifacts) as d:
        watch = MapWatch(d.env["DISPLAY"])
        try:
            # The first start on a desktop registers the bird to start at logon; every later
            # start, the one measured, finds that done.
            first, _, _ = launch(d, watch, [args.program], owned_by_pid(d))
            time.sleep(SETTLE)
            if kind == "rest":
                sample("rss-first", rss_kib(first.pid) / 1024, None)
            first.terminate()
            first.wait(10)
            bird, window, bird_ms = launch(d, watch, [args.program], owned_by_pid(d))
            cat, _, cat_ms = launch(d, watch, [oneko, "-tofocus"], named(d, oneko))
            sample("mapped", bird_ms, cat_ms)
            time.sleep(SETTLE)
            usage = Usage([bird.pid, cat.pid])
            changes = window_changes(d, seconds) if kind == "changes" else time.sleep(seconds)
            check(bird.poll() is None and cat.poll() is None, "a program ended during the run")
            check(on_screen(d, window), "the bird was not perched at the end of the run")
            sample(f"cpu-{kind}", usage.cpu_since(bird.pid), usage.cpu_since(cat.pid))
            sample(f"switches-{kind}", usage.switches_per_second(bird.pid),
                   usage.switches_per_second(cat.pid))
            if kind == "rest":
                sample("rss", rss_kib(bird.pid) / 1024, rss_kib(cat.pid) / 1024)
                sample("uss", uss_kib(bird.pid) / 1024, uss_kib(cat.pid) / 1024)
                sample("menu", first_menu_ms(d, watch, bird, window, args.assets), None)
                time.sleep(1.0)
                sample("rss-menu", rss_kib(bird.pid) / 1024, None)
            else:
                log(f"{changes} window changes")
        finally:
            watch.close()


def sway_run(args, seconds, number, sample):
    """sway alone for `seconds`, then with the bird perched on a floating foot for as long; the
    time from a focus change or a floating move to the bird seen at its new perch; then the same
    two windows tiled, sway's own layout, with the bird and without."""
    from sway_driver import SwayDriver
    log(f"sway run {number}: {seconds} s alone and with the bird, floating and tiled")
    with SwayDriver(args) as d:
        sway = d.processes[0].pid
        d.w1 = d.open_window("bench-left", 100, 100, 400, 300)
        d.w2 = d.open_window("bench-right", 600, 200, 400, 400)
        time.sleep(SETTLE)
        alone = Usage([sway])
        time.sleep(seconds)
        sample("sway-cpu", None, alone.cpu_since(sway))
        # As on X11, the start measured is the second: the first registers the bird at logon.
        d.launch()
        d.program.terminate()
        d.program.wait(10)
        d.launch()
        bird = d.program.pid
        time.sleep(SETTLE)
        usage = Usage([bird, sway])
        time.sleep(seconds)
        check(d.program.poll() is None, "the bird ended during the run")
        sample("sway-cpu", usage.cpu_since(sway), None)
        sample("cpu-rest", usage.cpu_since(bird), None)
        sample("rss", rss_kib(bird) / 1024, None)
        sample("uss", uss_kib(bird) / 1024, None)
        measure_sway_latency(d, sample)

        # Tiled side by side, the left one focused: the bird perches on it from sway's news alone.
        for window in (d.w1, d.w2):
            d.msg(f"[con_id={window}]", "floating", "disable")
        d.activate(d.w1)
        time.sleep(SETTLE)
        usage = Usage([bird, sway])
        time.sleep(seconds)
        sample("sway-cpu-tiled", usage.cpu_since(sway), None)
        sample("cpu-tiled", usage.cpu_since(bird), None)
        d.program.terminate()
        d.program.wait(10)
        time.sleep(SETTLE)
        alone = Usage([sway])
        time.sleep(seconds)
        sample("sway-cpu-tiled", None, alone.cpu_since(sway))


def measure_sway_latency(d, sample):
    """From a focus change, and from a floating move, to the bird seen at its new perch."""
    w, h = d.frames[0].width, d.frames[0].height

    def seen_after(change, rect):
        point = desktop.perch(*rect, d.width, d.scale)
        change()
        started = time.time()
        while time.time() - started < 2:
            shot_at = time.time()
            if d.shot(crop=(*point, w, h)).frame_at(d.frames, *point):
                return 1000 * (shot_at - started)
        raise Failure(f"the bird did not show at {point}")
    rects = {window: d.frame_rect(window) for window in (d.w1, d.w2)}
    for window in (d.w1, d.w2) * 5:
        sample("focus-ms", seen_after(lambda: d.activate(window), rects[window]), None)
    for i in range(6):
        x, y = 600 + 30 * (i % 3), 150 + 20 * i
        sample("move-ms", seen_after(lambda: d.move(d.w2, x, y), (x, y, x + 400, y + 400)),
               None)


def wine_run(args, seconds, number, sample):
    log(f"wine run {number}: {seconds} s")
    with WineDesktop(args.artifacts, ("tapperbird", "yardstick")) as d:
        # Something to perch on, in front, and its twin in the yardstick's prefix.
        notes = []
        for name in d.prefixes:
            d.spawn_wine(name, ["notepad"])
            notes.append(desktop.wait_for(lambda: next(iter(set(d.xdotool(
                "search", "--name", "^Untitled - Notepad$", check_rc=False).split()) -
                set(notes)), None), 60, f"notepad did not appear in the {name} prefix"))
        time.sleep(2.0)  # both prefixes' services settle
        d.xdotool("windowactivate", "--sync", notes[0], check_rc=False)
        watch = MapWatch(d.env["DISPLAY"])
        try:
            bird, window, bird_ms = launch(d, watch, [args.exe], owned_by_pid(d),
                                      spawn=lambda argv: d.spawn_wine("tapperbird", argv))
            yardstick = d.spawn_wine("yardstick", [args.yardstick])
            sample("mapped", bird_ms, None)
            time.sleep(SETTLE)
            servers = [d.wineserver("tapperbird"), d.wineserver("yardstick")]
            check(None not in servers, "a wineserver was not found")
            programs = [bird.pid, yardstick.pid]
            usage = Usage(programs + servers)
            time.sleep(seconds)
            check(bird.poll() is None and yardstick.poll() is None,
                  "a program ended during the run")
            check(on_screen(d, window), "the bird was not perched at the end of the run")
            cpu = [usage.cpu_since(p) + usage.cpu_since(s) for p, s in zip(programs, servers)]
            sample("cpu-rest", *cpu)
            sample("server-rest", *(usage.cpu_since(s) for s in servers))
            sample("switches-rest", *(usage.switches_per_second(p) + usage.switches_per_second(s)
                                      for p, s in zip(programs, servers)))
            sample("rss", *(rss_kib(p) / 1024 for p in programs))
            sample("uss", *(uss_kib(p) / 1024 for p in programs))
        finally:
            watch.close()


# --- the table -----------------------------------------------------------------------------------

class Samples:
    """Each measure's values per program over the runs."""

    def __init__(self):
        self.values = {}

    def __call__(self, measure, ours, theirs):
        mine, other = self.values.setdefault(measure, ([], []))
        if ours is not None:
            mine.append(ours)
        if theirs is not None:
            other.append(theirs)

    def row(self, measure, label, fmt):
        mine, other = self.values.get(measure, ([], []))

        def spread(values):
            if not values:
                return "—"
            lo, mid, hi = min(values), statistics.median(values), max(values)
            return f"{fmt.format(lo)} / {fmt.format(mid)} / {fmt.format(hi)}"
        ratio = "—"
        if mine and other and statistics.median(other) > 0:
            ratio = f"{statistics.median(mine) / statistics.median(other):.2f}×"
        return f"| {label} | {spread(mine)} | {spread(other)} | {ratio} |"


def first_line(argv):
    try:
        out = subprocess.run(argv, capture_output=True, text=True, timeout=30).stdout
        return out.strip().splitlines()[0] if out.strip() else "?"
    except (OSError, subprocess.TimeoutExpired):
        return "?"


def machine():
    with open("/proc/cpuinfo") as f:
        model = re.search(r"^model name\s*:\s*(.*)$", f.read(), re.M)
    try:
        with open("/etc/debian_version") as f:
            debian = f.read().strip()
    except FileNotFoundError:
        debian = "not Debian"
    pretty = re.search(r'^PRETTY_NAME="?(.*?)"?$', open("/etc/os-release").read(), re.M)
    return [
        f"- CPU: {model.group(1) if model else platform.processor() or '?'}, "
        f"{os.cpu_count()} cores; kernel {platform.release()}; "
        f"{pretty.group(1) if pretty else '?'} (Debian {debian})",
        f"- {first_line(['dpkg-query', '-W', '-f', 'Xvfb ${Version}', 'xvfb'])}, "
        f"{first_line(['dpkg-query', '-W', '-f', 'openbox ${Version}', 'openbox'])}, "
        f"{first_line(['dpkg-query', '-W', '-f', 'oneko ${Version}', 'oneko'])}, "
        f"{first_line(['wine', '--version'])}",
    ]


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def report(args, linux, wine, sway, started, loads):
    runs = f"{args.runs} run" + ("s" if args.runs != 1 else "")
    lines = [
        "# Tapperbird on the desktop: benchmark",
        "",
        f"Run {time.strftime('%Y-%m-%d %H:%M', time.localtime(started))}, "
        f"{(time.time() - started) / 60:.1f} min. The machine is shared with other engineers' "
        f"builds and tests: load average {loads[0]} at the start, {loads[1]} at the end.",
        "",
        *machine(),
        "",
    ]
    if linux and not args.wayland_only:
        lines += [
            f"## Linux: tapperbird and oneko -tofocus side by side, {runs} each",
            "",
            "One Xvfb with openbox, two xterms and a D-Bus session bus (accessibility bridge on, "
            "as a desktop has it); a fresh desktop each run, on which tapperbird is started once "
            "and stopped before the start measured, as at every logon but the first. Values are "
            "min / median / max; "
            "the ratio is tapperbird's median over oneko's.",
            "",
            "| | tapperbird | oneko -tofocus | ratio |",
            "|---|---|---|---|",
            linux.row("cpu-rest", f"CPU at rest, {args.seconds_rest} s (s)", "{:.2f}"),
            linux.row("cpu-changes", f"CPU, a window change every {CHANGE_EVERY} s, "
                      f"{args.seconds_changes} s (s)", "{:.2f}"),
            linux.row("rss", "resident memory, RSS (MB)", "{:.1f}"),
            linux.row("rss-first", "RSS on the first start, which registers it (MB)",
                      "{:.1f}"),
            linux.row("uss", "private memory, USS (MB)", "{:.2f}"),
            linux.row("switches-rest", "context switches a second, at rest", "{:.1f}"),
            linux.row("switches-changes", "context switches a second, with window changes",
                      "{:.1f}"),
            linux.row("mapped", "window mapped after exec (ms)", "{:.0f}"),
            linux.row("menu", "first menu after start (ms)", "{:.0f}"),
            linux.row("rss-menu", "RSS after the first menu (MB)", "{:.1f}"),
            "",
            "CPU: user + system time of the process during the window, after both were up "
            f"for {SETTLE:.0f} s. Memory at the end of the rest window (MB = 2^20 bytes); USS is "
            "Private_Clean + Private_Dirty of /proc/PID/smaps_rollup. Context switches: "
            "voluntary + involuntary over every thread (/proc/PID/task/*/status). Window "
            "changes alternate between bringing the other xterm to the front and moving the "
            "front one. Mapped: from the spawn to the MapNotify of the program's first window, "
            "over every measured start (two a run, rest and changes alike); "
            "first menu: from a left-button press on the bird (XTest) to the MapNotify of the "
            "menu window, after the rest window.",
            "",
        ]
    if sway:
        lines += [
            f"## Wayland: tapperbird on a headless sway, {runs}",
            "",
            f"sway {first_line(['dpkg-query', '-W', '-f', '${Version}', 'sway'])} headless "
            "(pixman renderer) with two foot windows, floating and then tiled; the bird perches "
            "on the focused one. The X11 figures of the same runs are in the table above. Values "
            "are min / median / max.",
            "",
            "| | tapperbird | sway alone | ratio |",
            "|---|---|---|---|",
            sway.row("cpu-rest", f"CPU at rest, {args.seconds_rest} s (s)", "{:.2f}"),
            sway.row("sway-cpu", f"sway's own CPU, {args.seconds_rest} s, with the bird and "
                     "without (s)", "{:.2f}"),
            sway.row("cpu-tiled", f"the same two windows tiled: CPU at rest, {args.seconds_rest} s "
                     "(s)", "{:.2f}"),
            sway.row("sway-cpu-tiled", f"tiled: sway's own CPU, {args.seconds_rest} s, with the "
                     "bird and without (s)", "{:.2f}"),
            sway.row("rss", "resident memory, RSS (MB)", "{:.1f}"),
            sway.row("uss", "private memory, USS (MB)", "{:.2f}"),
            sway.row("focus-ms", "focus change to the bird seen at the new perch (ms)", "{:.0f}"),
            sway.row("move-ms", "floating window moved to the bird seen there (ms)", "{:.0f}"),
            "",
            "Times run from the compositor's answer to the command to the start of the first "
            "screenshot (grim, of the perch alone) that shows the whole frame there, so they are "
            "upper bounds by up to one screenshot. The bird's logic polls the foreground and "
            "animates every 100 ms, and draws the new perch on the animation tick after the poll "
            "that saw the change; on sway a focus change arrives as an event, and a floating "
            "window's frame is read from the tree each time the bird is drawn on it (a floating "
            "move sends no event). Tiled windows need no asking at all.",
            "",
        ]
    if wine:
        lines += [
            f"## Windows: Tapperbird.exe under 64-bit Wine, at rest, {runs}",
            "",
            "Side by side on one Xvfb with openbox, each program in its own prefix with its own "
            "wineserver and an idle Notepad; the bird perches on its prefix's Notepad, which is "
            "in front. The yardstick is a hidden window with two 100 ms SetTimer timers.",
            "",
            "| | Tapperbird.exe | two-timer program | ratio |",
            "|---|---|---|---|",
            wine.row("cpu-rest", f"CPU at rest, {args.seconds_rest} s, program + wineserver (s)",
                     "{:.2f}"),
            wine.row("server-rest", "of which wineserver (s)", "{:.2f}"),
            wine.row("switches-rest", "context switches a second, program + wineserver",
                     "{:.1f}"),
            wine.row("rss", "resident memory of the program, RSS (MB)", "{:.1f}"),
            wine.row("uss", "private memory of the program, USS (MB)", "{:.2f}"),
            wine.row("mapped", "bird window mapped after exec (ms)", "{:.0f}"),
            "",
            "The yardstick's window stays hidden, so it has no mapped time. The program's time "
            "to its window includes Wine's loader; the prefix's wineserver is already running.",
            "",
        ]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", help="the Linux program")
    parser.add_argument("--assets", help="the Linux build's pictures (frame1.bmp ...)")
    parser.add_argument("--exe", help="Tapperbird.exe")
    parser.add_argument("--yardstick", help="the two-timer Windows program")
    parser.add_argument("--pointer", help="the virtual pointer client: also measure on sway")
    parser.add_argument("--seconds-rest", type=int, default=60)
    parser.add_argument("--seconds-changes", type=int, default=120)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--artifacts", default="build/bench-artifacts")
    parser.add_argument("--out", help="also write the table to this file")
    parser.add_argument("--wayland-only", action="store_true",
                        help="with --program and --pointer: measure on sway alone")
    args = parser.parse_args()
    do_linux, do_wine = bool(args.program), bool(args.exe)
    if not (do_linux or do_wine) or (do_linux and not args.assets) or (
            do_wine and not args.yardstick):
        parser.error("give --program and --assets, or --exe and --yardstick, or all four")
    for name in ("program", "assets", "exe", "yardstick", "pointer"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))

    started, start_load = time.time(), load_average()
    linux = Samples() if do_linux else None
    wine = Samples() if do_wine else None
    sway = Samples() if do_linux and args.pointer else None
    try:
        # Progress goes to stderr: stdout carries the table alone.
        with contextlib.redirect_stdout(sys.stderr):
            run_all(args, linux, wine, sway)
    except Failure as e:
        print(f"FAILED: {e}", file=sys.stderr, flush=True)
        return 1
    table = report(args, linux, wine, sway, started, (start_load, load_average()))
    print(table, flush=True)
    if args.out:
        with open(args.out, "w") as f:
            f.write(table + "\n")
    return 0


def run_all(args, linux, wine, sway):
    """Run after run, the Linux rest and change runs and the Wine run interleaved, so a
    passing load on the machine spreads over all of them."""
    for number in range(1, args.runs + 1):
        if linux and not args.wayland_only:
            linux_run(args, "rest", args.seconds_rest, number, linux)
            linux_run(args, "changes", args.seconds_changes, number, linux)
        if sway:
            sway_run(args, args.seconds_rest, number, sway)
        if wine:
            wine_run(args, args.seconds_rest, number, wine)


if __name__ == "__main__":
    sys.exit(main())
