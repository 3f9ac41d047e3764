#!/usr/bin/env python3
"""Draws the program icon, a small line chart, and writes it as a 16-colour .ico with
16x16, 20x20, 24x24, 32x32, 40x40 and 48x48 images. Edit the chart or the colours here and rebuild.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREEN, GREY, SILVER, LIME, WHITE = 0, 2, 8, 7, 10, 15

# The chart: points on a 0..1 square, x to the right, y upwards.
CHART = [(0.0, 0.25), (0.17, 0.45), (0.33, 0.35), (0.5, 0.75), (0.67, 0.55), (0.83, 0.9), (1.0, 0.6)]
GRID_STEPS = 3  # grid lines across the screen in each direction


def draw(size):
    """Returns size rows of palette indices."""
    px = [[BLACK] * size for _ in range(size)]
    edge = max(1, size // 16)
    inner = size - 2 * edge
    for y in range(size):
        for x in range(size):
            if x < edge or y < edge or x >= size - edge or y >= size - edge:
                px[y][x] = SILVER if (x < edge or y < edge) else GREY
    for step in range(1, GRID_STEPS + 1):
        at = edge + step * inner // (GRID_STEPS + 1)
        for i in range(edge, size - edge):
            px[at][i] = GREEN
            px[i][at] = GREEN

    def to_pixel(pt):
        x = edge + round(pt[0] * (inner - 1))
        y = edge + round((1 - pt[1]) * (inner - 1))
        return x, y

    thickness = edge
    for a, b in zip(CHART, CHART[1:]):
        (x0, y0), (x1, y1) = to_pixel(a), to_pixel(b)
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for s in range(steps + 1):
            x = x0 + round((x1 - x0) * s / steps)
            y = y0 + round((y1 - y0) * s / steps)
            for dy in range(thickness):
                for dx in range(thickness):
                    if edge <= x + dx < size - edge and edge <= y - dy < size - edge:
                        px[y - dy][x + dx] = LIME
    return px


def image(size):
    """One icon image: header, palette, 4-bit colour rows and the 1-bit mask, bottom-up."""
    px = draw(size)
    xor_row = (size // 2 + 3) & ~3
    and_row = ((size + 7) // 8 + 3) & ~3
    colour = bytearray()
    for row in reversed(px):
        packed = bytes((row[i] << 4) | row[i + 1] for i in range(0, size, 2))
        colour += packed + bytes(xor_row - len(packed))
    mask = bytes(and_row * size)  # every pixel opaque
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 4, 0, len(colour) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colour) + mask


def main():
    # The small and the large icon at 125 % (20, 40) and 150 % (24, 48) as well as at 100 %.
    sizes = [16, 20, 24, 32, 40, 48]
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
