#!/usr/bin/python3
"""Draws the program's artwork: the logo, the window icon (PNG sizes and SVG), the
button glyphs (two-image strips: normal and disabled, on the key colour (255, 0, 255))
and the picture of the print dialog. Run: /usr/bin/python3 make_assets.py (needs python3-pil)"""
import os
from PIL import Image, ImageDraw, ImageFont

KEY = (255, 0, 255)
HERE = os.path.dirname(os.path.abspath(__file__))

BLUE = (43, 87, 151)
DARK = (29, 59, 102)
PAPER = (255, 255, 255)
FOLD = (201, 214, 234)
LINE = (154, 167, 184)
GLASS = (223, 240, 255)
BARS = [(232, 163, 61), (76, 160, 90), (205, 72, 66)]


# ---------------------------------------------------------------- window icon
# Shapes in a 256 x 256 design grid, shared by the SVG and the PNG renderings.
def icon_shapes(small):
    shapes = [
        ("poly", [(40, 16), (168, 16), (216, 64), (216, 240), (40, 240)], PAPER, BLUE, 8),
        ("poly", [(168, 16), (168, 64), (216, 64)], FOLD, BLUE, 8),
        ("rect", (64, 44, 150, 66), BLUE, None, 0),
    ]
    if not small:
        for y in (86, 106, 126):
            shapes.append(("rect", (64, y, 192, y + 8), LINE, None, 0))
        for i, h in enumerate((36, 60, 46)):
            shapes.append(("rect", (64 + i * 22, 214 - h, 82 + i * 22, 214), BARS[i], None, 0))
    shapes += [
        ("line", (198, 206, 234, 242), DARK, None, 26),
        ("circle", (162, 170, 42), GLASS, DARK, 14),
    ]
    return shapes


def hexc(c):
    return "#%02x%02x%02x" % c


def write_icon_svg(path):
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">']
    for kind, geo, fill, stroke, width in icon_shapes(False):
        st = ' stroke="%s" stroke-width="%d" stroke-linejoin="round"' % (hexc(stroke), width) if stroke else ""
        if kind == "poly":
            pts = " ".join("%d,%d" % p for p in geo)
            out.append('  <polygon points="%s" fill="%s"%s/>' % (pts, hexc(fill), st))
        elif kind == "rect":
            x0, y0, x1, y1 = geo
            out.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>' % (x0, y0, x1 - x0, y1 - y0, hexc(fill)))
        elif kind == "line":
            x0, y0, x1, y1 = geo
            out.append('  <line x1="%d" y1="%d" x2="%d" y2="%d" stroke="%s" stroke-width="%d" stroke-linecap="round"/>'
                       % (x0, y0, x1, y1, hexc(fill), width))
        elif kind == "circle":
            cx, cy, r = geo
            out.append('  <circle cx="%d" cy="%d" r="%d" fill="%s"%s/>' % (cx, cy, r, hexc(fill), st))
    out.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def render_icon(size):
    scale = 8 if size <= 64 else 4
    big = size * scale
    f = big / 256.0
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    for kind, geo, fill, stroke, width in icon_shapes(size <= 24):
        w = max(1, round(width * f)) if width else 0
        if size <= 24 and stroke:
            w = max(w, scale)  # at least one pixel at the final size
        if kind == "poly":
            pts = [(x * f, y * f) for x, y in geo]
            d.polygon(pts, fill=fill)
            if stroke:
                d.line(pts + [pts[0]], fill=stroke, width=w, joint="curve")
        elif kind == "rect":
            x0, y0, x1, y1 = geo
            d.rectangle((x0 * f, y0 * f, x1 * f - 1, y1 * f - 1), fill=fill)
        elif kind == "line":
            x0, y0, x1, y1 = geo
            d.line((x0 * f, y0 * f, x1 * f, y1 * f), fill=fill, width=w)
            r = w / 2
            for x, y in ((x0, y0), (x1, y1)):
                d.ellipse((x * f - r, y * f - r, x * f + r, y * f + r), fill=fill)
        elif kind == "circle":
            cx, cy, r = geo
            d.ellipse(((cx - r) * f, (cy - r) * f, (cx + r) * f, (cy + r) * f), fill=fill, outline=stroke, width=w)
    return img.resize((size, size), Image.LANCZOS)


# ---------------------------------------------------------------- glyphs (16 x 16 pixel art)
def glyph_canvas():
    img = Image.new("RGB", (16, 16), KEY)
    return img, ImageDraw.Draw(img)


