#!/usr/bin/env python3
"""Reads a screenshot (binary PPM) for the desktop matrix.

  screen.py badge IMAGE X Y W H     the box "X Y W H" of the tray icon's green
                                    count badge inside that region, or status 1
  screen.py contrast IMAGE X Y W H  the icon in that box against the bar around
                                    it: "note RATIO badge RATIO bar #RRGGBB"

Ratios are WCAG contrast ratios. The bar's colour is the commonest colour of a
ring just outside the box; the note is every pixel of the box outside the badge
that differs from the bar, and its ratio is the 90th percentile of theirs, so a
few antialiased or stray pixels neither make nor break it.
"""
import sys
from collections import Counter

BADGE_GREEN = (74, 222, 128)
RING = 3


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + width * height * 3]
    return width, height, pixels


def pixel(image, x, y):
    width, _, pixels = image
    i = (y * width + x) * 3
    return tuple(pixels[i:i + 3])


def luminance(rgb):
    def linear(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def ratio(a, b):
    la, lb = sorted((luminance(a), luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def near(a, b, tolerance=40):
    return sum(abs(p - q) for p, q in zip(a, b)) <= tolerance


def clamp_box(image, x, y, w, h):
    width, height, _ = image
    x0, y0 = max(0, x), max(0, y)
    return x0, y0, min(width, x + w) - x0, min(height, y + h) - y0


def badge_box(image, x, y, w, h):
    x, y, w, h = clamp_box(image, x, y, w, h)
    found = [(px, py) for py in range(y, y + h) for px in range(x, x + w)
             if near(pixel(image, px, py), BADGE_GREEN)]
    if len(found) < 6:
        return None
    xs, ys = [p[0] for p in found], [p[1] for p in found]
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def contrast(image, x, y, w, h):
    width, height, _ = image
    ring = Counter()
    for py in range(y - RING, y + h + RING):
        for px in range(x - RING, x + w + RING):
            inside = x <= px < x + w and y <= py < y + h
            if not inside and 0 <= px < width and 0 <= py < height:
                ring[pixel(image, px, py)] += 1
    bar = ring.most_common(1)[0][0]
    badge = badge_box(image, x, y, w, h)
    note = []
    for py in range(y, y + h):
        for px in range(x, x + w):
            # the badge with its antialiased rim
            if badge and badge[0] - RING <= px < badge[0] + badge[2] + RING \
                    and badge[1] - RING <= py < badge[1] + badge[3] + RING:
                continue
            r = ratio(pixel(image, px, py), bar)
            if r >= 1.1:
                note.append(r)
    note.sort()
    note_ratio = note[int(0.9 * (len(note) - 1))] if note else 1.0
    badge_ratio = ratio(BADGE_GREEN, bar) if badge else 0.0
    return note_ratio, badge_ratio, bar


def main(argv):
    if len(argv) != 7 or argv[1] not in ("badge", "contrast"):
        sys.exit(__doc__)
    image = read_ppm(argv[2])
    box = [int(v) for v in argv[3:7]]
    if argv[1] == "badge":
        found = badge_box(image, *box)
        if not found:
            return 1
        print(*found)
    else:
        note, badge, bar = contrast(image, *box)
        print(f"note {note:.1f} badge {badge:.1f} bar #{bar[0]:02X}{bar[1]:02X}{bar[2]:02X}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
