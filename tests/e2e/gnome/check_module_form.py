#!/usr/bin/env python3
"""The extension's GNOME 45+ form, which no Shell here can load: gjs reads it as ES modules over
stand-ins for the Shell's own modules and for Cogl and St (GLib, Gio, GObject and mutter's
Clutter are real), and checks what a GNOME 45 Shell relies on: a default export that is a class with enable
and disable, built from the extension's metadata, and core.js's createBird, which registers the
bird's class and hands back enable and disable. Both forms' metadata name their GNOME versions.

  check_module_form.py EXTENSION_FOLDER (the build's gnome-extension/)"""

import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

UUID = "tapperbird@example.velmor.Tapperbird"

STUBS = {
    # Enough of each for the module to load.
    "Cogl.js": "export default {PixelFormat: {RGBA_8888: 19}};\n",
    "St.js": "export default {Side: {TOP: 0}};\n",
    "main.js": "export const layoutManager = {};\n",
    "popupMenu.js": "export class PopupMenu {}\n",
    "extension.js": "export class Extension {\n"
                    "    constructor(metadata) { this.metadata = metadata; this.path = metadata.path; }\n"
                    "}\n",
}

CHECK = """
import Extension from './extension.js';
import {createBird} from './core.js';
import GLib from 'gi://GLib';
import Gio from 'gi://Gio';
import GObject from 'gi://GObject';
import Clutter from 'gi://Clutter';
const fail = what => { printerr(what); imports.system.exit(1); };
if (typeof Extension !== 'function') fail('no default export class');
const extension = new Extension({uuid: '%s', path: '/nowhere'});
for (const name of ['enable', 'disable'])
    if (typeof extension[name] !== 'function') fail(`the extension has no ${name}()`);
if (extension.path !== '/nowhere') fail('the extension does not keep its metadata');
const bird = createBird({GLib, Gio, GObject, Clutter, folder: '/nowhere'});
if (typeof bird.enable !== 'function' || typeof bird.disable !== 'function')
    fail('createBird hands back no enable() and disable()');
print('ok');
""" % UUID


def main():
    built = sys.argv[1]
    for form, versions in (("legacy", ["43", "44"]), ("modules", ["45", "46", "47"])):
        with open(os.path.join(built, form, UUID, "metadata.json")) as f:
            metadata = json.load(f)
        if metadata["uuid"] != UUID or metadata["shell-version"] != versions:
            sys.exit(f"{form} metadata: {metadata}")
    with tempfile.TemporaryDirectory(prefix="tapperbird-gjs-") as temp:
        folder = os.path.join(temp, UUID)
        shutil.copytree(os.path.join(built, "modules", UUID), folder)
        os.makedirs(os.path.join(folder, "stubs"))
        for name, text in STUBS.items():
            with open(os.path.join(folder, "stubs", name), "w") as f:
                f.write(text)
        path = os.path.join(folder, "extension.js")
        with open(path) as f:
            text = f.read()
        for name in ("Cogl", "St"):
            text = text.replace(f"'gi://{name}'", f"'./stubs/{name}.js'")
        for shell in ("ui/main.js", "ui/popupMenu.js", "extensions/extension.js"):
            text = text.replace(f"'resource:///org/gnome/shell/{shell}'",
                                f"'./stubs/{os.path.basename(shell)}'")
        if "resource:///" in text or "gi://St" in text:
            sys.exit("extension.js imports a module this check does not stand in for")
        with open(path, "w") as f:
            f.write(text)
        with open(os.path.join(folder, "check.js"), "w") as f:
            f.write(CHECK)
        # mutter keeps its Clutter beside its own libraries, out of the usual paths.
        mutter = sorted(glob.glob("/usr/lib/*/mutter-*/Clutter-*.typelib"))
        if not mutter:
            sys.exit("mutter's Clutter is not installed (gnome-shell)")
        folder_of = os.path.dirname(mutter[-1])
        env = dict(os.environ, GI_TYPELIB_PATH=folder_of,
                   LD_LIBRARY_PATH=folder_of + ":" + os.environ.get("LD_LIBRARY_PATH", ""))
        r = subprocess.run(["gjs", "-m", os.path.join(folder, "check.js")], capture_output=True,
                           text=True, timeout=60, env=env)
        if r.returncode != 0 or r.stdout.strip() != "ok":
            sys.exit(f"gjs -m: {r.stdout}{r.stderr}")
    print("the GNOME 45+ form loads as ES modules")


if __name__ == "__main__":
    main()
