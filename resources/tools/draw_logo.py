#!/usr/bin/env python3
"""Draws the Orvana artwork: the window logo, the Linux icon and the Windows icon.

Only the standard library is used, so the artwork can be redrawn on any
machine that builds the updater. Shapes are signed distance functions; a
pixel's coverage is taken from its distance to the edge, which gives
anti-aliased edges without supersampling.

    python3 resources/tools/draw_logo.py [resources-directory]
"""

import math
import os
import struct
import sys
import zlib

NAVY = (0.106, 0.145, 0.251)
NAVY_DEEP = (0.063, 0.094, 0.157)
SLATE = (0.353, 0.392, 0.471)
STEEL = (0.604, 0.643, 0.722)
MIST = (0.902, 0.914, 0.941)
AMBER = (1.0, 0.702, 0.278)
WARM_WHITE = (1.0, 0.965, 0.878)


def clamp01(value):
    return 0.0 if value < 0.0 else 1.0 if value > 1.0 else value


def smoothstep(edge0, edge1, value):
    t = clamp01((value - edge0) / (edge1 - edge0))
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


# ---------------------------------------------------------------- geometry

def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0.0 else clamp01(((px - ax) * dx + (py - ay) * dy) / length2)
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def arc_distance(px, py, cx, cy, r, start, sweep):
    """Distance to a circular arc running from angle start through sweep (y down)."""
    angle = math.atan2(py - cy, px - cx)
    if (angle - start) % (2.0 * math.pi) <= sweep:
        return abs(math.hypot(px - cx, py - cy) - r)
    ends = (start, start + sweep)
    return min(math.hypot(px - cx - r * math.cos(a), py - cy - r * math.sin(a)) for a in ends)


class Stroke:
    """Pieces of a pen path (segments and arcs) drawn with one round pen."""

    def __init__(self, width):
        self.radius = width / 2.0
        self.pieces = []
        self.box = [math.inf, math.inf, -math.inf, -math.inf]

    def _grow(self, x0, y0, x1, y1):
        r = self.radius + 1.0
        self.box = [min(self.box[0], x0 - r), min(self.box[1], y0 - r),
                    max(self.box[2], x1 + r), max(self.box[3], y1 + r)]

    def line(self, *points):
        for (ax, ay), (bx, by) in zip(points, points[1:]):
            self.pieces.append((0, ax, ay, bx, by))
            self._grow(min(ax, bx), min(ay, by), max(ax, bx), max(ay, by))
        return self

    def arc(self, cx, cy, r, start_degrees, sweep_degrees):
        self.pieces.append((1, cx, cy, r, math.radians(start_degrees), math.radians(sweep_degrees)))
        self._grow(cx - r, cy - r, cx + r, cy + r)
        return self

    def distance(self, px, py):
        best = math.inf
        for piece in self.pieces:
            if piece[0] == 0:
                d = segment_distance(px, py, *piece[1:])
            else:
                d = arc_distance(px, py, *piece[1:])
            if d < best:
                best = d
        return best - self.radius


def circle(cx, cy, r):
    return (lambda px, py: math.hypot(px - cx, py - cy) - r), (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1)


def rounded_box(x0, y0, x1, y1, radius):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hw, hh = (x1 - x0) / 2.0 - radius, (y1 - y0) / 2.0 - radius

    def distance(px, py):
        qx, qy = abs(px - cx) - hw, abs(py - cy) - hh
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return distance, (x0 - 1, y0 - 1, x1 + 1, y1 + 1)


def turned_box(cx, cy, half_length, half_thickness, radius, angle):
    """A rounded box whose length runs along the given angle."""
    ax, ay = math.cos(angle), math.sin(angle)
    flat, _ = rounded_box(-half_length, -half_thickness, half_length, half_thickness, radius)
    reach = math.hypot(half_length, half_thickness) + 1

    def distance(px, py):
        dx, dy = px - cx, py - cy
        return flat(dx * ax + dy * ay, -dx * ay + dy * ax)

    return distance, (cx - reach, cy - reach, cx + reach, cy + reach)


# ------------------------------------------------------------------ canvas

