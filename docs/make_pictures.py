#!/usr/bin/env python3
"""Takes the README's pictures from the real Linux program on a private Xvfb + openbox desktop
(the shared end-to-end harness): a still of the bird perched on a window, and an animation of it
moving over to a window that comes to the front, resting there and pecking; with --exe, also a
still of the Windows program under Wine, perched on Wine's Notepad. scripts/screenshots runs it.
Needs ImageMagick and gifsicle.

  make_pictures.py --program build/linux-release/tapperbird [--exe Tapperbird.exe] --out docs
"""

import argparse
import ctypes
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import desktop  # noqa: E402
from desktop import check, wait_for  # noqa: E402

WIDTH, HEIGHT = 720, 420
TEXT_A = """Tapperbird perches on the window in front.

Click the bird for its menu:
  About Tapperbird
  Run at Startup
  Donate via PayPal
  Exit
"""
TEXT_B = """$ tapperbird &
$ # bring another window to the front
$ # and the bird flies over to it
"""


def open_xterm(d, title, geometry, text, background):
    path = os.path.join(d.temp, title + ".txt")
    with open(path, "w") as f:
        f.write(text)
    d.spawn(["xterm", "-T", title, "-geometry", geometry, "-fa", "Liberation Mono", "-fs", "10",
             "-bg", background, "-fg", "#1d2430", "-xrm", "XTerm*scrollBar: false",
             "-e", "sh", "-c", f"cat '{path}'; exec sleep 3600"])
    return wait_for(lambda: d.xid(title), 10, f"window {title} did not map")


class Grabber:
    """The root window's pixels straight from Xlib: ImageMagick's import is too slow to catch
    a flight."""

    def __init__(self, display):
        x = self.x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.c_void_p
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.display = x.XOpenDisplay(display.encode())
        check(self.display, f"cannot open display {display}")
        self.root = x.XDefaultRootWindow(self.display)

    def close(self):
        self.x.XCloseDisplay(ctypes.c_void_p(self.display))

    def ppm(self):
        image = self.x.XGetImage(self.display, self.root, 0, 0, WIDTH, HEIGHT, 0xFFFFFFFF, 2)
        check(image, "XGetImage failed")
        # XImage on LP64: the data pointer at offset 16, the destroy function at 96.
        data = ctypes.cast(ctypes.c_void_p.from_address(image + 16).value,
                           ctypes.POINTER(ctypes.c_ubyte * (WIDTH * HEIGHT * 4))).contents
        bgrx = bytes(data)
        destroy = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p)(
            ctypes.c_void_p.from_address(image + 96).value)
        destroy(image)
        rgb = bytearray(WIDTH * HEIGHT * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = bgrx[2::4], bgrx[1::4], bgrx[0::4]
        return b"P6 %d %d 255\n" % (WIDTH, HEIGHT) + bytes(rgb)


def record(grab, seconds, folder, shots, until=None, step=0.05):
    """Adds screenshots, one every `step` seconds, to shots [(path, taken)] for `seconds`, or
    sooner once until(shots) is true."""
    start = time.time()
    while time.time() - start < seconds and not (until and until(shots)):
        path = os.path.join(folder, f"{len(shots):04d}.ppm")
        taken = time.time()
        with open(path, "wb") as f:
            f.write(grab.ppm())
        shots.append((path, taken))
        time.sleep(max(0.0, taken + step - time.time()))


def pecked_after(moment, tail=1.5):
    """True once the picture has changed after `moment` (the bird pecks at random, about every
    six seconds) and `tail` more seconds have been recorded."""
    def until(shots):
        changed = None
        for (a, _), (b, t) in zip(shots, shots[1:]):
            if t > moment and changed is None:
                with open(a, "rb") as fa, open(b, "rb") as fb:
                    if fa.read() != fb.read():
                        changed = t
        return changed is not None and shots[-1][1] - changed > tail
    return until


def windows_still(exe, out):
    """The Windows program under 64-bit Wine, in a prefix of its own, perched on Notepad."""
    with tempfile.TemporaryDirectory() as scratch:
        d = desktop.Desktop(scratch, WIDTH, HEIGHT)
        d.env.update(WINEPREFIX=os.path.join(d.temp, "prefix"), WINEARCH="win64",
                     WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        with d:
            try:
                subprocess.run(["wineboot", "-i"], env=d.env, capture_output=True, timeout=300,
                               check=True)
                d.x("xsetroot", "-solid", "#6f8fae")
                d.spawn(["wine", "notepad"])
                note = wait_for(lambda: d.xid("Untitled - Notepad"), 30, "Notepad did not open")
                d.xdotool("windowmove", note, 60, 60)
                d.xdotool("windowsize", note, 480, 280)
                d.xdotool("windowactivate", "--sync", note, check_rc=False)
                d.xdotool("type", "--delay", "20", "Tapperbird.exe under Wine: the same bird, "
                          "perched on the frame you see.")
                d.spawn(["wine", os.path.abspath(exe)])
                time.sleep(8)
                subprocess.run(["convert", "ppm:-", os.path.join(out, "perched-windows.png")],
                               input=d.shot().ppm, check=True)
            finally:
                subprocess.run(["wineserver", "-k"], env=d.env, capture_output=True, timeout=60)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--exe", help="Tapperbird.exe, for a picture of it under Wine")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    out = os.path.abspath(args.out)
    if args.exe:
        windows_still(args.exe, out)
    with tempfile.TemporaryDirectory() as scratch, \
            desktop.Desktop(scratch, WIDTH, HEIGHT) as d:
        d.x("xsetroot", "-solid", "#6f8fae")
        a = open_xterm(d, "Notes", "44x10+40+70", TEXT_A, "#f4efe1")
        b = open_xterm(d, "Terminal", "40x6+330+230", TEXT_B, "#e6eef5")
        d.xdotool("windowactivate", "--sync", a, check_rc=False)
        bird = d.spawn([os.path.abspath(args.program)])
        time.sleep(5)  # first show, the settle delay and a peck or two
        check(bird.poll() is None, "the program exited")
        subprocess.run(["convert", "ppm:-", os.path.join(out, "perched.png")],
                       input=d.shot().ppm, check=True)

        frames = os.path.join(scratch, "frames")
        os.makedirs(frames)
        grab, shots = Grabber(d.env["DISPLAY"]), []
        record(grab, 0.6, frames, shots)
        d.xdotool("windowactivate", "--sync", b, check_rc=False)
        # Past the three-second rest on the new window, wait for a peck.
        record(grab, 40, frames, shots, until=pecked_after(time.time() + 3.5))
        grab.close()
        print(f"{len(shots)} frames over {shots[-1][1] - shots[0][1]:.1f} s")
        # Each frame stays up as long as it really did, in hundredths of a second.
        argv = ["convert", "-loop", "0"]
        for i, (path, taken) in enumerate(shots):
            shown = (shots[i + 1][1] if i + 1 < len(shots) else taken + 1.5) - taken
            argv += ["-delay", str(max(2, round(shown * 100))), path]
        raw = os.path.join(scratch, "raw.gif")
        subprocess.run(argv + ["-colors", "64", raw], check=True)
        subprocess.run(["gifsicle", "-O3", "--colors", "64", raw, "-o",
                        os.path.join(out, "flying.gif")], check=True)
    names = ["perched.png", "flying.gif"] + (["perched-windows.png"] if args.exe else [])
    for name in names:
        print(f"{name}: {os.path.getsize(os.path.join(out, name)) // 1024} KiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
