// For the end-to-end tests only, never installed: the Shell in a test session opens Eval and
// Screenshot to the test (GNOME 43 has no --unsafe-mode switch), starts on the desktop, not in
// the overview, and keeps the title of every window that took the focus. Windows are activated
// and moved, and the pointer pressed, through Eval.
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
            if (Main.layoutManager._startingUp) {
                Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
            } else {
                Main.overview.hide();
            }
        },
        disable() {},
    };
}