def disabled_of(img):
    """The disabled look: the shape in soft grey with a white shadow below right."""
    out = Image.new("RGB", img.size, KEY)
    px, po = img.load(), out.load()
    w, h = img.size
    for y in range(h):
        for x in range(w):
            if px[x, y] != KEY and x + 1 < w and y + 1 < h and px[x + 1, y + 1] == KEY:
                po[x + 1, y + 1] = (255, 255, 255)
    for y in range(h):
        for x in range(w):
            c = px[x, y]
            if c != KEY:
                luma = (c[0] * 299 + c[1] * 587 + c[2] * 114) // 1000
                g = 128 + luma * 72 // 255
                po[x, y] = (g, g, g)
    return out


def strip(img):
    s = Image.new("RGB", (img.width * 2, img.height), KEY)
    s.paste(img, (0, 0))
    s.paste(disabled_of(img), (img.width, 0))
    return s


def g_open():
    img, d = glyph_canvas()
    d.polygon([(1, 3), (5, 3), (6, 4), (12, 4), (12, 6), (4, 6), (1, 13)], fill=(214, 168, 58), outline=(128, 88, 16))
    d.polygon([(4, 7), (15, 7), (12, 13), (1, 13)], fill=(247, 208, 98), outline=(128, 88, 16))
    d.line([(9, 1), (12, 1), (14, 3)], fill=(30, 90, 200))
    d.point((13, 2), fill=(30, 90, 200))
    d.line([(14, 1), (14, 3), (12, 3)], fill=(30, 90, 200))
    return img


def g_magnifier(sign):
    img, d = glyph_canvas()
    d.ellipse((1, 1, 10, 10), fill=(223, 240, 255), outline=DARK)
    d.line([(9, 9), (14, 14)], fill=DARK, width=2)
    d.line([(3, 5), (8, 5)] if True else [], fill=(200, 30, 30))
    d.line([(3, 6), (8, 6)], fill=(200, 30, 30))
    if sign == "+":
        d.line([(5, 3), (5, 8)], fill=(200, 30, 30))
        d.line([(6, 3), (6, 8)], fill=(200, 30, 30))
    return img


def g_cross():
    img, d = glyph_canvas()
    red, dark = (220, 40, 40), (140, 10, 10)
    for o in (0, 1):
        d.line([(3 + o, 3), (12 + o, 12)], fill=red)
        d.line([(12 + o, 3), (3 + o, 12)], fill=red)
    d.line([(3, 4), (11, 12)], fill=dark)
    d.line([(12, 4), (4, 12)], fill=dark)
    return img


def g_triangle(direction, bar):
    img, d = glyph_canvas()
    col = (20, 20, 20)
    if direction == "left":
        tri = [(10, 3), (10, 12), (5, 7.5)]
        x_bar = 3
        if not bar:
            tri = [(9, 3), (9, 12), (4, 7.5)]
    else:
        tri = [(5, 3), (5, 12), (10, 7.5)]
        x_bar = 12
        if not bar:
            tri = [(6, 3), (6, 12), (11, 7.5)]
    d.polygon(tri, fill=col)
    if bar:
        d.rectangle((x_bar - 1 if direction == "left" else x_bar, 3, x_bar if direction == "left" else x_bar + 1, 12), fill=col)
    return img


def g_outlined_square():
    img, d = glyph_canvas()
    d.rectangle((2, 2, 13, 13), outline=(20, 20, 20), fill=(255, 255, 255))
    d.line([(4, 7), (11, 7)], fill=(43, 87, 151))
    d.line([(4, 7), (6, 5)], fill=(43, 87, 151))
    d.line([(4, 7), (6, 9)], fill=(43, 87, 151))
    d.line([(11, 7), (9, 5)], fill=(43, 87, 151))
    d.line([(11, 7), (9, 9)], fill=(43, 87, 151))
    return img


def g_hatched_square():
    img, d = glyph_canvas()
    d.rectangle((2, 2, 13, 13), outline=(20, 20, 20), fill=(255, 255, 255))
    for k in range(-12, 12, 3):
        for x in range(3, 13):
            y = x + k
            if 3 <= y <= 12:
                d.point((x, y), fill=(43, 87, 151))
    return img


