#!/usr/bin/env python3
"""Turns the text art in assets/art/ into the program's pictures: BMP frames, .ico, .cur, PNG.

Writes every picture into the output directory and one C++ source that embeds the same bytes, so the
files people look at are exactly what the program carries. Standard library only: the build runs it
on the build host, also when cross-compiling. Fails loudly when a drawing breaks a rule the
animation depends on.
"""

import argparse
import pathlib
import struct
import sys
import zlib

FRAME_W, FRAME_H = 43, 71
FRAME_COUNT = 6
BLACK, WHITE, RED = (0, 0, 0, 255), (255, 255, 255, 255), (255, 0, 0, 255)
DARK_RED, CHIP = (128, 0, 0, 255), (159, 159, 127, 255)
CLEAR = (0, 0, 0, 0)
FRAME_COLOURS = {BLACK, WHITE, RED, DARK_RED, CHIP, CLEAR}
CHIP_COUNTS = [0, 13, 15, 31, 20, 32]
# Opaque extent per frame: (first column, last column, first row, last row).
FRAME_EXTENTS = [(0, 34, 9, 70), (0, 30, 6, 70), (0, 34, 5, 70), (0, 38, 6, 70), (0, 42, 5, 70),
                 (0, 38, 6, 70)]
RAISED, STRIKING = "raised", "striking"
FRAME_POSES = [RAISED, STRIKING, RAISED, STRIKING, RAISED, STRIKING]
PIXELS_PER_METRE = 2834


class ArtError(Exception):
    pass


# ---------------------------------------------------------------------------------------------
# Reading the art

def parse_colour(words, where):
    if words == ["transparent"]:
        return CLEAR
    if len(words) == 3:
        rgb = [int(w) for w in words]
        if all(0 <= v <= 255 for v in rgb):
            return (*rgb, 255)
    raise ArtError(f"{where}: a colour is 'transparent' or three numbers 0..255")


def read_art(path):
    """Returns {name: picture}; a picture is a list of rows of RGBA tuples."""
    legend, pictures = {}, {}
    lines = path.read_text(encoding="utf-8").splitlines()
    i = 0
    while i < len(lines):
        where = f"{path.name}:{i + 1}"
        line = lines[i].rstrip()
        i += 1
        if not line or line.startswith("#"):
            continue
        words = line.split()
        if words[0] == "colour" and len(words) >= 3 and len(words[1]) == 1:
            legend[words[1]] = parse_colour(words[2:], where)
        elif words[0] == "picture" and len(words) == 3:
            name = words[1]
            try:
                w, h = (int(v) for v in words[2].split("x"))
            except ValueError:
                raise ArtError(f"{where}: size must read WIDTHxHEIGHT") from None
            if name in pictures:
                raise ArtError(f"{where}: picture {name} drawn twice")
            rows = []
            for y in range(h):
                if i >= len(lines):
                    raise ArtError(f"{path.name}: picture {name} ends after {y} of {h} rows")
                row = lines[i].rstrip("\n")
                if len(row) != w:
                    raise ArtError(f"{path.name}:{i + 1}: row {y} of {name} is {len(row)} wide, not {w}")
                bad = set(row) - legend.keys()
                if bad:
                    raise ArtError(f"{path.name}:{i + 1}: {''.join(sorted(bad))} not in the legend")
                rows.append([legend[ch] for ch in row])
                i += 1
            pictures[name] = rows
        else:
            raise ArtError(f"{where}: expected 'colour', 'picture' or a comment")
    return pictures


def size_of(picture):
    return len(picture[0]), len(picture)


def scale(picture, factor):
    """Nearest-neighbour enlargement by a whole factor."""
    return [[px for px in row for _ in range(factor)] for row in picture for _ in range(factor)]


# ---------------------------------------------------------------------------------------------
# Rules the frames must keep: the animation, the perch placement and the presentation rely on them.

def opaque(picture):
    return {(x, y) for y, row in enumerate(picture) for x, px in enumerate(row) if px[3]}


def of_colour(picture, colour):
    return {(x, y) for y, row in enumerate(picture) for x, px in enumerate(row) if px == colour}


def without_chips(picture):
    return [[CLEAR if px == CHIP else px for px in row] for row in picture]


