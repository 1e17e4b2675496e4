#!/usr/bin/python3
"""Builds the default skin: every image, skin.xml, and a preview.

The layout below is the single source of the skin: the script writes
skin.xml from it, draws every image the controls name, and composes
tools/preview.png (not shipped) the way the skin window will draw it, so
the look can be judged and changed without the program. It also draws the
program's own icon in the sizes desktops use, into app/icons/ of the
repository (the program carries it; installs put it under share/icons).

Run with a Python 3 that has Pillow (Debian: python3-pil):
    /usr/bin/python3 skins/default/tools/make_skin.py
The outputs are committed; the build does not run this.
"""

import math
import os
from xml.sax.saxutils import quoteattr

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
SKIN = os.path.dirname(HERE)
ICONS = os.path.join(os.path.dirname(os.path.dirname(SKIN)), "app", "icons")
FONTS = "/usr/share/fonts/truetype"

# ---------------------------------------------------------------- palette
BG = (0x1B, 0x1F, 0x24)
PANEL = (0x24, 0x2A, 0x31)
EDGE = (0x31, 0x38, 0x42)
TEXT = (0xE6, 0xEA, 0xF0)
TEXT2 = (0x9A, 0xA4, 0xB2)
ONAIR = (0xE5, 0x48, 0x4D)
ACCENT = (0x3D, 0x8B, 0xFD)
GREEN = (0x30, 0xA4, 0x6C)
AMBER = (0xF5, 0xA5, 0x24)
RED = (0xE5, 0x48, 0x4D)
OUTLINE = (0x0E, 0x11, 0x14)
INSET = (0x16, 0x1A, 0x1F)
BTN = (0x2D, 0x34, 0x3D)
BTN_HOT = (0x37, 0x40, 0x4B)
BTN_DOWN = (0x1F, 0x24, 0x2A)
BTN_OFF = (0x27, 0x2D, 0x34)
KEY = (255, 0, 255)

SS = 4  # supersampling factor of every drawn shape

MinSize = (760, 320)
MaxSize = (760, 464)


def hexcolor(c):
    return "#%02X%02X%02X" % c


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---------------------------------------------------------------- fonts
FONT_FILES = {
    ("NanumGothic", 0): FONTS + "/nanum/NanumGothic.ttf",
    ("NanumGothic", 1): FONTS + "/nanum/NanumGothicBold.ttf",
    ("DejaVu Sans Mono", 1): FONTS + "/dejavu/DejaVuSansMono-Bold.ttf",
    ("DejaVu Sans Mono", 0): FONTS + "/dejavu/DejaVuSansMono.ttf",
}

# name: (face, point size, bold); the skin window draws size * 96 / 72 px.
SKIN_FONTS = {
    "Body": ("NanumGothic", 9, 0),
    "BodyBold": ("NanumGothic", 9, 1),
    "Caption": ("NanumGothic", 8, 0),
    "Heading": ("NanumGothic", 9, 1),
    "Readout": ("NanumGothic", 11, 1),
    "Status": ("NanumGothic", 10, 1),
    "Clock": ("DejaVu Sans Mono", 18, 1),
}


def pixel_size(points):
    return int(points * 96.0 / 72.0 + 0.5)


def pil_font(face, points, bold, scale=1):
    return ImageFont.truetype(FONT_FILES[(face, bold)], pixel_size(points) * scale)


def skin_font(name, scale=1):
    face, points, bold = SKIN_FONTS[name]
    return pil_font(face, points, bold, scale)


