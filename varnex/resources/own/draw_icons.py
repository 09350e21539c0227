#!/usr/bin/env python3
"""Draws the program's own icons (those no installed theme offers) as PNG.

Plain shapes in flat colours, antialiased by 4x4 supersampling; only the
standard library is used. Run from this folder: python3 draw_icons.py
"""
import math
import struct
import zlib

SS = 4  # samples per pixel along each axis


def png(path, w, h, rgba):
    raw = b"".join(b"\0" + bytes(rgba[y * w * 4:(y + 1) * w * 4]) for y in range(h))

    def chunk(kind, data):
        c = kind + data
        return struct.pack(">I", len(data)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


class Canvas:
    """Shapes are tests of a point (x, y in pixel units) painted in order."""

    def __init__(self, size):
        self.size = size
        self.layers = []

    def add(self, colour, inside):
        self.layers.append((colour, inside))

    def render(self, path):
        n = self.size
        out = [0] * (n * n * 4)
        for py in range(n):
            for px in range(n):
                acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
                for sy in range(SS):
                    for sx in range(SS):
                        x = px + (sx + 0.5) / SS
                        y = py + (sy + 0.5) / SS
                        r = g = b = a = 0.0
                        for colour, inside in self.layers:
                            if inside(x, y):
                                cr, cg, cb, ca = colour
                                ca /= 255.0
                                r = cr * ca + r * (1 - ca)
                                g = cg * ca + g * (1 - ca)
                                b = cb * ca + b * (1 - ca)
                                a = ca + a * (1 - ca)
                        acc[0] += r
                        acc[1] += g
                        acc[2] += b
                        acc[3] += a
                k = SS * SS
                a = acc[3] / k
                i = (py * n + px) * 4
                if a > 0:
                    out[i] = min(255, round(acc[0] / k / a))
                    out[i + 1] = min(255, round(acc[1] / k / a))
                    out[i + 2] = min(255, round(acc[2] / k / a))
                out[i + 3] = min(255, round(a * 255))
        png(path, n, n, out)


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r1, r2):
    return lambda x, y: r1 * r1 <= (x - cx) ** 2 + (y - cy) ** 2 <= r2 * r2


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def segment(x0, y0, x1, y1, w):
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= (w / 2) ** 2
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


WHITE = (255, 255, 255, 255)
DARK = (46, 52, 54, 255)


def car():
    c = Canvas(32)
    c.add((52, 101, 164, 255), union(rounded(2, 14, 30, 24, 3),
                                     polygon([(8, 15), (11, 8), (21, 8), (25, 15)])))
    c.add((190, 220, 245, 255), union(polygon([(10, 14), (12, 10), (15.5, 10), (15.5, 14)]),
                                      polygon([(16.5, 10), (20, 10), (22.5, 14), (16.5, 14)])))
    c.add((252, 233, 79, 255), rect(27, 16, 30, 18))
    for cx in (9, 23):
        c.add(DARK, circle(cx, 24, 4))
        c.add((186, 189, 182, 255), circle(cx, 24, 1.8))
    c.render("car.png")


def envelope(c, x0, y0, x1, y1, body, flap, width=1.6):
    c.add(body, rounded(x0, y0, x1, y1, 1.5))
    mx = (x0 + x1) / 2
    my = y0 + (y1 - y0) * 0.55
    c.add(flap, union(segment(x0 + 1, y0 + 1, mx, my, width), segment(mx, my, x1 - 1, y0 + 1, width)))


# The service marks are neutral: a tile in the service's colour with a
# generic picture of what the service is (mail, state services, a social
# network, a mobile operator), none of the services' own logos.

def person(c, cx, top, scale, colour):
    c.add(colour, circle(cx, top + 3 * scale, 3 * scale))
    c.add(colour, lambda x, y: y >= top + 7 * scale and (x - cx) ** 2 / (5.5 * scale) ** 2
          + (y - (top + 13 * scale)) ** 2 / (6 * scale) ** 2 <= 1 and y <= top + 13 * scale)


def logo_mail_ru():
    c = Canvas(32)
    c.add((255, 150, 0, 255), circle(16, 16, 15))
    envelope(c, 7, 10, 25, 22, WHITE, (255, 150, 0, 255))
    c.render("logo_mail_ru.png")


def logo_gmail():
    c = Canvas(32)
    c.add((219, 68, 55, 255), rounded(1, 1, 31, 31, 6))
    envelope(c, 6, 9, 26, 23, WHITE, (219, 68, 55, 255))
    c.render("logo_gmail.png")


def logo_gosuslugi():
    # A public building: pediment, columns, steps.
    c = Canvas(32)
    c.add((0, 102, 179, 255), rounded(1, 1, 31, 31, 6))
    c.add(WHITE, union(polygon([(16, 5), (27, 11), (5, 11)]), rect(6, 12, 26, 13.5),
                       *[rect(x, 14.5, x + 2.4, 22) for x in (7.5, 12.2, 17.4, 22.1)],
                       rect(6, 23, 26, 24.5), rect(4.5, 25.5, 27.5, 27)))
    c.render("logo_gosuslugi.png")


def logo_odnoklassniki():
    # Two people: a social network.
    c = Canvas(32)
    c.add((238, 130, 8, 255), rounded(1, 1, 31, 31, 7))
    person(c, 20.5, 7, 1.0, (255, 222, 180, 255))
    person(c, 12.5, 9, 1.15, WHITE)
    c.render("logo_odnoklassniki.png")


def logo_beeline():
    # A mobile phone: a mobile operator.
    c = Canvas(32)
    c.add((255, 203, 5, 255), circle(16, 16, 15))
    c.add(DARK, rounded(10, 4, 22, 28, 2.5))
    c.add((238, 238, 236, 255), rect(12, 7.5, 20, 21))
    c.add((255, 203, 5, 255), circle(16, 24.5, 1.6))
    c.render("logo_beeline.png")


def logo_vk():
    # A speech balloon: a social network for messages.
    c = Canvas(32)
    c.add((70, 128, 194, 255), rounded(1, 1, 31, 31, 7))
    c.add(WHITE, union(rounded(5, 7, 27, 21, 5), polygon([(9, 19), (15, 19), (8, 26)])))
    for cx in (11, 16, 21):
        c.add((70, 128, 194, 255), circle(cx, 14, 1.7))
    c.render("logo_vk.png")


def main_icon():
    # A shield with a keyhole: the keeper of secrets.
    c = Canvas(64)
    shield = polygon([(32, 3), (56, 11), (54, 36), (44, 52), (32, 61), (20, 52), (10, 36), (8, 11)])
    inner = polygon([(32, 8), (51, 14.5), (49.5, 35), (41, 49), (32, 56), (23, 49), (14.5, 35), (13, 14.5)])
    c.add((32, 74, 135, 255), shield)
    c.add((52, 101, 164, 255), inner)
    c.add((252, 233, 79, 255), union(circle(32, 26, 7.5), polygon([(27, 29), (37, 29), (39.5, 46), (24.5, 46)])))
    c.add((32, 74, 135, 255), union(circle(32, 26, 3), rect(30.6, 27, 33.4, 40)))
    c.render("main-icon.png")


if __name__ == "__main__":
    car()
    logo_mail_ru()
    logo_gmail()
    logo_gosuslugi()
    logo_odnoklassniki()
    logo_beeline()
    logo_vk()
    main_icon()
