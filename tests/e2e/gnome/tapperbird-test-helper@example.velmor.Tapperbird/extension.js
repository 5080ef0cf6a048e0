// For the end-to-end tests only, never installed: the Shell in a test session opens Eval and
// Screenshot to the test (GNOME 43 has no --unsafe-mode switch), starts on the desktop, not in
// the overview, keeps the title of every window that took the focus, and puts a new window where
// the test asked before it shows (as a window manager's rules would). Windows are activated and
// moved, and the pointer pressed, through Eval.
const Main = imports.ui.main;

function init() {
    return {
        enable() {
            global.context.unsafe_mode = true;
            global.tapperbirdFocusLog = [];
            global.display.connect('notify::focus-window', () => {
                const w = global.display.focus_window;
                global.tapperbirdFocusLog.push(w ? w.title : null);
            });
            global.tapperbirdPlaces = {};
            // Wayland windows may get their title after they are created: placed when they
            // first show.
            global.display.connect('window-created', (display, w) => {
                const id = w.connect('shown', () => {
                    w.disconnect(id);
                    const place = global.tapperbirdPlaces[w.get_title()];
                    if (place) {
                        w.move_resize_frame(true, ...place);
                    }
                });
            });
            if (Main.layoutManager._startingUp) {
                Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
            } else {
                Main.overview.hide();
            }
        },
        disable() {},
    };
}