def g_printer():
    img, d = glyph_canvas()
    d.rectangle((4, 1, 11, 6), fill=(255, 255, 255), outline=(60, 60, 60))
    d.rectangle((1, 6, 14, 11), fill=(190, 190, 198), outline=(60, 60, 60))
    d.point((12, 8), fill=(40, 180, 40))
    d.rectangle((4, 10, 11, 14), fill=(255, 255, 255), outline=(60, 60, 60))
    d.line([(6, 12), (9, 12)], fill=(120, 120, 120))
    return img


# ---------------------------------------------------------------- logo and dialog picture
def font(size, bold=False):
    names = ["LiberationSans-Bold.ttf" if bold else "LiberationSans-Regular.ttf"]
    for folder in ("/usr/share/fonts/truetype/liberation", "/usr/share/fonts/truetype/liberation2"):
        for n in names:
            p = os.path.join(folder, n)
            if os.path.exists(p):
                return ImageFont.truetype(p, size)
    return ImageFont.load_default()


def logo():
    w, h, s = 170, 52, 4
    img = Image.new("RGB", (w * s, h * s), (255, 255, 255))
    d = ImageDraw.Draw(img)
    for y in range(h * s):  # soft blue band from top to bottom
        t = y / (h * s - 1)
        c = tuple(int(a + (b - a) * t) for a, b in zip((236, 243, 252), (188, 208, 236)))
        d.line([(0, y), (w * s, y)], fill=c)
    icon = render_icon(44 * s // 2).resize((44 * s, 44 * s), Image.LANCZOS)
    img.paste(icon, (5 * s, 4 * s), icon)
    d.text((56 * s, 7 * s), "QRP", font=font(22 * s, True), fill=BLUE)
    d.text((57 * s, 33 * s), "visor de reportes", font=font(10 * s), fill=DARK)
    d.rectangle((56 * s, 30 * s, 160 * s, 31 * s), fill=(232, 163, 61))
    return img.resize((w, h), Image.LANCZOS)


def print_picture():
    w = 105
    s = 4
    img = Image.new("RGB", (w * s, w * s), (240, 240, 240))
    d = ImageDraw.Draw(img)
    S = lambda *v: tuple(x * s for x in v)
    for i, off in enumerate((10, 5, 0)):  # a fanned stack of printed pages
        d.polygon([S(28 + off, 6 + off), S(72 + off, 6 + off), S(72 + off, 52 + off), S(28 + off, 52 + off)],
                  fill=(255, 255, 255), outline=(120, 130, 150))
        for k in range(4):
            d.rectangle(S(33 + off, 13 + off + k * 7, 64 + off, 15 + off + k * 7), fill=LINE)
    d.rounded_rectangle(S(10, 48, 95, 82), radius=6 * s, fill=(190, 196, 210), outline=(70, 75, 90), width=2 * s)
    d.rectangle(S(18, 52, 87, 56), fill=(120, 126, 140))
    d.ellipse(S(80, 62, 86, 68), fill=(60, 190, 80))
    d.polygon([S(24, 76), S(81, 76), S(86, 100), S(19, 100)], fill=(255, 255, 255), outline=(120, 130, 150))
    for k in range(3):
        d.rectangle(S(30, 82 + k * 6, 72, 84 + k * 6), fill=LINE)
    return img.resize((w, w), Image.LANCZOS)


def main():
    os.makedirs(os.path.join(HERE, "icons"), exist_ok=True)
    os.makedirs(os.path.join(HERE, "glyphs"), exist_ok=True)
    write_icon_svg(os.path.join(HERE, "icons", "visualizar-reportes.svg"))
    for size in (16, 22, 24, 32, 48, 64, 128, 256):
        render_icon(size).save(os.path.join(HERE, "icons", "visualizar-reportes-%d.png" % size))
    glyphs = {
        "open": g_open(), "zoom_in": g_magnifier("+"), "zoom_out": g_magnifier("-"),
        "cross": g_cross(), "first": g_triangle("left", True), "prior": g_triangle("left", False),
        "next": g_triangle("right", False), "last": g_triangle("right", True),
        "fit_width": g_outlined_square(), "fit_page": g_hatched_square(), "print": g_printer(),
    }
    for name, img in glyphs.items():
        strip(img).save(os.path.join(HERE, "glyphs", name + ".png"))
    logo().save(os.path.join(HERE, "logo.png"))
    print_picture().save(os.path.join(HERE, "print_dialog.png"))


if __name__ == "__main__":
    main()
