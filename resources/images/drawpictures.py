#!/usr/bin/env python3
"""Writes the hand pictures of the hand widget as SVG.

kynsikas4.svg: the controller worn on a hand (rendered to kynsikas4.png at build time).
hand3.svg:     an outline drawing of a hand with its fingers spread.

Both are drawn on a 1652 x 2339 canvas. The widget stretches a picture over its whole area and
places the sensor circles on a 750 x 1334 grid stretched the same way, so every sensor position
below is that grid position scaled by 1652/750 and 2339/1334. Run from this folder after
changing the drawing: python3 drawpictures.py
"""

import math

W, H = 1652, 2339
SX, SY = W / 750.0, H / 1334.0

# Sensor positions on the 750 x 1334 grid, node 0 first.
DEVICE_NODES = [(155, 261), (341, 986), (223, 843), (136, 660), (309, 247), (433, 229),
                (566, 245), (676, 281), (329, 479), (449, 466), (577, 474), (686, 512),
                (329, 719), (457, 708), (575, 722), (674, 784), (618, 1037), (470, 1067)]
OUTLINE_NODES = [(135, 299), (119, 1119), (70, 665), (70, 465), (296, 86), (475, 110),
                 (614, 243), (699, 480), (269, 260), (433, 289), (559, 400), (656, 583),
                 (246, 443), (391, 460), (509, 545), (609, 694), (351, 1198), (553, 844)]


def canvas(p):
    return (round(p[0] * SX), round(p[1] * SY))


def beyond(a, b, length):
    """The point length past b on the line from a to b."""
    dx, dy = b[0] - a[0], b[1] - a[1]
    d = math.hypot(dx, dy)
    return (round(b[0] + dx / d * length), round(b[1] + dy / d * length))


def pts(points):
    return " ".join(f"{x},{y}" for x, y in points)


def polyline(points, stroke, width, extra=""):
    return (f'<polyline points="{pts(points)}" fill="none" stroke="{stroke}" '
            f'stroke-width="{width}" stroke-linecap="round" stroke-linejoin="round"{extra}/>')


def polygon(points, fill, stroke, width):
    return (f'<polygon points="{pts(points)}" fill="{fill}" stroke="{stroke}" '
            f'stroke-width="{width}" stroke-linejoin="round"/>')


def crease(a, b, width, colour, stroke_width):
    """A short line across a finger, halfway between two sensors."""
    mx, my = (a[0] + b[0]) / 2, (a[1] + b[1]) / 2
    dx, dy = b[0] - a[0], b[1] - a[1]
    d = math.hypot(dx, dy)
    nx, ny = -dy / d * width / 2, dx / d * width / 2
    return polyline([(round(mx - nx), round(my - ny)), (round(mx + nx), round(my + ny))],
                    colour, stroke_width)


def limbs(nodes, fingers, thumb, tip_length):
    """Finger and thumb centre lines through their sensors, extended past the tip and into the
    palm. fingers: lists of node indexes from tip to base; thumb likewise."""
    p = [canvas(n) for n in nodes]
    lines = []
    for idx, into_palm in fingers + [thumb]:
        line = [p[i] for i in idx]
        tip = beyond(line[1], line[0], tip_length)
        lines.append([tip] + line + [into_palm])
    return lines, p


