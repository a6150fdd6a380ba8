#!/usr/bin/env python3
"""Draws the setup dialog's connector picture (bitmap resource 5001).

A front view of the 25-pin D connector on a grey shell, 270 x 59 pixels with
16 colours (4 bits per pixel), written as an uncompressed bottom-up BMP. Top
row: pins 13 down to 1 from left to right; bottom row: pins 25 down to 14.
Every pin is a numbered disc coloured by its role on the port.

The picture sits in a 180 x 36 dialog-unit static; with the dialog's 8-point
font one dialog unit is 1.5 pixels across and about 1.63 pixels down, which
is where 270 x 59 comes from.

The output is committed (dialog/connector.bmp); the build's tests run this
script with --check to prove the committed file is what it draws. Only the
standard library is used, and the output depends on nothing but this file.

    make_connector_bitmap.py OUTPUT      write the picture
    make_connector_bitmap.py --check F   exit 1 unless F holds the picture
"""

import struct
import sys

WIDTH = 270
HEIGHT = 59

# The standard 16-colour palette, in its usual order, so that every entry
# shows unchanged on a 16-colour display.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 dark red
    (0x00, 0x80, 0x00),  # 2 green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 light grey
    (0x80, 0x80, 0x80),  # 8 dark grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]
BLACK, GREEN, LIGHT_GREY, DARK_GREY = 0, 2, 7, 8
BLUE, MAGENTA, WHITE = 12, 13, 15

# Roles of the pins: data outputs, control outputs, status inputs, ground.
DATA_PINS = range(2, 10)
CONTROL_PINS = (1, 14, 16, 17)
STATUS_PINS = (10, 11, 12, 13, 15)


def role_colour(pin):
    if pin in DATA_PINS:
        return MAGENTA
    if pin in CONTROL_PINS:
        return BLUE
    if pin in STATUS_PINS:
        return GREEN
    return BLACK


# Pin geometry. The 13 pins of the top row are 20 pixels apart around the
# picture's centre line; the 12 of the bottom row sit in the gaps between them.
PIN_PITCH = 19
PIN_RADIUS = 8
TOP_ROW_Y = 19
BOTTOM_ROW_Y = 40
CENTRE_X = WIDTH // 2


def pin_centre(pin):
    """Centre (x, y) of a pin's disc, in pixels from the top left corner."""
    if 1 <= pin <= 13:
        column = 13 - pin  # pin 13 leftmost
        return CENTRE_X + PIN_PITCH * (column - 6), TOP_ROW_Y
    if 14 <= pin <= 25:
        column = 25 - pin  # pin 25 leftmost
        return CENTRE_X - PIN_PITCH * 11 // 2 + PIN_PITCH * column, BOTTOM_ROW_Y
    raise ValueError(f"no pin {pin} on the connector")


# A 4 x 7 digit font: narrow enough that two digits and a gap fit a disc.
DIGITS = {
    "0": [".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."],
    "1": ["..#.", ".##.", "..#.", "..#.", "..#.", "..#.", ".###"],
    "2": [".##.", "#..#", "...#", "..#.", ".#..", "#...", "####"],
    "3": [".##.", "#..#", "...#", "..#.", "...#", "#..#", ".##."],
    "4": ["..#.", ".##.", "#.#.", "#.#.", "####", "..#.", "..#."],
    "5": ["####", "#...", "###.", "...#", "...#", "#..#", ".##."],
    "6": [".##.", "#...", "#...", "###.", "#..#", "#..#", ".##."],
    "7": ["####", "...#", "..#.", "..#.", ".#..", ".#..", ".#.."],
    "8": [".##.", "#..#", "#..#", ".##.", "#..#", "#..#", ".##."],
    "9": [".##.", "#..#", "#..#", ".###", "...#", "...#", ".##."],
}
DIGIT_WIDTH = 4
DIGIT_HEIGHT = 7


class Canvas:
    def __init__(self, width, height, colour):
        self.width = width
        self.height = height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def get(self, x, y):
        return self.pixels[y][x]


