// The extension as GNOME Shell 43 and 44 load it (imports.*); the bird itself is in core.js.
const {GLib, Gio, GObject, Clutter, Cogl, St} = imports.gi;
const Main = imports.ui.main;
const PopupMenu = imports.ui.popupMenu;
const Me = imports.misc.extensionUtils.getCurrentExtension();

function init() {
    return Me.imports.core.createBird(
        {GLib, Gio, GObject, Clutter, Cogl, St, Main, PopupMenu, folder: Me.path});
}
