#!/usr/bin/python3
"""Makes a web site to measure the batch on: HTML pages and stylesheets of realistic content,
PNG photos and graphics with and without alpha, and single-frame GIFs.

    /usr/bin/python3 bench/gen_site.py OUTDIR [--scale F] [--seed N] [--jobs N] [--palette N]
                                      [--text-files N --text-mb MB] [--text-only]

At scale 1: 500 HTML/CSS files of about 20 MB together, 200 PNGs of 0.2 to 4 megapixels and
200 GIFs of up to 1 megapixel. The same seed always gives the same files. Images are made
on every core; a site takes about a minute on two idle cores.
"""

import argparse
import math
import os
import random
import sys
from multiprocessing import Pool

from PIL import Image, ImageChops, ImageDraw, ImageFilter

# ---------------------------------------------------------------------------------------
# Text

NAMED = ["red", "navy", "white", "black", "gray", "silver", "maroon", "teal", "olive",
         "orange", "gold", "crimson", "steelblue", "darkslategray", "whitesmoke", "lightgray",
         "tomato", "seagreen", "royalblue", "indigo", "Beige", "NAVY", "White"]

JA_WORDS = ["当サイト", "について", "お知らせ", "新製品", "のご案内", "会社概要", "お問い合わせ",
            "こちら", "をご覧ください", "営業時間", "年末年始", "休業", "いたします", "詳しくは",
            "商品一覧", "価格", "送料", "無料", "ご注文", "ありがとうございます", "東京都",
            "大阪", "写真", "ギャラリー", "更新情報", "掲示板", "リンク集", "日記", "今日は",
            "とても", "良い天気", "でした", "。", "、", "トップページ", "へ戻る", "色", "デザイン"]

EN_WORDS = ("the quick site design colour page update news product gallery contact about "
            "service price order shipping free new archive photo link home menu top back "
            "information schedule event report summer winter spring autumn").split()


# A site is designed with a few dozen colours that its pages and stylesheets use again and again,
# and has a few one-off colours besides: PALETTE_SHARE of the colour values come from its
# palette (set by main), the rest are drawn at random.
PALETTE = []
PALETTE_SHARE = 0.8


def site_colour(rng):
    if PALETTE and rng.random() < PALETTE_SHARE:
        return rng.choice(PALETTE)
    return rng.getrandbits(24)


def hex6(rng):
    c = site_colour(rng)
    return "#%06X" % c if rng.random() < 0.5 else "#%06x" % c


def colour_value(rng, css=False):
    r = rng.random()
    if r < 0.55:
        return hex6(rng)
    if r < 0.70:
        c = site_colour(rng)
        return "#%x%x%x" % (c >> 20, (c >> 12) & 15, (c >> 4) & 15)
    if r < 0.82:
        return rng.choice(NAMED)
    c = site_colour(rng)
    red, green, blue = c >> 16, (c >> 8) & 255, c & 255
    if r < 0.92 or not css:
        return "rgb(%d, %d, %d)" % (red, green, blue)
    if r < 0.97:
        return "rgba(%d,%d,%d,.%d)" % (red, green, blue, rng.randrange(1, 10))
    return "rgb(%d%%, %d%%, %d%%)" % (round(red / 2.55), round(green / 2.55), round(blue / 2.55))


def sentence(rng, japanese):
    if japanese and rng.random() < 0.75:
        return "".join(rng.choice(JA_WORDS) for _ in range(rng.randrange(6, 24)))
    words = [rng.choice(EN_WORDS) for _ in range(rng.randrange(6, 20))]
    return " ".join(words).capitalize() + "."


