#!/usr/bin/python3
"""Makes a set of PNG files like those of real web sites, saved by an independent encoder
(PIL, with its default settings or optimize=True), for bench_png_size:

    /usr/bin/python3 bench/png_webset.py OUTDIR [--seed N]

gradients/   banners, buttons, backgrounds and a large smooth gradient (RGB and RGBA)
icons/       16 to 128 pixel icons: RGBA, palette with transparency, grey, 1-bit
photos/      photographs, plain and with a soft alpha edge
screenshots/ pages and windows with text and flat colours, true colour and palette

Some files carry an ICC profile or sRGB, gAMA, pHYs and text chunks, as exported by image
editors. The same seed always gives the same files (about 9 megapixels together).
"""

import argparse
import io
import os
import random
import sys
import zlib

from PIL import Image, ImageChops, ImageDraw, ImageFilter, PngImagePlugin

try:
    from PIL import ImageCms
    SRGB_PROFILE = ImageCms.ImageCmsProfile(ImageCms.createProfile("sRGB")).tobytes()
except Exception:  # PIL without littlecms: a profile chunk is left out
    SRGB_PROFILE = None


def rgb(rng):
    return tuple(rng.randrange(256) for _ in range(3))


def metadata(rng, kind):
    """What an editor or exporter adds: nothing, a profile, or sRGB/gAMA, text, pHYs."""
    info = PngImagePlugin.PngInfo()
    extra = {}
    r = rng.random()
    if r < 0.25 and SRGB_PROFILE:
        extra["icc_profile"] = SRGB_PROFILE
    elif r < 0.5:
        info.add(b"sRGB", b"\x00")
        info.add(b"gAMA", (45455).to_bytes(4, "big"))
    if rng.random() < 0.5:
        info.add_text("Software", "Image editor 2.10")
        info.add_text("Title", "%s %d" % (kind, rng.randrange(1000)))
    if rng.random() < 0.2:
        info.add_text("Description", "Artwork for the site's %s section." % kind, zip=True)
    if rng.random() < 0.2:
        info.add_itxt("Author", "デザイン部", lang="ja", tkey="作者")
    if rng.random() < 0.4:
        extra["dpi"] = rng.choice([(72, 72), (96, 96), (144, 144)])
    extra["pnginfo"] = info
    return extra


def save(img, path, rng, kind):
    extra = metadata(rng, kind)
    if rng.random() < 0.35:
        extra["optimize"] = True
    if img.mode == "P" and "transparency" in img.info:
        extra["transparency"] = img.info["transparency"]
    img.save(path, "PNG", **extra)


# ---------------------------------------------------------------------------------------

def gradient(w, h, c0, c1, direction):
    ramp = Image.linear_gradient("L")
    if direction == "horizontal":
        ramp = ramp.rotate(90)
    elif direction == "diagonal":
        ramp = ramp.rotate(45, resample=Image.BICUBIC, expand=True).crop((64, 64, 192, 192))
    mask = ramp.resize((w, h), Image.BICUBIC)
    return Image.composite(Image.new("RGB", (w, h), c1), Image.new("RGB", (w, h), c0), mask)


