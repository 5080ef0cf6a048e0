#!/usr/bin/env python3
"""Writes the GNOME Shell extension in its two forms from one source: for GNOME 43 and 44
(imports.*) and for GNOME 45 and later (ES modules), each a folder named by the uuid, with the
bird's frames as raw RGBA (top row first) taken from the BMP frames the build drew."""
import argparse
import json
import struct
from pathlib import Path

FORMS = {"legacy": ("extension-legacy.js", ["43", "44"]),
         "modules": ("extension-module.js", ["45", "46", "47"])}


def bmp_to_rgba(data):
    """A 32-bit BMP (bottom-up or top-down, premultiplied BGRA) as straight RGBA, top row first."""
    if data[:2] != b"BM":
        raise SystemExit("not a BMP")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 32:
        raise SystemExit("not a 32-bit BMP")
    rows = [data[offset + r * width * 4: offset + (r + 1) * width * 4] for r in range(abs(height))]
    if height > 0:
        rows.reverse()
    out = bytearray()
    for row in rows:
        for x in range(width):
            b, g, r, a = row[x * 4: x * 4 + 4]
            if a not in (0, 255):  # our art has no partial alpha; unpremultiply anyway
                r, g, b = (min(255, c * 255 // a) for c in (r, g, b))
            out += bytes((r, g, b, a) if a else (0, 0, 0, 0))
    return bytes(out)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--source", required=True, type=Path)
    p.add_argument("--frames", required=True, type=Path, help="folder with frame1.bmp ... frame6.bmp")
    p.add_argument("--out", required=True, type=Path)
    p.add_argument("--uuid", required=True)
    p.add_argument("--interface-version", required=True)
    a = p.parse_args()
    core = (a.source / "core.js").read_text()
    template = (a.source / "metadata.json.in").read_text()
    for form, (entry, versions) in FORMS.items():
        folder = a.out / form / a.uuid
        (folder / "frames").mkdir(parents=True, exist_ok=True)
        (folder / "extension.js").write_text((a.source / entry).read_text())
        (folder / "core.js").write_text(core + ("\nexport {createBird};\n" if form == "modules" else ""))
        metadata = template.replace("@SHELL_VERSIONS@", ", ".join(json.dumps(v) for v in versions))
        metadata = metadata.replace("@INTERFACE_VERSION@", a.interface_version)
        json.loads(metadata)  # a typo in the template fails the build, not the Shell
        (folder / "metadata.json").write_text(metadata)
        for n in range(1, 7):
            (folder / "frames" / f"frame{n}.rgba").write_bytes(
                bmp_to_rgba((a.frames / f"frame{n}.bmp").read_bytes()))


if __name__ == "__main__":
    main()
