#!/usr/bin/env python3
"""Draws the package-box icon: package.ico and package-48.png for the
installer's window, icon-16/32/48/128.png for the browser extension.

The box is built from flat polygons and rasterised here with plain Python,
so the output depends on nothing but this file: the same bytes on every
machine. Each size has its own layout, snapped to the pixel grid, so the
small sizes stay sharp; the 16- and 256-colour images use the flat colours
only, and the 32-bit images add a smooth silhouette in the alpha channel.

package.ico holds twelve images: 48, 32, 24 and 16 pixels, each at 4, 8 and
32 bits per pixel. The 4- and 8-bit ones are classic DIBs with AND masks. A
32-bit one is a PNG file wherever that is smaller than the DIB, as it is at
every size (a fifth of the bytes or less): RuvoLinkLens.exe needs Windows
Vista or later, which reads PNG images in icons and makes their masks from
the alpha channel. Their directory entries still say 32 bits per pixel.

package-48.png is the 48-pixel image for the stand-alone window, whose
toolkit cannot read .ico files; the extension's icons are the 16-, 32- and
48-pixel images and a 128-pixel layout of their own. Each is the same PNG
bytes as the icon's image of that size.

The PNG files are compressed by the deflate encoder below rather than the
zlib module, whose output may change with its version or build.
"""

import bisect
import struct
import sys
import zlib
from pathlib import Path

SIZES = (48, 32, 24, 16)  # in package.ico, each at 4, 8 and 32 bits per pixel
EXTENSION_SIZES = (16, 32, 48, 128)

# Cardboard colours, lit from the upper left.
OUTLINE = (92, 58, 28)
EDGE = (139, 92, 46)
TOP = (232, 190, 132)
LEFT = (207, 154, 92)
RIGHT = (170, 116, 56)
TAPE_TOP = (247, 229, 190)
TAPE_SIDE = (228, 200, 148)
TAPE_EDGE = (196, 150, 92)
LABEL = (250, 247, 240)
LABEL_EDGE = (120, 84, 48)
LABEL_TEXT = (150, 138, 126)

# Box geometry per size: front corner of the lid (fx, fy), lid extent to the
# right (a) and to the left (b), side height (h), all in pixels; tape width
# (share of the lid), how far the tape runs down the side (share of the
# height), tape border (share of the lid, 0: none); shipping label on the
# right face (x from, x to right of the front edge, y from, y to below the
# face's top edge, in pixels; or None); line width (outline, the edges between
# the faces, the label's border and text), in whole pixels.
#
# The outline lies inside the box's outer edges, one line wide. With the outer
# corners on pixel edges (x whole), the front edge on a pixel centre (x half)
# and fy a quarter off the grid, the 2:1 edges fall into even two-pixel steps
# and the upright edges stay one line wide.
LAYOUTS = {
    128: dict(fx=56.5, fy=67.25, a=66.5, b=51.5, h=53.0, tape=0.24, drop=0.45,
              border=0.04, label=(22.5, 58.5, 12.0, 36.0), line=3),
    48: dict(fx=21.5, fy=25.25, a=24.5, b=19.5, h=20.0, tape=0.24, drop=0.45,
             border=0.04, label=(9.5, 21.5, 5.0, 13.0), line=1),
    32: dict(fx=14.5, fy=16.75, a=16.5, b=13.5, h=13.0, tape=0.24, drop=0.45,
             border=0.0, label=None, line=1),
    24: dict(fx=10.5, fy=12.25, a=12.5, b=9.5, h=10.0, tape=0.26, drop=0.45,
             border=0.0, label=None, line=1),
    16: dict(fx=6.5, fy=8.25, a=9.5, b=6.5, h=6.5, tape=0.34, drop=0.5,
             border=0.0, label=None, line=1),
}
SS = 8  # samples per pixel along each axis


def add(p, q):
    return (p[0] + q[0], p[1] + q[1])