def html_block(rng, japanese, n):
    k = rng.random()
    if k < 0.40:
        style = ' style="color: %s"' % colour_value(rng) if rng.random() < 0.3 else ""
        return "<p%s>%s %s</p>" % (style, sentence(rng, japanese), sentence(rng, japanese))
    if k < 0.55:
        rows = []
        for _ in range(rng.randrange(2, 8)):
            cells = "".join('<td bgcolor="%s" width="%d"><font color="%s" size="2">%s</font></td>'
                            % (colour_value(rng), rng.randrange(40, 300), colour_value(rng),
                               sentence(rng, japanese)[:40]) for _ in range(rng.randrange(2, 5)))
            rows.append("  <tr>%s</tr>" % cells)
        return ('<table border="0" cellpadding="4" cellspacing="0" bgcolor="%s">\n%s\n</table>'
                % (colour_value(rng), "\n".join(rows)))
    if k < 0.68:
        return ('<div class="box box%d" style="background-color:%s;border:1px solid %s;padding:8px">'
                '<a href="../page%03d.html">%s</a></div>'
                % (n % 17, colour_value(rng), colour_value(rng), rng.randrange(500),
                   sentence(rng, japanese)[:60]))
    if k < 0.78:
        return ('<img src="../img/photo%03d.png" width="%d" height="%d" alt="%s">'
                % (rng.randrange(200), rng.randrange(100, 800), rng.randrange(100, 600),
                   sentence(rng, japanese)[:30]))
    if k < 0.86:
        items = "".join('<li><a href="#s%d">%s</a></li>' % (i, sentence(rng, japanese)[:24])
                        for i in range(rng.randrange(3, 10)))
        return '<ul class="nav">%s</ul>' % items
    if k < 0.93:
        return ("<script>\nfunction f%d(el) { el.style.color = '%s'; var n = %d; "
                "for (var i = 0; i < n; i++) { el.title += i; } }\n</script>"
                % (n, hex6(rng), rng.randrange(100)))
    return "<!-- %s -->" % sentence(rng, False)


def html_page(rng, index, size, japanese):
    head = ['<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">', "<html>", "<head>",
            '<meta http-equiv="Content-Type" content="text/html; charset=%s">'
            % ("Shift_JIS" if japanese else "UTF-8"),
            "<title>%s</title>" % sentence(rng, japanese)[:40],
            '<link rel="stylesheet" href="../css/style%02d.css">' % (index % 40), "<style>"]
    for i in range(rng.randrange(3, 15)):
        head.append(".p%d { color: %s; background: %s; }" % (i, colour_value(rng, True),
                                                              colour_value(rng, True)))
    head += ["</style>", "</head>",
             '<body bgcolor="%s" text="%s" link="%s" vlink="%s">'
             % (colour_value(rng), colour_value(rng), colour_value(rng), colour_value(rng))]
    parts = head
    length = sum(len(p) for p in parts)
    n = 0
    while length < size:
        block = html_block(rng, japanese, n)
        parts.append(block)
        length += len(block) * (2 if japanese else 1)
        n += 1
    parts += ["</body>", "</html>", ""]
    return parts


SELECTORS = ["body", "a", "a:hover", "h1", "h2", "h3", "p", "table", "td", "th", ".nav li",
             "#header", "#footer", ".box", ".button", ".button:hover", "input[type=text]",
             ".menu > li > a", "blockquote", "pre code", ".alert-danger", ".card .title"]

PROPS = ["margin: 0 auto", "padding: 4px 8px", "font-size: 12px", "line-height: 1.6",
         "font-family: 'MS PGothic', Osaka, sans-serif", "text-decoration: none",
         "display: block", "width: 100%", "float: left", "background-image: url(../img/bg.gif)",
         "background-repeat: no-repeat", "position: relative", "z-index: 10",
         "transition: color .2s ease-in-out", "fill: url(#grad1)"]

COLOUR_PROPS = ["color", "background-color", "border-color", "border-top-color", "background",
                "outline-color", "border-bottom"]


def css_rule(rng, n):
    decls = []
    for _ in range(rng.randrange(2, 9)):
        r = rng.random()
        if r < 0.45:
            p = rng.choice(COLOUR_PROPS)
            v = colour_value(rng, True)
            decls.append("%s: %s" % (p, ("1px solid " + v) if p == "border-bottom" else v))
        elif r < 0.50:
            decls.append("box-shadow: 0 1px 3px %s" % colour_value(rng, True))
        elif r < 0.54:
            decls.append("background: linear-gradient(to bottom, %s 0%%, %s 100%%)"
                         % (colour_value(rng, True), colour_value(rng, True)))
        else:
            decls.append(rng.choice(PROPS))
    sel = ", ".join(rng.choice(SELECTORS) + ("" if rng.random() < 0.5 else ".c%d" % n)
                    for _ in range(rng.randrange(1, 3)))
    return sel, decls