def device_picture():
    fingers = [([4, 8, 12], (740, 1500)), ([5, 9, 13], (1010, 1500)),
               ([6, 10, 14], (1260, 1500)), ([7, 11, 15], (1440, 1560))]
    thumb = ([0, 3, 2, 1], (860, 1790))
    lines, p = limbs(DEVICE_NODES, fingers, thumb, 100)
    widths = [236, 236, 232, 214, 250]
    # The palm, with the web between the thumb and the index finger.
    palm = [(610, 1230), (1600, 1330), (1610, 1560), (1520, 1850), (1450, 2000), (880, 2000),
            (700, 1900), (480, 1560), (330, 1180), (420, 1060), (610, 1120)]
    glove, rim, light = "#1c1c1f", "#74747c", "#2e2e33"
    orange = "#ff8c1a"
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}" '
           f'viewBox="0 0 {W} {H}" preserveAspectRatio="none">',
           '<defs>'
           '<radialGradient id="bg" cx="826" cy="1000" r="1500" gradientUnits="userSpaceOnUse">'
           '<stop offset="0" stop-color="#505660"/><stop offset="1" stop-color="#1b1d21"/>'
           '</radialGradient>'
           '<linearGradient id="arm" x1="0" y1="0" x2="1" y2="0">'
           '<stop offset="0" stop-color="#b98360"/><stop offset="0.45" stop-color="#e2ae88"/>'
           '<stop offset="1" stop-color="#a8704c"/></linearGradient>'
           '<linearGradient id="unit" x1="0" y1="0" x2="0" y2="1">'
           '<stop offset="0" stop-color="#45454b"/><stop offset="1" stop-color="#141416"/>'
           '</linearGradient>'
           '</defs>',
           f'<rect x="0" y="0" width="{W}" height="{H}" fill="url(#bg)"/>']
    # Forearm below the wrist.
    out.append(polygon([(860, 1940), (1470, 1940), (1540, 2360), (790, 2360)], "url(#arm)",
                       "#8a5a3a", 8))
    # Glove: a light rim drawn wide first, then the glove on top, so the parts merge.
    for colour, grow in ((rim, 18), (glove, 0)):
        out.append(polygon(palm, colour, colour, 80 + grow))
        for line, w in zip(lines, widths):
            out.append(polyline(line, colour, w + grow))
    # Soft highlight along the left side of each finger and the thumb.
    for line, w in zip(lines, widths):
        shifted = [(x - round(w * 0.2), y) for x, y in line[:-1]]
        out.append(polyline(shifted, light, round(w * 0.28), ' stroke-opacity="0.9"'))
    # Seams between the sensors.
    for line, w in zip(lines, widths):
        for a, b in zip(line[1:-2], line[2:-1]):
            out.append(crease(a, b, w * 0.8, "#3c3c42", 6))
    # Wires from every sensor to the wrist unit.
    ports = [(980 + 40 * i, 1960) for i in range(7)]
    wires = [line[1:-1] for line in lines]
    wires.append([p[17]])
    wires.append([p[16]])
    for wire, port in zip(wires, ports):
        out.append(polyline(wire + [(wire[-1][0], (wire[-1][1] + port[1]) // 2 + 60), port],
                            orange, 7, ' stroke-opacity="0.55"'))
    # Sensor pads.
    for x, y in p:
        out.append(f'<ellipse cx="{x}" cy="{y}" rx="128" ry="104" fill="#0d0d0f" '
                   f'stroke="{orange}" stroke-width="9"/>')
        out.append(f'<ellipse cx="{x}" cy="{y}" rx="70" ry="56" fill="#2a2a2f"/>')
    # Wrist strap and unit.
    out.append(f'<rect x="790" y="1950" width="740" height="170" rx="40" fill="#121214" '
               f'stroke="{rim}" stroke-width="6"/>')
    out.append(f'<rect x="930" y="1915" width="460" height="240" rx="46" fill="url(#unit)" '
               f'stroke="{orange}" stroke-width="7"/>')
    for i, colour in enumerate([orange, orange, "#39d353"]):
        out.append(f'<circle cx="{1000 + 52 * i}" cy="2035" r="17" fill="{colour}"/>')
    out.append(f'<circle cx="1300" cy="2035" r="52" fill="#222226" stroke="{rim}" '
               f'stroke-width="6"/>')
    out.append(f'<circle cx="1300" cy="2035" r="18" fill="{orange}"/>')
    out.append('<text x="1160" y="2110" font-family="DejaVu Sans" font-size="44" '
               'font-weight="bold" fill="#d0d0d6" text-anchor="middle" '
               'letter-spacing="6">VARNO</text>')
    out.append('</svg>')
    return "\n".join(out) + "\n"


def outline_picture():
    fingers = [([4, 8, 12], (560, 1000)), ([5, 9, 13], (850, 1050)),
               ([6, 10, 14], (1080, 1150)), ([7, 11, 15], (1280, 1330))]
    thumb = ([0, 3, 2, 1], (360, 2160))
    lines, p = limbs(OUTLINE_NODES, fingers, thumb, 10)
    widths = [206, 212, 206, 190, 220]
    palm = [(470, 760), (700, 780), (880, 820), (1120, 930), (1340, 1180), (1420, 1400),
            (1360, 1750), (1250, 2100), (1180, 2400), (480, 2400), (330, 2150), (260, 1700),
            (280, 1150), (380, 900)]
    ink, paper = "#3b3b3b", "#fbf8f4"
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}" '
           f'viewBox="0 0 {W} {H}" preserveAspectRatio="none">']
    for colour, grow in ((ink, 14), (paper, 0)):
        out.append(polygon(palm, colour, colour, 60 + grow))
        for line, w in zip(lines, widths):
            out.append(polyline(line, colour, w + grow))
    for line, w in zip(lines, widths):
        for a, b in zip(line[1:-2], line[2:-1]):
            out.append(crease(a, b, w * 0.55, "#a8a8a8", 6))
    # Palm lines.
    out.append('<path d="M 1330,1330 C 1150,1300 900,1230 700,1180" fill="none" '
               'stroke="#b4b4b4" stroke-width="7" stroke-linecap="round"/>')
    out.append('<path d="M 1300,1560 C 1050,1520 800,1450 560,1300" fill="none" '
               'stroke="#b4b4b4" stroke-width="7" stroke-linecap="round"/>')
    out.append('<path d="M 600,1150 C 560,1500 620,1850 760,2150" fill="none" '
               'stroke="#b4b4b4" stroke-width="7" stroke-linecap="round"/>')
    out.append('</svg>')
    return "\n".join(out) + "\n"


if __name__ == "__main__":
    with open("kynsikas4.svg", "w") as f:
        f.write(device_picture())
    with open("hand3.svg", "w") as f:
        f.write(outline_picture())
