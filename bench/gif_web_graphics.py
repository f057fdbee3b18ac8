#!/usr/bin/python3
"""Makes GIFs of the kinds web pages are built of, as a common encoder (PIL) writes them:
spacers, bullets, icons and logos on transparent backgrounds, buttons and banners with
gradients, rules, photo thumbnails reduced to 256 colours, and a few small animations.

    /usr/bin/python3 bench/gif_web_graphics.py OUTDIR [--seed N]

The same seed always gives the same files.
"""

import argparse
import math
import os
import random

from PIL import Image, ImageDraw, ImageFilter


def rgb(rng):
    return tuple(rng.randrange(256) for _ in range(3))


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def save(im, path, rng, **kw):
    # Writers differ: some drop unused palette entries, some keep the full table.
    if rng.random() < 0.5:
        kw["optimize"] = True
    im.save(path, **kw)


def spacer(path, rng):
    im = Image.new("P", (1, 1), 0)
    im.putpalette([255, 255, 255, 0, 0, 0])
    im.save(path, transparency=0)


def rule(path, rng):
    w, h = rng.choice([(1, 200), (400, 1), (600, 2), (2, 300)])
    im = Image.new("RGB", (w, h), rgb(rng))
    save(im.convert("P", palette=Image.ADAPTIVE, colors=2), path, rng)