def style_sheet(rng, size):
    minified = rng.random() < 0.25
    out = []
    length = 0
    n = 0
    if not minified:
        out.append("@charset \"UTF-8\";")
        out.append(":root { --main: %s; --accent: %s; }" % (hex6(rng), hex6(rng)))
    while length < size:
        sel, decls = css_rule(rng, n)
        if minified:
            text = "%s{%s}" % (sel, ";".join(d.replace(": ", ":") for d in decls))
        else:
            text = "%s {\n  %s;\n}" % (sel, ";\n  ".join(decls))
            if rng.random() < 0.05:
                text = "/* %s */\n%s" % (sentence(rng, False), text)
            if rng.random() < 0.04:
                text = "@media (max-width: %dpx) {\n%s\n}" % (rng.choice([480, 768, 1024]), text)
        out.append(text)
        length += len(text) + 1
        n += 1
    return ("" if minified else "\n").join(out) + "\n"


def write_text(out, rng, total_bytes, count):
    html_count = count * 7 // 10
    kinds = ["html"] * html_count + ["css"] * (count - html_count)
    sizes = [math.exp(rng.uniform(math.log(6e3), math.log(160e3))) for _ in kinds]
    scale = total_bytes / sum(sizes)
    for i, (kind, size) in enumerate(zip(kinds, sizes)):
        size = int(size * scale)
        if kind == "html":
            japanese = rng.random() < 0.5
            lines = html_page(rng, i, size, japanese)
            crlf = rng.random() < 0.6
            text = ("\r\n" if crlf else "\n").join(lines)
            data = text.encode("cp932" if japanese and rng.random() < 0.6 else "utf-8")
            folder = os.path.join(out, "pages", "sec%02d" % (i % 12))
            name = "page%03d.%s" % (i, "htm" if i % 9 == 0 else "html")
        else:
            data = style_sheet(rng, size).encode("utf-8")
            folder = os.path.join(out, "css")
            name = "style%02d.css" % (i - html_count)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


# ---------------------------------------------------------------------------------------
# Images

def dims(rng, megapixels):
    aspect = rng.choice([4 / 3, 3 / 2, 16 / 9, 1.0, 3 / 4, 2 / 3, 3.0])
    w = max(1, int(round(math.sqrt(megapixels * 1e6 * aspect))))
    h = max(1, int(round(megapixels * 1e6 / w)))
    return w, h


def photo(rng, w, h):
    """Smooth shapes of light and colour at several scales, with sensor noise."""
    def field(cells):
        sw, sh = max(2, int(w / cells)), max(2, int(h / cells))
        small = Image.frombytes("RGB", (sw, sh), rng.randbytes(sw * sh * 3))
        return small.resize((w, h), Image.BICUBIC)
    base = field(rng.uniform(w / 6, w / 3))
    detail = field(rng.uniform(12, 40))
    img = Image.blend(base, detail, 0.25)
    sigma = rng.uniform(2, 7)
    noise = Image.merge("RGB", [Image.effect_noise((w, h), sigma) for _ in range(3)])
    return ImageChops.add(img, noise, 1.0, -128)