class Canvas:
    """Premultiplied RGBA in floats, composited with the usual "over" rule."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.pixels = [0.0] * (width * height * 4)

    def _rows_and_columns(self, box):
        x0, y0, x1, y1 = box
        columns = range(max(0, int(x0)), min(self.width, int(math.ceil(x1)) + 1))
        rows = range(max(0, int(y0)), min(self.height, int(math.ceil(y1)) + 1))
        return rows, columns

    def _blend(self, index, colour, alpha):
        p = self.pixels
        keep = 1.0 - alpha
        p[index] = colour[0] * alpha + p[index] * keep
        p[index + 1] = colour[1] * alpha + p[index + 1] * keep
        p[index + 2] = colour[2] * alpha + p[index + 2] * keep
        p[index + 3] = alpha + p[index + 3] * keep

    def fill(self, shape, paint, opacity=1.0, clip=None):
        """Fills a (distance, box) shape; paint is a colour or a function of x, y."""
        distance, box = shape
        rows, columns = self._rows_and_columns(box)
        for y in rows:
            py = y + 0.5
            for x in columns:
                px = x + 0.5
                coverage = clamp01(0.5 - distance(px, py))
                if coverage <= 0.0:
                    continue
                if clip is not None:
                    coverage *= clamp01(0.5 - clip(px, py))
                    if coverage <= 0.0:
                        continue
                colour = paint(px, py) if callable(paint) else paint
                self._blend((y * self.width + x) * 4, colour, coverage * opacity)

    def glow(self, box, field, clip=None):
        """Paints a soft field: field(x, y) gives (colour, alpha) or None."""
        rows, columns = self._rows_and_columns(box)
        for y in rows:
            py = y + 0.5
            for x in columns:
                px = x + 0.5
                sample = field(px, py)
                if sample is None:
                    continue
                colour, alpha = sample
                if clip is not None:
                    alpha *= clamp01(0.5 - clip(px, py))
                if alpha > 0.0:
                    self._blend((y * self.width + x) * 4, colour, alpha)

    def rgba_rows(self):
        """Straight (not premultiplied) 8-bit RGBA, top row first."""
        rows = []
        p = self.pixels
        for y in range(self.height):
            row = bytearray()
            for x in range(self.width):
                i = (y * self.width + x) * 4
                a = p[i + 3]
                alpha = int(round(clamp01(a) * 255))
                if alpha == 0:
                    row += b"\0\0\0\0"
                    continue
                row += bytes(int(round(clamp01(p[i + c] / a) * 255)) for c in range(3))
                row.append(alpha)
            rows.append(bytes(row))
        return rows


# ------------------------------------------------------------------ glyphs

def glyph(letter, x, top, height, pen):
    """Strokes one capital of the house face; returns (stroke, advance)."""
    def P(u, v):
        return (x + u * height, top + v * height)

    s = Stroke(pen)
    h = height
    if letter == "O":
        w = 0.96
        s.arc(*P(0.48, 0.48), 0.48 * h, 180, 180).arc(*P(0.48, 0.52), 0.48 * h, 0, 180)
        s.line(P(0, 0.48), P(0, 0.52)).line(P(0.96, 0.48), P(0.96, 0.52))
    elif letter in "RP":
        w = 0.68 if letter == "R" else 0.62
        cx, bowl = 0.36, 0.26
        s.line(P(0, 1), P(0, 0), P(cx, 0)).arc(*P(cx, bowl), bowl * h, -90, 180)
        s.line(P(cx, 2 * bowl), P(0, 2 * bowl))
        if letter == "R":
            s.line(P(cx - 0.04, 2 * bowl), P(w, 1))
    elif letter == "D":
        w = 0.72
        s.line(P(0.22, 0), P(0, 0), P(0, 1), P(0.22, 1)).arc(*P(0.22, 0.5), 0.5 * h, -90, 180)
    elif letter == "U":
        w = 0.7
        s.line(P(0, 0), P(0, 0.65)).arc(*P(0.35, 0.65), 0.35 * h, 0, 180).line(P(0.7, 0.65), P(0.7, 0))
    elif letter == "V":
        w = 0.84
        s.line(P(0, 0), P(0.42, 1), P(0.84, 0))
    elif letter == "^":  # the crossbar-less A of the word mark: a beam of light
        w = 0.84
        s.line(P(0, 1), P(0.42, 0), P(0.84, 1))
    elif letter == "A":
        w = 0.8
        s.line(P(0, 1), P(0.4, 0), P(0.8, 1)).line(P(0.16, 0.64), P(0.64, 0.64))
    elif letter == "N":
        w = 0.74
        s.line(P(0, 1), P(0, 0), P(0.74, 1), P(0.74, 0))
    elif letter in "FE":
        w = 0.55
        s.line(P(0.55, 0), P(0, 0), P(0, 1)).line(P(0, 0.5), P(0.45, 0.5))
        if letter == "E":
            s.line(P(0, 1), P(0.55, 1))
    elif letter == "I":
        w = 0.0
        s.line(P(0, 0), P(0, 1))
    elif letter == "M":
        w = 0.86
        s.line(P(0, 1), P(0, 0), P(0.43, 0.62), P(0.86, 0), P(0.86, 1))
    elif letter == "W":
        w = 1.1
        s.line(P(0, 0), P(0.26, 1), P(0.55, 0.3), P(0.84, 1), P(1.1, 0))
    elif letter == "T":
        w = 0.66
        s.line(P(0, 0), P(0.66, 0)).line(P(0.33, 0), P(0.33, 1))
    elif letter == " ":
        return None, 0.4 * height
    else:
        raise ValueError("no glyph for %r" % letter)
    return s, w * height + pen


def set_text(canvas, text, x, top, height, pen, tracking, paint):
    """Draws text with the pen's centre line starting at x; returns the end x."""
    x += pen / 2.0
    for letter in text:
        stroke, advance = glyph(letter, x, top, height, pen)
        if stroke is not None:
            canvas.fill((stroke.distance, stroke.box), paint)
        x += advance + tracking
    return x - tracking - pen / 2.0


