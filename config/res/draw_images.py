#!/usr/bin/env python3
"""Draws the library's icons and bitmaps as PNG files in this folder.

The pictures keep to the sixteen colours of the classic palette, as the dialogs have always had
them: icons 133 to 136 at 32 x 32 (the tree shows them at 16 x 16) and the two bitmaps the pages
and the new-hardware dialog carry as decoration. Run it again after changing a drawing.
"""
import os
import struct
import zlib

BLACK = (0, 0, 0, 255)
DARK_RED = (128, 0, 0, 255)
DARK_GREEN = (0, 128, 0, 255)
OLIVE = (128, 128, 0, 255)
NAVY = (0, 0, 128, 255)
TEAL = (0, 128, 128, 255)
GREY = (128, 128, 128, 255)
SILVER = (192, 192, 192, 255)
RED = (255, 0, 0, 255)
GREEN = (0, 255, 0, 255)
YELLOW = (255, 255, 0, 255)
BLUE = (0, 0, 255, 255)
CYAN = (0, 255, 255, 255)
WHITE = (255, 255, 255, 255)
CLEAR = (0, 0, 0, 0)


class Canvas:
    def __init__(self, width, height, background=CLEAR):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def dot(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def box(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.box(x0, y0, x1, y0, colour)
        self.box(x0, y1, x1, y1, colour)
        self.box(x0, y0, x0, y1, colour)
        self.box(x1, y0, x1, y1, colour)

    def line(self, x0, y0, x1, y1, colour, thickness=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            half = thickness // 2
            self.box(x - half, y - half, x - half + thickness - 1, y - half + thickness - 1,
                     colour)

    def disc(self, cx, cy, r, colour):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r:
                    self.dot(x, y, colour)

    def save(self, name):
        raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in self.pixels)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
               chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as f:
            f.write(png)


def screen(mark):
    """A computer screen on its stand with a round status mark at the lower right."""
    c = Canvas(32, 32)
    c.box(3, 3, 26, 21, SILVER)
    c.frame(3, 3, 26, 21, BLACK)
    c.box(6, 6, 23, 18, NAVY)
    c.frame(5, 5, 24, 19, GREY)
    c.box(8, 8, 13, 9, CYAN)
    c.box(8, 11, 18, 11, TEAL)
    c.box(8, 13, 16, 13, TEAL)
    c.box(12, 22, 17, 24, GREY)
    c.box(7, 25, 22, 27, SILVER)
    c.frame(7, 25, 22, 27, BLACK)
    c.disc(25, 24, 5, BLACK)
    c.disc(25, 24, 4, mark)
    c.box(24, 22, 25, 22, WHITE)
    return c


def card(crossed):
    """A network adapter card: board, chip, gold contacts, the bracket with its socket."""
    c = Canvas(32, 32)
    c.box(2, 9, 3, 27, SILVER)  # the bracket
    c.frame(1, 8, 4, 28, GREY)
    c.box(4, 10, 28, 22, DARK_GREEN)  # the board
    c.frame(4, 10, 28, 22, BLACK)
    c.box(13, 13, 21, 19, BLACK)  # the chip and its pins
    for x in range(14, 21, 2):
        c.dot(x, 12, SILVER)
        c.dot(x, 20, SILVER)
    c.box(6, 13, 10, 17, SILVER)  # the socket
    c.frame(6, 13, 10, 17, BLACK)
    c.box(7, 16, 9, 16, BLACK)
    c.box(23, 13, 26, 15, YELLOW)  # a light
    for x in range(10, 28, 2):  # the contacts
        c.box(x, 23, x, 25, OLIVE)
    if crossed:
        c.line(3, 5, 29, 29, RED, 4)
        c.line(29, 5, 3, 29, RED, 4)
    return c


def ports_picture(width, height):
    """Two cards joined into one group: the decoration of the pages and the dialog."""
    c = Canvas(width, height, SILVER)
    c.frame(0, 0, width - 1, height - 1, GREY)
    mid = height // 2
    for top in (4, mid + 2):
        c.box(6, top, 22, top + mid - 8, DARK_GREEN)
        c.frame(6, top, 22, top + mid - 8, BLACK)
        c.box(12, top + 3, 18, top + mid - 11, BLACK)
        c.box(23, top + 2, 27, top + 5, GREY)
        c.line(27, top + 3, width - 14, mid, NAVY, 2)
    c.disc(width - 9, mid, 5, BLACK)
    c.disc(width - 9, mid, 4, GREEN)
    return c


def banner(width, height):
    """A band of linked ports, for the top of the dialogs."""
    c = Canvas(width, height, NAVY)
    c.box(0, height - 3, width - 1, height - 1, TEAL)
    y = height // 2 - 1
    c.line(6, y, width - 7, y, CYAN, 2)
    for x in range(8, width - 6, 16):
        c.box(x - 3, y - 4, x + 3, y + 4, SILVER)
        c.frame(x - 3, y - 4, x + 3, y + 4, BLACK)
        c.box(x - 1, y - 1, x + 1, y + 1, GREEN)
    return c


screen(GREEN).save("icon134.png")
screen(RED).save("icon133.png")
card(False).save("icon135.png")
card(True).save("icon136.png")
ports_picture(48, 48).save("bitmap137.png")
banner(96, 24).save("bitmap151.png")