def shell_contains(x, y, inset):
    """Whether pixel (x, y) lies inside the D-shaped shell shrunk by `inset`.

    The shell is a trapezoid, wider at the top as on the real connector, with
    rounded corners."""
    top, bottom = 2 + inset, HEIGHT - 3 - inset
    if not top <= y <= bottom:
        return False
    # The sides slope inwards by 12 pixels from top to bottom.
    slope = 12 * (y - 2) / (HEIGHT - 5)
    left = 1 + inset + slope
    right = WIDTH - 2 - inset - slope
    if not left <= x <= right:
        return False
    radius = 7 - inset // 2
    for corner_x, corner_y, dx, dy in (
        (left + radius, top + radius, -1, -1),
        (right - radius, top + radius, 1, -1),
        (left + radius, bottom - radius, -1, 1),
        (right - radius, bottom - radius, 1, 1),
    ):
        beyond_x = (x - corner_x) * dx > 0
        beyond_y = (y - corner_y) * dy > 0
        if beyond_x and beyond_y:
            if (x - corner_x) ** 2 + (y - corner_y) ** 2 > radius**2:
                return False
    return True


def draw_shell(canvas):
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if shell_contains(x, y, 2):
                canvas.put(x, y, DARK_GREY)
            elif shell_contains(x, y, 1):
                # A lit upper edge and a shaded lower edge for some depth.
                canvas.put(x, y, WHITE if y < HEIGHT // 2 else BLACK)
            elif shell_contains(x, y, 0):
                canvas.put(x, y, BLACK)


def draw_text(canvas, text, centre_x, centre_y, colour):
    width = len(text) * DIGIT_WIDTH + (len(text) - 1)
    left = centre_x - width // 2
    top = centre_y - DIGIT_HEIGHT // 2
    for index, character in enumerate(text):
        glyph = DIGITS[character]
        origin = left + index * (DIGIT_WIDTH + 1)
        for row, line in enumerate(glyph):
            for column, mark in enumerate(line):
                if mark == "#":
                    canvas.put(origin + column, top + row, colour)


def draw_pin(canvas, pin):
    centre_x, centre_y = pin_centre(pin)
    fill = role_colour(pin)
    for y in range(centre_y - PIN_RADIUS, centre_y + PIN_RADIUS + 1):
        for x in range(centre_x - PIN_RADIUS, centre_x + PIN_RADIUS + 1):
            distance = (x - centre_x) ** 2 + (y - centre_y) ** 2
            if distance <= (PIN_RADIUS - 1) ** 2 + 2:
                canvas.put(x, y, fill)
            elif distance <= PIN_RADIUS**2 + 3:
                # A light rim sets the dark discs (ground) off the grey shell.
                canvas.put(x, y, LIGHT_GREY)
    draw_text(canvas, str(pin), centre_x, centre_y, WHITE)


def draw_connector():
    canvas = Canvas(WIDTH, HEIGHT, LIGHT_GREY)
    draw_shell(canvas)
    for pin in range(1, 26):
        draw_pin(canvas, pin)
    return canvas


def encode_bmp(canvas):
    """An uncompressed 4-bit BMP: file header, info header, palette, rows from
    the bottom up, each padded to a multiple of 4 bytes."""
    row_bytes = (canvas.width * 4 + 31) // 32 * 4
    rows = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(canvas.width):
            index = canvas.get(x, y)
            row[x // 2] |= index << 4 if x % 2 == 0 else index
        rows += row
    palette = b"".join(struct.pack("<BBBB", blue, green, red, 0)
                       for red, green, blue in PALETTE)
    info = struct.pack(
        "<IiiHHIIiiII",
        40,  # header size
        canvas.width,
        canvas.height,  # positive: bottom-up
        1,  # planes
        4,  # bits per pixel
        0,  # no compression
        len(rows),
        3780,  # 96 dots per inch, in dots per metre
        3780,
        len(PALETTE),
        0,  # every colour important
    )
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return header + info + palette + bytes(rows)


def main(arguments):
    picture = encode_bmp(draw_connector())
    if len(arguments) == 2 and arguments[0] == "--check":
        try:
            with open(arguments[1], "rb") as file:
                committed = file.read()
        except OSError as error:
            print(f"cannot read {arguments[1]}: {error}")
            return 1
        if committed != picture:
            print(f"{arguments[1]} differs from what the generator draws; "
                  "run the generator and commit its output")
            return 1
        print(f"{arguments[1]} matches the generator ({len(picture)} bytes)")
        return 0
    if len(arguments) == 1 and not arguments[0].startswith("-"):
        with open(arguments[0], "wb") as file:
            file.write(picture)
        return 0
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
