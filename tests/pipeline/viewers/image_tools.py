"""Small image helpers for the viewer test: draw a stand-in figure, and measure how much
of a screenshot region is covered by something other than the page background."""

import argparse
import json
import sys

from PIL import Image, ImageDraw


def make_figure(args):
    # A plot-like picture: axes frame and a curve, enough to tell it from a placeholder.
    img = Image.new("RGB", (640, 420), "white")
    draw = ImageDraw.Draw(img)
    draw.rectangle([60, 30, 610, 380], outline="black", width=2)
    points = [(60 + 5 * i, 380 - int(330 * (i / 110.0) ** args.power)) for i in range(111)]
    draw.line(points, fill=(31, 119, 180), width=4)
    draw.text((280, 8), args.title, fill="black")
    img.save(args.output)


def count_pixels(args):
    img = Image.open(args.image).convert("RGB")
    x0, y0, x1, y1 = args.box
    region = img.crop((x0, y0, min(x1, img.width), min(y1, img.height)))
    bg = tuple(args.background)
    total = region.width * region.height
    differing = 0
    colours = set()
    for r, g, b in region.getdata():
        if max(abs(r - bg[0]), abs(g - bg[1]), abs(b - bg[2])) > args.tolerance:
            differing += 1
            colours.add((r // 8, g // 8, b // 8))
    result = {"pixels": total, "non_background": differing,
              "fraction": differing / total if total else 0.0, "colours": len(colours)}
    print(json.dumps(result))
    if result["fraction"] < args.min_fraction or result["colours"] < args.min_colours:
        sys.exit(1)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    sub = parser.add_subparsers(dest="mode", required=True)
    fig = sub.add_parser("figure", help="write a stand-in figure")
    fig.add_argument("output")
    fig.add_argument("--title", default="figure")
    fig.add_argument("--power", type=float, default=2.0)
    fig.set_defaults(run=make_figure)
    cnt = sub.add_parser("count", help="measure non-background pixels in a box; fail below the minimums")
    cnt.add_argument("image")
    cnt.add_argument("--box", type=int, nargs=4, required=True, metavar=("X0", "Y0", "X1", "Y1"))
    cnt.add_argument("--background", type=int, nargs=3, required=True)
    cnt.add_argument("--tolerance", type=int, default=24)
    cnt.add_argument("--min-fraction", type=float, default=0.0)
    cnt.add_argument("--min-colours", type=int, default=0)
    cnt.set_defaults(run=count_pixels)
    args = parser.parse_args()
    args.run(args)


if __name__ == "__main__":
    main()
