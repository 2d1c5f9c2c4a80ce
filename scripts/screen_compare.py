#!/usr/bin/env python3
"""Compares screenshots of the Windows build under Wine with ours (scripts/windows).

Each side is given as several binary PPM screenshots of the 800 x 600 client area,
taken a moment apart: their per-pixel minimum keeps what stands still (texts, the hand
at its start) and drops what drifts (the stars), so a star crossing a text line cannot
move its box.

  screen_compare.py title OURS... -- THEIRS...
      The title screen's lines (title, version, the two button lines): each line's
      bounding box within 2 pixels of ours on every side, its mean brightness within 15 %.
  screen_compare.py game OURS... -- THEIRS...
      A game's first second: the HUD's score line where ours is (as the title's lines),
      and the hand's sprite at its start (200, 300) with at least 95 % of its pixels
      within 8 levels of ours in every channel.

Prints one line per item and exits 1 when any item is off.
"""
import sys

# Bands (top, bottom) that hold one line each, from the lines' rectangles and font heights.
TITLE_LINES = [("title", 175, 250), ("version", 255, 285), ("left button line", 365, 395),
               ("right button line", 395, 425)]
HUD_LINES = [("HUD score line", 15, 45)]
INK = 48            # a pixel brighter than this (0..255 luma) is part of a glyph
BOX_TOLERANCE = 2
BRIGHTNESS_TOLERANCE = 0.15
HAND = (200, 300)
HAND_HALF = 28      # the sprite of size 40 is a square of side 40 x sqrt(2), about 57
LEVELS = 8
HAND_SHARE = 0.95


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise SystemExit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + width * height * 3]
    if len(pixels) != width * height * 3:
        raise SystemExit(f"{path}: cut short")
    return width, height, pixels


def still_picture(paths):
    """The per-pixel, per-channel minimum of the screenshots."""
    width, height, still = read_ppm(paths[0])
    still = bytearray(still)
    for path in paths[1:]:
        w, h, other = read_ppm(path)
        if (w, h) != (width, height):
            raise SystemExit(f"{path}: {w}x{h}, not {width}x{height}")
        for i, value in enumerate(other):
            if value < still[i]:
                still[i] = value
    if (width, height) != (800, 600):
        raise SystemExit(f"{paths[0]}: {width}x{height}, not 800x600")
    return still


def luma(picture, x, y):
    i = (y * 800 + x) * 3
    return (299 * picture[i] + 587 * picture[i + 1] + 114 * picture[i + 2]) / 1000.0


def line_box(picture, top, bottom):
    """The box (left, top, right, bottom, inclusive) of the ink in a band and its mean
    luma, or None when the band holds no ink."""
    box = None
    for y in range(top, bottom):
        for x in range(800):
            if luma(picture, x, y) > INK:
                if box is None:
                    box = [x, y, x, y]
                else:
                    box = [min(box[0], x), min(box[1], y), max(box[2], x), max(box[3], y)]
    if box is None:
        return None
    total = sum(luma(picture, x, y) for y in range(box[1], box[3] + 1) for x in range(box[0], box[2] + 1))
    area = (box[2] - box[0] + 1) * (box[3] - box[1] + 1)
    return box, total / area


def compare_lines(ours, theirs, lines):
    ok = True
    for name, top, bottom in lines:
        mine, other = line_box(ours, top, bottom), line_box(theirs, top, bottom)
        if mine is None or other is None:
            print(f"FAIL {name}: no text (ours {mine}, Wine {other})")
            ok = False
            continue
        (box_a, light_a), (box_b, light_b) = mine, other
        worst = max(abs(a - b) for a, b in zip(box_a, box_b))
        light = abs(light_b - light_a) / max(light_a, 1.0)
        good = worst <= BOX_TOLERANCE and light <= BRIGHTNESS_TOLERANCE
        ok = ok and good
        print(f"{'ok  ' if good else 'FAIL'} {name}: box ours {box_a} Wine {box_b} (off by {worst} px), "
              f"brightness ours {light_a:.1f} Wine {light_b:.1f} ({light * 100:.1f} %)")
    return ok


def compare_hand(ours, theirs):
    cx, cy = HAND
    close = total = 0
    for y in range(cy - HAND_HALF, cy + HAND_HALF + 1):
        for x in range(cx - HAND_HALF, cx + HAND_HALF + 1):
            i = (y * 800 + x) * 3
            total += 1
            if all(abs(ours[i + c] - theirs[i + c]) <= LEVELS for c in range(3)):
                close += 1
    inked = sum(1 for y in range(cy - HAND_HALF, cy + HAND_HALF + 1)
                for x in range(cx - HAND_HALF, cx + HAND_HALF + 1) if luma(ours, x, y) > INK)
    share = close / total
    # A hand that is not drawn at all matches nothing: ours must show ink there.
    good = share >= HAND_SHARE and inked > total // 10
    print(f"{'ok  ' if good else 'FAIL'} hand at {HAND}: {share * 100:.1f} % of {total} pixels within "
          f"{LEVELS} levels, {inked} inked pixels in ours")
    return good


def main(argv):
    if len(argv) < 4 or argv[0] not in ("title", "game") or "--" not in argv:
        raise SystemExit(__doc__)
    split = argv.index("--")
    ours, theirs = still_picture(argv[1:split]), still_picture(argv[split + 1:])
    if argv[0] == "title":
        good = compare_lines(ours, theirs, TITLE_LINES)
    else:
        good = compare_lines(ours, theirs, HUD_LINES) & compare_hand(ours, theirs)
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