def gradients(rng, out):
    files = [
        ("banner600x200.png", gradient(600, 200, rgb(rng), rgb(rng), "horizontal")),
        ("smooth1000x1000.png", gradient(1000, 1000, rgb(rng), rgb(rng), "diagonal")),
        ("hero1600x360.png", gradient(1600, 360, rgb(rng), rgb(rng), "vertical")),
        ("strip1x800.png", gradient(1, 800, rgb(rng), rgb(rng), "vertical")),
        ("strip800x1.png", gradient(800, 1, rgb(rng), rgb(rng), "horizontal")),
    ]
    for i in range(4):
        # A button: a vertical gradient in a rounded frame, with a label.
        w, h = rng.choice([(160, 40), (200, 48), (120, 32)])
        img = gradient(w, h, rgb(rng), rgb(rng), "vertical").convert("RGBA")
        mask = Image.new("L", (w * 4, h * 4), 0)
        ImageDraw.Draw(mask).rounded_rectangle([0, 0, w * 4 - 1, h * 4 - 1], radius=h, fill=255)
        img.putalpha(mask.resize((w, h), Image.LANCZOS))
        ImageDraw.Draw(img).text((w // 4, h // 3), "Button %d" % i, fill=(255, 255, 255, 255))
        files.append(("button%d.png" % i, img))
    # A gradient with a texture of noise, as a background image.
    base = gradient(640, 480, rgb(rng), rgb(rng), "diagonal")
    noise = Image.merge("RGB", [Image.effect_noise((640, 480), 4)] * 3)
    files.append(("textured640x480.png", ImageChops.add(base, noise, 1.0, -128)))
    for name, img in files:
        save(img, os.path.join(out, name), rng, "gradient")


def icon(rng, size):
    img = Image.new("RGBA", (size * 4, size * 4), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    s = size * 4
    shape = rng.random()
    if shape < 0.4:
        d.ellipse([s // 10, s // 10, s * 9 // 10, s * 9 // 10], fill=rgb(rng) + (255,), outline=rgb(rng) + (255,),
                  width=max(1, s // 16))
    elif shape < 0.8:
        d.rounded_rectangle([s // 8, s // 8, s * 7 // 8, s * 7 // 8], radius=s // 6, fill=rgb(rng) + (255,))
    else:
        d.polygon([(s // 2, s // 10), (s * 9 // 10, s * 9 // 10), (s // 10, s * 9 // 10)], fill=rgb(rng) + (255,))
    d.line([s // 4, s // 2, s * 3 // 4, s // 2], fill=(255, 255, 255, 230), width=max(1, s // 12))
    d.line([s // 2, s // 4, s // 2, s * 3 // 4], fill=(255, 255, 255, 230), width=max(1, s // 12))
    return img.resize((size, size), Image.LANCZOS)


def icons(rng, out):
    n = 0
    for size in [16, 16, 24, 32, 32, 48, 64, 64, 128, 128]:
        img = icon(rng, size)
        kind = n % 5
        if kind == 1:
            # A palette icon whose fully transparent pixels share one entry.
            alpha = img.getchannel("A").point(lambda a: 255 if a >= 128 else 0)
            pal = img.convert("RGB").quantize(31, dither=Image.NONE)
            pal.paste(31, mask=ImageChops.invert(alpha))
            img = pal
            img.info["transparency"] = 31
        elif kind == 2:
            img = img.convert("LA")
        elif kind == 3:
            img = img.convert("RGB").quantize(16, dither=Image.NONE)
        elif kind == 4 and size <= 32:
            img = img.convert("L").point(lambda v: 255 if v > 128 else 0).convert("1")
        save(img, os.path.join(out, "icon%02d_%d.png" % (n, size)), rng, "icon")
        n += 1
    # A sprite sheet of many icons.
    sheet = Image.new("RGBA", (512, 256), (0, 0, 0, 0))
    for i in range(32):
        sheet.paste(icon(rng, 64), ((i % 8) * 64, (i // 8) * 64))
    save(sheet, os.path.join(out, "sprites512x256.png"), rng, "icon")
    save(sheet.quantize(255, method=Image.FASTOCTREE, dither=Image.NONE), os.path.join(out, "sprites_palette.png"),
         rng, "icon")


def photo(rng, w, h):
    """Smooth shapes of light and colour at several scales, with sensor noise."""
    def field(cells):
        sw, sh = max(2, int(w / cells)), max(2, int(h / cells))
        small = Image.frombytes("RGB", (sw, sh), rng.randbytes(sw * sh * 3))
        return small.resize((w, h), Image.BICUBIC)
    img = Image.blend(field(rng.uniform(w / 6, w / 3)), field(rng.uniform(12, 40)), 0.25)
    noise = Image.merge("RGB", [Image.effect_noise((w, h), rng.uniform(2, 6)) for _ in range(3)])
    return ImageChops.add(img, noise, 1.0, -128)


def photos(rng, out):
    for i, (w, h) in enumerate([(800, 600), (640, 480), (480, 640), (1024, 683), (400, 400), (300, 200)]):
        img = photo(rng, w, h)
        if i % 2 == 0:
            # A cut-out with a soft edge.
            mask = Image.radial_gradient("L").resize((w, h)).point(
                lambda v: 255 if v < 100 else max(0, 255 - (v - 100) * 4))
            img.putalpha(mask)
        save(img, os.path.join(out, "photo%d_%dx%d.png" % (i, w, h)), rng, "photo")


def screenshot(rng, w, h):
    img = Image.new("RGB", (w, h), (245, 245, 245))
    d = ImageDraw.Draw(img)
    accent = rgb(rng)
    d.rectangle([0, 0, w, 48], fill=accent)
    d.text((16, 16), "Tessival - Site colours", fill=(255, 255, 255))
    d.rectangle([0, 48, 200, h], fill=(230, 232, 236))
    for i in range(12):
        d.text((16, 64 + i * 24), "Menu item %d" % i, fill=(40, 40, 40))
    y = 64
    while y < h - 40:
        if rng.random() < 0.2:
            d.rounded_rectangle([220, y, 220 + rng.randrange(80, 200), y + 28], radius=6, fill=accent)
            d.text((232, y + 8), "OK", fill=(255, 255, 255))
            y += 40
        elif rng.random() < 0.15:
            d.rectangle([220, y, w - 20, y + 120], fill=rgb(rng), outline=(180, 180, 180))
            y += 132
        else:
            words = " ".join(rng.choice(["colour", "page", "site", "the", "update", "design", "PNG", "batch"])
                             for _ in range(rng.randrange(5, 14)))
            d.text((220, y), words, fill=(20, 20, 20))
            y += 18
    return img


def screenshots(rng, out):
    for i, (w, h) in enumerate([(1280, 720), (1024, 768), (800, 600), (1366, 768)]):
        img = screenshot(rng, w, h)
        if i % 2 == 1:
            img = img.quantize(256, method=Image.FASTOCTREE, dither=Image.NONE)
        save(img, os.path.join(out, "screen%d_%dx%d.png" % (i, w, h)), rng, "screenshot")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("outdir")
    ap.add_argument("--seed", type=int, default=19)
    a = ap.parse_args()
    rng = random.Random(a.seed)
    for name, make in [("gradients", gradients), ("icons", icons), ("photos", photos), ("screenshots", screenshots)]:
        folder = os.path.join(a.outdir, name)
        os.makedirs(folder, exist_ok=True)
        make(rng, folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
