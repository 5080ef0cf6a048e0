// The extension as GNOME Shell 45 and later load it (ES modules); the bird itself is in core.js.
import GLib from 'gi://GLib';
import Gio from 'gi://Gio';
import GObject from 'gi://GObject';
import Clutter from 'gi://Clutter';
import Cogl from 'gi://Cogl';
import St from 'gi://St';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as PopupMenu from 'resource:///org/gnome/shell/ui/popupMenu.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {createBird} from './core.js';

export default class TapperbirdExtension extends Extension {
    enable() {
        this._bird ??= createBird(
            {GLib, Gio, GObject, Clutter, Cogl, St, Main, PopupMenu, folder: this.path});
        this._bird.enable();
    }

    disable() {
        this._bird?.disable();
    }
}