# ---------------------------------------------------------------- drawing helpers
class Shape:
    """A w x h picture drawn at SS times the size, then reduced; whatever
    stays uncovered becomes the colour key, edges are blended against the
    colour the picture sits on."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.img = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))
        self.d = ImageDraw.Draw(self.img)

    def s(self, *v):
        return [x * SS for x in v]

    def rrect(self, box, r, fill=None, outline=None, width=1):
        self.d.rounded_rectangle(self.s(*box), radius=r * SS, fill=fill, outline=outline, width=int(round(width * SS)))

    def ellipse(self, box, fill=None, outline=None, width=1):
        self.d.ellipse(self.s(*box), fill=fill, outline=outline, width=int(round(width * SS)))

    def line(self, pts, fill, width=1.5):
        self.d.line([p * SS for p in pts], fill=fill, width=int(width * SS), joint="curve")

    def arc(self, box, start, end, fill, width=1.5):
        self.d.arc(self.s(*box), start, end, fill=fill, width=int(width * SS))

    def polygon(self, pts, fill):
        self.d.polygon([p * SS for p in pts], fill=fill)

    def text(self, xy, text, font, fill, anchor="mm"):
        self.d.text((xy[0] * SS, xy[1] * SS), text, font=font, fill=fill, anchor=anchor)

    def glow(self, box, color, radius, strength=1.0):
        layer = Image.new("RGBA", self.img.size, (0, 0, 0, 0))
        ImageDraw.Draw(layer).ellipse(self.s(*box), fill=color + (int(255 * strength),))
        layer = layer.filter(ImageFilter.GaussianBlur(radius * SS))
        self.img = Image.alpha_composite(self.img, layer)
        self.d = ImageDraw.Draw(self.img)

    def finish(self, on, keyed=True):
        small = self.img.resize((self.w, self.h), Image.BOX)
        base = Image.new("RGBA", small.size, on + (255,))
        out = Image.alpha_composite(base, small).convert("RGB")
        if keyed:
            alpha = small.getchannel("A")
            px, ap = out.load(), alpha.load()
            for y in range(self.h):
                for x in range(self.w):
                    if ap[x, y] < 72:
                        px[x, y] = KEY
        return out


def strip(frames):
    w, h = frames[0].size
    out = Image.new("RGB", (w * len(frames), h), KEY)
    for i, f in enumerate(frames):
        out.paste(f, (i * w, 0))
    return out


IMAGES = {}  # file name -> PIL image, written at the end


def save(name, img):
    IMAGES[name] = img
    return name


# ---------------------------------------------------------------- icons
def icon(sh, name, cx, cy, color, k=1.0):
    """Line icons on a 16 x 16 grid centred at (cx, cy)."""

    def P(x, y):
        return (cx + (x - 8) * k, cy + (y - 8) * k)

    w = 1.6 * k
    if name == "gear":
        sh.ellipse((cx - 3.2 * k, cy - 3.2 * k, cx + 3.2 * k, cy + 3.2 * k), outline=color, width=1.6)
        for i in range(8):
            a = i * math.pi / 4
            sh.line(
                [cx + math.cos(a) * 4.5 * k, cy + math.sin(a) * 4.5 * k, cx + math.cos(a) * 7 * k, cy + math.sin(a) * 7 * k],
                color,
                2.2 * k,
            )
        sh.ellipse((cx - 5.2 * k, cy - 5.2 * k, cx + 5.2 * k, cy + 5.2 * k), outline=color, width=1.5)
    elif name == "info":
        sh.ellipse((cx - 7 * k, cy - 7 * k, cx + 7 * k, cy + 7 * k), outline=color, width=1.5)
        sh.ellipse((cx - 1 * k, cy - 4.6 * k, cx + 1 * k, cy - 2.6 * k), fill=color)
        sh.line([*P(8, 7), *P(8, 12)], color, w)
    elif name == "minus":
        sh.line([*P(3.5, 8), *P(12.5, 8)], color, w)
    elif name == "close":
        sh.line([*P(4, 4), *P(12, 12)], color, w)
        sh.line([*P(12, 4), *P(4, 12)], color, w)
    elif name == "down":
        sh.line([*P(3.5, 6), *P(8, 10.5), *P(12.5, 6)], color, w)
    elif name == "up":
        sh.line([*P(3.5, 10), *P(8, 5.5), *P(12.5, 10)], color, w)
    elif name == "board":
        sh.rrect((cx - 6.5 * k, cy - 7 * k, cx + 6.5 * k, cy + 7 * k), 2, outline=color, width=1.5)
        for y in (5, 8, 11):
            sh.line([*P(5, y), *P(11, y)], color, 1.4 * k)
    elif name == "reset":
        r = 5.5 * k
        sh.arc((cx - r, cy - r, cx + r, cy + r), 60, 330, color, 1.7 * k)
        a = math.radians(330)
        ex, ey = cx + r * math.cos(a), cy + r * math.sin(a)
        sh.polygon([ex - 3.2 * k, ey - 2.2 * k, ex + 2.6 * k, ey - 2.6 * k, ex + 0.6 * k, ey + 3.0 * k], color)
    elif name == "mic":
        sh.rrect((cx - 3 * k, cy - 7 * k, cx + 3 * k, cy + 2 * k), 3 * k, outline=color, width=max(1, int(1.6 * k / 1.6)))
        sh.arc((cx - 5.5 * k, cy - 4 * k, cx + 5.5 * k, cy + 5 * k), 0, 180, color, 1.6 * k)
        sh.line([*P(8, 13), *P(8, 15.5)], color, 1.6 * k)
        sh.line([*P(5, 15.5), *P(11, 15.5)], color, 1.6 * k)
    elif name == "speaker":
        sh.polygon([*P(2, 6), *P(5, 6), *P(9, 2.5), *P(9, 13.5), *P(5, 10), *P(2, 10)], color)
        sh.arc((cx - 3 * k, cy - 3.5 * k, cx + 3.5 * k, cy + 3.5 * k), 300, 60, color, 1.4 * k)
        sh.arc((cx - 3 * k, cy - 6 * k, cx + 6 * k, cy + 6 * k), 300, 60, color, 1.4 * k)
    elif name == "copy":
        sh.rrect((cx - 6 * k, cy - 6 * k, cx + 2 * k, cy + 3 * k), 2, outline=color, width=1)
        sh.rrect((cx - 2 * k, cy - 3 * k, cx + 6 * k, cy + 6 * k), 2, fill=color)
    elif name == "send":
        sh.polygon([*P(2, 3), *P(14, 8), *P(2, 13), *P(4, 8)], color)
    elif name == "lock":
        sh.rrect((cx - 5 * k, cy - 1 * k, cx + 5 * k, cy + 6.5 * k), 2, fill=color)
        sh.arc((cx - 3.5 * k, cy - 7 * k, cx + 3.5 * k, cy + 2 * k), 180, 360, color, 1.8 * k)
        sh.line([*P(4.5, 6.5), *P(4.5, 8)], color, 1.8 * k)
        sh.line([*P(11.5, 6.5), *P(11.5, 8)], color, 1.8 * k)
    elif name == "power":
        sh.arc((cx - 7 * k, cy - 7 * k, cx + 7 * k, cy + 7 * k), 300, 600, color, 2.2 * k)
        sh.line([*P(8, 0.5), *P(8, 8)], color, 2.2 * k)
    else:
        raise ValueError(name)


# ---------------------------------------------------------------- image families
def make_frame(name, size, radius, fill, edge, on, outline=None):
    """A nine-part frame: corners and edges of size/3, the centre filled."""
    sh = Shape(size, size)
    if outline:
        sh.rrect((0, 0, size, size), radius, fill=outline)
        sh.rrect((1, 1, size - 1, size - 1), radius - 1, fill=fill, outline=edge)
    else:
        sh.rrect((0, 0, size, size), radius, fill=fill, outline=edge)
    return save(name, sh.finish(on))


BUTTON_LOOKS = {
    # name: (normal, hot, pressed, disabled) as (fill, edge)
    "btn": ((BTN, EDGE), (BTN_HOT, (0x45, 0x4F, 0x5C)), (BTN_DOWN, EDGE), (BTN_OFF, (0x2C, 0x33, 0x3B))),
    "btn_on": (
        (ACCENT, mix(ACCENT, TEXT, 0.25)),
        (mix(ACCENT, TEXT, 0.12), mix(ACCENT, TEXT, 0.35)),
        (mix(ACCENT, BG, 0.3), ACCENT),
        (mix(ACCENT, PANEL, 0.6), mix(ACCENT, PANEL, 0.5)),
    ),
    "btn_live": (
        (ONAIR, mix(ONAIR, TEXT, 0.25)),
        (mix(ONAIR, TEXT, 0.12), mix(ONAIR, TEXT, 0.35)),
        (mix(ONAIR, BG, 0.3), ONAIR),
        (mix(ONAIR, PANEL, 0.6), mix(ONAIR, PANEL, 0.5)),
    ),
}


def make_button_frames(name, looks, on=PANEL):
    frames = []
    for fill, edge in looks:
        sh = Shape(24, 24)
        sh.rrect((0, 0, 24, 24), 6, fill=fill, outline=edge)
        frames.append(sh.finish(on))
    return save(name + ".png", strip(frames))


def make_tab_frames():
    sets = {}
    for sel in (True, False):
        frames = []
        for st in range(4):
            sh = Shape(24, 24)
            if sel:
                sh.rrect((0, 0, 24, 30), 6, fill=(0x2F, 0x37, 0x41), outline=EDGE)
                sh.d.rectangle(sh.s(0, 21, 24, 24), fill=ACCENT + (255,))
            else:
                fill = {0: PANEL, 1: BTN_HOT, 2: BTN_DOWN, 3: PANEL}[st]
                sh.rrect((0, 0, 24, 30), 6, fill=fill)
                sh.d.rectangle(sh.s(0, 23, 24, 24), fill=EDGE + (255,))
            frames.append(sh.finish(PANEL))
        sets[sel] = save("tab_%s.png" % ("on" if sel else "off"), strip(frames))
    return sets


def make_icon_button(name, glyph, on=BG, size=28, danger=False):
    frames = []
    for st in range(4):
        sh = Shape(size, size)
        plate = None
        color = TEXT2
        if st == 1:
            plate = ONAIR if danger else BTN_HOT
            color = TEXT
        elif st == 2:
            plate = mix(ONAIR, BG, 0.3) if danger else BTN_DOWN
            color = TEXT
        elif st == 3:
            color = mix(TEXT2, on, 0.55)
        if plate:
            sh.rrect((2, 2, size - 2, size - 2), 6, fill=plate)
        icon(sh, glyph, size / 2, size / 2, color, 0.95)
        frames.append(sh.finish(on))
    return save("icon_%s.png" % name, strip(frames))


def make_onair_button():
    """96 x 96 round start button: off, on air (red glow), connecting."""
    looks = {}
    for look in ("off", "live", "wait"):
        frames = []
        for st in range(4):
            sh = Shape(96, 96)
            ring = {"off": (0x4A, 0x54, 0x61), "live": ONAIR, "wait": AMBER}[look]
            face = {"off": (0x2B, 0x32, 0x3A), "live": (0x5A, 0x1E, 0x22), "wait": (0x3D, 0x33, 0x1F)}[look]
            label = TEXT if look != "off" else TEXT2
            if st == 1:
                face = mix(face, TEXT, 0.06)
                label = TEXT
            if st == 2:
                face = mix(face, BG, 0.35)
            if st == 3:
                ring, face, label = EDGE, BTN_OFF, mix(TEXT2, PANEL, 0.5)
            if look == "live" and st != 3:
                sh.glow((10, 10, 86, 86), ONAIR, 5, 0.75)
            sh.ellipse((12, 12, 84, 84), fill=face, outline=ring, width=4 if look != "off" else 3)
            sh.ellipse((18, 18, 78, 78), outline=mix(face, TEXT, 0.08), width=1)
            icon(sh, "power", 48, 40, label, 1.2)
            sh.text((48, 64), "ON AIR", pil_font("NanumGothic", 7, 1, SS), label + (255,))
            frames.append(sh.finish(PANEL))
        looks[look] = save("onair_%s.png" % look, strip(frames))
    return looks


def make_talk_pad():
    looks = {}
    for look in ("off", "on"):
        frames = []
        for st in range(4):
            sh = Shape(160, 104)
            if look == "on" and st != 3:
                sh.rrect((0, 0, 160, 104), 10, fill=mix(ONAIR, PANEL, 0.35))
                sh.rrect((2, 2, 158, 102), 9, fill=(0x6B, 0x22, 0x27), outline=ONAIR, width=2)
                color, hint = TEXT, (0xF3, 0xC4, 0xC6)
            else:
                fill = {0: BTN, 1: BTN_HOT, 2: BTN_DOWN, 3: BTN_OFF}[st]
                sh.rrect((0, 0, 160, 104), 10, fill=fill, outline=EDGE if st != 1 else (0x45, 0x4F, 0x5C), width=1)
                color, hint = (TEXT if st != 3 else mix(TEXT2, PANEL, 0.5)), TEXT2
            icon(sh, "mic", 80, 34, color, 1.6)
            sh.text((80, 70), "말하기", pil_font("NanumGothic", 11, 1, SS), color + (255,))
            sh.text((80, 89), "누르고 있는 동안 · C 키", pil_font("NanumGothic", 8, 0, SS), hint + (255,))
            frames.append(sh.finish(PANEL))
        looks[look] = save("talk_%s.png" % look, strip(frames))
    return looks


def make_slider_parts():
    """Horizontal slider, 20 px high: a 4 px groove, a blue fill, a round knob."""
    parts = {}
    for name, color in (("slider_empty", (0x3A, 0x42, 0x4D)), ("slider_fill", ACCENT)):
        sh = Shape(8, 20)
        sh.d.rectangle(sh.s(0, 8, 8, 12), fill=color + (255,))
        parts[name] = save(name + ".png", sh.finish(PANEL))
    for name, ring in (("slider_knob", (0xC9, 0xD1, 0xDB)), ("slider_knob_hot", ACCENT)):
        sh = Shape(16, 20)
        sh.ellipse((1, 3, 15, 17), fill=TEXT, outline=ring, width=2)
        parts[name] = save(name + ".png", sh.finish(PANEL))
    return parts


def make_meter(width):
    """Segmented level meter, green to amber to red along its width; the
    fill strip is as wide as the meter, so each segment keeps its colour."""
    seg, gap, h = 4, 2, 12
    lit = Image.new("RGB", (width, h), KEY)
    dim = Image.new("RGB", (width, h), KEY)
    dl, dd = ImageDraw.Draw(lit), ImageDraw.Draw(dim)
    x = 0
    while x + seg <= width:
        t = x / float(width)
        c = GREEN if t < 0.65 else (AMBER if t < 0.85 else RED)
        dl.rectangle((x, 0, x + seg - 1, h - 1), fill=c)
        dd.rectangle((x, 0, x + seg - 1, h - 1), fill=mix(c, PANEL, 0.78))
        x += seg + gap
    return save("meter_fill.png", lit), save("meter_empty.png", dim)


def make_rec_lamp():
    frames = []
    for lit in (True, False):
        sh = Shape(48, 20)
        sh.rrect((0, 1, 48, 19), 9, fill=(0x3A, 0x1C, 0x20) if lit else BTN_OFF)
        sh.ellipse((7, 6, 15, 14), fill=ONAIR if lit else mix(ONAIR, PANEL, 0.6))
        sh.text((31, 10), "REC", pil_font("NanumGothic", 7, 1, SS), (TEXT if lit else TEXT2) + (255,))
        frames.append(sh.finish(PANEL))
    return save("rec_lamp.png", strip(frames))


def make_logo():
    sh = Shape(72, 24)
    sh.glow((1, 6, 13, 18), ONAIR, 1.5, 0.5)
    sh.ellipse((3, 8, 11, 16), fill=ONAIR)
    sh.text((18, 12), "TavDJ", pil_font("NanumGothic", 12, 1, SS), TEXT + (255,), anchor="lm")
    return save("logo.png", sh.finish(BG))


# ---------------------------------------------------------------- program icon
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def make_program_icon(size):
    """The console's on-air lamp sending waves, on the window's dark face,
    drawn on a 64-unit grid. Not keyed: desktops compose the transparent
    corners themselves. Small sizes keep fewer, bolder waves."""
    k = size / 64.0
    sh = Shape(size, size)
    edge = max(1.0, 2 * k)
    sh.rrect((1 * k, 1 * k, 63 * k, 63 * k), 14 * k, fill=BG + (255,), outline=EDGE + (255,), width=edge)
    cx, cy = 21 * k, 43 * k
    waves = (15, 25, 35) if size >= 32 else (17, 31)
    for i, r in enumerate(waves):
        color = mix(TEXT, ACCENT, i / max(1, len(waves) - 1))
        sh.arc((cx - r * k, cy - r * k, cx + r * k, cy + r * k), 272, 358, color + (255,), max(1.2, 5 * k))
    sh.glow((cx - 11 * k, cy - 11 * k, cx + 11 * k, cy + 11 * k), ONAIR, 3 * k, 0.55)
    sh.ellipse((cx - 7.5 * k, cy - 7.5 * k, cx + 7.5 * k, cy + 7.5 * k), fill=ONAIR + (255,))
    return sh.img.resize((size, size), Image.BOX)


def write_program_icons():
    os.makedirs(ICONS, exist_ok=True)
    for size in ICON_SIZES:
        make_program_icon(size).save(os.path.join(ICONS, "tavdj-%d.png" % size), optimize=True)


# ---------------------------------------------------------------- layout
class C:
    """One control element: absolute rectangle in window coordinates."""

    def __init__(self, element, rect=None, children=(), **attrs):
        self.element = element
        self.rect = rect
        self.attrs = attrs
        self.children = list(children)


def build_images():
    img = {}
    img["bg"] = make_frame("bg.png", 48, 8, BG, OUTLINE, BG)
    img["card"] = make_frame("card.png", 30, 8, PANEL, EDGE, BG)
    img["inset"] = make_frame("inset.png", 24, 6, INSET, (0x2A, 0x31, 0x3A), PANEL)
    img["lcd"] = make_frame("lcd.png", 24, 6, (0x11, 0x15, 0x19), (0x2A, 0x31, 0x3A), PANEL)
    # Behind the title edit field, which paints itself black.
    img["field"] = make_frame("field.png", 24, 6, (0, 0, 0), (0x3A, 0x42, 0x4D), (0x20, 0x25, 0x2C))
    img["panelbox"] = make_frame("panelbox.png", 24, 6, (0x20, 0x25, 0x2C), EDGE, PANEL)
    for k, looks in BUTTON_LOOKS.items():
        img[k] = make_button_frames(k, looks)
    img["tab"] = make_tab_frames()
    for name, glyph, danger in (
        ("settings", "gear", False),
        ("about", "info", False),
        ("board", "board", False),
        ("minimize", "minus", False),
        ("close", "close", True),
        ("panel_open", "up", False),
        ("panel_closed", "down", False),
        ("reset", "reset", False),
    ):
        img["icon_" + name] = make_icon_button(name, glyph, BG if name not in ("reset",) else PANEL, 28, danger)
    img["onair"] = make_onair_button()
    img["talk"] = make_talk_pad()
    img["slider"] = make_slider_parts()
    img["meter"] = make_meter(160)
    img["rec"] = make_rec_lamp()
    img["logo"] = make_logo()
    return img


def caption(rect, text, font="Caption", color=TEXT2, align=None, **kw):
    attrs = dict(Text=text, FontName=font, FontColor=hexcolor(color))
    if align:
        attrs["TextAlign"] = align
    attrs.update(kw)
    return C("StaticControl", rect, **attrs)


def frame_static(rect, image, children=(), **kw):
    return C("StaticControl", rect, children, StaticControlType="bitmap", Image=image, ImageType="fillframe", **kw)


def text_button(rect, text, image, cmd=None, cid=None, image2=None, tooltip=None, font="BodyBold", **kw):
    attrs = dict(ButtonControlType="framebitmap", Split="4", Image=image)
    if image2:
        attrs["Image2"] = image2
    attrs.update(Text=text, FontName=font, FontColor=hexcolor(TEXT))
    if cid:
        attrs["ID"] = cid
    if cmd:
        attrs["CMD"] = cmd
    if tooltip:
        attrs["Tooltip"] = tooltip
    attrs.update(kw)
    return C("ButtonControl", rect, **attrs)


def icon_button(rect, image, cmd=None, cid=None, image2=None, tooltip=None):
    attrs = dict(ButtonControlType="bitmap", Split="4", Image=image)
    if image2:
        attrs["Image2"] = image2
    if cid:
        attrs["ID"] = cid
    if cmd:
        attrs["CMD"] = cmd
    if tooltip:
        attrs["Tooltip"] = tooltip
    return C("ButtonControl", rect, **attrs)


def slider(rect, cid, img, tooltip=None):
    attrs = dict(
        ID=cid,
        SliderType="fillempty",
        ImageEmpty=img["slider_empty"],
        ImageFill=img["slider_fill"],
        ImageKnob=img["slider_knob"],
        ImageKnobHot=img["slider_knob_hot"],
        ImageEdge="8,8",
        Orientation="horizontal",
    )
    if tooltip:
        attrs["Tooltip"] = tooltip
    return C("SliderControl", rect, **attrs)


def build_layout(img):
    controls = []
    controls.append(
        C("StaticControl", None, ID="IDC_BACKGROUND", StaticControlType="bitmap", Image=img["bg"], ImageType="fillframe", Align="client")
    )
    # Title bar: the skin window is draggable wherever no control is hit.
    controls.append(C("StaticControl", (16, 8, 88, 32), StaticControlType="bitmap", Image=img["logo"], ImageType="none"))
    controls.append(caption((92, 12, 260, 30), "인터넷 라디오 방송 콘솔", color=TEXT2))
    controls += [
        icon_button((520, 6, 548, 34), img["icon_settings"], cmd="ID_CMD_SETTINGS", tooltip="방송 설정 (F5)"),
        icon_button((552, 6, 580, 34), img["icon_board"], cmd="ID_CMD_REQUEST_BOARD", tooltip="신청곡 게시판 (F10)"),
        icon_button((584, 6, 612, 34), img["icon_about"], cmd="ID_CMD_ABOUT", tooltip="프로그램 정보"),
        icon_button(
            (628, 6, 656, 34),
            img["icon_panel_open"],
            cmd="ID_CMD_SIDE_PANEL",
            cid="IDC_SIDE_PANEL_BUTTON",
            image2=img["icon_panel_closed"],
            tooltip="믹서 열기/닫기",
        ),
        icon_button((684, 6, 712, 34), img["icon_minimize"], cmd="ID_CMD_MINIMIZE", cid="IDC_MINIMIZE", tooltip="최소화"),
        icon_button((716, 6, 744, 34), img["icon_close"], cmd="ID_CMD_CLOSE", cid="IDC_CLOSE", tooltip="닫기"),
    ]

    # 1. On-air card.
    controls.append(frame_static((12, 44, 188, 308), img["card"]))
    controls.append(caption((26, 52, 176, 70), "방송", font="Heading", color=TEXT2))
    controls.append(
        C(
            "ButtonControl",
            (52, 72, 148, 168),
            ID="IDC_START",
            ButtonControlType="bitmap",
            Split="4",
            Image=img["onair"]["off"],
            Image2=img["onair"]["live"],
            Image3=img["onair"]["wait"],
            Tooltip="방송하기(S)",
        )
    )
    controls.append(caption((26, 178, 174, 194), "방송 시간", align="hcenter|vcenter|singleline"))
    clock = dict(FontName="Clock", FontColor=hexcolor(TEXT))
    controls += [
        C("StaticControl", (24, 196, 72, 226), ID="IDC_ELAPSED_HOURS", Text="00", TextAlign="right|vcenter|singleline", **clock),
        C("StaticControl", (72, 196, 86, 226), Text=":", TextAlign="hcenter|vcenter|singleline", FontName="Clock", FontColor=hexcolor(TEXT2)),
        C("StaticControl", (86, 196, 116, 226), ID="IDC_ELAPSED_MINUTES", Text="00", TextAlign="hcenter|vcenter|singleline", **clock),
        C("StaticControl", (116, 196, 130, 226), Text=":", TextAlign="hcenter|vcenter|singleline", FontName="Clock", FontColor=hexcolor(TEXT2)),
        C("StaticControl", (130, 196, 160, 226), ID="IDC_ELAPSED_SECONDS", Text="00", TextAlign="hcenter|vcenter|singleline", **clock),
    ]
    controls.append(
        text_button(
            (24, 250, 112, 280), "녹음", img["btn"], cid="IDC_RECORD", image2=img["btn_live"], tooltip="녹음하기(R)"
        )
    )
    controls.append(
        C(
            "StaticControl",
            (120, 255, 168, 275),
            ID="IDC_RECORD_LAMP",
            StaticControlType="bitmap",
            Image=img["rec"],
            ImageType="animation",
            AniSplit="2",
            AniDelay="600",
            Show="0",
        )
    )

    # 2. Microphone card: input level, talk pad, talk lock.
    controls.append(frame_static((196, 44, 380, 308), img["card"]))
    controls.append(caption((210, 52, 300, 70), "마이크", font="Heading", color=TEXT2))
    controls.append(caption((300, 52, 368, 70), "입력 레벨", align="right|vcenter|singleline"))
    controls.append(
        C(
            "SliderControl",
            (208, 74, 368, 86),
            ID="IDC_LEVEL_METER",
            SliderType="fillempty",
            ImageEmpty=img["meter"][1],
            ImageFill=img["meter"][0],
            Orientation="horizontal",
        )
    )
    controls.append(
        C(
            "ButtonControl",
            (208, 98, 368, 202),
            ID="IDC_TALK",
            ButtonControlType="bitmap",
            Split="4",
            Image=img["talk"]["off"],
            Image2=img["talk"]["on"],
            Tooltip="말하기(C)",
        )
    )
    controls.append(
        text_button(
            (208, 212, 368, 242), "말하기 고정", img["btn"], cid="IDC_TALK_LOCK", image2=img["btn_live"], tooltip="말하기 고정(F)"
        )
    )
    controls.append(caption((208, 262, 368, 282), "F 키: 말하기 고정 / 해제", align="hcenter|vcenter|singleline"))

    # 3. Station card: status, readouts, tabbed panels.
    controls.append(frame_static((388, 44, 748, 308), img["card"]))
    controls.append(frame_static((398, 52, 738, 86), img["lcd"]))
    controls.append(
        C(
            "MarqueeControl",
            # The strip is drawn from the control's top: one text line high,
            # centred in the display.
            (410, 61, 726, 77),
            ID="IDC_STATUS",
            Behavior="scroll",
            Direction="left",
            ScrollDelay="40",
            ScrollAmount="1",
            ScrollWhenLargeText="1",
            FontName="Status",
            FontColor=hexcolor(TEXT),
        )
    )
    readouts = (
        ((398, 92, 508, 136), "비트레이트", "IDC_BITRATE", "128kbps"),
        ((513, 92, 623, 136), "채널", "IDC_CHANNELS", "STEREO"),
        ((628, 92, 738, 136), "청취자", "IDC_LISTENERS", "0/0"),
    )
    for (l, t, r, b), cap, cid, sample in readouts:
        controls.append(frame_static((l, t, r, b), img["inset"]))
        controls.append(caption((l + 10, t + 4, r - 10, t + 18), cap))
        controls.append(
            C(
                "StaticControl",
                (l + 10, t + 18, r - 10, b - 4),
                ID=cid,
                Text=sample,
                FontName="Readout",
                FontColor=hexcolor(TEXT),
            )
        )
    tabs = (
        ((398, 144, 478, 170), "효과", "IDC_TAB_EFFECTS", "ID_CMD_PANEL1"),
        ((478, 144, 558, 170), "방송", "IDC_TAB_STATION", "ID_CMD_PANEL2"),
        ((558, 144, 638, 170), "곡 제목", "IDC_TAB_TITLE", "ID_CMD_PANEL3"),
    )
    for rect, text, cid, cmd in tabs:
        controls.append(text_button(rect, text, img["tab"][True], cmd=cmd, cid=cid, image2=img["tab"][False]))
    controls.append(C("StaticControl", (638, 169, 738, 170), StaticControlType="color", ControlColor=hexcolor(EDGE)))

    panel = (398, 172, 738, 300)

    def sub(x, y, w, h):  # absolute rectangle from panel-relative values
        return (panel[0] + x, panel[1] + y, panel[0] + x + w, panel[1] + y + h)

    effects = []
    for i, (name, cid, sid, rid, cmd, rcmd) in enumerate(
        (
            ("리버브", "IDC_REVERB", "IDC_REVERB_LEVEL", "IDC_REVERB_RESET", "ID_CMD_REVERB", "ID_CMD_REVERB_DEFAULT"),
            ("에코", "IDC_ECHO", "IDC_ECHO_LEVEL", "IDC_ECHO_RESET", "ID_CMD_ECHO", "ID_CMD_ECHO_DEFAULT"),
            ("피치", "IDC_PITCH", "IDC_PITCH_LEVEL", "IDC_PITCH_RESET", "ID_CMD_PITCH", "ID_CMD_PITCH_DEFAULT"),
        )
    ):
        y = 10 + i * 40
        effects.append(
            text_button(sub(10, y, 84, 30), name, img["btn_on"], cmd=cmd, cid=cid, image2=img["btn"], tooltip=name + " 켜기/끄기")
        )
        effects.append(slider(sub(106, y + 5, 182, 20), sid, img["slider"]))
        effects.append(icon_button(sub(300, y + 1, 28, 28), img["icon_reset"], cmd=rcmd, cid=rid, tooltip="기본값으로"))
    controls.append(frame_static(panel, img["panelbox"], effects, ID="IDC_PANEL1"))

    station = [
        caption(sub(12, 8, 200, 16), "방송국 (누르면 방송 주소 복사)"),
        text_button(sub(10, 26, 320, 32), "", img["btn"], cid="IDC_COPY_ADDRESS", tooltip="방송 주소 복사 (Ctrl+Break)", font="Body"),
        text_button(sub(10, 72, 102, 30), "방송 설정", img["btn"], cmd="ID_CMD_SETTINGS", tooltip="방송 설정 (F5)"),
        text_button(sub(119, 72, 102, 30), "음질 설정", img["btn"], cmd="ID_CMD_SOUND_QUALITY"),
        text_button(sub(228, 72, 102, 30), "신청곡 게시판", img["btn"], cmd="ID_CMD_REQUEST_BOARD", tooltip="신청곡 게시판 (F10)"),
    ]
    controls.append(frame_static(panel, img["panelbox"], station, ID="IDC_PANEL2"))

    title = [
        caption(sub(12, 8, 200, 16), "방송할 곡 제목 (Enter: 보내기)"),
        frame_static(sub(10, 26, 320, 32), img["field"]),
        C("WindowControl", sub(16, 31, 308, 22), ID="IDC_EDIT_TITLE"),
        text_button(sub(10, 72, 156, 30), "제목 보내기", img["btn"], cmd="ID_CMD_SEND_TITLE", cid="IDC_SEND_TITLE"),
        text_button(
            sub(174, 72, 156, 30),
            "자동 제목",
            img["btn_on"],
            cmd="ID_CMD_AUTO_TITLE",
            cid="IDC_AUTO_TITLE",
            image2=img["btn"],
            tooltip="재생 중인 곡 제목을 자동으로 보내기",
        ),
    ]
    controls.append(frame_static(panel, img["panelbox"], title, ID="IDC_PANEL3"))

    # Side panel: the mixer drawer below the console.
    drawer = (12, 316, 748, 456)

    def dsub(x, y, w, h):
        return (drawer[0] + x, drawer[1] + y, drawer[0] + x + w, drawer[1] + y + h)

    mixer = [caption(dsub(14, 8, 200, 18), "믹서", font="Heading")]
    for i, (cap, sid) in enumerate(
        (
            ("음악 볼륨", "IDC_VOLUME_MUSIC"),
            ("말할 때 음악", "IDC_VOLUME_BGM"),
            ("마이크 볼륨", "IDC_VOLUME_MIC"),
            ("페이드 시간", "IDC_FADE_TIME"),
        )
    ):
        x = 14 + (i % 2) * 362
        y = 34 + (i // 2) * 34
        mixer.append(caption(dsub(x, y, 90, 20), cap, font="Body", color=TEXT))
        mixer.append(slider(dsub(x + 94, y, 250, 20), sid, img["slider"]))
    mixer += [
        text_button(dsub(14, 100, 150, 28), "라인 입력도 페이드", img["btn_on"], cid="IDC_LINEIN_FADE", image2=img["btn"]),
        text_button(dsub(458, 100, 126, 28), "재생 믹서", img["btn"], cmd="ID_CMD_PLAYBACK_MIXER"),
        text_button(dsub(592, 100, 126, 28), "녹음 믹서", img["btn"], cmd="ID_CMD_RECORD_MIXER"),
    ]
    controls.append(frame_static(drawer, img["card"], mixer, ID="IDC_SIDE_PANEL", Show="0"))

    # The mini browser: a child skin window docked right of the console.
    mini = C(
        "SkinWindow",
        None,
        [
            C("StaticControl", None, StaticControlType="bitmap", Image=img["bg"], ImageType="fillframe", Align="client"),
            C(
                "StaticControl",
                None,
                [
                    C(
                        "ButtonControl",
                        None,
                        ButtonControlType="bitmap",
                        Split="4",
                        Image=img["icon_close"],
                        CMD="ID_CMD_HIDE_MINI_BROWSER",
                        Tooltip="닫기",
                        Align="righttop",
                        Width="28",
                        Height="28",
                        Gaps="0,6,8,0",
                    )
                ],
                Text="신청곡 게시판",
                FontName="Heading",
                FontColor=hexcolor(TEXT),
                InnerGaps="16,0,0,0",
                Align="top",
                Height="40",
            ),
            C("BrowserControl", None, ID="IDC_MINI_BROWSER_PAGE", BkgndColor=hexcolor(INSET), Align="client", Gaps="8,0,8,8"),
        ],
        ID="IDC_MINI_BROWSER",
        Width="320",
        Height="440",
        BkgndColor=hexcolor(BG),
        Draggable="true",
        PopupWindow="true",
        Align="popup",
    )
    controls.append(mini)
    return controls


# ---------------------------------------------------------------- ControlID.XML
# The numbers are the main window's: controls it binds (20xx, 1034x) and the
# commands it handles (30xx); the title edit field is its own window, 5000.
CONTROL_IDS = [
    ("IDC_BACKGROUND", 2000),
    ("IDC_SIDE_PANEL_BUTTON", 2001),
    ("IDC_SIDE_PANEL", 2002),
    ("IDC_LEVEL_METER", 2003),
    ("IDC_START", 2004),
    ("IDC_REVERB_LEVEL", 2005),
    ("IDC_ECHO_LEVEL", 2006),
    ("IDC_PITCH_LEVEL", 2007),
    ("IDC_STATUS", 2008),
    ("IDC_BITRATE", 2009),
    ("IDC_RECORD_LAMP", 2010),
    ("IDC_PANEL1", 2011),
    ("IDC_PANEL2", 2012),
    ("IDC_PANEL3", 2013),
    ("IDC_COPY_ADDRESS", 2014),
    ("IDC_CHANNELS", 2016),
    ("IDC_LISTENERS", 2017),
    ("IDC_TAB_EFFECTS", 2018),
    ("IDC_TAB_STATION", 2019),
    ("IDC_TAB_TITLE", 2020),
    ("IDC_VOLUME_MUSIC", 2021),
    ("IDC_VOLUME_BGM", 2022),
    ("IDC_VOLUME_MIC", 2023),
    ("IDC_FADE_TIME", 2024),
    ("IDC_LINEIN_FADE", 2025),
    ("IDC_AUTO_TITLE", 2027),
    ("IDC_SEND_TITLE", 2029),
    ("IDC_REVERB_RESET", 2030),
    ("IDC_ECHO_RESET", 2031),
    ("IDC_PITCH_RESET", 2032),
    ("IDC_MINIMIZE", 2033),
    ("IDC_CLOSE", 2034),
    ("IDC_REVERB", 2035),
    ("IDC_ECHO", 2036),
    ("IDC_PITCH", 2037),
    ("IDC_TALK_LOCK", 2038),
    ("IDC_RECORD", 2039),
    ("IDC_TALK", 2040),
    ("IDC_MINI_BROWSER", 2041),
    ("IDC_MINI_BROWSER_PAGE", 2042),
    ("IDC_ELAPSED_HOURS", 10343),
    ("IDC_ELAPSED_MINUTES", 10344),
    ("IDC_ELAPSED_SECONDS", 10345),
    ("ID_CMD_START", 3000),
    ("ID_CMD_SETTINGS", 3001),
    ("ID_CMD_SOUND_QUALITY", 3002),
    ("ID_CMD_SIDE_PANEL", 3003),
    ("ID_CMD_RECORD", 3004),
    ("ID_CMD_MINIMIZE", 3005),
    ("ID_CMD_CLOSE", 3006),
    ("ID_CMD_TALK_LOCK", 3007),
    ("ID_CMD_ABOUT", 3008),
    ("ID_CMD_COPY_ADDRESS", 3009),
    ("ID_CMD_PANEL1", 3010),
    ("ID_CMD_PANEL2", 3011),
    ("ID_CMD_PANEL3", 3012),
    ("ID_CMD_REVERB_DEFAULT", 3014),
    ("ID_CMD_ECHO_DEFAULT", 3015),
    ("ID_CMD_PITCH_DEFAULT", 3016),
    ("ID_CMD_LINEIN_FADE", 3017),
    ("ID_CMD_AUTO_TITLE", 3018),
    ("ID_CMD_SEND_TITLE", 3019),
    ("ID_CMD_PLAYBACK_MIXER", 3020),
    ("ID_CMD_RECORD_MIXER", 3021),
    ("ID_CMD_REVERB", 3022),
    ("ID_CMD_ECHO", 3023),
    ("ID_CMD_PITCH", 3024),
    ("ID_CMD_HIDE_MINI_BROWSER", 3025),
    ("ID_CMD_REQUEST_BOARD", 3026),
]
WINDOW_CONTROL_IDS = [("IDC_EDIT_TITLE", 5000)]


def write_control_ids():
    out = ['<?xml version="1.0" encoding="UTF-8"?>']
    out.append("<!-- Written by tools/make_skin.py. Installed next to the program as ControlID.XML. -->")
    out.append("<ControlID>")
    for section, entries in (("WINDOW_CONTROL_ID", WINDOW_CONTROL_IDS), ("CONTROL_ID", CONTROL_IDS)):
        out.append("    <%s>" % section)
        for name, value in entries:
            out.append('        <%s ID="%d"/>' % (name, value))
        out.append("    </%s>" % section)
    out.append("</ControlID>")
    with open(os.path.join(SKIN, "ControlID.XML"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(out) + "\n")
    # The loader only asks that a list file exists; its contents are not read.
    with open(os.path.join(SKIN, "LIST.ini"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write("[SKIN]\nName=TavDJ 기본 스킨\nFile=skin.xml\n")


# ---------------------------------------------------------------- skin.xml
ATTR_ORDER = ["ID", "CMD"]


def emit(c, parent_origin, out, depth):
    pad = "    " * depth
    attrs = dict(c.attrs)
    if c.rect is not None:
        l, t, r, b = c.rect
        ox, oy = parent_origin
        attrs.setdefault("Align", "none")
        attrs["Rect"] = "%d,%d,%d,%d" % (l - ox, t - oy, r - ox, b - oy)
        origin = (l, t)
    else:
        origin = parent_origin
    keys = [k for k in ATTR_ORDER if k in attrs] + [k for k in attrs if k not in ATTR_ORDER]
    text = " ".join("%s=%s" % (k, quoteattr(str(attrs[k]))) for k in keys)
    if c.element == "SkinWindow":
        out.append("%s<SkinWindow %s>" % (pad, text))
        # Fonts belong to the window that defines them: a nested window
        # names its own.
        out.append("%s    <PreDefine>" % pad)
        for name, (face, size, bold) in SKIN_FONTS.items():
            out.append('%s        <Font FontName="%s" FaceName="%s" Size="%d" Bold="%d"/>' % (pad, name, face, size, bold))
        out.append("%s    </PreDefine>" % pad)
        out.append("%s    <RegionDefine>" % pad)
        out.append('%s        <Rgn Type="roundrect" Param="16,16" Align="client"/>' % pad)
        out.append("%s    </RegionDefine>" % pad)
        out.append("%s    <ControlDefine>" % pad)
        for ch in c.children:
            emit(ch, (0, 0), out, depth + 2)
        out.append("%s    </ControlDefine>" % pad)
        out.append("%s</SkinWindow>" % pad)
        return
    if c.children:
        out.append("%s<%s %s>" % (pad, c.element, text))
        for ch in c.children:
            emit(ch, origin, out, depth + 1)
        out.append("%s</%s>" % (pad, c.element))
    else:
        out.append("%s<%s %s/>" % (pad, c.element, text))


def write_skin_xml(controls):
    out = ['<?xml version="1.0" encoding="UTF-8"?>']
    out.append("<!-- Written by tools/make_skin.py; edit the script, not this file. -->")
    out.append("<GXSkin>")
    out.append('    <MainWindow MinSize="%d,%d" MaxSize="%d,%d"/>' % (MinSize + MaxSize))
    out.append(
        '    <SkinWindow Width="%d" Height="%d" BkgndColor="%s" Draggable="true">' % (MinSize[0], MinSize[1], hexcolor(BG))
    )
    out.append("        <PreDefine>")
    for name, (face, size, bold) in SKIN_FONTS.items():
        out.append('            <Font FontName="%s" FaceName="%s" Size="%d" Bold="%d"/>' % (name, face, size, bold))
    out.append("        </PreDefine>")
    out.append("        <RegionDefine>")
    out.append('            <Rgn Type="roundrect" Param="16,16" Align="client"/>')
    out.append("        </RegionDefine>")
    out.append("        <ControlDefine>")
    for c in controls:
        emit(c, (0, 0), out, 3)
    out.append("        </ControlDefine>")
    out.append("    </SkinWindow>")
    out.append("</GXSkin>")
    with open(os.path.join(SKIN, "skin.xml"), "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(out) + "\n")


# ---------------------------------------------------------------- preview
def draw_text(canvas, rect, text, font_name, color, align):
    if not text:
        return
    font = skin_font(font_name)
    d = ImageDraw.Draw(canvas)
    l, t, r, b = rect
    if "hcenter" in align:
        x, ax = (l + r) / 2, "m"
    elif "right" in align:
        x, ax = r, "r"
    else:
        x, ax = l, "l"
    d.text((x, (t + b) / 2), text, font=font, fill=color, anchor=ax + "m")


def paste_keyed(canvas, img, xy, box=None):
    if box:
        img = img.crop(box)
    rgba = img.convert("RGBA")
    px = rgba.load()
    for y in range(rgba.size[1]):
        for x in range(rgba.size[0]):
            if px[x, y][:3] == KEY:
                px[x, y] = (0, 0, 0, 0)
    canvas.paste(rgba, xy, rgba)


def nine(canvas, src, rect):
    l, t, r, b = rect
    sw, sh = src.size
    cx, cy = min(r - l, sw) // 3, min(b - t, sh) // 3
    out = Image.new("RGB", (r - l, b - t), KEY)
    for (dx0, dx1, sx) in ((0, cx, 0), (cx, r - l - cx, cx), (r - l - cx, r - l, sw - cx)):
        for (dy0, dy1, sy) in ((0, cy, 0), (cy, b - t - cy, cy), (b - t - cy, b - t, sh - cy)):
            piece = src.crop((sx, sy, sx + cx, sy + cy))
            for x in range(dx0, dx1, cx):
                for y in range(dy0, dy1, cy):
                    out.paste(piece.crop((0, 0, min(cx, dx1 - x), min(cy, dy1 - y))), (x, y))
    paste_keyed(canvas, out, (l, t))


def frame_of(img, n, k):
    w = img.size[0] // n
    return img.crop((k * w, 0, (k + 1) * w, img.size[1]))


def render(canvas, c, state, origin_rect):
    a = c.attrs
    rect = c.rect or origin_rect
    cid = a.get("ID", "")
    if a.get("Show") == "0" and cid not in state.get("show", ()):
        return
    if cid in state.get("hide", ()):
        return
    el = c.element
    if el == "StaticControl":
        if a.get("StaticControlType") == "bitmap":
            im = load(a["Image"])
            if a.get("ImageType") == "fillframe":
                nine(canvas, im, rect)
            elif a.get("ImageType") == "animation":
                paste_keyed(canvas, frame_of(im, int(a["AniSplit"]), 0), rect[:2])
            else:
                paste_keyed(canvas, im, rect[:2])
        elif a.get("StaticControlType") == "color":
            ImageDraw.Draw(canvas).rectangle((rect[0], rect[1], rect[2] - 1, rect[3] - 1), fill=a["ControlColor"])
        text = state.get("text", {}).get(cid, a.get("Text", ""))
        if text:
            gl, gt, gr, gb = (int(v) for v in a.get("InnerGaps", "0,0,0,0").split(","))
            draw_text(canvas, (rect[0] + gl, rect[1] + gt, rect[2] - gr, rect[3] - gb), text, a["FontName"], a["FontColor"], a.get("TextAlign", "vcenter"))
    elif el == "ButtonControl":
        n = int(a.get("Split", "4"))
        num = state.get("image", {}).get(cid, 0)
        im = load(a[["Image", "Image2", "Image3"][num]])
        k = 3 if cid in state.get("disabled", ()) else state.get("frame", {}).get(cid, 0)
        fr = frame_of(im, n, k)
        if a["ButtonControlType"] == "framebitmap":
            nine(canvas, fr, rect)
        else:
            paste_keyed(canvas, fr, rect[:2])
        text = state.get("text", {}).get(cid, a.get("Text", ""))
        if text:
            draw_text(canvas, rect, text, a["FontName"], a["FontColor"], "hcenter")
    elif el == "SliderControl":
        pos = state.get("pos", {}).get(cid, 0.5)
        l, t, r, b = rect
        if a.get("ImageEmpty"):
            e = load(a["ImageEmpty"])
            for x in range(l, r, e.size[0]):
                paste_keyed(canvas, e.crop((0, 0, min(e.size[0], r - x), e.size[1])), (x, t))
        se, ee = (int(v) for v in a.get("ImageEdge", "0,0").split(","))
        k = int((r - l - se - ee) * pos)
        f = load(a["ImageFill"])
        for x in range(l, l + se + k, f.size[0]):
            paste_keyed(canvas, f.crop((0, 0, min(f.size[0], l + se + k - x), f.size[1])), (x, t))
        if a.get("ImageKnob"):
            kn = load(a["ImageKnob"])
            paste_keyed(canvas, kn, (l + se + k - kn.size[0] // 2, t))
    elif el == "MarqueeControl":
        text = state.get("text", {}).get(cid, "")
        ImageDraw.Draw(canvas).text(rect[:2], text, font=skin_font(a["FontName"]), fill=a["FontColor"], anchor="la")
    elif el == "WindowControl":
        d = ImageDraw.Draw(canvas)
        d.rectangle((rect[0], rect[1], rect[2] - 1, rect[3] - 1), fill=(0, 0, 0))
        d.text((rect[0] + 2, (rect[1] + rect[3]) / 2), state.get("edit", ""), font=pil_font("NanumGothic", 9, 0), fill=(255, 255, 255), anchor="lm")
    if cid in state.get("hide_children", ()):
        return
    for ch in c.children:
        render(canvas, ch, state, rect)


_loaded = {}


def load(name):
    if name not in _loaded:
        _loaded[name] = Image.open(os.path.join(SKIN, name)).convert("RGB")
    return _loaded[name]


def mask_round(canvas, radius=8):
    m = Image.new("L", (canvas.size[0] * SS, canvas.size[1] * SS), 0)
    ImageDraw.Draw(m).rounded_rectangle((0, 0, m.size[0] - 1, m.size[1] - 1), radius=radius * SS, fill=255)
    return m.resize(canvas.size, Image.BOX)


def render_window(controls, state, height):
    canvas = Image.new("RGB", (MinSize[0], height), BG)
    for c in controls:
        if c.element == "SkinWindow":
            continue
        rect = c.rect or (0, 0, MinSize[0], height)
        render(canvas, c, state, rect)
    return canvas


def render_mini(mini):
    w, h = int(mini.attrs["Width"]), int(mini.attrs["Height"])
    canvas = Image.new("RGB", (w, h), BG)
    bgc, header, page = mini.children
    nine(canvas, load(bgc.attrs["Image"]), (0, 0, w, h))
    draw_text(canvas, (16, 0, w, 40), header.attrs["Text"], "Heading", header.attrs["FontColor"], "vcenter")
    btn = header.children[0]
    paste_keyed(canvas, frame_of(load(btn.attrs["Image"]), 4, 0), (w - 8 - 28, 6))
    d = ImageDraw.Draw(canvas)
    d.rectangle((8, 40, w - 9, h - 9), fill=INSET)
    d.text((w / 2, h / 2), "(신청곡 게시판 페이지)", font=skin_font("Caption"), fill=TEXT2, anchor="mm")
    return canvas


def write_preview(controls):
    mini = [c for c in controls if c.element == "SkinWindow"][0]
    idle = {
        "image": {"IDC_SIDE_PANEL_BUTTON": 1, "IDC_TAB_EFFECTS": 1, "IDC_TAB_TITLE": 1, "IDC_REVERB": 1, "IDC_PITCH": 1},
        "hide": {"IDC_PANEL1", "IDC_PANEL3", "IDC_REVERB_LEVEL", "IDC_PITCH_LEVEL"},
        "disabled": {"IDC_RECORD", "IDC_COPY_ADDRESS", "IDC_REVERB_RESET", "IDC_PITCH_RESET", "IDC_SEND_TITLE"},
        "pos": {"IDC_LEVEL_METER": 0.18},
        "text": {"IDC_BITRATE": "128kbps", "IDC_CHANNELS": "STEREO", "IDC_LISTENERS": "0/0", "IDC_COPY_ADDRESS": "TavDJ 라디오"},
    }
    onair = {
        "image": {"IDC_START": 1, "IDC_TALK": 1, "IDC_RECORD": 1, "IDC_TAB_STATION": 1, "IDC_TAB_TITLE": 1, "IDC_PITCH": 1},
        "frame": {"IDC_TALK": 2},
        "show": {"IDC_SIDE_PANEL", "IDC_RECORD_LAMP"},
        "hide": {"IDC_PANEL2", "IDC_PANEL3", "IDC_PITCH_LEVEL"},
        "disabled": {"IDC_PITCH_RESET"},
        "pos": {"IDC_LEVEL_METER": 0.92, "IDC_REVERB_LEVEL": 0.75, "IDC_ECHO_LEVEL": 0.46, "IDC_VOLUME_MUSIC": 0.8,
                "IDC_VOLUME_BGM": 0.25, "IDC_VOLUME_MIC": 0.9, "IDC_FADE_TIME": 0.1},
        "text": {
            "IDC_STATUS": "[DJ 하늘] 아이유 - 밤편지 (라이브 버전)",
            "IDC_BITRATE": "320kbps",
            "IDC_CHANNELS": "STEREO",
            "IDC_LISTENERS": "100/100",
            "IDC_ELAPSED_HOURS": "100",
            "IDC_ELAPSED_MINUTES": "59",
            "IDC_ELAPSED_SECONDS": "59",
        },
    }
    title = {
        "image": {"IDC_START": 2, "IDC_TAB_EFFECTS": 1, "IDC_TAB_STATION": 1, "IDC_SIDE_PANEL_BUTTON": 1, "IDC_AUTO_TITLE": 1,
                  "IDC_TALK_LOCK": 1, "IDC_TALK": 1},
        "hide": {"IDC_PANEL1", "IDC_PANEL2"},
        "pos": {"IDC_LEVEL_METER": 0.6},
        "edit": "지금 듣는 곡: 10CM - 봄이 좋냐??",
        "text": {"IDC_STATUS": "방송 재시도하기 : 10초", "IDC_LISTENERS": "12/50", "IDC_ELAPSED_MINUTES": "07", "IDC_ELAPSED_SECONDS": "31"},
    }
    shots = [
        (render_window(controls, idle, MinSize[1]), None),
        (render_window(controls, onair, MaxSize[1]), None),
        (render_window(controls, title, MinSize[1]), render_mini(mini)),
    ]
    gap = 16
    width = MinSize[0] + gap * 3 + 320
    height = sum(max(s.size[1], m.size[1] if m else 0) for s, m in shots) + gap * (len(shots) + 1)
    sheet = Image.new("RGB", (width, height), (0x3A, 0x40, 0x48))
    y = gap
    for shot, side in shots:
        sheet.paste(shot, (gap, y), mask_round(shot))
        if side:
            sheet.paste(side, (gap * 2 + MinSize[0], y), mask_round(side))
        y += max(shot.size[1], side.size[1] if side else 0) + gap
    sheet.save(os.path.join(HERE, "preview.png"))


# ---------------------------------------------------------------- main
def main():
    for f in os.listdir(SKIN):
        if f.endswith(".png"):
            os.remove(os.path.join(SKIN, f))
    img = build_images()
    for name, im in IMAGES.items():
        im.save(os.path.join(SKIN, name), optimize=True)
    controls = build_layout(img)
    write_skin_xml(controls)
    write_control_ids()
    write_preview(controls)
    write_program_icons()


if __name__ == "__main__":
    main()
