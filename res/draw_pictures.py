#!/usr/bin/python3
"""Draws the program icon (morvane.ico: 16, 32 and 48 px, 24-bit) and the web link
picture (link.bmp: 88 x 31 px, 8 bits per pixel with a palette, uncompressed).

Run it from anywhere; it writes both files beside itself. The outputs are committed, so
a build never needs this script or its fonts."""

import io
import os
import struct

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
BOLD_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

ICON_SIZES = (16, 32, 48)
LINK_SIZE = (88, 31)

DARK_BLUE = (18, 58, 124)
LIGHT_BLUE = (70, 140, 220)
PAPER = (250, 248, 236)
AMBER = (240, 170, 40)


def vertical_gradient(size, top, bottom):
    width, height = size
    picture = Image.new("RGB", size)
    draw = ImageDraw.Draw(picture)
    for y in range(height):
        t = y / max(height - 1, 1)
        colour = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        draw.line([(0, y), (width - 1, y)], fill=colour)
    return picture


def draw_icon(size):
    """A blue tile with a paper sheet (the library) and an amber link bar across it."""
    picture = vertical_gradient((size, size), LIGHT_BLUE, DARK_BLUE)
    draw = ImageDraw.Draw(picture)
    unit = size / 16
    draw.rectangle([3 * unit, 2 * unit, 12 * unit, 14 * unit - 1], fill=PAPER, outline=DARK_BLUE)
    for row in range(4):
        y = (4 + 2 * row) * unit
        draw.line([(5 * unit, y), (10 * unit, y)], fill=DARK_BLUE, width=max(1, round(unit)))
    draw.rectangle([8 * unit, 10 * unit, 15 * unit - 1, 13 * unit - 1], fill=AMBER,
                   outline=DARK_BLUE)
    return picture


def icon_entry_bitmap(picture):
    """One icon image: BITMAPINFOHEADER (double height), 24-bit XOR rows bottom-up, AND mask."""
    width, height = picture.size
    xor_stride = (width * 3 + 3) // 4 * 4
    and_stride = (width + 31) // 32 * 4
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 24, 0,
                         (xor_stride + and_stride) * height, 0, 0, 0, 0)
    pixels = picture.load()
    xor_rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixels[x, y]
            row += bytes((b, g, r))
        xor_rows += row + bytes(xor_stride - len(row))
    and_mask = bytes(and_stride * height)  # every pixel opaque
    return header + bytes(xor_rows) + and_mask


def write_icon(path):
    images = [icon_entry_bitmap(draw_icon(size)) for size in ICON_SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(ICON_SIZES, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(images))


def draw_link():
    """An 88 x 31 web button: the program's name over 'web site', framed."""
    width, height = LINK_SIZE
    picture = vertical_gradient(LINK_SIZE, LIGHT_BLUE, DARK_BLUE)
    draw = ImageDraw.Draw(picture)
    draw.rectangle([0, 0, width - 1, height - 1], outline=DARK_BLUE)
    draw.rectangle([1, 1, width - 2, height - 2], outline=PAPER)
    draw.rectangle([3, 3, 27, height - 4], fill=PAPER)
    draw.ellipse([7, 7, 23, 23], outline=DARK_BLUE, width=2)
    draw.line([(15, 7), (15, 23)], fill=DARK_BLUE)
    draw.line([(7, 15), (23, 15)], fill=DARK_BLUE)
    draw.arc([10, 7, 20, 23], 0, 360, fill=DARK_BLUE)
    draw.text((31, 3), "Morvane", font=ImageFont.truetype(BOLD_FONT, 11), fill=PAPER)
    draw.text((33, 17), "web site", font=ImageFont.truetype(BOLD_FONT, 9), fill=AMBER)
    return picture


def write_link(path):
    picture = draw_link().quantize(colors=256, dither=Image.Dither.NONE)
    buffer = io.BytesIO()
    picture.save(buffer, format="BMP")  # mode "P": 8 bits per pixel, BI_RGB
    with open(path, "wb") as out:
        out.write(buffer.getvalue())


if __name__ == "__main__":
    write_icon(os.path.join(HERE, "morvane.ico"))
    write_link(os.path.join(HERE, "link.bmp"))
