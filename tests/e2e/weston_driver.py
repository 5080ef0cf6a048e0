"""The Linux program on a headless weston: a Wayland compositor with no layer-shell and nothing to
say about its windows, where the program has to say why and fall back to X11."""

import os

import desktop
from desktop import log, wait_for

SOCKET = "tapperbird-weston"


class WestonDriver(desktop.Desktop):
    name = "weston"
    dpi = 96
    as_user = []

    def __init__(self, args):
        super().__init__(args.artifacts, 1280, 800, wm="weston")
        self.path = args.program

    def start(self):
        with open(os.path.join(self.artifacts, "weston.log"), "wb") as err:
            self.spawn(["weston", "--backend=headless-backend.so", f"--socket={SOCKET}",
                        "--no-config"], stderr=err)
        socket = os.path.join(self.env["XDG_RUNTIME_DIR"], SOCKET)
        wait_for(lambda: os.path.exists(socket), 15, "weston did not start")
        self.env["WAYLAND_DISPLAY"] = SOCKET
        log(f"weston on {SOCKET}")
