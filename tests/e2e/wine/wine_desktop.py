"""A throw-away Windows desktop for end-to-end runs: Xvfb with openbox, a fresh 64-bit Wine
prefix, the probe helper, screenshots read pixel by pixel. Everything started here is stopped
by its process id (and Wine through `wineserver -k` on this prefix), also when a check fails."""

import os
import queue
import select
import shutil
import struct
import subprocess
import tempfile
import threading
import time

WIDTH, HEIGHT = 1280, 800

# The bird's five colours; the last three appear nowhere else on this test desktop.
BLACK, WHITE = (0, 0, 0), (255, 255, 255)
RED, DARK_RED, CHIPS = (255, 0, 0), (128, 0, 0), (159, 159, 127)
BIRD_ONLY = (RED, DARK_RED, CHIPS)


def round_half_even(value):
    return int(round(value))  # Python rounds ties to even


class Frame:
    """One sprite frame read from its BMP file: opaque pixels and their colours."""

    def __init__(self, path):
        data = open(path, "rb").read()
        offset, = struct.unpack_from("<I", data, 10)
        self.width, height = struct.unpack_from("<ii", data, 18)
        self.height = abs(height)
        self.opaque = {}
        for row in range(self.height):
            y = self.height - 1 - row if height > 0 else row
            for x in range(self.width):
                b, g, r, a = data[offset + (row * self.width + x) * 4:][:4]
                if a:
                    self.opaque[(x, y)] = (r, g, b)


def load_frames(assets_dir):
    return [Frame(os.path.join(assets_dir, f"frame{n}.bmp")) for n in range(1, 7)]


class Shot:
    """A screenshot of the whole X screen as raw RGB bytes."""

    def __init__(self, data, width=WIDTH, height=HEIGHT):
        self.data, self.width, self.height = data, width, height

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def frame_at(self, frames, x0, y0):
        """The number (1..6) of the frame whose opaque pixels all show, unblended, with the
        frame's top-left corner at (x0, y0); None when no frame does."""
        for number, frame in enumerate(frames, start=1):
            ok = True
            for (x, y), colour in frame.opaque.items():
                sx, sy = x0 + x, y0 + y
                if not (0 <= sx < self.width and 0 <= sy < self.height):
                    continue
                if self.at(sx, sy) != colour:
                    ok = False
                    break
            if ok:
                return number
        return None

    def bird_only_pixels(self, outside=None):
        """Pixels of the bird's own colours, except those inside `outside` (x0, y0, x1, y1)."""
        found = []
        for colour in BIRD_ONLY:
            needle = bytes(colour)
            start = self.data.find(needle)
            while start != -1:
                if start % 3 == 0:
                    x, y = (start // 3) % self.width, (start // 3) // self.width
                    if outside is None or not (outside[0] <= x < outside[2] and
                                               outside[1] <= y < outside[3]):
                        found.append((x, y, colour))
                        if len(found) > 20:
                            return found
                start = self.data.find(needle, start + 1)
        return found


class Desktop:
    def __init__(self, artifacts):
        self.artifacts = artifacts
        os.makedirs(artifacts, exist_ok=True)
        self.work = tempfile.mkdtemp(prefix="tb-wine-")
        self.procs = []
        self.env = None
        self.display = None

    # ---- start and stop -------------------------------------------------------------------
    def start(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{WIDTH}x{HEIGHT}x24",
             "-noreset", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.procs.append(xvfb)
        number = b""
        deadline = time.time() + 20
        while not number.endswith(b"\n") and time.time() < deadline:
            ready, _, _ = select.select([read_end], [], [], 1)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        if not number.strip():
            raise RuntimeError("Xvfb did not report a display")
        self.display = ":" + number.decode().strip()
        home = os.path.join(self.work, "home")
        for sub in ("", "config", "cache", "data", "runtime"):
            os.makedirs(os.path.join(home, sub), exist_ok=True)
        os.chmod(os.path.join(home, "runtime"), 0o700)
        self.env = dict(os.environ, DISPLAY=self.display, HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, "config"),
                        XDG_CACHE_HOME=os.path.join(home, "cache"),
                        XDG_DATA_HOME=os.path.join(home, "data"),
                        XDG_RUNTIME_DIR=os.path.join(home, "runtime"),
                        WINEPREFIX=os.path.join(self.work, "prefix"), WINEARCH="win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        self.procs.append(subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL))
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300, check=True)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)

    def stop(self):
        if self.env is not None:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    # ---- Wine -----------------------------------------------------------------------------
    def drive_c(self, *parts):
        return os.path.join(self.env["WINEPREFIX"], "drive_c", *parts)

    def wine(self, *args, **kwargs):
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        proc = subprocess.Popen(["wine", *args], env=self.env, **kwargs)
        self.procs.append(proc)
        return proc

    def reg_query(self, key, value=None):
        """The value's (type, data) or, with no value name, True; None when absent."""
        args = ["wine", "reg", "query", key] + (["/v", value] if value else [])
        out = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=60)
        if out.returncode != 0:
            return None
        if value is None:
            return True
        for line in out.stdout.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == value:
                return parts[1], (parts[2] if len(parts) > 2 else "")
        return None

    def reg_delete(self, key, value):
        subprocess.run(["wine", "reg", "delete", key, "/v", value, "/f"], env=self.env,
                       capture_output=True, timeout=60)

    # ---- X --------------------------------------------------------------------------------
    def x(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                              timeout=30).stdout

    def xid(self, title):
        ids = self.x("xdotool", "search", "--name", f"^{title}$").split()
        return ids[0] if ids else None

    def activate(self, title):
        window = self.xid(title)
        if window:
            self.x("xdotool", "windowactivate", "--sync", window)
        return window

    def click(self, x, y, button=1):
        self.x("xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button))

    def grab(self, name=None):
        data = subprocess.run(["import", "-display", self.display, "-window", "root", "-depth",
                               "8", "rgb:-"], capture_output=True, timeout=30).stdout
        shot = Shot(data)
        if name:
            self.save(shot, name)
        return shot

    def save(self, shot, name):
        subprocess.run(["convert", "-size", f"{shot.width}x{shot.height}", "-depth", "8",
                        "rgb:-", os.path.join(self.artifacts, name)], input=shot.data,
                       timeout=30)


class Probe:
    """The probe helper, running in the prefix and answering one command per line."""

    def __init__(self, desktop, exe):
        self.proc = desktop.wine(exe, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.strip())

    def ask(self, command, timeout=30):
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()
        reply = self.lines.get(timeout=timeout)
        if not reply.startswith("ok"):
            raise RuntimeError(f"probe: {command!r} -> {reply}")
        fields = {}
        for part in reply.split()[1:]:
            key, _, value = part.partition("=")
            numeric = key not in ("hwnd", "class") and value.lstrip("-").isdigit()
            fields[key] = int(value) if numeric else value
        return fields

    def close(self):
        try:
            self.proc.stdin.write("quit\n")
            self.proc.stdin.flush()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired, ValueError):
            pass
