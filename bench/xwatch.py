"""Two small Xlib connections through ctypes for the desktop benchmark: MapWatch notes the moment
each top-level window is mapped (a MapNotify on the root, read by a thread as it arrives), and
Pointer presses buttons through XTest, so a click starts exactly when the server gets it.
Standard library only; libX11 and libXtst come with xdotool."""

import ctypes
import select
import threading
import time

_SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
_MAP_NOTIFY = 19
# XMapEvent on LP64: type, serial, send_event, display, event, window, override_redirect; as
# longs, the window is the sixth.
_EVENT_LONGS = 24
_MAP_WINDOW = 5

_libs = {}


def _xlib():
    if not _libs:
        x = ctypes.CDLL("libX11.so.6")
        x.XInitThreads()  # before any other call: the watch reads on its own thread
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        t = ctypes.CDLL("libXtst.so.6")
        t.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                           ctypes.c_int, ctypes.c_ulong]
        t.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                           ctypes.c_ulong]
        _libs.update(x=x, xtst=t)
    return _libs["x"], _libs["xtst"]


def _open(display):
    x, _ = _xlib()
    connection = x.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError(f"cannot open display {display}")
    return connection


class MapWatch:
    """Every window mapped as a child of the root, with time.monotonic() at its MapNotify."""

    def __init__(self, display):
        self.x, _ = _xlib()
        self.connection = _open(display)
        self.x.XSelectInput(self.connection, self.x.XDefaultRootWindow(self.connection),
                            _SUBSTRUCTURE_NOTIFY_MASK)
        self.x.XSync(self.connection, 0)  # selected before anything this watch should see
        self.lock = threading.Lock()
        self.maps = []
        self.stopping = False
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        fd = self.x.XConnectionNumber(self.connection)
        event = (ctypes.c_long * _EVENT_LONGS)()
        while not self.stopping:
            select.select([fd], [], [], 0.1)
            while self.x.XPending(self.connection):
                self.x.XNextEvent(self.connection, event)
                now = time.monotonic()
                if event[0] & 0xFFFFFFFF == _MAP_NOTIFY:
                    with self.lock:
                        self.maps.append((now, event[_MAP_WINDOW]))

    def mapped_since(self, start):
        """(moment, window) of each map at or after `start`, oldest first."""
        with self.lock:
            return [(t, w) for t, w in self.maps if t >= start]

    def close(self):
        self.stopping = True
        self.thread.join()
        self.x.XCloseDisplay(self.connection)


class Pointer:
    """The core pointer, moved and pressed through XTest."""

    def __init__(self, display):
        self.x, self.xtst = _xlib()
        self.connection = _open(display)

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.connection, -1, x, y, 0)
        self.x.XSync(self.connection, 0)

    def click(self, button):
        """Presses and releases `button`; returns time.monotonic() just before the press left."""
        self.xtst.XTestFakeButtonEvent(self.connection, button, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.connection, button, 0, 0)
        start = time.monotonic()
        self.x.XFlush(self.connection)
        return start

    def close(self):
        self.x.XCloseDisplay(self.connection)