def verify_frames(frames):
    errors = []

    def check(ok, message):
        if not ok:
            errors.append(message)

    if len(frames) != FRAME_COUNT:
        raise ArtError(f"expected {FRAME_COUNT} frames, found {len(frames)}")
    for n, frame in enumerate(frames, start=1):
        if size_of(frame) != (FRAME_W, FRAME_H):
            raise ArtError(f"frame {n} is {size_of(frame)}, not {FRAME_W}x{FRAME_H}")
        colours = {px for row in frame for px in row}
        check(colours <= FRAME_COLOURS, f"frame {n}: colours outside the palette: {colours - FRAME_COLOURS}")
        solid = opaque(frame)
        xs, ys = [p[0] for p in solid], [p[1] for p in solid]
        extent = (min(xs), max(xs), min(ys), max(ys))
        check(extent == FRAME_EXTENTS[n - 1], f"frame {n}: opaque extent {extent}, want {FRAME_EXTENTS[n - 1]}")
        chips = of_colour(frame, CHIP)
        check(len(chips) == CHIP_COUNTS[n - 1], f"frame {n}: {len(chips)} chip pixels, want {CHIP_COUNTS[n - 1]}")
        body = solid - chips
        check(all(y >= 9 for _, y in body), f"frame {n}: body pixels above row 9")
        check(all(x <= 34 for x, _ in body), f"frame {n}: body pixels right of column 34")
        reach = 34 if FRAME_POSES[n - 1] == RAISED else 30
        check(max(x for x, _ in body) == reach, f"frame {n}: body should reach column {reach}")
        edge = [frame[y][x] for x, y in body if x == 0]
        check(edge and all(px == DARK_RED for px in edge), f"frame {n}: column 0 must hold claws and only claws")
        bottom = sorted(x for x, y in solid if y == FRAME_H - 1)
        want_tail = [4, 5, 6] if FRAME_POSES[n - 1] == RAISED else [6, 7]
        check(bottom == want_tail, f"frame {n}: tail ends at columns {bottom} on the bottom row, want {want_tail}")
        dark = of_colour(frame, DARK_RED)
        claws = {(x, y) for x, y in dark if 24 <= y <= 38 and x <= 6}
        beak = dark - claws
        check(claws and all(x <= 6 and 24 <= y <= 38 for x, y in claws), f"frame {n}: claws misplaced")
        if FRAME_POSES[n - 1] == RAISED:
            in_box = all(13 <= x <= 21 and 9 <= y <= 13 for x, y in beak)
            tip = min(beak, key=lambda p: (p[0], p[1]))
            check(in_box and tip == (13, 9), f"frame {n}: raised beak must lie in columns 13-21, rows 9-13, tip (13, 9)")
        else:
            in_box = all(5 <= x <= 13 and y in (13, 14) for x, y in beak)
            check(in_box and min(x for x, _ in beak) == 5 and max(x for x, _ in beak) == 13,
                  f"frame {n}: striking beak must lie in rows 13-14, columns 5-13, tip at column 5")
    if errors:
        raise ArtError("\n".join(errors))

    bodies = [without_chips(f) for f in frames]
    chips = [of_colour(f, CHIP) for f in frames]
    for a, b in [(1, 3), (1, 5), (4, 6)]:
        check(bodies[a - 1] == bodies[b - 1], f"frames {a} and {b} must differ only in chips")
    diff = {(x, y) for y in range(FRAME_H) for x in range(FRAME_W) if bodies[1][y][x] != bodies[3][y][x]}
    check(len(diff) == 2 and all(RED in (bodies[1][y][x], bodies[3][y][x]) for x, y in diff),
          f"frames 2 and 4 must differ in chips and exactly two under-tail pixels, not {sorted(diff)}")
    for small, big in [(2, 4), (4, 6), (3, 5)]:
        check(chips[small - 1] <= chips[big - 1], f"the chips of frame {small} must reappear in frame {big}")
    if errors:
        raise ArtError("\n".join(errors))


# ---------------------------------------------------------------------------------------------
# Encoders

def bmp32(picture, trailing=0):
    """A bottom-up BGRA BMP with premultiplied colours (alpha is 0 or 255 in our art)."""
    w, h = size_of(picture)
    pixels = bytearray()
    for row in reversed(picture):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a)) if a else bytes(4)
    pixels += bytes(trailing)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 32, 0, len(pixels), PIXELS_PER_METRE,
                       PIXELS_PER_METRE, 0, 0)
    return header + info + bytes(pixels)


def and_mask(picture):
    """1 bit per pixel, set where the pixel is transparent; rows padded to 4 bytes, bottom-up."""
    w, _ = size_of(picture)
    stride = (w + 31) // 32 * 4
    out = bytearray()
    for row in reversed(picture):
        line = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def dib_header(w, h, bpp, colours_used=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bpp, 0, 0, 0, 0, colours_used, 0)


