#!/usr/bin/env python3
"""The Windows installer from scripts/package under 64-bit Wine, on the shared private desktop with
its own prefix: a silent install, the installed program's first run, a silent install over the
running bird (an upgrade: closed, replaced, started again, once), and a silent uninstall that
leaves nothing of Tapperbird while every other startup entry stays. Then again beside a running
portable copy, with the Run value pointed at another program: both are left alone. Prints how
long the install and the uninstall took. Standard library only.

  wine_install_test.py --setup Tapperbird-<version>-setup.exe --zip Tapperbird-<version>-win64.zip
                       --version V --artifacts DIR
"""

import argparse
import glob
import os
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import desktop  # noqa: E402  (the shared end-to-end harness)
from desktop import Failure, check, log, poll, wait_for  # noqa: E402

HKCU = "HKCU\\Software\\"
RUN_KEY = HKCU + r"Microsoft\Windows\CurrentVersion\Run"
APPROVED_KEY = HKCU + r"Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
UNINSTALL_KEY = HKCU + r"Microsoft\Windows\CurrentVersion\Uninstall\Tapperbird"
MAKER_KEY = HKCU + "Velmor's Software"
# Somebody else's startup entries: the uninstaller must leave them exactly as they are.
OTHER_RUN = ("OtherTool", '"C:\\Tools\\other.exe" --tray')
OTHER_APPROVED = ("OtherTool", "020000000000000000000000")


class WineDesktop(desktop.Desktop):
    def __init__(self, artifacts):
        super().__init__(artifacts, 1024, 768)
        self.env.update(WINEPREFIX=os.path.join(self.temp, "prefix"), WINEARCH="win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")

    def start(self):
        super().start()
        subprocess.run(["wineboot", "-i"], env=self.env, capture_output=True, timeout=300,
                       check=True)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)

    def stop(self):
        if os.path.isdir(self.env["WINEPREFIX"]):  # every Windows process of this prefix
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=60)
        super().stop()

    def wine(self, *argv, timeout=120):
        return subprocess.run(["wine", *argv], env=self.env, capture_output=True, text=True,
                              timeout=timeout)

    def start_wine(self, *argv, timeout=180):
        """Runs a Windows program to its end; its output is dropped, since a program it starts
        (the bird, after an upgrade) would hold a pipe open."""
        return subprocess.run(["wine", *argv], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout)

    def reg_values(self, key):
        """{name: (type, data)} of a key's values, or None when the key is absent."""
        out = self.wine("reg", "query", key)
        if out.returncode != 0:
            return None
        values = {}
        for line in out.stdout.splitlines():
            if line.startswith("    "):
                parts = line.strip().split("    ")
                if len(parts) >= 2 and parts[1].startswith("REG_"):
                    values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
        return values

    def unix_path(self, windows_path):
        return self.wine("winepath", "-u", windows_path).stdout.strip()

    def birds(self):
        """PIDs of the Tapperbird.exe processes of this prefix."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    cmdline = f.read()
                with open(f"/proc/{pid}/environ", "rb") as f:
                    environ = f.read().split(b"\0")
            except OSError:
                continue
            prefix = b"WINEPREFIX=" + self.env["WINEPREFIX"].encode()
            if b"tapperbird.exe" in cmdline.lower() and prefix in environ:
                found.append(int(pid))
        return found


def timed(what, step):
    start = time.time()
    result = step()
    seconds = time.time() - start
    log(f"{what}: {seconds:.1f} s")
    return result, seconds


def check_installed(d, version):
    """The Uninstall entry's values, the files and the shortcut; returns the install folder."""
    values = d.reg_values(UNINSTALL_KEY)
    check(values is not None, "no Uninstall entry")
    folder = values.get("InstallLocation", ("", ""))[1]
    check(folder.lower().endswith(r"\appdata\local\programs\tapperbird"),
          f"installed to {folder!r}, not under %LOCALAPPDATA%\\Programs")
    expected = {
        "DisplayName": ("REG_SZ", "Tapperbird"),
        "DisplayVersion": ("REG_SZ", version),
        "Publisher": ("REG_SZ", "Velmor's Software"),
        "DisplayIcon": ("REG_SZ", folder + r"\Tapperbird.exe,0"),
        "UninstallString": ("REG_SZ", f'"{folder}\\uninstall.exe"'),
        "QuietUninstallString": ("REG_SZ", f'"{folder}\\uninstall.exe" /S'),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1"),
    }
    wrong = {k: values.get(k) for k, v in expected.items() if values.get(k) != v}
    check(not wrong, f"Uninstall entry values differ: {wrong}")
    size = values.get("EstimatedSize", ("", "0"))
    check(size[0] == "REG_DWORD" and 200 <= int(size[1], 16) <= 2000,
          f"EstimatedSize {size} is not the installed size in KiB")
    unix = d.unix_path(folder)
    check(sorted(os.listdir(unix)) == ["Tapperbird.exe", "uninstall.exe"],
          f"install folder holds {os.listdir(unix)}")
    links = glob.glob(os.path.join(d.env["WINEPREFIX"], "drive_c", "users", "*", "AppData",
                                   "Roaming", "Microsoft", "Windows", "Start Menu", "Programs",
                                   "Tapperbird.lnk"))
    check(len(links) == 1, "no Start-menu shortcut")
    with open(links[0], "rb") as f:
        link = f.read()
    check("Tapperbird.exe".encode("utf-16-le") in link or b"Tapperbird.exe" in link,
          "the shortcut does not point at Tapperbird.exe")
    # The AppUserModelID goes in through the shell's property store, which Wine only stubs, so
    # it cannot be seen here.
    return folder, unix


