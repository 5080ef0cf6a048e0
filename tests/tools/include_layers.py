#!/usr/bin/env python3
"""Fails when the program's includes do not run one way: platform interfaces <- desktop helpers <-
settings <- bird window <- About window <- app <- a realisation's main. Also fails on any include
circle between files, and on a system or toolkit header in the portable logic.

Usage: include_layers.py SOURCE_DIR
"""

import os
import re
import sys

# Lower layers never include higher ones.
LAYERS = {"platform": 0, "desktop": 1, "settings": 2, "bird": 3, "about": 4, "app": 5}
REALISATIONS = ("platform/sim", "platform/win32", "platform/x11")
LOGIC = ("desktop", "settings", "bird", "about", "app")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def layer(path):
    if path.startswith(REALISATIONS):
        return 6
    return LAYERS.get(path.split("/", 1)[0])


def main(root):
    graph, problems = {}, []
    for top in list(LAYERS) + list(REALISATIONS):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
                if layer(path) is None:
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
