// Tapperbird inside GNOME Shell: draws the bird where the program says, shows the bird's menu
// with the Shell's own popup menu, and tells the program about the focused window, the monitors,
// presses on the bird and the item chosen. It decides nothing (no timers, no rules): the program
// does. It serves one caller, the owner of the program's bus name, and forgets everything, the
// bird hidden, as soon as that owner is gone.
//
// One text for GNOME 43/44 (imports.*) and 45+ (ES modules): it names no module of its own; the
// entry file of each form hands it the libraries.

function createBird(lib) {
    const {GLib, Gio, GObject, Clutter, Cogl, St, Main, PopupMenu, folder} = lib;

    const VERSION = 1;
    const PROGRAM_NAME = 'example.velmor.Tapperbird';
    const PROGRAM_PATH = '/example/velmor/Tapperbird';
    const NEWS_INTERFACE = 'example.velmor.Tapperbird.ShellNews1';
    const SHELL_NAME = 'example.velmor.Tapperbird.Shell';
    const SHELL_PATH = '/example/velmor/Tapperbird/Shell';
    const SHELL_INTERFACE = 'example.velmor.Tapperbird.Shell1';
    const FRAME_WIDTH = 43;
    const FRAME_HEIGHT = 71;
    const FRAME_COUNT = 6;
    const MAX_SCALE = 16;
    const FARTHEST = 1 << 20;
    const MENU_ITEMS_MAX = 32;
    const LABEL_MAX = 200;
    // Menu item kinds as the program sends them.
    const COMMAND = 0;
    const SEPARATOR = 1;
    const CHECK = 2;

    const INTERFACE_XML = `<node>
  <interface name="${SHELL_INTERFACE}">
    <method name="Hello">
      <arg type="u" name="version" direction="in"/>
      <arg type="u" name="version" direction="out"/>
    </method>
    <method name="Show">
      <arg type="u" name="frame" direction="in"/>
      <arg type="u" name="scale" direction="in"/>
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
      <arg type="i" name="width" direction="in"/>
      <arg type="i" name="height" direction="in"/>
    </method>
    <method name="Hide"/>
    <method name="ShowMenu">
      <arg type="i" name="x" direction="in"/>
      <arg type="i" name="y" direction="in"/>
      <arg type="a(usub)" name="items" direction="in"/>
    </method>
  </interface>
</node>`;

    // The bird: presses reach it only on its opaque pixels; anywhere else in its box they fall
    // through to the window beneath.
    const BirdActor = GObject.registerClass(
        class TapperbirdBird extends Clutter.Actor {
            _init() {
                super._init({reactive: true, visible: false});
                this.runs = [];
                this.scale = 1;
            }

            vfunc_pick(context) {
                if (!this.visible) {
                    return;
                }
                // Clutter counts a box's far edges in: kept a hair short, so that a pointer on a
                // pixel's corner (as whole-number positions are) picks that pixel alone.
                const s = this.scale;
                const hair = 1 / 64;
                for (const [left, row, right] of this.runs) {
                    this.pick_box(context, new Clutter.ActorBox(
                        {x1: left * s, y1: row * s, x2: right * s - hair, y2: (row + 1) * s - hair}));
                }
            }
        });

    let frames = null;  // [{content, runs}], loaded at enable
    let bird = null;
    let shown = null;  // [frame, scale, x, y, width, height] as last shown
    let menu = null;   // {menu, manager, anchor}
    let exported = 0;
    let owned = 0;
    let watching = 0;
    let owner = null;  // the program's unique name on the bus, while it runs
    let ownerPid = -1;
    let greeted = false;  // the program has said hello in our version
    let focused = null;   // {window, ids}: the window reported and its signal ids
    let lastWindowNews = '';
    let displaySignals = [];
    let monitorsSignal = 0;

    function say(what, error) {
        console.warn(`Tapperbird: ${what}${error ? `: ${error}` : ''}`);
    }

    // Every handler runs through this: an exception is logged and the bird hides, and the Shell
    // goes on.
    function guard(what, run) {
        return (...args) => {
            try {
                return run(...args);
            } catch (e) {
                say(what, e);
                try {
                    hideBird();
                } catch (e2) {
                    say('hiding the bird', e2);
                }
                return undefined;
            }
        };
    }

    // The frames the build wrote beside us: raw RGBA, top row first.
    function loadFrames() {
        const size = FRAME_WIDTH * FRAME_HEIGHT * 4;
        const list = [];
        for (let n = 1; n <= FRAME_COUNT; n++) {
            const path = GLib.build_filenamev([folder, 'frames', `frame${n}.rgba`]);
            const [, data] = Gio.File.new_for_path(path).load_contents(null);
            if (data.length !== size) {
                throw new Error(`${path} holds ${data.length} bytes, not ${size}`);
            }
            const runs = [];
            for (let y = 0; y < FRAME_HEIGHT; y++) {
                let x = 0;
                while (x < FRAME_WIDTH) {
                    if (data[(y * FRAME_WIDTH + x) * 4 + 3] === 0) {
                        x++;
                        continue;
                    }
                    const left = x;
                    while (x < FRAME_WIDTH && data[(y * FRAME_WIDTH + x) * 4 + 3] !== 0) {
                        x++;
                    }
                    runs.push([left, y, x]);
                }
            }
            const content = St.ImageContent.new_with_preferred_size(FRAME_WIDTH, FRAME_HEIGHT);
            const bytes = new GLib.Bytes(data);
            const args = [bytes, Cogl.PixelFormat.RGBA_8888, FRAME_WIDTH, FRAME_HEIGHT,
                FRAME_WIDTH * 4];
            // GNOME 46 asks for the Cogl context first.
            if (content.set_bytes.length === args.length + 1) {
                args.unshift(global.stage.context.get_backend().get_cogl_context());
            }
            content.set_bytes(...args);
            list.push({content, runs});
        }
        return list;
    }

    function hideBird() {
        if (bird !== null) {
            bird.hide();
        }
        shown = null;
    }

    function showBird(frame, scale, x, y, width, height) {
        const now = [frame, scale, x, y, width, height];
        if (shown !== null && now.every((v, i) => v === shown[i])) {
            return;
        }
        const f = frames[frame - 1];
        bird.set_content(f.content);
        bird.runs = f.runs;
        // A new frame in the same place repaints the bird's box alone: its place, size and clip
        // are set only when they change.
        if (shown === null || now.slice(1).some((v, i) => v !== shown[i + 1])) {
            bird.scale = scale;
            bird.set_position(x, y);
            bird.set_size(FRAME_WIDTH * scale, FRAME_HEIGHT * scale);
            // A bird cut short at a screen edge shows its top-left part, enlarged as ever.
            bird.set_clip(0, 0, width, height);
        }
        bird.show();
        shown = now;
    }

    function closeMenu() {
        if (menu === null) {
            return;
        }
        const old = menu;
        menu = null;
        old.manager.removeMenu(old.menu);
        old.menu.destroy();
        old.anchor.destroy();
    }

    function showMenu(x, y, items) {
        closeMenu();
        const anchor = new St.Widget({x, y, width: 1, height: 1});
        Main.layoutManager.uiGroup.add_child(anchor);
        const popup = new PopupMenu.PopupMenu(anchor, 0, St.Side.TOP);
        // At the press itself, as on other desktops, not an arrow's length below it.
        popup.actor.set_style('-arrow-rise: 0px; -boxpointer-gap: 0px;');
        Main.layoutManager.uiGroup.add_child(popup.actor);
        popup.actor.hide();
        const manager = new PopupMenu.PopupMenuManager(anchor);
        manager.addMenu(popup);
        for (const [id, label, kind, checked] of items) {
            if (kind === SEPARATOR) {
                popup.addMenuItem(new PopupMenu.PopupSeparatorMenuItem());
                continue;
            }
            const item = new PopupMenu.PopupMenuItem(label);
            if (kind === CHECK) {
                item.setOrnament(checked ? PopupMenu.Ornament.CHECK : PopupMenu.Ornament.NONE);
            }
            item.connect('activate', guard('a menu choice', () => news('MenuChosen', '(u)', [id])));
            popup.addMenuItem(item);
        }
        const mine = {menu: popup, manager, anchor};
        popup.connect('open-state-changed', guard('closing the menu', (m, open) => {
            if (!open && menu === mine) {
                // After the item's own activation has run.
                GLib.idle_add(GLib.PRIORITY_DEFAULT, guard('closing the menu', () => {
                    if (menu === mine) {
                        closeMenu();
                    }
                    return GLib.SOURCE_REMOVE;
                }));
            }
        }));
        menu = mine;
        popup.open(0);
    }

    // A message to the program, expecting no answer: a stuck program never holds the Shell up.
    function news(member, signature, values) {
        if (owner === null || !greeted) {
            return;
        }
        const message = Gio.DBusMessage.new_method_call(owner, PROGRAM_PATH, NEWS_INTERFACE, member);
        if (signature !== null) {
            message.set_body(new GLib.Variant(signature, values));
        }
        message.set_flags(Gio.DBusMessageFlags.NO_REPLY_EXPECTED);
        Gio.DBus.session.send_message(message, Gio.DBusSendMessageFlags.NONE);
    }

    function reportMonitors() {
        const list = Main.layoutManager.monitors.map(m =>
            [m.x, m.y, m.width, m.height, Math.max(1, Math.round(m.geometry_scale))]);
        news('Monitors', '(a(iiiii))', [list]);
    }

    function reportWindow() {
        const w = focused !== null ? focused.window : null;
        let values = null;
        if (w !== null) {
            const r = w.get_frame_rect();
            const monitor = w.get_monitor();
            const scale = monitor >= 0 ? global.display.get_monitor_scale(monitor) : 1;
            values = [w.get_id(), r.x, r.y, r.width, r.height, w.minimized || w.is_hidden(),
                monitor, Math.max(1, Math.round(scale))];
        }
        const text = JSON.stringify(values);
        if (text === lastWindowNews) {
            return;
        }
        lastWindowNews = text;
        if (values === null) {
            news('NoWindow', null, null);
        } else {
            news('Window', '(tiiiibii)', values);
        }
    }

    function unwatchWindow() {
        if (focused !== null && focused.window !== null) {
            for (const id of focused.ids) {
                focused.window.disconnect(id);
            }
        }
        focused = null;
    }

    function onFocus() {
        const w = global.display.focus_window;
        // The program's own windows (its About box) leave the bird where it is.
        if (w !== null && ownerPid > 0 && w.get_pid() === ownerPid) {
            return;
        }
        unwatchWindow();
        const changed = guard('reporting the focused window', reportWindow);
        const ids = w === null ? [] : [
            w.connect('position-changed', changed),
            w.connect('size-changed', changed),
            w.connect('notify::minimized', changed),
            w.connect('workspace-changed', changed),
            w.connect('unmanaged', guard('a window gone', () => {
                unwatchWindow();
                reportWindow();
            })),
        ];
        focused = {window: w, ids};
        reportWindow();
    }

    function startReporting() {
        const onDisplay = guard('following the focus', onFocus);
        displaySignals = [
            global.display.connect('notify::focus-window', onDisplay),
            global.display.connect('restacked', guard('a restack', reportWindow)),
        ];
        monitorsSignal = Main.layoutManager.connect('monitors-changed',
            guard('reporting the monitors', reportMonitors));
        reportMonitors();
        onFocus();
    }

    // The program is gone, or another took its name: nothing of it is kept.
    function forget() {
        for (const id of displaySignals) {
            global.display.disconnect(id);
        }
        displaySignals = [];
        if (monitorsSignal !== 0) {
            Main.layoutManager.disconnect(monitorsSignal);
            monitorsSignal = 0;
        }
        unwatchWindow();
        closeMenu();
        hideBird();
        greeted = false;
        ownerPid = -1;
        lastWindowNews = '';
    }

    function whole(v, low, high) {
        return Number.isInteger(v) && v >= low && v <= high;
    }

    function onCall(sender, method, parameters, invocation) {
        const args = parameters.deepUnpack();
        if (method === 'Hello') {
            // The caller must own the program's name now: asked of the bus, not of our watch,
            // which may not have heard yet.
            Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
                'org.freedesktop.DBus', 'GetNameOwner', new GLib.Variant('(s)', [PROGRAM_NAME]),
                new GLib.VariantType('(s)'), Gio.DBusCallFlags.NONE, 1000, null,
                guard('greeting the program', (connection, result) => {
                    let current = null;
                    try {
                        [current] = connection.call_finish(result).deepUnpack();
                    } catch (e) {
                        current = null;
                    }
                    if (current !== sender) {
                        invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                            `only the owner of ${PROGRAM_NAME} may call`);
                        return;
                    }
                    invocation.return_value(new GLib.Variant('(u)', [VERSION]));
                    if (args[0] !== VERSION) {
                        return;
                    }
                    forget();
                    owner = sender;
                    greeted = true;
                    pidOf(sender);
                    startReporting();
                }));
            return;
        }
        if (sender !== owner || !greeted) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                `only the owner of ${PROGRAM_NAME} may call, after Hello`);
            return;
        }
        if (method === 'Show') {
            const [frame, scale, x, y, width, height] = args;
            if (!whole(frame, 1, FRAME_COUNT) || !whole(scale, 1, MAX_SCALE) ||
                !whole(x, -FARTHEST, FARTHEST) || !whole(y, -FARTHEST, FARTHEST) ||
                !whole(width, 1, FRAME_WIDTH * scale) || !whole(height, 1, FRAME_HEIGHT * scale)) {
                invocation.return_dbus_error('org.freedesktop.DBus.Error.InvalidArgs',
                    'no such frame, scale or place');
                return;
            }
            showBird(frame, scale, x, y, width, height);
        } else if (method === 'Hide') {
            hideBird();
        } else if (method === 'ShowMenu') {
            const [x, y, items] = args;
            const sound = whole(x, -FARTHEST, FARTHEST) && whole(y, -FARTHEST, FARTHEST) &&
                items.length > 0 && items.length <= MENU_ITEMS_MAX &&
                items.every(([, label, kind]) => label.length <= LABEL_MAX &&
                    (kind === COMMAND || kind === SEPARATOR || kind === CHECK));
            if (!sound) {
                invocation.return_dbus_error('org.freedesktop.DBus.Error.InvalidArgs',
                    'a menu needs 1 to 32 items of known kinds and short labels');
                return;
            }
            showMenu(x, y, items);
        }
        invocation.return_value(null);
    }

    function pidOf(name) {
        Gio.DBus.session.call('org.freedesktop.DBus', '/org/freedesktop/DBus',
            'org.freedesktop.DBus', 'GetConnectionUnixProcessID', new GLib.Variant('(s)', [name]),
            new GLib.VariantType('(u)'), Gio.DBusCallFlags.NONE, 1000, null,
            guard('asking for the program', (connection, result) => {
                if (owner === name) {
                    [ownerPid] = connection.call_finish(result).deepUnpack();
                }
            }));
    }

    return {
        enable() {
            frames = loadFrames();
            bird = new BirdActor();
            bird.set_content_scaling_filters(Clutter.ScalingFilter.NEAREST,
                Clutter.ScalingFilter.NEAREST);
            // Above every window, below the overview, the panel, menus, notifications and the
            // lock screen.
            Main.layoutManager.uiGroup.insert_child_above(bird, global.window_group);
            bird.connect('button-press-event', guard('a press on the bird', (actor, event) => {
                const [stageX, stageY] = event.get_coords();
                const [, x, y] = actor.transform_stage_point(stageX, stageY);
                news('Pressed', '(uii)', [event.get_button(), Math.floor(x), Math.floor(y)]);
                return Clutter.EVENT_STOP;
            }));
            const info = Gio.DBusNodeInfo.new_for_xml(INTERFACE_XML).interfaces[0];
            const call = guard('a call from the program',
                (connection, sender, path, iface, method, parameters, invocation) =>
                    onCall(sender, method, parameters, invocation));
            exported = Gio.DBus.session.register_object(SHELL_PATH, info, call,
                null, null);
            watching = Gio.bus_watch_name_on_connection(Gio.DBus.session, PROGRAM_NAME,
                Gio.BusNameWatcherFlags.NONE, null,
                guard('the program leaving', () => {
                    owner = null;
                    forget();
                }));
            owned = Gio.bus_own_name_on_connection(Gio.DBus.session, SHELL_NAME,
                Gio.BusNameOwnerFlags.NONE, null, null);
        },

        disable() {
            if (owned !== 0) {
                Gio.bus_unown_name(owned);
                owned = 0;
            }
            if (watching !== 0) {
                Gio.bus_unwatch_name(watching);
                watching = 0;
            }
            if (exported !== 0) {
                Gio.DBus.session.unregister_object(exported);
                exported = 0;
            }
            owner = null;
            forget();
            if (bird !== null) {
                bird.destroy();
                bird = null;
            }
            frames = null;
        },
    };
}