def shape_on_transparent(size, rng, colours, edges):
    """A shape in a few colours, antialiased against a matte, on a transparent background."""
    scale = 4
    big = Image.new("RGB", (size[0] * scale, size[1] * scale), (255, 0, 255))
    d = ImageDraw.Draw(big)
    fill, line = rgb(rng), rgb(rng)
    w, h = big.size
    kind = rng.choice(["circle", "round", "star", "arrow"])
    if kind == "circle":
        d.ellipse([w * 0.1, h * 0.1, w * 0.9, h * 0.9], fill=fill, outline=line, width=scale * 2)
    elif kind == "round":
        d.rounded_rectangle([w * 0.05, h * 0.15, w * 0.95, h * 0.85], radius=h // 4, fill=fill, outline=line,
                            width=scale * 2)
    elif kind == "star":
        pts = []
        for i in range(10):
            r = (0.45 if i % 2 == 0 else 0.2) * min(w, h)
            a = math.pi / 5 * i - math.pi / 2
            pts.append((w / 2 + r * math.cos(a), h / 2 + r * math.sin(a)))
        d.polygon(pts, fill=fill, outline=line)
    else:
        d.polygon([(w * 0.1, h * 0.35), (w * 0.6, h * 0.35), (w * 0.6, h * 0.1), (w * 0.95, h * 0.5),
                   (w * 0.6, h * 0.9), (w * 0.6, h * 0.65), (w * 0.1, h * 0.65)], fill=fill, outline=line)
    for _ in range(rng.randrange(0, 4)):
        x, y = rng.randrange(w), rng.randrange(h)
        d.ellipse([x, y, x + w // 8, y + h // 8], fill=rgb(rng))
    small = big.resize(size, Image.LANCZOS if edges else Image.NEAREST)
    im = small.quantize(colors=colours, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    # The matte colour (the corner) becomes the transparent entry.
    return im, im.getpixel((0, 0))


def icon(path, rng):
    size = rng.choice([(16, 16), (24, 24), (32, 32), (48, 48)])
    im, t = shape_on_transparent(size, rng, rng.choice([4, 8, 16, 32]), rng.random() < 0.7)
    save(im, path, rng, transparency=t)


def bullet(path, rng):
    im, t = shape_on_transparent((rng.choice([7, 8, 9, 11]),) * 2, rng, rng.choice([2, 3, 4, 6]), rng.random() < 0.5)
    save(im, path, rng, transparency=t)


def logo(path, rng):
    w, h = rng.choice([(120, 40), (200, 60), (160, 50), (300, 80)])
    im = Image.new("RGB", (w * 2, h * 2), (255, 0, 255))
    d = ImageDraw.Draw(im)
    c1, c2 = rgb(rng), rgb(rng)
    for i in range(rng.randrange(3, 8)):
        x = int(w * 2 * (0.05 + 0.12 * i))
        d.rectangle([x, h * 0.4, x + w * 0.18, h * 1.6], fill=mix(c1, c2, i / 7))
        d.ellipse([x, h * 0.2, x + w * 0.18, h * 0.7], fill=c2)
    d.ellipse([w * 1.4, h * 0.2, w * 1.95, h * 1.8], outline=c1, width=6)
    im = im.resize((w, h), Image.LANCZOS)
    q = im.quantize(colors=rng.choice([16, 32, 64]), dither=Image.Dither.NONE)
    t = q.getpixel((0, 0))
    save(q, path, rng, transparency=t, comment=b"Logo")


def button(path, rng):
    w, h = rng.choice([(88, 31), (120, 24), (100, 30), (150, 40)])
    top, bottom = rgb(rng), rgb(rng)
    im = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(im)
    for y in range(h):
        d.line([(0, y), (w, y)], fill=mix(top, bottom, y / (h - 1)))
    d.rectangle([0, 0, w - 1, h - 1], outline=(0, 0, 0))
    for i in range(rng.randrange(4, 9)):  # letters as blocks
        x = 8 + i * (w - 16) // 9
        d.rectangle([x, h // 3, x + (w - 16) // 12, 2 * h // 3], fill=(255, 255, 255))
    save(im.quantize(colors=rng.choice([32, 64, 128]), dither=Image.Dither.NONE), path, rng)


def banner(path, rng):
    w, h = rng.choice([(468, 60), (728, 90), (234, 60)])
    a, b = rgb(rng), rgb(rng)
    im = Image.new("RGB", (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = mix(a, b, (x / w + 0.3 * math.sin(y / 9)) % 1)
    d = ImageDraw.Draw(im)
    d.rectangle([w // 3, h // 4, w // 3 + w // 3, h // 4 + h // 2], fill=rgb(rng))
    save(im.quantize(colors=rng.choice([64, 128, 256]), dither=Image.Dither.FLOYDSTEINBERG), path, rng)


def thumbnail(path, rng):
    w, h = rng.choice([(100, 75), (120, 90), (160, 120), (80, 80)])
    im = Image.new("RGB", (w, h))
    px = im.load()
    sky, ground = rgb(rng), rgb(rng)
    for y in range(h):
        for x in range(w):
            base = sky if y < h * (0.5 + 0.1 * math.sin(x / 11)) else ground
            n = rng.randrange(-12, 13)
            px[x, y] = tuple(max(0, min(255, c + n + (y * 40) // h)) for c in base)
    im = im.filter(ImageFilter.SMOOTH)
    save(im.quantize(colors=256, dither=Image.Dither.FLOYDSTEINBERG), path, rng)


def animation(path, rng):
    size = rng.choice([(16, 16), (32, 32), (88, 31)])
    frames = []
    for i in range(rng.randrange(2, 6)):
        im = Image.new("RGB", size, rgb(rng))
        ImageDraw.Draw(im).ellipse([i, i, size[0] // 2 + i, size[1] // 2 + i], fill=rgb(rng))
        frames.append(im.quantize(colors=8))
    frames[0].save(path, save_all=True, append_images=frames[1:], duration=100, loop=0)


KINDS = [("spacer", spacer, 4), ("rule", rule, 6), ("bullet", bullet, 10), ("icon", icon, 30), ("logo", logo, 14),
         ("button", button, 16), ("banner", banner, 6), ("thumb", thumbnail, 10), ("anim", animation, 4)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--seed", type=int, default=17)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    rng = random.Random(args.seed)
    count = 0
    for name, make, n in KINDS:
        for i in range(n):
            make(os.path.join(args.out, "%s%02d.gif" % (name, i)), rng)
            count += 1
    print(count)


main()