def text_width(text, height, pen, tracking):
    return sum(glyph(c, 0, 0, height, pen)[1] + tracking for c in text) - tracking


# ----------------------------------------------------------------- emblem

class MovingHead:
    """A moving-head fixture seen from the side, its head tilted on the yoke.

    size is the length of the head; the centre is the tilt pivot.
    """

    def __init__(self, cx, cy, size, tilt_degrees):
        self.cx, self.cy, self.u = cx, cy, size / 64.0
        self.tilt = math.radians(tilt_degrees)
        self.axis = (math.cos(self.tilt), math.sin(self.tilt))

    def lens(self):
        """Centre and half width of the front lens."""
        return (self.cx + self.axis[0] * 30 * self.u, self.cy + self.axis[1] * 30 * self.u), 20 * self.u

    def draw(self, canvas, body, yoke_colour, detail, clip=None):
        cx, cy, u = self.cx, self.cy, self.u
        canvas.fill(rounded_box(cx - 40 * u, cy + 44 * u, cx + 40 * u, cy + 58 * u, 4 * u), body, clip=clip)
        canvas.fill(rounded_box(cx - 18 * u, cy + 38 * u, cx + 18 * u, cy + 46 * u, 2 * u), body, clip=clip)
        yoke = Stroke(8 * u).line((cx - 30 * u, cy), (cx - 30 * u, cy + 34 * u),
                                  (cx + 30 * u, cy + 34 * u), (cx + 30 * u, cy))
        canvas.fill((yoke.distance, yoke.box), yoke_colour, clip=clip)

        # A barrel on the tilt axis with a wider lens bezel in front.
        canvas.fill(turned_box(cx, cy, 32 * u, 19 * u, 9 * u, self.tilt), body, clip=clip)
        (fx, fy), _ = self.lens()
        canvas.fill(turned_box(fx, fy, 4 * u, 23 * u, 3 * u, self.tilt), detail, clip=clip)
        canvas.fill(circle(cx, cy, 6 * u), detail, clip=clip)


def beam(canvas, fixture, half_angle_degrees, length, strength, clip=None):
    """A cone of light leaving the whole lens, brightest there and fading along its length."""
    (lx, ly), lens_half_width = fixture.lens()
    ax, ay = fixture.axis
    half = math.radians(half_angle_degrees)
    # The cone's apex lies behind the lens, where the two edges meet.
    back = lens_half_width / math.tan(half)
    ox, oy = lx - ax * back, ly - ay * back

    def field(px, py):
        dx, dy = px - ox, py - oy
        along = dx * ax + dy * ay
        if along <= back:
            return None
        across = -dx * ay + dy * ax
        off_axis = abs(math.atan2(across, along))
        t = (along - back) / length
        if off_axis > half or t >= 1.0:
            return None
        edge = smoothstep(half, half * 0.5, off_axis)
        fade = (1.0 - t) ** 1.3
        # Light that reaches the border of the picture dies away softly rather
        # than being cut off in a straight line.
        border = min(px, py, canvas.width - px, canvas.height - py)
        return mix(WARM_WHITE, AMBER, min(1.0, t * 2.5)), strength * edge * fade * smoothstep(0.0, 28.0, border)

    reach = (back + length) / math.cos(half)
    ends = [(lx, ly)] + [(ox + reach * math.cos(fixture.tilt + side), oy + reach * math.sin(fixture.tilt + side))
                         for side in (-half, half)]
    xs, ys = [p[0] for p in ends], [p[1] for p in ends]
    canvas.glow((min(xs) - lens_half_width, min(ys) - lens_half_width, max(xs), max(ys)), field, clip)


# ---------------------------------------------------------------- artwork

