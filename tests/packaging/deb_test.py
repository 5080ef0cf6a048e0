#!/usr/bin/env python3
"""The .deb from scripts/package, checked the way a Debian machine meets it: lintian,
desktop-file-validate and appstreamcli on its contents; then dpkg -i, the installed
/usr/bin/tapperbird started on a private desktop (it must perch on the window in front and write
its autostart entry with the installed path, and open its menu from the GTK module in its
private folder), dpkg --purge, and nothing of the package left.
Needs root (or sudo) for dpkg. Standard library only.

  deb_test.py --deb tapperbird_<version>_<arch>.deb --assets DIR --artifacts DIR
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import desktop  # noqa: E402  (the shared end-to-end harness)
from desktop import Failure, check, log, poll, wait_for  # noqa: E402

SCREEN_W, SCREEN_H = 1024, 768
FRAME_W, FRAME_H = 43, 71
PROGRAM = "/usr/bin/tapperbird"
SUDO = [] if os.geteuid() == 0 else ["sudo", "-n"]


def run(argv, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, timeout=300, **kwargs)


def check_contents(deb):
    """The static checks, on the package file and on its unpacked tree."""
    r = run(["lintian", "--pedantic", "--fail-on", "none", deb])
    findings = [line for line in r.stdout.splitlines() if re.match(r"[EW]: ", line)]
    check(not findings, "lintian:\n" + "\n".join(findings))
    with tempfile.TemporaryDirectory() as tree:
        run(["dpkg-deb", "-x", deb, tree]).check_returncode()
        entries = [os.path.join(tree, "usr/share/applications", n)
                   for n in os.listdir(os.path.join(tree, "usr/share/applications"))]
        check(len(entries) == 1, f"menu entries: {entries}")
        r = run(["desktop-file-validate", entries[0]])
        check(r.returncode == 0 and not r.stdout.strip(),
              f"desktop-file-validate: {r.stdout}{r.stderr}")
        metainfo = os.path.join(tree, "usr/share/metainfo")
        for name in os.listdir(metainfo):
            r = run(["appstreamcli", "validate", "--no-net", os.path.join(metainfo, name)])
            check(r.returncode == 0, f"appstreamcli validate {name}:\n{r.stdout}{r.stderr}")
        for size in (16, 32, 48, 128, 256):
            icon = os.path.join(tree, f"usr/share/icons/hicolor/{size}x{size}/apps/tapperbird.png")
            with open(icon, "rb") as f:
                header = f.read(24)
            check(header[16:24] == size.to_bytes(4, "big") * 2, f"{icon} is not {size}x{size}")
    log("lintian, desktop-file-validate and appstreamcli: clean")


def installed_files():
    r = run(["dpkg-query", "-L", "tapperbird"])
    check(r.returncode == 0, f"dpkg-query -L: {r.stderr}")
    return [p for p in r.stdout.splitlines() if p.startswith("/")]


def check_installed_program_runs(assets, artifacts):
    frames = desktop.load_frames(assets)
    with desktop.Desktop(artifacts, SCREEN_W, SCREEN_H) as d:
        window = d.spawn(["xev", "-name", "target", "-geometry", "400x300+200+150"])
        xid = wait_for(lambda: d.xid("target"), 10, "the target window did not map")
        d.xdotool("windowactivate", "--sync", xid, check_rc=False)
        errors = os.path.join(d.temp, "bird.stderr")
        with open(errors, "wb") as out:
            bird = d.spawn([PROGRAM], stderr=out)

        def perched():
            geometry = d.x("xwininfo", "-id", xid)
            left, top, width, height = (int(v) for v in re.search(
                r"Absolute upper-left X:\s+(-?\d+).*?Absolute upper-left Y:\s+(-?\d+).*?"
                r"Width:\s+(\d+).*?Height:\s+(\d+)", geometry, re.S).groups())
            l, r, t, b = (int(v) for v in re.search(r"= (\d+), (\d+), (\d+), (\d+)", d.x(
                "xprop", "-id", xid, "_NET_FRAME_EXTENTS")).groups())
            x, y = desktop.perch(left - l, top - t, left + width + r, top + height + b, SCREEN_W)
            shot = d.shot(crop=(x, y, FRAME_W, FRAME_H))
            return shot.frame_at(frames, x, y) and (x, y)

        point = poll(perched, 15, step=0.3)
        d.shot("installed-perched")
        if bird.poll() is not None:
            with open(errors) as f:
                raise Failure(f"{PROGRAM} exited with {bird.returncode}: {f.read()}")
        check(point, "the installed program's bird is not on the target window's perch")
        log(f"installed program perched at {point}")

        # A press opens the menu, so the program found its GTK module where it was installed.
        time.sleep(3.5)  # past the rest after arriving
        grip = desktop.common_pixels(frames, True)
        gx, gy = grip[len(grip) // 2]
        d.xdotool("mousemove", str(point[0] + gx), str(point[1] + gy), "click", "3")

        def menu():
            tree = d.x("xwininfo", "-root", "-tree")
            return any(int(w) > 50 and int(h) > 50 for w, h in re.findall(
                r'^\s*0x[0-9a-f]+ "Tapperbird".*\s(\d+)x(\d+)[+-]', tree, re.M))

        wait_for(menu, 5, "the installed program's menu did not open")
        d.xdotool("key", "Escape")
        with open(errors) as f:
            said = f.read()
        check("cannot load" not in said, f"the installed program said: {said}")
        log("installed program opened its menu")

        entry = os.path.join(d.env["XDG_CONFIG_HOME"], "autostart", "Tapperbird.desktop")
        text = wait_for(lambda: os.path.isfile(entry) and open(entry).read(), 5,
                        "no autostart entry was written")
        execs = re.findall(r"^Exec=(.*)$", text, re.M)
        check(execs == [f'"{PROGRAM}"'], f"autostart Exec= is {execs}, expected \"{PROGRAM}\"")
        bird.terminate()
        check(bird.wait(timeout=10) is not None, "the bird did not end")
        window.terminate()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--deb", required=True)
    ap.add_argument("--assets", required=True, help="the build's frame BMPs")
    ap.add_argument("--artifacts", required=True)
    args = ap.parse_args()
    deb = os.path.abspath(args.deb)
    try:
        check_contents(deb)
        already = run(["dpkg-query", "-W", "-f", "${Status}", "tapperbird"])
        check("installed" not in already.stdout.split(),
              "tapperbird is installed on this machine already; the test would replace it")
        start = time.time()
        r = run([*SUDO, "dpkg", "-i", deb], env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})
        check(r.returncode == 0, f"dpkg -i failed:\n{r.stdout}{r.stderr}")
        log(f"dpkg -i: {time.time() - start:.1f} s")
        files = installed_files()
        check(PROGRAM in files and os.access(PROGRAM, os.X_OK), f"{PROGRAM} not installed")
        # The menu's GTK module, in the program's private folder where it looks for it.
        modules = [p for p in files if p.endswith("/tapperbird/libtapperbird-gtk.so")]
        check(len(modules) == 1 and modules[0].startswith("/usr/lib/"),
              f"the GTK module is not in a private folder under /usr/lib: {modules}")
        try:
            check_installed_program_runs(args.assets, args.artifacts)
        finally:
            r = run([*SUDO, "dpkg", "--purge", "tapperbird"])
            check(r.returncode == 0, f"dpkg --purge failed:\n{r.stdout}{r.stderr}")
        status = run(["dpkg-query", "-W", "-f", "${Status}", "tapperbird"]).stdout
        check("installed" not in status.split(), f"still known to dpkg: {status}")
        # Shared folders (/usr/share/icons/hicolor/...) stay; every file and every folder of our
        # own must go.
        left = [p for p in files if os.path.isfile(p) or
                (os.path.isdir(p) and "tapperbird" in p.lower())]
        check(not left, f"left behind after dpkg --purge: {left}")
        log("dpkg --purge removed every file of the package")
    except Failure as e:
        print(f"FAIL: {e}", flush=True)
        return 1
    print("PASS", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
