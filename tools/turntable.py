#!/usr/bin/env python3
"""Turntable pictures of inflated bodies: a disc, a five-point star and a hand, each drawn,
built, inflated with I and shown from the front, turned 45 degrees, edge-on and glossy.

    tools/turntable.py REPLAY OUT.png

REPLAY is a sketch3d-replay program; the pictures are its screenshots, put side by side with
ImageMagick's montage (Debian imagemagick): one row per shape, one column per view.
"""
import math
import os
import subprocess
import sys
import tempfile

CX, CY = 257, 241


def disc():
    return [(CX + round(100 * math.cos(2 * math.pi * k / 64)), CY + round(100 * math.sin(2 * math.pi * k / 64)))
            for k in range(65)]


def star():
    points = []
    for k in range(11):
        a = math.pi * k / 5 - math.pi / 2
        r = 150 if k % 2 == 0 else 60
        points.append((CX + round(r * math.cos(a)), CY + round(r * math.sin(a))))
    return points


def hand():
    # Palm below, four fingers 20 pixels wide with 10-pixel gaps, a thumb to the left.
    outline = [(-75, 130), (55, 130), (55, -95), (35, -95), (35, 0), (25, 0), (25, -125), (5, -125), (5, 0),
               (-5, 0), (-5, -115), (-25, -115), (-25, 0), (-35, 0), (-35, -90), (-55, -90), (-55, 20),
               (-120, -20), (-132, -4), (-75, 60), (-75, 130)]
    return [(CX + x, CY + y) for x, y in outline]


def script(points, click):
    lines = ["frames 2", f"move {points[0][0]} {points[0][1]}", "frames 1", "down left"]
    for x, y in points[1:]:
        lines += [f"move {x} {y}", "frames 1"]
    lines += ["up left", "frames 1", f"move {click[0]} {click[1]}", "frames 1", "down right", "frames 1", "up right",
              "frames 1", f"move {CX} {CY}", "frames 1", "key down i", "frames 1", "key up i", "frames 1",
              "screenshot 1-front"]
    # Dragging right turns about y: 128 pixels are an eighth of a turn.
    lines += ["down left", f"move {CX + 64} {CY}", "frames 1", f"move {CX + 128} {CY}", "frames 1", "up left",
              "frames 1", "screenshot 2-turned-45"]
    lines += ["down left", f"move {CX + 192} {CY}", "frames 1", f"move {CX + 256} {CY}", "frames 1", "up left",
              "frames 1", "screenshot 3-edge-on"]
    # Back to the front, tilted a little about x, and glossy (F2).
    lines += ["down left", f"move {CX + 128} {CY}", "frames 1", f"move {CX} {CY}", "frames 1",
              f"move {CX} {CY + 40}", "frames 1", "up left", "frames 1", "key down f2", "frames 1", "key up f2",
              "frames 1", "screenshot 4-glossy", "close"]
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    replay, out = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        tiles = []
        for name, points, click in [("disc", disc(), (CX, CY)), ("star", star(), (CX, CY)),
                                    ("hand", hand(), (CX, CY + 60))]:
            path = os.path.join(work, name + ".txt")
            with open(path, "w") as f:
                f.write(script(points, click))
            shots = os.path.join(work, name)
            subprocess.run([replay, path, "--out", shots], check=True, stdout=subprocess.DEVNULL)
            tiles += [os.path.join(shots, view + ".png") for view in
                      ("1-front", "2-turned-45", "3-edge-on", "4-glossy")]
        subprocess.run(["montage", *tiles, "-tile", "4x3", "-geometry", "257x242+2+2", out], check=True)


if __name__ == "__main__":
    main()