def install(d, setup, version):
    r, seconds = timed("silent install", lambda: d.start_wine(setup, "/S"))
    check(r.returncode == 0, f"setup /S exited {r.returncode}")
    folder, unix = check_installed(d, version)
    return folder, unix, seconds


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--setup", required=True)
    ap.add_argument("--zip", required=True, help="the portable zip, which must hold the same exe")
    ap.add_argument("--version", required=True)
    ap.add_argument("--artifacts", required=True)
    args = ap.parse_args()
    setup = os.path.abspath(args.setup)
    try:
        with WineDesktop(args.artifacts) as d:
            d.wine("reg", "add", RUN_KEY, "/v", OTHER_RUN[0], "/t", "REG_SZ", "/d", OTHER_RUN[1],
                   "/f").check_returncode()
            d.wine("reg", "add", APPROVED_KEY, "/v", OTHER_APPROVED[0], "/t", "REG_BINARY", "/d",
                   OTHER_APPROVED[1], "/f").check_returncode()
            # A fresh silent install starts nothing by itself.
            folder, unix, install_seconds = install(d, setup, args.version)
            check(not d.birds(), "a silent first install started the bird")
            with zipfile.ZipFile(args.zip) as z:
                names = sorted(z.namelist())
                check(names == ["Tapperbird/LICENSE.txt", "Tapperbird/README.txt",
                                "Tapperbird/Tapperbird.exe"], f"the zip holds {names}")
                portable = z.read("Tapperbird/Tapperbird.exe")
            with open(os.path.join(unix, "Tapperbird.exe"), "rb") as f:
                check(f.read() == portable, "the installer and the zip carry different programs")

            # The installed program's first run registers its own, quoted path.
            first = d.spawn(["wine", os.path.join(unix, "Tapperbird.exe")])
            exe = folder + r"\Tapperbird.exe"
            run = wait_for(lambda: (d.reg_values(RUN_KEY) or {}).get("Tapperbird"), 20,
                           "the installed program wrote no Run value")
            check(run == ("REG_SZ", f'"{exe}"'), f"Run value is {run}, expected \"{exe}\"")
            old = wait_for(d.birds, 10, "the installed program is not running")
            d.shot("installed-running")
            # Task Manager's mark, as if the user had switched the entry off there once.
            d.wine("reg", "add", APPROVED_KEY, "/v", "Tapperbird", "/t", "REG_BINARY", "/d",
                   "030000000000000000000000", "/f").check_returncode()

            # Installing again over the running bird: closed cleanly, replaced, started again.
            with open(os.path.join(unix, "Tapperbird.exe"), "ab") as f:
                f.write(b"stale")  # the upgrade must put the packaged bytes back
            _, upgrade_seconds = timed("silent upgrade over a running bird",
                                       lambda: d.start_wine(setup, "/S"))
            check(first.wait(timeout=15) == 0,
                  f"the running bird ended with {first.returncode}, not cleanly")
            check_installed(d, args.version)
            with open(os.path.join(unix, "Tapperbird.exe"), "rb") as f:
                check(not f.read().endswith(b"stale"), "the upgrade did not replace the program")
            new = wait_for(lambda: (b := d.birds()) and b != old and b, 15,
                           "the upgrade did not start the bird again")
            time.sleep(2)
            check(len(d.birds()) == 1, f"{len(d.birds())} birds run after the upgrade")
            log(f"upgrade: bird {old} closed, {new} running")

            check(d.reg_values(MAKER_KEY + r"\Tapperbird\1.0\temp") is not None,
                  "the program made no first-run key, so its removal would prove nothing")
            # The program's own value, as a user might have retyped it: unquoted, in capitals.
            d.wine("reg", "add", RUN_KEY, "/v", "Tapperbird", "/t", "REG_SZ", "/d", exe.upper(),
                   "/f").check_returncode()
            # The silent uninstall: the uninstaller runs from a copy, so wait for its effect.
            uninstall = os.path.join(unix, "uninstall.exe")
            start = time.time()
            d.start_wine(uninstall, "/S")
            gone = poll(lambda: not os.path.exists(unix) and not d.birds(), 60, step=0.2)
            uninstall_seconds = time.time() - start
            log(f"silent uninstall: {uninstall_seconds:.1f} s")
            check(gone, f"after uninstalling: folder there: {os.path.exists(unix)}, "
                  f"birds: {d.birds()}")
            subprocess.run(["wineserver", "-w"], env=d.env, timeout=120)  # nothing left running
            drive = os.path.join(d.env["WINEPREFIX"], "drive_c")
            leftovers = [p for p in (os.path.relpath(p, drive) for p in glob.glob(
                os.path.join(drive, "**"), recursive=True)) if "tapperbird" in p.lower()]
            check(not leftovers, f"files left: {leftovers[:10]}")
            run_values = d.reg_values(RUN_KEY) or {}
            approved = d.reg_values(APPROVED_KEY) or {}
            check("Tapperbird" not in run_values, "the Run value is still there")
            check("Tapperbird" not in approved, "the StartupApproved mark is still there")
            check(run_values.get(OTHER_RUN[0]) == ("REG_SZ", OTHER_RUN[1]),
                  f"another Run value changed: {run_values}")
            check(approved.get(OTHER_APPROVED[0], ("", ""))[1] == OTHER_APPROVED[1],
                  f"another StartupApproved value changed: {approved}")
            check(d.reg_values(MAKER_KEY) is None, "the maker's key is still there")
            check(d.reg_values(UNINSTALL_KEY) is None, "the Uninstall entry is still there")
            user_reg = open(os.path.join(d.env["WINEPREFIX"], "user.reg"),
                            encoding="utf-8", errors="replace").read().lower()
            check("tapperbird" not in user_reg, "the user's registry still names Tapperbird")

            # A portable copy from the zip, running, and the Run value the user pointed at another
            # program: an upgrade and the uninstaller close only their own bird and keep the
            # value, and the first-run key the running copy uses.
            install(d, setup, args.version)
            portable_exe = os.path.join(d.temp, "portable", "Tapperbird.exe")
            os.makedirs(os.path.dirname(portable_exe))
            with open(portable_exe, "wb") as f:
                f.write(portable)
            d.spawn(["wine", portable_exe])
            wait_for(lambda: (d.reg_values(RUN_KEY) or {}).get("Tapperbird"), 20,
                     "the portable copy wrote no Run value")
            mine = '"C:\\Tools\\OtherBird\\bird.exe" --mine'
            d.wine("reg", "add", RUN_KEY, "/v", "Tapperbird", "/t", "REG_SZ", "/d", mine,
                   "/f").check_returncode()
            running = sorted(wait_for(d.birds, 10, "the portable copy is not running"))
            d.start_wine(setup, "/S")
            check(sorted(d.birds()) == running, f"birds {running} before the upgrade, "
                  f"{sorted(d.birds())} after")
            d.start_wine(os.path.join(unix, "uninstall.exe"), "/S")
            check(poll(lambda: d.reg_values(UNINSTALL_KEY) is None, 60, step=0.2),
                  "the uninstall beside the portable copy did not finish")
            check(sorted(d.birds()) == running, f"birds {running} before the uninstall, "
                  f"{sorted(d.birds())} after")
            run = (d.reg_values(RUN_KEY) or {}).get("Tapperbird")
            check(run == ("REG_SZ", mine), f"the user's Run value became {run}")
            check(d.reg_values(MAKER_KEY + r"\Tapperbird\1.0\temp") is not None,
                  "the running portable copy's first-run key was removed")
            print(f"TIMES install {install_seconds:.1f} s, upgrade {upgrade_seconds:.1f} s, "
                  f"uninstall {uninstall_seconds:.1f} s", flush=True)
    except Failure as e:
        print(f"FAIL: {e}", flush=True)
        return 1
    print("PASS", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
