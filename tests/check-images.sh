#!/usr/bin/env bash
# Checks the window's images in src/window/images: the banner's format, size
# and layout, the icon file's twelve entries, the 48-pixel PNG, and that
# tools/make-images reproduces them and the browser extension's icons: the icon
# and PNGs, our own Python's bytes, byte for byte; the banner, drawn by the system's
# ImageMagick with a system font, pixel by pixel within a tolerance.
# Needs python3 and ImageMagick (convert). Exits non-zero on any failure.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
images=$root/src/window/images
status=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$root/tools/make-images" "$tmp" || { echo "FAIL - tools/make-images failed"; status=1; }

echo "== format and content of $images, and the banner tools/make-images draws now"
python3 - "$images" "$root/tools" "$tmp" <<'PY' || status=1
import struct
import subprocess
import sys
import zlib
from pathlib import Path

images, tools, fresh = Path(sys.argv[1]), sys.argv[2], Path(sys.argv[3])
failures = 0


def check(name, ok, detail=""):
    global failures
    print(("ok   - " if ok else "FAIL - ") + name + ("" if ok else f"  [{detail}]"))
    if not ok:
        failures += 1
    return ok


def decode(path, fmt):
    """Pixels through ImageMagick, an independent decoder."""
    return subprocess.run(["convert", str(path), "-depth", "8", f"{fmt}:-"],
                          capture_output=True, check=True).stdout


# ---- banner.jpg -------------------------------------------------------------
W, H = 377, 41
jpeg = (images / "banner.jpg").read_bytes()
check("banner: JPEG start and end markers",
      jpeg[:2] == b"\xff\xd8" and jpeg[-2:] == b"\xff\xd9")
markers, sof, i = [], None, 2
while i + 4 <= len(jpeg) and jpeg[i] == 0xFF and jpeg[i + 1] != 0xDA:
    marker, length = jpeg[i + 1], struct.unpack(">H", jpeg[i + 2:i + 4])[0]
    markers.append(marker)
    if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
        sof = (marker, jpeg[i + 4:i + 2 + length])
    i += 2 + length
check("banner: segments parse up to the scan", jpeg[i:i + 2] == b"\xff\xda", f"stopped at {i}")
check("banner: baseline frame (SOF0), not progressive or other",
      sof is not None and sof[0] == 0xC0, f"frame marker {sof and hex(sof[0])}")
if sof:
    precision, height, width, ncomp = struct.unpack(">BHHB", sof[1][:6])
    check("banner: 377 x 41 pixels", (width, height) == (W, H), f"{width} x {height}")
    check("banner: 8-bit samples", precision == 8, f"{precision} bits")
    check("banner: YCbCr (3 components) or greyscale (1)", ncomp in (1, 3), f"{ncomp}")
    check("banner: JFIF header (colour components are YCbCr)",
          ncomp == 1 or (0xE0 in markers and 0xEE not in markers), f"markers {markers}")
extra = [hex(m) for m in markers if 0xE1 <= m <= 0xEF or m == 0xFE]
check("banner: no metadata or comment segments", not extra, f"{extra}")

