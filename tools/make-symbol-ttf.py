#!/usr/bin/env python3
"""Turns the Standard Symbols PS font of fonts-urw-base35 (CFF outlines, its
cmap keyed by the font's own byte codes) into a TrueType "Symbol" font, once;
the result is committed as resources/data/Symbol.ttf. The outlines become
quadratic, the glyph names go into a version 2 post table, and the byte codes
of the font's encoding into a (1,0) byte map and a (3,0) map at F020-F0FF,
the way symbol fonts are looked up. Needs python3-fonttools.

    tools/make-symbol-ttf.py /usr/share/fonts/opentype/urw-base35/StandardSymbolsPS.otf \
        resources/data/Symbol.ttf
"""
import sys

from fontTools.pens.cu2quPen import Cu2QuPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables._c_m_a_p import CmapSubtable

MAX_ERR = 1.0  # font units


def main(src, dst):
    font = TTFont(src)
    order = font.getGlyphOrder()
    glyph_set = font.getGlyphSet()
    by_code = {}
    for table in font["cmap"].tables:
        for code, name in table.cmap.items():
            if code < 256:
                by_code.setdefault(code, name)
    glyf = newTable("glyf")
    glyf.glyphOrder = order
    glyf.glyphs = {}
    for name in order:
        pen = TTGlyphPen(glyph_set)
        glyph_set[name].draw(Cu2QuPen(pen, MAX_ERR, reverse_direction=True))
        glyf[name] = pen.glyph()
    font["glyf"] = glyf
    font["loca"] = newTable("loca")
    del font["CFF "]
    for extra in ("VORG", "PCLT"):
        if extra in font:
            del font[extra]
    maxp = font["maxp"]
    maxp.tableVersion = 0x00010000
    for field in ("maxZones", "maxTwilightPoints", "maxStorage", "maxFunctionDefs",
                  "maxInstructionDefs", "maxStackElements", "maxSizeOfInstructions",
                  "maxComponentElements"):
        setattr(maxp, field, 0)
    maxp.maxZones = 1
    font["head"].glyphDataFormat = 0
    post = font["post"]
    post.formatType = 2.0
    post.extraNames = []
    post.mapping = {}
    post.glyphOrder = order

    mac = CmapSubtable.newSubtable(0)
    mac.platformID, mac.platEncID, mac.language = 1, 0, 0
    mac.cmap = {code: by_code.get(code, ".notdef") for code in range(256)}
    win = CmapSubtable.newSubtable(4)
    win.platformID, win.platEncID, win.language = 3, 0, 0
    win.cmap = {0xF000 + code: name for code, name in by_code.items() if code >= 0x20}
    cmap = newTable("cmap")
    cmap.tableVersion = 0
    cmap.tables = [mac, win]
    font["cmap"] = cmap
    os2 = font["OS/2"]
    os2.ulCodePageRange1 = 1 << 31  # symbol character set
    os2.ulCodePageRange2 = 0
    os2.usFirstCharIndex = 0xF020
    os2.usLastCharIndex = 0xF0FF
    font.sfntVersion = "\x00\x01\x00\x00"
    font.save(dst)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