def icon_image(picture, bpp):
    """One image of an .ico: header, optional palette, colour bits, AND mask."""
    w, h = size_of(picture)
    if bpp == 8:
        palette = [CLEAR[:3]]
        index = {}
        for row in picture:
            for px in row:
                if px[3] >= 128 and px[:3] not in index:
                    index[px[:3]] = len(palette)
                    palette.append(px[:3])
        if len(palette) > 256:
            raise ArtError("an 8-bit icon image needs at most 255 colours")
        stride = (w + 3) // 4 * 4
        bits = bytearray()
        for row in reversed(picture):
            line = bytearray(stride)
            for x, px in enumerate(row):
                line[x] = index[px[:3]] if px[3] >= 128 else 0
            bits += line
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) + bytes(4 * (256 - len(palette)))
        return dib_header(w, h, 8) + table + bytes(bits) + and_mask(picture)
    if bpp == 32:
        bits = bytearray()
        for row in reversed(picture):
            for r, g, b, a in row:
                bits += bytes((b, g, r, a)) if a else bytes(4)
        return dib_header(w, h, 32) + bytes(bits) + and_mask(picture)
    raise ArtError(f"no icon encoder for {bpp} bits")


def ico(images):
    """images: list of (picture, bpp) in directory order."""
    blobs = [icon_image(p, bpp) for p, bpp in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for (picture, bpp), blob in zip(images, blobs):
        w, h = size_of(picture)
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


def cur_monochrome(picture, hotspot):
    """A one-image .cur: black, white and transparent pixels; anything else is an error."""
    w, h = size_of(picture)
    stride = (w + 31) // 32 * 4
    xor = bytearray()
    for row in reversed(picture):
        line = bytearray(stride)
        for x, px in enumerate(row):
            if px not in (BLACK, WHITE, CLEAR):
                raise ArtError("the cursor may use only black, white and transparent")
            if px == WHITE:
                line[x // 8] |= 0x80 >> (x % 8)
        xor += line
    table = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    blob = (struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 1, 0, 0, 0, 0, 2, 0) + table +
            bytes(xor) + and_mask(picture))
    x, y = hotspot
    return (struct.pack("<HHH", 0, 2, 1) +
            struct.pack("<BBBBHHII", w % 256, h % 256, 2, 0, x, y, len(blob), 22) + blob)


def png(picture):
    w, h = size_of(picture)
    raw = bytearray()
    for row in picture:
        raw.append(0)
        for px in row:
            raw += bytes(px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def contact_sheet(frames, zoom=8, grey=(128, 128, 128, 255)):
    """The frames side by side on mid-grey, a one-pixel margin around each, enlarged."""
    gap = 1
    w = gap + len(frames) * (FRAME_W + gap)
    h = FRAME_H + 2 * gap
    sheet = [[grey] * w for _ in range(h)]
    for n, frame in enumerate(frames):
        left = gap + n * (FRAME_W + gap)
        for y, row in enumerate(frame):
            for x, px in enumerate(row):
                if px[3]:
                    sheet[gap + y][left + x] = px
    return scale(sheet, zoom)


# ---------------------------------------------------------------------------------------------
# The embedding source

def cpp_array(name, data):
    lines = []
    for i in range(0, len(data), 24):
        lines.append("    " + ", ".join(f"0x{b:02x}" for b in data[i:i + 24]) + ",")
    return f"constexpr std::uint8_t {name}[] = {{\n" + "\n".join(lines) + "\n};\n"


def write_cpp(path, blobs):
    frames = ", ".join(f"Bytes(kFrame{n})" for n in range(1, FRAME_COUNT + 1))

    def switch(func, prefix, sizes):
        cases = "".join(f"        case {s}:\n            return Bytes({prefix}{s});\n" for s in sizes)
        return (f"Bytes {func}(int size) {{\n    switch (size) {{\n{cases}        default:\n"
                f"            return {{}};\n    }}\n}}\n")

    text = ["// Generated by assets/generate.py from the text art in assets/art/. Do not edit.\n",
            '#include "assets/assets.h"\n\n#include <array>\n\nnamespace tb::assets {\nnamespace {\n\n']
    text += [cpp_array(name, data) + "\n" for name, data in blobs.items()]
    text.append(f"const std::array<Bytes, {FRAME_COUNT}> kFrames = {{{frames}}};\n\n}}  // namespace\n\n")
    text.append(f"Bytes FrameBmp(int index) {{\n    if (index < 1 || index > {FRAME_COUNT}) {{\n"
                "        return {};\n    }\n    return kFrames[static_cast<std::size_t>(index - 1)];\n}\n\n")
    for func, name in [("AppIconIco", "kAppIco"), ("AboutIconIco", "kAboutIco"),
                       ("HandCursorCur", "kHandCur"), ("DonateBmp", "kDonateBmp"),
                       ("DonatePng", "kDonatePng"), ("HandCursorPng", "kHandPng")]:
        text.append(f"Bytes {func}() {{\n    return Bytes({name});\n}}\n\n")
    text.append(switch("AppIconPng", "kAppPng", APP_PNG_SIZES) + "\n")
    text.append(switch("AboutIconPng", "kAboutPng", ABOUT_SIZES) + "\n")
    text.append("}  // namespace tb::assets\n")
    content = "".join(text)
    if not path.exists() or path.read_text() != content:
        path.write_text(content)


# ---------------------------------------------------------------------------------------------

APP_PNG_SIZES = [16, 32, 48, 128, 256]
ABOUT_SIZES = [48, 32, 16]
HAND_HOTSPOT = (5, 0)


def need(pictures, name, size, source):
    if name not in pictures:
        raise ArtError(f"{source}: picture {name} is missing")
    if size_of(pictures[name]) != size:
        raise ArtError(f"{source}: picture {name} must be {size[0]}x{size[1]}")
    return pictures[name]


def app_icon_picture(pictures, size):
    """The drawn sizes are used as they are; the large ones enlarge the 32 px drawing."""
    if size in (16, 32, 48):
        return need(pictures, f"app{size}", (size, size), "app_icon.txt")
    return scale(need(pictures, "app32", (32, 32), "app_icon.txt"), size // 32)


def build(art_dir, out_dir, cpp_path):
    frame_art = read_art(art_dir / "frames.txt")
    frames = [need(frame_art, f"frame{n}", (FRAME_W, FRAME_H), "frames.txt")
              for n in range(1, FRAME_COUNT + 1)]
    verify_frames(frames)
    app = read_art(art_dir / "app_icon.txt")
    about = read_art(art_dir / "about_icon.txt")
    hand = need(read_art(art_dir / "hand.txt"), "hand", (32, 32), "hand.txt")
    donate = need(read_art(art_dir / "donate.txt"), "donate", (62, 31), "donate.txt")
    if hand[HAND_HOTSPOT[1]][HAND_HOTSPOT[0]][3] == 0:
        raise ArtError("hand.txt: the hot spot must be on the fingertip, an opaque pixel")

    app_pics = {s: app_icon_picture(app, s) for s in APP_PNG_SIZES}
    about_pics = {s: need(about, f"about{s}", (s, s), "about_icon.txt") for s in ABOUT_SIZES}

    files = {f"frame{n}.bmp": bmp32(f, trailing=2) for n, f in enumerate(frames, start=1)}
    files["tapperbird.ico"] = ico([(app_pics[48], 8), (app_pics[32], 8), (app_pics[16], 8),
                                   (app_pics[48], 32), (app_pics[32], 32), (app_pics[16], 32),
                                   (app_pics[128], 8)])
    files["about.ico"] = ico([(about_pics[s], bpp) for s in ABOUT_SIZES for bpp in (8, 32)])
    files["hand.cur"] = cur_monochrome(hand, HAND_HOTSPOT)
    files["hand.png"] = png(hand)
    files["donate.bmp"] = bmp32(donate)
    files["donate.png"] = png(donate)
    for s in APP_PNG_SIZES:
        files[f"tapperbird-{s}.png"] = png(app_pics[s])
    for s in ABOUT_SIZES:
        files[f"about-{s}.png"] = png(about_pics[s])

    out_dir.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        target = out_dir / name
        if not target.exists() or target.read_bytes() != data:
            target.write_bytes(data)
    (out_dir / "frames.png").write_bytes(png(contact_sheet(frames)))

    blobs = {f"kFrame{n}": files[f"frame{n}.bmp"] for n in range(1, FRAME_COUNT + 1)}
    blobs.update(kAppIco=files["tapperbird.ico"], kAboutIco=files["about.ico"],
                 kHandCur=files["hand.cur"], kHandPng=files["hand.png"],
                 kDonateBmp=files["donate.bmp"], kDonatePng=files["donate.png"])
    blobs.update({f"kAppPng{s}": files[f"tapperbird-{s}.png"] for s in APP_PNG_SIZES})
    blobs.update({f"kAboutPng{s}": files[f"about-{s}.png"] for s in ABOUT_SIZES})
    write_cpp(cpp_path, blobs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--art", type=pathlib.Path, required=True, help="the assets/art directory")
    parser.add_argument("--out", type=pathlib.Path, required=True, help="where the pictures go")
    parser.add_argument("--cpp", type=pathlib.Path, required=True, help="the embedding source to write")
    args = parser.parse_args()
    try:
        build(args.art, args.out, args.cpp)
    except ArtError as error:
        sys.exit(f"assets: the art breaks a rule:\n{error}")


if __name__ == "__main__":
    main()