rgb = decode(images / "banner.jpg", "rgb")
check("banner: decodes to 377 x 41 RGB", len(rgb) == W * H * 3, f"{len(rgb)} bytes")
if len(rgb) == W * H * 3:
    def px(x, y):
        return rgb[(y * W + x) * 3:(y * W + x) * 3 + 3]

    def mean(p):
        return sum(p) / 3

    def spread(p):  # 0 for neutral grey, large for a strong colour
        return max(p) - min(p)

    def row_mean(y):
        return sum(mean(px(x, y)) for x in range(W)) / W

    row0 = [px(x, 0) for x in range(W)]
    check("banner: row 0 is white", all(min(p) >= 250 for p in row0),
          f"darkest {min(min(p) for p in row0)}")
    rule = [px(x, 39) for x in range(W)]
    check("banner: row 39 is a light grey rule across the full width",
          all(150 <= mean(p) <= 235 and spread(p) <= 12 for p in rule),
          f"range {min(map(mean, rule)):.0f}..{max(map(mean, rule)):.0f}, "
          f"max spread {max(map(spread, rule))}")
    check("banner: the rule is one pixel high (rows 38 and 40 lighter)",
          row_mean(38) - row_mean(39) >= 20 and row_mean(40) - row_mean(39) >= 20,
          f"means {row_mean(38):.0f} / {row_mean(39):.0f} / {row_mean(40):.0f}")

    # Where the two drawings may lie (the layout boxes plus two pixels for
    # the compression's ringing); everything else above the rule is white.
    mark_box = (5, 6, 74, 31)
    text_box = (176, 22, 360, 38)

    def inside(box, x, y):
        return box[0] <= x <= box[2] and box[1] <= y <= box[3]

    stray = [(x, y) for y in range(38) for x in range(W)
             if not inside(mark_box, x, y) and not inside(text_box, x, y)
             and min(px(x, y)) < 235]
    check("banner: white outside the wordmark and the product line", not stray,
          f"{len(stray)} pixels, first {stray[:3]}")

    mark = [px(x, y) for y in range(8, 30) for x in range(7, 73)]
    check("banner: wordmark in a strong colour in columns 7..72, rows 8..29",
          sum(spread(p) >= 100 for p in mark) >= 150,
          f"{sum(spread(p) >= 100 for p in mark)} strongly coloured pixels")

    text = [(x, y) for y in range(24, 37) for x in range(178, 359)]
    ink = [(x, y) for x, y in text if mean(px(x, y)) < 200]
    check("banner: product line is grey, not coloured",
          all(spread(px(x, y)) <= 16 for x, y in text),
          f"max spread {max(spread(px(x, y)) for x, y in text)}")
    check("banner: product line is light grey letters (none darker than 120)",
          ink and min(mean(px(x, y)) for x, y in ink) >= 120,
          f"{len(ink)} ink pixels, darkest {ink and min(mean(px(x, y)) for x, y in ink)}")
    check("banner: product line spans columns 178..358 in the lower half",
          len(ink) >= 200 and min(x for x, _ in ink) <= 182 and max(x for x, _ in ink) >= 354
          and min(y for _, y in ink) >= 21,
          f"{len(ink)} ink pixels in columns "
          f"{ink and min(x for x, _ in ink)}..{ink and max(x for x, _ in ink)}")

# ---- package.ico ------------------------------------------------------------
ico = (images / "package.ico").read_bytes()
reserved, kind, count = struct.unpack("<HHH", ico[:6])
check("icon: ICO header (reserved 0, type 1)", (reserved, kind) == (0, 1), f"{reserved}, {kind}")
check("icon: exactly 12 images", count == 12, f"{count}")
expected = [(s, b) for s in (48, 32, 24, 16) for b in (4, 8, 32)]
entries = [struct.unpack("<BBBBHHII", ico[6 + 16 * k:22 + 16 * k]) for k in range(count)]
check("icon: 48, 32, 24, 16 pixels, each at 4, 8 and 32 bits, in that order",
      [(e[0], e[5]) for e in entries] == expected and all(e[0] == e[1] for e in entries),
      f"{[(e[0], e[1], e[5]) for e in entries]}")


