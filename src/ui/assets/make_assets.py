#!/usr/bin/env python3
"""Redraws the six pictures of the status window with ImageMagick's `convert`.

Run from anywhere: python3 src/ui/assets/make_assets.py
The all-well picture is calm and mostly green, the trouble picture alarming and mostly
red, so that a glance or a pixel probe tells them apart. Icons are written here byte by
byte, since `convert` writes 32-bit icons and these are 24-bit with a mask.
"""
import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def convert(*args):
    subprocess.run(["convert", *args], check=True)


def rgba(png, size):
    raw = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], check=True,
                         capture_output=True).stdout
    assert len(raw) == size * size * 4, png
    return raw


def write_icon(png, out, size=32):
    """One 24-bit image with its AND mask; pixels under half opacity are transparent."""
    px = rgba(png, size)
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        bits = 0
        row_mask = bytearray()
        for x in range(size):
            r, g, b, a = px[(y * size + x) * 4:(y * size + x) * 4 + 4]
            clear = a < 128
            xor += bytes((0, 0, 0)) if clear else bytes((b, g, r))
            bits = (bits << 1) | (1 if clear else 0)
            if x % 8 == 7:
                row_mask.append(bits)
                bits = 0
        row_mask += b"\0" * (-len(row_mask) % 4)
        mask += row_mask
    image = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, len(xor) + len(mask),
                        0, 0, 0, 0) + xor + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(image), 6 + 16)
    with open(out, "wb") as f:
        f.write(header + entry + image)


def gif(draw_args, out):
    # Enough colours in the gradient that the quantised palette fills all 256 entries.
    convert("-size", "259x80", *draw_args, "-alpha", "off", "-dither", "None",
            "-colors", "256", "-define", "gif:version=89a", out)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        def t(name):
            return os.path.join(tmp, name)

        # PicOK: a still sea of greens with a white tick at the left, clear of the labels.
        gif(["gradient:#c8f0c8-#5cbf6a",
             "(", "-size", "259x80", "gradient:", "-rotate", "90", "-resize", "259x80!",
             "-fill", "#3a9d4a", "-colorize", "100", "-alpha", "set", "-channel", "A",
             "-evaluate", "multiply", "0.25", "+channel", ")", "-compose", "over", "-composite",
             "-fill", "#2e8b3e", "-draw", "circle 21,40 21,22",
             "-stroke", "white", "-strokewidth", "5", "-fill", "none",
             "-draw", "stroke-linecap round stroke-linejoin round polyline 12,40 19,48 31,31"],
            os.path.join(HERE, "picok.gif"))

        # PictBad: hot reds with dark diagonal stripes and a yellow warning sign.
        stripes = " ".join(f"polygon {x},0 {x + 12},0 {x - 68},80 {x - 80},80"
                           for x in range(0, 360, 30))
        gif(["gradient:#ff9080-#e03a2e",
             "-fill", "#d02a22", "-draw", stripes,
             "-fill", "#ffd21f", "-stroke", "#3a0000", "-strokewidth", "2",
             "-draw", "polygon 21,18 40,60 2,60",
             "-stroke", "none", "-fill", "#3a0000",
             "-draw", "rectangle 19,30 23,48", "-draw", "rectangle 19,52 23,56"],
            os.path.join(HERE, "pictbad.gif"))

        # Image1, reset: a blue circular arrow.
        convert("-size", "24x24", "xc:#f4f8ff", "-fill", "none", "-stroke", "#1d5fbf",
                "-strokewidth", "3", "-draw", "arc 4,4 20,20 -30,240",
                "-stroke", "none", "-fill", "#1d5fbf", "-draw", "polygon 13,1 21,7 13,11",
                "-alpha", "off", "-type", "TrueColor", "BMP3:" + os.path.join(HERE, "image1.bmp"))

        # Image2, minimise: a window frame with a bar dropping to its bottom edge.
        convert("-size", "24x24", "xc:#f4f8ff", "-fill", "none", "-stroke", "#404a58",
                "-strokewidth", "2", "-draw", "rectangle 3,3 20,20",
                "-stroke", "none", "-fill", "#404a58", "-draw", "rectangle 3,3 20,6",
                "-fill", "#1d5fbf", "-draw", "rectangle 7,15 16,18",
                "-draw", "polygon 8,9 15,9 11.5,13",
                "-alpha", "off", "-type", "TrueColor", "BMP3:" + os.path.join(HERE, "image2.bmp"))

        # Image3, hand-over: an orange arrow into a window marked with a bigger chip.
        convert("-size", "32x32", "xc:none", "-fill", "#ffffff", "-stroke", "#303848",
                "-strokewidth", "2", "-draw", "roundrectangle 11,3 29,28 3,3",
                "-fill", "#303848", "-stroke", "none", "-draw", "rectangle 15,8 25,18",
                "-fill", "#ff8a00", "-stroke", "#8a4300", "-strokewidth", "1",
                "-draw", "polygon 1,13 11,13 11,8 20,17 11,26 11,21 1,21",
                t("image3.png"))
        write_icon(t("image3.png"), os.path.join(HERE, "image3.ico"))

        # Window and tray icon: a green processor chip with its pins.
        pins = " ".join(f"rectangle {p},2 {p + 2},29 rectangle 2,{p} 29,{p + 2}"
                        for p in (8, 14, 20))
        convert("-size", "32x32", "xc:none", "-fill", "#6b7280", "-draw", pins,
                "-fill", "#1f7a3a", "-stroke", "#0c3d1b", "-strokewidth", "1",
                "-draw", "roundrectangle 6,6 25,25 3,3",
                "-fill", "#a7f3b5", "-stroke", "none", "-draw", "rectangle 11,11 20,20",
                t("icon.png"))
        write_icon(t("icon.png"), os.path.join(HERE, "marrowbine_jr.ico"))


if __name__ == "__main__":
    main()