def graphic(rng, w, h, alpha):
    mode = "RGBA" if alpha else "RGB"
    bg = (0, 0, 0, 0) if alpha else tuple(rng.randrange(256) for _ in range(3))
    img = Image.new(mode, (w, h), bg)
    if rng.random() < 0.5:
        grad = Image.linear_gradient("L").resize((w, h)).rotate(rng.choice([0, 90]))
        band = Image.new(mode, (w, h), tuple(rng.randrange(256) for _ in range(3)) + ((255,) if alpha else ()))
        img = Image.composite(band, img, grad)
    d = ImageDraw.Draw(img)
    palette = [tuple(rng.randrange(256) for _ in range(3)) for _ in range(rng.randrange(3, 12))]
    for _ in range(rng.randrange(5, 40)):
        x0, y0 = rng.randrange(w), rng.randrange(h)
        x1, y1 = x0 + rng.randrange(1, max(2, w // 2)), y0 + rng.randrange(1, max(2, h // 2))
        fill = rng.choice(palette) + ((rng.choice([255, 255, 160]),) if alpha else ())
        shape = rng.random()
        if shape < 0.4:
            d.rectangle([x0, y0, x1, y1], fill=fill)
        elif shape < 0.7:
            d.ellipse([x0, y0, x1, y1], fill=fill)
        elif shape < 0.85:
            d.line([x0, y0, x1, y1], fill=fill, width=rng.randrange(1, 12))
        else:
            d.text((x0, y0), "Tessival %d" % rng.randrange(1000), fill=fill)
    if rng.random() < 0.6:
        img = img.filter(ImageFilter.SMOOTH)  # anti-aliased edges
    return img


def make_png(args):
    path, seed, megapixels, kind, alpha = args
    rng = random.Random(seed)
    w, h = dims(rng, megapixels)
    if kind == "photo":
        img = photo(rng, w, h)
        if alpha:
            mask = Image.radial_gradient("L").resize((w, h)).point(lambda v: 255 if v < 100 else max(0, 255 - (v - 100) * 4))
            img.putalpha(mask)
    else:
        img = graphic(rng, w, h, alpha)
        if not alpha and rng.random() < 0.3:
            img = img.quantize(rng.choice([16, 64, 256]), dither=Image.NONE)
    img.save(path, "PNG")
    return w * h


def make_gif(args):
    path, seed, megapixels, kind, transparent = args
    rng = random.Random(seed)
    w, h = dims(rng, megapixels)
    if kind == "photo":
        img = photo(rng, w, h).quantize(256, dither=Image.FLOYDSTEINBERG)
    else:
        img = graphic(rng, w, h, False).quantize(rng.choice([4, 16, 32, 128]), dither=Image.NONE)
    extra = {"transparency": 0} if transparent else {}
    img.save(path, "GIF", **extra)
    return w * h


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("outdir")
    ap.add_argument("--scale", type=float, default=1.0, help="fraction of the default site")
    ap.add_argument("--seed", type=int, default=12)
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--text-files", type=int, help="number of pages and stylesheets (overrides the scale)")
    ap.add_argument("--text-mb", type=float, help="their size together in MB (overrides the scale)")
    ap.add_argument("--text-only", action="store_true", help="no pictures")
    ap.add_argument("--palette", type=int, default=64,
                    help="colours of the site's palette (0: every colour value drawn at random)")
    a = ap.parse_args()

    rng = random.Random(a.seed)
    palette_rng = random.Random(a.seed + 1)
    PALETTE[:] = [palette_rng.getrandbits(24) for _ in range(a.palette)]
    out = a.outdir
    os.makedirs(out, exist_ok=True)
    text_files = a.text_files or max(1, int(500 * a.scale))
    text_bytes = a.text_mb * 1e6 if a.text_mb else 20e6 * a.scale
    write_text(out, rng, text_bytes, text_files)
    if a.text_only:
        print("%d text files in %s" % (text_files, out))
        return 0

    os.makedirs(os.path.join(out, "img", "photo"), exist_ok=True)
    os.makedirs(os.path.join(out, "img", "ui"), exist_ok=True)
    os.makedirs(os.path.join(out, "img", "gif"), exist_ok=True)
    pngs, gifs = [], []
    for i in range(max(1, int(200 * a.scale))):
        mp = math.exp(rng.uniform(math.log(0.2), math.log(4.0)))
        kind = "photo" if i % 2 == 0 else "graphic"
        alpha = i % 4 in (1, 2)
        folder = "photo" if kind == "photo" else "ui"
        pngs.append((os.path.join(out, "img", folder, "%s%03d.png" % (kind, i)), rng.getrandbits(32), mp,
                     kind, alpha))
    for i in range(max(1, int(200 * a.scale))):
        mp = math.exp(rng.uniform(math.log(0.004), math.log(1.0)))
        kind = "photo" if i % 4 == 0 else "graphic"
        gifs.append((os.path.join(out, "img", "gif", "%s%03d.gif" % (kind, i)), rng.getrandbits(32), mp,
                     kind, i % 5 == 0))
    # The largest first, so that no worker is left with a big one at the end.
    with Pool(max(1, a.jobs)) as pool:
        png_px = pool.map(make_png, sorted(pngs, key=lambda p: -p[2]), chunksize=1)
        gif_px = pool.map(make_gif, sorted(gifs, key=lambda p: -p[2]), chunksize=1)
    print("%d text files, %d PNGs (%.0f megapixels), %d GIFs (%.0f megapixels) in %s"
          % (text_files, len(pngs), sum(png_px) / 1e6, len(gifs), sum(gif_px) / 1e6, out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