def inset(poly, widths):
    """Moves each edge of a convex polygon inwards by its width in pixels.

    widths[i] belongs to the edge from poly[i] to poly[i + 1].
    """
    n = len(poly)
    cx = sum(p[0] for p in poly) / n
    cy = sum(p[1] for p in poly) / n
    lines = []
    for i in range(n):
        (x0, y0), (x1, y1) = poly[i], poly[(i + 1) % n]
        dx, dy = x1 - x0, y1 - y0
        length = (dx * dx + dy * dy) ** 0.5
        nx, ny = -dy / length, dx / length
        if (cx - x0) * nx + (cy - y0) * ny < 0:
            nx, ny = -nx, -ny
        # Measured along the nearer axis, so a sloped line is as many pixels
        # thick as an upright one.
        w = widths[i] * max(abs(nx), abs(ny))
        lines.append(((x0 + nx * w, y0 + ny * w), (dx, dy)))
    out = []
    for i in range(n):
        (p, d), (q, e) = lines[i - 1], lines[i]
        # p + s*d = q + t*e, solved for s.
        det = d[0] * -e[1] - d[1] * -e[0]
        s = ((q[0] - p[0]) * -e[1] - (q[1] - p[1]) * -e[0]) / det
        out.append((p[0] + s * d[0], p[1] + s * d[1]))
    return out


def bilinear(quad):
    """Maps (u, v) to a point of quad [p00, p10, p11, p01]."""
    p00, p10, p11, p01 = quad

    def point(u, v):
        return tuple(p00[k] * (1 - u) * (1 - v) + p10[k] * u * (1 - v)
                     + p11[k] * u * v + p01[k] * (1 - u) * v for k in range(2))
    return point


def box_shapes(size):
    """The box as (polygon, colour) pairs, painted in order."""
    g = LAYOUTS[size]
    o, e = g["line"], g["line"] / 2
    f = (g["fx"], g["fy"])
    r = add(f, (g["a"], -g["a"] / 2))   # right corner of the lid
    l = add(f, (-g["b"], -g["b"] / 2))  # left corner of the lid
    t = (r[0] + l[0] - f[0], r[1] + l[1] - f[1])  # far corner of the lid
    down = (0.0, g["h"])
    fd, rd, ld = add(f, down), add(r, down), add(l, down)

    outline = [t, r, rd, fd, ld, l]
    lid = inset([f, r, t, l], [e, o, o, e])
    left = inset([f, l, ld, fd], [e, o, o, e])
    right = inset([f, r, rd, fd], [e, o, o, e])
    shapes = [
        (outline, OUTLINE),
        (inset(outline, [o] * 6), EDGE),  # shows between the faces
        (lid, TOP),
        (left, LEFT),
        (right, RIGHT),
    ]

    # Tape over the seam where the two lid flaps meet: along the lid's long
    # side, then folded down over the left face.
    on_lid, on_left = bilinear(lid), bilinear(left)
    v0, v1 = 0.5 - g["tape"] / 2, 0.5 + g["tape"] / 2
    drop = g["drop"]

    def tape(c0, c1):
        return ([on_lid(0, c0), on_lid(1, c0), on_lid(1, c1), on_lid(0, c1)],
                [on_left(c0, 0), on_left(c1, 0), on_left(c1, drop), on_left(c0, drop)])

    top, side = tape(v0, v1)
    if g["border"]:
        shapes += [(top, TAPE_EDGE), (side, TAPE_EDGE)]
        b = g["border"]
        top, side = tape(v0 + b, v1 - b)
    shapes += [(top, TAPE_TOP), (side, TAPE_SIDE)]

    # A shipping label on the right face with two lines of "text". It is
    # placed in whole pixels from the front edge and from the face's top
    # edge, so its sloped lines fall into the same even steps as the box's.
    if g["label"]:
        x0, x1, y0, y1 = g["label"]
        k = g["line"]

        def patch(a0, a1, b0, b1):
            return [(f[0] + x, f[1] - x / 2 + y) for x, y in
                    ((a0, b0), (a1, b0), (a1, b1), (a0, b1))]

        shapes.append((patch(x0, x1, y0, y1), LABEL_EDGE))
        shapes.append((patch(x0 + k, x1 - k, y0 + k, y1 - k), LABEL))
        shapes.append((patch(x0 + 2 * k, x1 - 2 * k, y0 + 3 * k, y0 + 4 * k), LABEL_TEXT))
        shapes.append((patch(x0 + 2 * k, x1 - 4 * k, y0 + 5 * k, y0 + 6 * k), LABEL_TEXT))
    return shapes


