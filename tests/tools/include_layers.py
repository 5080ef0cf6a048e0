#!/usr/bin/env python3
"""Fails when the program's includes do not run one way: platform interfaces <- desktop helpers <-
settings <- bird window <- About window <- app <- a realisation's main; and, on Linux, the shared
Linux part <- X11 and <- Wayland, never X11 <-> Wayland. Also fails on any include circle between
files, and on a system or toolkit header in the portable logic.

Usage: include_layers.py SOURCE_DIR
"""

import os
import re
import sys

# Lower layers never include higher ones.
LAYERS = {"platform": 0, "desktop": 1, "settings": 2, "bird": 3, "about": 4, "app": 5}
REALISATIONS = (
    "platform/sim", "platform/win32", "platform/linux", "platform/x11", "platform/wayland")
# Within the Linux realisations: what each folder may include besides itself and the interfaces.
LINUX_ALLOWED = {
    "platform/linux": (),
    "platform/x11": ("platform/linux",),
    "platform/wayland": ("platform/linux",),
}
LOGIC = ("desktop", "settings", "bird", "about", "app")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def layer(path):
    if path.startswith(REALISATIONS):
        return 6
    return LAYERS.get(path.split("/", 1)[0])


def linux_folder(path):
    return next((f for f in LINUX_ALLOWED if path.startswith(f + "/")), None)


def main(root):
    graph, problems = {}, []
    for top in list(LAYERS) + list(REALISATIONS):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
                if layer(path) is None or path in graph:
                    continue
                with open(os.path.join(root, path), encoding="utf-8") as f:
                    text = f.read()
                graph[path] = []
                for kind, target in INCLUDE.findall(text):
                    if kind == "<":
                        # Standard headers have no extension; everything else is the system's.
                        if path.startswith(LOGIC) and ("." in target or "/" in target):
                            problems.append(f"{path}: system header <{target}> in portable logic")
                        continue
                    if layer(target) is None:
                        continue  # generated or asset headers
                    graph[path].append(target)
                    if layer(target) > layer(path):
                        problems.append(f"{path} includes {target}, which sits above it")
                    mine, theirs = linux_folder(path), linux_folder(target)
                    if mine and theirs and theirs != mine and theirs not in LINUX_ALLOWED[mine]:
                        problems.append(f"{path} includes {target}: {mine} never includes {theirs}")

    # Depth-first search for a circle among the files.
    state = {}

    def visit(node, stack):
        state[node] = "open"
        for nxt in graph.get(node, ()):
            if state.get(nxt) == "open":
                circle = stack[stack.index(nxt):] + [nxt] if nxt in stack else [node, nxt]
                problems.append("include circle: " + " -> ".join(circle))
            elif nxt not in state:
                visit(nxt, stack + [nxt])
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node, [node])

    for p in problems:
        print(p)
    print(f"{len(graph)} files checked, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
