// Tapperbird's window news on KDE Plasma, run inside KWin: the active window's visible frame and
// whether it is minimised go to the program over D-Bus when the focus moves and whenever that
// window moves, resizes, is minimised or restored. KWin 5.27 names them clientActivated and
// activeClient, KWin 6 windowActivated and activeWindow: both are served.
//
// The bird is a window of the program's own process. It is never reported, and as KWin activates
// a clicked layer-shell surface even though the bird takes no keys, the focus goes straight back
// to the user's window when the bird is clicked.
var service = "example.velmor.Tapperbird";
var path = "/example/velmor/Tapperbird";
var iface = "example.velmor.Tapperbird.WindowNews";

var activated = workspace.windowActivated !== undefined ? workspace.windowActivated
                                                         : workspace.clientActivated;
function activeWindow() {
    return workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
}
function activate(window) {
    if (workspace.activeWindow !== undefined) {
        workspace.activeWindow = window;
    } else {
        workspace.activeClient = window;
    }
}

var birdPid = -1;      // the program's process, once the bus has said it
var watched = null;    // the user's window whose changes are reported
var userWindow = null; // the window the focus goes back to after a click on the bird

function ours(window) {
    return window !== null && window.pid === birdPid;
}

// The program's surface that takes no keys (its toplevels, the About box, do): the bird.
function isBird(window) {
    return ours(window) && !window.wantsInput;
}

function oneShot(ms, run) {
    var timer = new QTimer();
    timer.singleShot = true;
    timer.interval = ms;
    timer.timeout.connect(run);
    return timer;
}

// Once KWin has finished activating the clicked bird (it ignores another activation asked for
// during one), the focus goes back to the user's window.
var giveBack = oneShot(0, function () {
    var now = activeWindow();
    if ((now === null || isBird(now)) && userWindow !== null && !userWindow.deleted &&
        !userWindow.minimized) {
        activate(userWindow);
    }
});

// KWin passes through "no window" on the way to another (the bird on a click, and back): only a
// "no window" that lasts is news, or the bird would leave its perch at each click.
var noneLasts = oneShot(50, function () {
    if (activeWindow() === null) {
        userWindow = null;
        watch(null);
    }
});

function report() {
    var w = watched;
    if (w === null || w.deleted) {
        callDBus(service, path, iface, "NoActiveWindow");
        return;
    }
    var g = w.frameGeometry;
    callDBus(service, path, iface, "ActiveWindow", String(w.internalId), Math.round(g.x),
             Math.round(g.y), Math.round(g.width), Math.round(g.height), w.minimized === true);
}

function watch(window) {
    if (watched !== null) {
        watched.frameGeometryChanged.disconnect(report);
        watched.minimizedChanged.disconnect(report);
    }
    watched = window;
    if (watched !== null) {
        watched.frameGeometryChanged.connect(report);
        watched.minimizedChanged.connect(report);
    }
    report();
}

function onActivated(window) {
    if (window === undefined || window === null) {
        noneLasts.start();
        return;
    }
    noneLasts.stop();
    if (isBird(window)) {
        giveBack.start();
        return;
    }
    if (ours(window)) {
        return; // the About box: the bird keeps its perch
    }
    userWindow = window;
    watch(window);
}

// The bird's process, from the bus; until then nothing is reported, so the bird never perches
// on itself.
callDBus("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
         "GetConnectionUnixProcessID", service, function (pid) {
             birdPid = pid;
             activated.connect(onActivated);
             onActivated(activeWindow());
         });