def read_png(data):
    """Chunk types, width, height and RGBA rows of an 8-bit RGBA PNG, inflated by
    zlib and unfiltered here. ValueError for anything else."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    kinds, header, idat, i = [], None, b"", 8
    while i < len(data):
        n, kind = struct.unpack(">I4s", data[i:i + 8])
        body, crc = data[i + 8:i + 8 + n], data[i + 8 + n:i + 12 + n]
        if len(crc) != 4 or crc != struct.pack(">I", zlib.crc32(kind + body)):
            raise ValueError(f"chunk {kind} cut short or its CRC wrong")
        kinds.append(kind.decode("latin-1"))
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        idat += body if kind == b"IDAT" else b""
        i += 12 + n
    if header is None:
        raise ValueError("no IHDR chunk")
    width, height, *form = header
    if form != [8, 6, 0, 0, 0]:
        raise ValueError(f"depth, colour type, compression, filter, interlace {form}")
    raw, stride, rows = zlib.decompress(idat), 4 * width, []
    if len(raw) != height * (stride + 1):
        raise ValueError(f"{len(raw)} bytes of scanlines for {width} x {height}")
    prior = bytes(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        method, row = line[0], bytearray(line[1:])
        for x in range(stride):
            a, b, c = (row[x - 4] if x >= 4 else 0), prior[x], (prior[x - 4] if x >= 4 else 0)
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            paeth = a if pa <= pb and pa <= pc else b if pb <= pc else c
            row[x] = (row[x] + (0, a, b, (a + b) // 2, paeth)[method]) & 0xFF
        rows.append(bytes(row))
        prior = row
    return kinds, width, height, rows


# The 4- and 8-bit images are classic DIBs with AND masks; the 32-bit ones are PNG
# files, each smaller than its DIB would be, whose pixels are the generator's own.
sys.path.insert(0, tools)
import make_icon  # noqa: E402

offset = 6 + 16 * count
blobs = []
for index, (w, h, colours, res, planes, bpp, size, start) in enumerate(entries):
    problems = []

    def need(ok, what):
        if not ok:
            problems.append(what)
        return ok

    need((colours, res, planes) == ((16 if bpp == 4 else 0), 0, 1),
         f"directory colour count/reserved/planes {colours}/{res}/{planes}")
    need(start == offset, f"data at {start}, expected {offset} (right after the previous entry)")
    offset = start + size
    blob = ico[start:start + size]
    blobs.append(blob)
    stride = ((w * bpp + 31) // 32) * 4
    mask_stride = ((w + 31) // 32) * 4
    palette = (4 << bpp) if bpp <= 8 else 0
    dib_size = 40 + palette + stride * h + mask_stride * h
    readable = need(len(blob) == size and size >= 40, "data runs past the end of the file")
    if readable and bpp == 32:
        try:
            kinds, pw, ph, rows = read_png(blob)
        except (ValueError, IndexError, zlib.error, struct.error) as error:
            need(False, f"not a PNG the check can read: {error}")
        else:
            need(kinds == ["IHDR", "IDAT", "IEND"], f"chunks {kinds}")
            need((pw, ph) == (w, h), f"PNG of {pw} x {ph}")
            need(size < dib_size, f"{size} bytes, no smaller than the {dib_size}-byte DIB")
            drawn = [bytes(b for px in row for b in px) for row in make_icon.drawn(w)[1]]
            wrong = [(x, y) for y in range(min(h, len(rows))) for x in range(w)
                     if rows[y][4 * x:4 * x + 4] != drawn[y][4 * x:4 * x + 4]]
            need(not wrong and len(rows) == h,
                 f"{len(wrong)} pixels differ from the generator's, first {wrong[:3]}")

            def transparent(x, y):
                return rows[y][4 * x + 3] < 128

            def colour(x, y):  # R, G, B
                return tuple(rows[y][4 * x:4 * x + 3])
    elif readable:
        hsize, bw, bh, bplanes, bbits, compression = struct.unpack("<IiiHHI", blob[:20])
        need((hsize, bw, bh, bplanes, bbits, compression) == (40, w, 2 * h, 1, bpp, 0),
             f"DIB header size {hsize}, {bw}x{bh}, planes {bplanes}, {bbits} bits, "
             f"compression {compression}")
        need(size == dib_size, f"{size} bytes, expected {dib_size}")
        pal = blob[40:40 + palette]
        xor = blob[40 + palette:40 + palette + stride * h]
        mask = blob[40 + palette + stride * h:]

        def transparent(x, y):  # rows are stored bottom-up
            row = mask[(h - 1 - y) * mask_stride:]
            return bool(row[x // 8] & (0x80 >> (x % 8)))

        def colour(x, y):  # R, G, B
            row = xor[(h - 1 - y) * stride:]
            i = row[x] if bpp == 8 else (row[x // 2] >> (0 if x % 2 else 4)) & 15
            return tuple(pal[4 * i:4 * i + 3][::-1])

        if not problems:
            bad = [(x, y) for y in range(h) for x in range(w)
                   if transparent(x, y) and colour(x, y) != (0, 0, 0)]
            need(not bad, f"see-through pixels not black at {bad[:3]}")
    if not problems:
        clear = sum(transparent(x, y) for y in range(h) for x in range(w))
        need(transparent(0, 0) and transparent(w - 1, h - 1) and not transparent(w // 2, h // 2)
             and 0.15 * w * h < clear < 0.6 * w * h,
             f"{clear} of {w * h} pixels see-through, corners/centre wrong")
        box = colour(w // 2, h // 2)
        need(box[0] > box[1] > box[2], f"centre RGB {box} is not brown/tan")
    form = ("PNG (8-bit RGBA, no other chunks), smaller than a DIB, the generator's pixels"
            if bpp == 32 else "DIB header (width, height*2, bpp, BI_RGB), size, palette, AND mask")
    check(f"icon #{index} {w}x{h} {bpp}-bit: directory entry, {form}", not problems,
          "; ".join(problems))
check("icon: the last entry ends at the end of the file", offset == len(ico),
      f"{offset} vs {len(ico)}")

sizes = [subprocess.run(["identify", "-format", "%wx%h", f"{images / 'package.ico'}[{k}]"],
                        capture_output=True, text=True).stdout for k in range(len(expected))]
check("icon: ImageMagick decodes all twelve images at their sizes",
      sizes == [f"{s}x{s}" for s, _ in expected], f"{sizes}")

# ---- package-48.png ---------------------------------------------------------
check("png: package-48.png is the icon's 48-pixel 32-bit image, byte for byte",
      len(blobs) > 2 and (images / "package-48.png").read_bytes() == blobs[2])

# ---- banner.jpg as tools/make-images draws it now ------------------------------
# A build of ImageMagick anti-aliases text a little differently (seen: 21 of 46,371
# samples off by up to 24, mean 0.06). The fresh banner keeps the committed one's
# segments up to its Huffman tables, which are made for its pixels (the file's header,
# markers, quantisation and frame), no sample off by more than 48 levels, a mean
# difference under 1, and each drawing's ink (where the committed banner has it in full
# colour) within 3 levels on average: a drawing moved by a pixel or drawn in another
# colour fails one of these.
again = (fresh / "banner.jpg").read_bytes() if (fresh / "banner.jpg").is_file() else b""
check("fresh banner: the committed banner's segments up to the Huffman tables",
      again[:again.find(b"\xff\xc4")] == jpeg[:jpeg.find(b"\xff\xc4")])
again = decode(fresh / "banner.jpg", "rgb") if again else b""
if len(again) == len(rgb) == W * H * 3:
    off = [abs(a - b) for a, b in zip(rgb, again)]
    check("fresh banner: no sample off by more than 48 levels, mean difference under 1",
          max(off) <= 48 and sum(off) / len(off) < 1,
          f"largest {max(off)}, mean {sum(off) / len(off):.2f}, "
          f"{sum(d > 48 for d in off)} samples off by more than 48")
    for name, (left, top, right, bottom), hue in (
            ("wordmark", mark_box, lambda r, g, b: b > r + 120),  # solid blue
            ("orange dot", mark_box, lambda r, g, b: r > b + 160),
            ("product line", text_box, lambda r, g, b: True),
            ("rule", (0, 39, W - 1, 39), lambda r, g, b: True)):
        ink = [3 * (y * W + x) for y in range(top, bottom + 1) for x in range(left, right + 1)
               if min(rgb[3 * (y * W + x):3 * (y * W + x) + 3]) < 235
               and hue(*rgb[3 * (y * W + x):3 * (y * W + x) + 3])]
        moved = [sum(again[i + c] - rgb[i + c] for i in ink) / max(len(ink), 1) for c in range(3)]
        check(f"fresh banner: the {name} keeps its colour, its ink within 3 levels on average",
              ink and all(abs(m) < 3 for m in moved),
              f"{len(ink)} ink pixels, R, G, B moved by " + ", ".join(f"{m:+.2f}" for m in moved))
else:
    check("fresh banner: decodes to 377 x 41 RGB", False, f"{len(again)} bytes")

sys.exit(1 if failures else 0)
PY

echo "== tools/make-images reproduces the committed files"
for f in src/window/images/{package.ico,package-48.png} \
         browser-extension/icons/icon-{16,32,48,128}.png; do
  if cmp -s "$root/$f" "$tmp/$(basename "$f")"; then
    echo "ok   - $f is byte-identical"
  else
    echo "FAIL - $f differs from a fresh run of tools/make-images"
    status=1
  fi
done

if [ $status -eq 0 ]; then echo "== all image checks passed"; else echo "== image checks FAILED"; fi
exit $status
