"""Flat colour patches and their CIEDE2000 error after a round trip.

draw W H OUT.ppm      writes the patch grid as a binary PPM
compare W H IN.rgb    reads decoded rgb24, prints mean and worst CIEDE2000
"""
import math
import sys

# 8 columns x 3 rows: 75% bars, 100% primaries and secondaries with black,
# greys and skin tones.
PATCHES = [
    (191, 191, 191), (191, 191, 0), (0, 191, 191), (0, 191, 0),
    (191, 0, 191), (191, 0, 0), (0, 0, 191), (16, 16, 16),
    (255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0),
    (255, 0, 255), (255, 0, 0), (0, 0, 255), (0, 0, 0),
    (64, 64, 64), (128, 128, 128), (224, 224, 224), (255, 224, 196),
    (234, 192, 160), (198, 134, 66), (141, 85, 36), (92, 56, 38),
]
COLS, ROWS = 8, 3


def patch_at(x, y, w, h):
    return PATCHES[min(y * ROWS // h, ROWS - 1) * COLS + min(x * COLS // w, COLS - 1)]


def draw(w, h, path):
    rows = bytearray()
    for y in range(h):
        for x in range(w):
            rows += bytes(patch_at(x, y, w, h))
    with open(path, "wb") as out:
        out.write(b"P6\n%d %d\n255\n" % (w, h))
        out.write(rows)


def to_lab(rgb):
    def linear(c):
        c /= 255.0
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in rgb)
    x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047
    y = 0.2126 * r + 0.7152 * g + 0.0722 * b
    z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883
    f = lambda t: t ** (1 / 3) if t > 216 / 24389 else (24389 / 27 * t + 16) / 116
    fx, fy, fz = f(x), f(y), f(z)
    return 116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)


def ciede2000(lab1, lab2):
    l1, a1, b1 = lab1
    l2, a2, b2 = lab2
    c_bar = (math.hypot(a1, b1) + math.hypot(a2, b2)) / 2
    g = 0.5 * (1 - math.sqrt(c_bar ** 7 / (c_bar ** 7 + 25 ** 7)))
    a1p, a2p = a1 * (1 + g), a2 * (1 + g)
    c1p, c2p = math.hypot(a1p, b1), math.hypot(a2p, b2)
    h1p = math.degrees(math.atan2(b1, a1p)) % 360 if c1p else 0.0
    h2p = math.degrees(math.atan2(b2, a2p)) % 360 if c2p else 0.0
    dl, dc = l2 - l1, c2p - c1p
    if c1p * c2p == 0:
        dh = 0.0
    else:
        dh = h2p - h1p
        if dh > 180:
            dh -= 360
        elif dh < -180:
            dh += 360
    dH = 2 * math.sqrt(c1p * c2p) * math.sin(math.radians(dh / 2))
    l_bar, cp_bar = (l1 + l2) / 2, (c1p + c2p) / 2
    if c1p * c2p == 0:
        hp_bar = h1p + h2p
    elif abs(h1p - h2p) <= 180:
        hp_bar = (h1p + h2p) / 2
    else:
        hp_bar = (h1p + h2p + 360) / 2 if h1p + h2p < 360 else (h1p + h2p - 360) / 2
    t = (1 - 0.17 * math.cos(math.radians(hp_bar - 30)) + 0.24 * math.cos(math.radians(2 * hp_bar))
         + 0.32 * math.cos(math.radians(3 * hp_bar + 6)) - 0.20 * math.cos(math.radians(4 * hp_bar - 63)))
    d_theta = 30 * math.exp(-(((hp_bar - 275) / 25) ** 2))
    r_c = 2 * math.sqrt(cp_bar ** 7 / (cp_bar ** 7 + 25 ** 7))
    s_l = 1 + 0.015 * (l_bar - 50) ** 2 / math.sqrt(20 + (l_bar - 50) ** 2)
    s_c = 1 + 0.045 * cp_bar
    s_h = 1 + 0.015 * cp_bar * t
    r_t = -math.sin(math.radians(2 * d_theta)) * r_c
    return math.sqrt((dl / s_l) ** 2 + (dc / s_c) ** 2 + (dH / s_h) ** 2 + r_t * (dc / s_c) * (dH / s_h))


def compare(w, h, path):
    data = open(path, "rb").read()
    if len(data) < w * h * 3:
        sys.exit("short picture: %d bytes" % len(data))
    errors = []
    for row in range(ROWS):
        for col in range(COLS):
            cx, cy = (2 * col + 1) * w // (2 * COLS), (2 * row + 1) * h // (2 * ROWS)
            total = [0, 0, 0]
            for y in range(cy - 4, cy + 5):
                for x in range(cx - 4, cx + 5):
                    at = (y * w + x) * 3
                    for i in range(3):
                        total[i] += data[at + i]
            got = [t / 81 for t in total]
            errors.append((ciede2000(to_lab(PATCHES[row * COLS + col]), to_lab(got)), PATCHES[row * COLS + col]))
    worst = max(errors)
    print("CIEDE2000 mean %.3f, worst %.3f at RGB %s" % (sum(e for e, _ in errors) / len(errors), worst[0], worst[1]))


if __name__ == "__main__":
    mode, w, h, path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    draw(w, h, path) if mode == "draw" else compare(w, h, path)