def inside(poly, x, y):
    """Even-odd test of point (x, y) against a polygon."""
    hit = False
    n = len(poly)
    for i in range(n):
        x0, y0 = poly[i]
        x1, y1 = poly[(i + 1) % n]
        if (y0 > y) != (y1 > y):
            if x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                hit = not hit
    return hit


def bounds(poly):
    xs = [p[0] for p in poly]
    ys = [p[1] for p in poly]
    return min(xs), min(ys), max(xs), max(ys)


def rasterise(size, shapes):
    """Samples SS x SS points per pixel; each point takes the topmost shape.

    Returns the flat image, each pixel in the colour that covers most of its
    samples (so no blended colours and sharp inner lines), and the share of
    samples inside the box, 0..255, for a smooth silhouette.
    """
    boxed = [(poly, colour, bounds(poly)) for poly, colour in reversed(shapes)]
    flat, cover = [], []
    for py in range(size):
        frow, crow = [], []
        row_shapes = [s for s in boxed if s[2][1] <= py + 1 and s[2][3] >= py]
        for px in range(size):
            cell = [s for s in row_shapes if s[2][0] <= px + 1 and s[2][2] >= px]
            counts = {}
            for j in range(SS):
                y = py + (j + 0.5) / SS
                for i in range(SS):
                    x = px + (i + 0.5) / SS
                    colour = None
                    for poly, c, _ in cell:
                        if inside(poly, x, y):
                            colour = c
                            break
                    counts[colour] = counts.get(colour, 0) + 1
            # Ties go to the first colour in a fixed order, so output is stable.
            best = max(sorted(counts.items(), key=lambda kv: (kv[0] is None, kv[0] or ())),
                       key=lambda kv: kv[1])[0]
            frow.append((0, 0, 0, 0) if best is None else best + (255,))
            covered = SS * SS - counts.get(None, 0)
            crow.append((255 * covered + SS * SS // 2) // (SS * SS))
        flat.append(frow)
        cover.append(crow)
    return flat, cover


def despike(flat, cover):
    """Folds lone pixels that stick out above or below the box into it.

    Where two sloped edges meet at a pixel centre, the corner pixel would
    stand alone on the outline; it moves one step inwards, so the corner
    becomes a flat run of outline, and leaves both images.
    """
    size = len(flat)

    def filled(x, y):
        return 0 <= x < size and 0 <= y < size and flat[y][x][3] > 0

    flat_out = [list(row) for row in flat]
    cover_out = [list(row) for row in cover]
    for y in range(size):
        for x in range(size):
            if not filled(x, y) or filled(x - 1, y) or filled(x + 1, y):
                continue
            up, down = filled(x, y - 1), filled(x, y + 1)
            if up != down:
                flat_out[y + (1 if down else -1)][x] = flat[y][x]
                flat_out[y][x] = (0, 0, 0, 0)
                cover_out[y][x] = 0
    return flat_out, cover_out


def soften(flat, cover):
    """The flat image with the silhouette's coverage as alpha (32-bit image).

    Pixels that the flat image left empty but the box touches take the
    outline colour, faded by how much of them the box covers.
    """
    return [[(px[:3] if px[3] else OUTLINE) + (c,) if c else (0, 0, 0, 0)
             for px, c in zip(frow, crow)]
            for frow, crow in zip(flat, cover)]


# ---- palette images ---------------------------------------------------------

def opaque(px):
    return px[3] >= 128


def make_palette(image, limit):
    """Black first (the colour under transparent pixels), then the image's colours.

    The flat images use only the handful of colours above, so they always
    fit; a design change that breaks this must fail loudly.
    """
    colours = sorted({px[:3] for row in image for px in row if opaque(px)} - {(0, 0, 0)})
    if len(colours) >= limit:
        raise ValueError(f"{len(colours)} colours do not fit a {limit}-colour palette")
    palette = [(0, 0, 0)] + colours
    return palette + [(0, 0, 0)] * (limit - len(palette))


# ---- file formats -----------------------------------------------------------

def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def and_mask(image):
    """1 bit per pixel, bottom-up, set where the pixel is transparent."""
    out = b""
    for row in reversed(image):
        bits = bytearray((len(row) + 7) // 8)
        for x, px in enumerate(row):
            if not opaque(px):
                bits[x // 8] |= 0x80 >> (x % 8)
        out += pad4(bytes(bits))
    return out


def dib(image, depth):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, AND mask."""
    size = len(image)
    if depth == 32:
        palette_bytes = b""
        pixels = b"".join(
            bytes(b for px in row for b in (px[2], px[1], px[0], px[3]))
            for row in reversed(image))
    else:
        palette = make_palette(image, 1 << depth)
        palette_bytes = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
        index = {c: i for i, c in reversed(list(enumerate(palette)))}
        rows = []
        for row in reversed(image):
            idx = [index[px[:3]] if opaque(px) else 0 for px in row]
            if depth == 4:
                data = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, size, 2))
            else:
                data = bytes(idx)
            rows.append(pad4(data))
        pixels = b"".join(rows)
    mask = and_mask(image)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, depth, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + palette_bytes + pixels + mask


def ico(entries):
    """entries: (size, depth, image bytes: a DIB or a PNG file) in directory order."""
    offset = 6 + 16 * len(entries)
    directory, blobs = b"", b""
    for size, depth, blob in entries:
        colours = 16 if depth == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0,
                                 1, depth, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return struct.pack("<HHH", 0, 1, len(entries)) + directory + blobs


# ---- PNG ---------------------------------------------------------------------

def _code_ranges(first, extra_bits):
    """Base values of consecutive codes that carry the given extra bits."""
    bases, value = [], first
    for extra in extra_bits:
        bases.append(value)
        value += 1 << extra
    return bases


LENGTH_EXTRA = [0] * 8 + [e for e in range(1, 6) for _ in range(4)] + [0]
LENGTH_BASE = _code_ranges(3, LENGTH_EXTRA[:-1]) + [258]  # codes 257..285
DIST_EXTRA = [0, 0] + [e for e in range(14) for _ in range(2)]
DIST_BASE = _code_ranges(1, DIST_EXTRA)                     # codes 0..29
# The order in which the code length code's own lengths are sent.
CODE_LENGTH_ORDER = (16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15)
WINDOW = 32768
MAX_CHAIN = 128  # earlier positions tried for each match


def lz77(data):
    """Literals (ints) and (length, distance) matches, with one step of lazy
    matching: a match waits if the next byte starts a longer one."""
    chains = {}

    def longest(i):
        best, best_distance = 0, 0
        limit = min(258, len(data) - i)
        if limit < 3:
            return best, best_distance
        for j in reversed(chains.get(data[i:i + 3], ())[-MAX_CHAIN:]):
            if i - j > WINDOW:
                break
            n = 3
            while n < limit and data[j + n] == data[i + n]:
                n += 1
            if n > best:
                best, best_distance = n, i - j
                if n == limit:
                    break
        return best, best_distance

    def remember(i):
        chains.setdefault(data[i:i + 3], []).append(i)

    tokens, i = [], 0
    found = longest(0)
    while i < len(data):
        remember(i)
        ahead = longest(i + 1) if found[0] >= 3 else (0, 0)
        if found[0] >= 3 and ahead[0] <= found[0]:
            tokens.append(found)
            for k in range(i + 1, i + found[0]):
                remember(k)
            i += found[0]
            found = longest(i)
        else:
            tokens.append(data[i])
            i += 1
            found = ahead if ahead[0] else longest(i)
    return tokens


def code_lengths(freqs, limit):
    """Huffman code lengths of at most `limit` bits (package-merge).

    At least two symbols get a code, so that every code is complete, as
    zlib's inflate wants even where one symbol would do.
    """
    freqs = list(freqs)
    for s in range(len(freqs)):
        if sum(1 for f in freqs if f) >= 2:
            break
        if not freqs[s]:
            freqs[s] = 1
    leaves = sorted(((f, (s,)) for s, f in enumerate(freqs) if f), key=lambda item: item[0])
    row = leaves
    for _ in range(limit - 1):
        packages = [(row[k][0] + row[k + 1][0], row[k][1] + row[k + 1][1])
                    for k in range(0, len(row) - 1, 2)]
        row = sorted(leaves + packages, key=lambda item: item[0])
    lengths = [0] * len(freqs)
    for _, symbols in row[:2 * len(leaves) - 2]:
        for s in symbols:
            lengths[s] += 1
    return lengths


def canonical_codes(lengths):
    """The codes RFC 1951 assigns to the lengths, in symbol order."""
    codes, code = [0] * len(lengths), 0
    for n in range(1, max(lengths) + 1):
        for s, length in enumerate(lengths):
            if length == n:
                codes[s] = code
                code += 1
        code <<= 1
    return codes


def fold_runs(lengths):
    """Code lengths as (symbol, extra value, extra bits), runs folded into 16, 17, 18."""
    out, i = [], 0
    while i < len(lengths):
        length, run = lengths[i], 1
        while i + run < len(lengths) and lengths[i + run] == length:
            run += 1
        i += run
        if length == 0:
            while run >= 11:
                n = min(run, 138)
                out.append((18, n - 11, 7))
                run -= n
            if run >= 3:
                out.append((17, run - 3, 3))
                run = 0
        else:
            out.append((length, 0, 0))
            run -= 1
            while run >= 3:
                n = min(run, 6)
                out.append((16, n - 3, 2))
                run -= n
        out += [(length, 0, 0)] * run
    return out


class BitWriter:
    """Deflate's bit order: values from the lowest bit, Huffman codes from the highest."""

    def __init__(self):
        self.out, self.value, self.count = bytearray(), 0, 0

    def bits(self, value, count):
        self.value |= value << self.count
        self.count += count
        while self.count >= 8:
            self.out.append(self.value & 0xFF)
            self.value >>= 8
            self.count -= 8

    def code(self, code, length):
        self.bits(int(format(code, f"0{length}b")[::-1], 2), length)

    def finish(self):
        if self.count:
            self.out.append(self.value)
        return bytes(self.out)


def deflate(data):
    """One final block with dynamic Huffman codes (RFC 1951)."""
    symbols = []  # (literal/length symbol, extra value, extra bits, distance or None)
    for token in lz77(data) + [256]:
        if isinstance(token, int):
            symbols.append((token, 0, 0, None))
        else:
            length, distance = token
            k = bisect.bisect_right(LENGTH_BASE, length) - 1
            symbols.append((257 + k, length - LENGTH_BASE[k], LENGTH_EXTRA[k], distance))

    lit_freqs, dist_freqs = [0] * 286, [0] * 30
    for symbol, _, _, distance in symbols:
        lit_freqs[symbol] += 1
        if distance is not None:
            dist_freqs[bisect.bisect_right(DIST_BASE, distance) - 1] += 1
    lit_lengths = code_lengths(lit_freqs, 15)
    dist_lengths = code_lengths(dist_freqs, 15)
    hlit = max(257, max(s for s, n in enumerate(lit_lengths) if n) + 1)
    hdist = max(1, max(s for s, n in enumerate(dist_lengths) if n) + 1)
    runs = fold_runs(lit_lengths[:hlit] + dist_lengths[:hdist])

    cl_freqs = [0] * 19
    for symbol, _, _ in runs:
        cl_freqs[symbol] += 1
    cl_lengths = code_lengths(cl_freqs, 7)
    hclen = max(4, max(k for k, s in enumerate(CODE_LENGTH_ORDER) if cl_lengths[s]) + 1)

    out = BitWriter()
    out.bits(1, 1)  # final block
    out.bits(2, 2)  # dynamic Huffman codes
    out.bits(hlit - 257, 5)
    out.bits(hdist - 1, 5)
    out.bits(hclen - 4, 4)
    for s in CODE_LENGTH_ORDER[:hclen]:
        out.bits(cl_lengths[s], 3)
    cl_codes = canonical_codes(cl_lengths)
    for symbol, extra, extra_bits in runs:
        out.code(cl_codes[symbol], cl_lengths[symbol])
        out.bits(extra, extra_bits)
    lit_codes, dist_codes = canonical_codes(lit_lengths), canonical_codes(dist_lengths)
    for symbol, extra, extra_bits, distance in symbols:
        out.code(lit_codes[symbol], lit_lengths[symbol])
        out.bits(extra, extra_bits)
        if distance is not None:
            k = bisect.bisect_right(DIST_BASE, distance) - 1
            out.code(dist_codes[k], dist_lengths[k])
            out.bits(distance - DIST_BASE[k], DIST_EXTRA[k])
    return out.finish()


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def filtered(rows, kind):
    """The scanlines with one PNG filter type (0..4) on every row."""
    out, prior = bytearray(), bytes(len(rows[0]))
    for row in rows:
        out.append(kind)
        for i, x in enumerate(row):
            a = row[i - 4] if i >= 4 else 0
            b = prior[i]
            c = prior[i - 4] if i >= 4 else 0
            out.append((x - (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]) & 0xFF)
        prior = row
    return bytes(out)


def png(image):
    """An 8-bit RGBA PNG: IHDR, one IDAT and IEND, nothing else.

    Of the five filter types, used on every row, the one that compresses
    smallest wins; the first on a tie.
    """
    rows = [bytes(b for px in row for b in px) for row in image]
    packed, raw = min(((deflate(f), f) for f in (filtered(rows, kind) for kind in range(5))),
                      key=lambda candidate: len(candidate[0]))
    stream = b"\x78\xda" + packed + struct.pack(">I", zlib.adler32(raw))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))

    height, width = len(image), len(image[0])
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", stream) + chunk(b"IEND", b""))


def drawn(size):
    """The box at one size: the flat image and the 32-bit one."""
    flat, cover = despike(*rasterise(size, box_shapes(size)))
    return flat, soften(flat, cover)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: make_icon.py WINDOW-IMAGE-FOLDER EXTENSION-ICON-FOLDER\n")
        return 2
    window, extension = Path(argv[1]), Path(argv[2])
    entries, pngs = [], {}
    for size in SIZES:
        flat, smooth = drawn(size)
        pngs[size] = png(smooth)
        entries += [(size, 4, dib(flat, 4)), (size, 8, dib(flat, 8)),
                    (size, 32, min(dib(smooth, 32), pngs[size], key=len))]
    pngs[128] = png(drawn(128)[1])
    (window / "package.ico").write_bytes(ico(entries))
    (window / "package-48.png").write_bytes(pngs[48])
    for size in EXTENSION_SIZES:
        (extension / f"icon-{size}.png").write_bytes(pngs[size])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