def draw_logo():
    canvas = Canvas(661, 157)
    height, pen, tracking = 64.0, 13.0, 12.0
    word_left, word_top = 180.0, 30.0

    # The beam goes first so that fixture and lettering sit in front of it.
    fixture = MovingHead(74, 78, 66, -8)
    beam(canvas, fixture, 10, 600, 0.7)
    fixture.draw(canvas, NAVY, SLATE, STEEL)

    def ink(px, py):
        return mix(NAVY, NAVY_DEEP, clamp01((py - word_top) / height))

    word_end = set_text(canvas, "ORV^N^", word_left, word_top, height, pen, tracking, ink)

    small, small_pen, small_tracking = 12.0, 2.4, 7.0
    tagline = "FIRMWARE UPDATER"
    tag_top = word_top + height + 22
    tag_left = word_end - text_width(tagline, small, small_pen, small_tracking)
    set_text(canvas, tagline, tag_left, tag_top, small, small_pen, small_tracking, SLATE)
    rule = Stroke(2.4).line((word_left + pen / 2, tag_top + small / 2), (tag_left - 14, tag_top + small / 2))
    canvas.fill((rule.distance, rule.box), AMBER)
    return canvas


def draw_icon(width, height):
    """The fixture and its beam on a rounded tile, for desktop and window icons."""
    canvas = Canvas(width, height)
    inset = width / 32.0
    tile_distance, tile_box = rounded_box(inset, inset, width - inset, height - inset, width / 6.0)

    def tile(px, py):
        return mix(NAVY, NAVY_DEEP, clamp01(py / height))

    canvas.fill((tile_distance, tile_box), tile)
    size = min(width, height * 1.3) * 0.32
    tilt = -30 if height >= width else -20
    fixture = MovingHead(width * 0.3, height - inset - size * 1.1, size, tilt)
    beam(canvas, fixture, 14, width, 0.9, clip=tile_distance)
    fixture.draw(canvas, MIST, STEEL, STEEL, clip=tile_distance)
    return canvas


# -------------------------------------------------------------- encoders

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def filtered_rows(rows, bytes_per_pixel=4):
    """Chooses each row's PNG filter by the smallest sum of absolute residuals."""
    previous = bytes(len(rows[0]))
    out = bytearray()
    for row in rows:
        candidates = []
        for kind in range(5):
            residual = bytearray(len(row))
            for i, value in enumerate(row):
                left = row[i - bytes_per_pixel] if i >= bytes_per_pixel else 0
                up = previous[i]
                upper_left = previous[i - bytes_per_pixel] if i >= bytes_per_pixel else 0
                if kind == 0:
                    predicted = 0
                elif kind == 1:
                    predicted = left
                elif kind == 2:
                    predicted = up
                elif kind == 3:
                    predicted = (left + up) // 2
                else:
                    estimate = left + up - upper_left
                    pa, pb, pc = abs(estimate - left), abs(estimate - up), abs(estimate - upper_left)
                    predicted = left if pa <= pb and pa <= pc else up if pb <= pc else upper_left
                residual[i] = (value - predicted) & 0xFF
            cost = sum(v if v < 128 else 256 - v for v in residual)
            candidates.append((cost, kind, residual))
        _, kind, residual = min(candidates, key=lambda c: (c[0], c[1]))
        out.append(kind)
        out += residual
        previous = row
    return bytes(out)


def encode_png(canvas):
    """8-bit RGBA PNG at 96 dpi; the image data is split into 8 KiB IDAT chunks."""
    rows = canvas.rgba_rows()
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    data = zlib.compress(filtered_rows(rows), 9)
    chunks = [png_chunk(b"IHDR", header),
              png_chunk(b"sBIT", bytes((8, 8, 8, 8))),
              png_chunk(b"pHYs", struct.pack(">IIB", 3780, 3780, 1)),
              png_chunk(b"tEXt", b"Software\0draw_logo.py 1.0")]
    for start in range(0, len(data), 8192):
        chunks.append(png_chunk(b"IDAT", data[start:start + 8192]))
    chunks.append(png_chunk(b"IEND", b""))
    return b"\x89PNG\r\n\x1a\n" + b"".join(chunks)


def encode_ico(canvas):
    """One 32-bit bitmap entry: BGRA rows bottom-up, then the 1-bit mask."""
    rows = canvas.rgba_rows()
    width, height = canvas.width, canvas.height
    pixels = bytearray()
    mask = bytearray()
    mask_stride = ((width + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(width):
            r, g, b, a = row[4 * x:4 * x + 4]
            pixels += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    # The bitmap header counts colour rows and mask rows, hence twice the height.
    bitmap = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0) + pixels + mask
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(bitmap), 6 + 16)
    return struct.pack("<HHH", 0, 1, 1) + entry + bitmap


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    resources = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(here)
    outputs = [
        ("logo.png", lambda: encode_png(draw_logo())),
        (os.path.join("linux", "orvana-firmware-updater.png"), lambda: encode_png(draw_icon(256, 256))),
        (os.path.join("windows", "updater.ico"), lambda: encode_ico(draw_icon(256, 179))),
    ]
    for name, render in outputs:
        path = os.path.join(resources, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = render()
        with open(path, "wb") as out:
            out.write(data)
        print("%s: %d bytes" % (path, len(data)))


if __name__ == "__main__":
    main()
