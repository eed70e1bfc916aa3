#!/usr/bin/python3
"""Joins the unicode-range subsets of the caption fonts into one TTF each.

The font packages ship every family as many WOFF/WOFF2 files, each holding
one slice of the character set. The page and the PDF writer want a single
file per family, so this takes every glyph (by its name, which the slices
share) with its metrics and character mapping and writes one TrueType font.
Layout tables are left out: their glyph ids only make sense inside one
slice. The output depends only on the input files, so running it again
gives byte-identical fonts.

Usage: scripts/make-fonts.py [node_modules dir] [output dir]
"""
import glob
import os
import sys

from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables._c_m_a_p import cmap_format_4, cmap_format_12

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

FAMILIES = {
    'yomogi': 'Yomogi-Regular.ttf',
    'yusei-magic': 'YuseiMagic-Regular.ttf',
    'mochiy-pop-p-one': 'MochiyPopPOne-Regular.ttf',
    'hachi-maru-pop': 'HachiMaruPop-Regular.ttf',
}

# Tables that index glyphs by slice-local ids, or that are rebuilt below.
DROPPED_TABLES = ('GSUB', 'GPOS', 'GDEF', 'DSIG')

# Characters every caption font must have: Latin, kana and common kanji.
REQUIRED_TEXT = 'AZaz09&?!' + 'あいうえおがぱゃアイウエオガパャー' + '日本語写真思い出夏旅友家族'


def slice_files(package_dir):
    """The family's slices, one format per slice (WOFF2 where present)."""
    files = sorted(glob.glob(os.path.join(package_dir, 'files', '*-400-normal.woff2')))
    if not files:
        files = sorted(glob.glob(os.path.join(package_dir, 'files', '*-400-normal.woff')))
    return files


def join_slices(files):
    base = TTFont(files[0], recalcTimestamp=False)
    base.flavor = None  # plain TrueType, not the slices' WOFF wrapping
    glyphs = {}
    h_metrics = {}
    v_metrics = {}
    mapping = {}
    has_vmtx = True
    for path in files:
        part = TTFont(path)
        glyf = part['glyf']
        has_vmtx = has_vmtx and 'vmtx' in part
        for name in part.getGlyphOrder():
            if name in glyphs:
                continue
            glyph = glyf[name]
            glyph.expand(glyf)
            glyphs[name] = glyph
            h_metrics[name] = part['hmtx'][name]
            if 'vmtx' in part:
                v_metrics[name] = part['vmtx'][name]
        for code, name in part.getBestCmap().items():
            mapping.setdefault(code, name)
    first_use = {}
    for code in sorted(mapping):
        first_use.setdefault(mapping[code], code)
    order = ['.notdef'] + sorted(
        (n for n in glyphs if n != '.notdef'),
        key=lambda n: (first_use.get(n, 0x110000), n))

    for tag in DROPPED_TABLES:
        if tag in base:
            del base[tag]
    if not has_vmtx:
        for tag in ('vhea', 'vmtx'):
            if tag in base:
                del base[tag]
    base.setGlyphOrder(order)
    base['glyf'].glyphOrder = order
    base['glyf'].glyphs = glyphs
    base['hmtx'].metrics = h_metrics
    if 'vmtx' in base:
        base['vmtx'].metrics = v_metrics
    base['post'].formatType = 2.0
    base['post'].extraNames = []
    base['post'].mapping = {}
    base['post'].glyphOrder = order
    base['cmap'] = build_cmap(mapping)
    os2 = base['OS/2']
    bmp = [c for c in mapping if c <= 0xFFFF]
    os2.usFirstCharIndex = min(bmp)
    os2.usLastCharIndex = max(bmp)
    os2.recalcUnicodeRanges(base)
    return base


def build_cmap(mapping):
    table = newTable('cmap')
    table.tableVersion = 0
    bmp = cmap_format_4(4)
    bmp.platformID, bmp.platEncID, bmp.language = 3, 1, 0
    bmp.cmap = {c: n for c, n in mapping.items() if c <= 0xFFFF}
    full = cmap_format_12(12)
    full.platformID, full.platEncID, full.language = 3, 10, 0
    full.cmap = dict(mapping)
    table.tables = [bmp, full]
    return table


def check(path):
    with open(path, 'rb') as f:
        if f.read(4) != b'\x00\x01\x00\x00':
            raise SystemExit(f'{path}: not a TrueType file')
    font = TTFont(path)
    cmap = font.getBestCmap()
    missing = [ch for ch in REQUIRED_TEXT if ord(ch) not in cmap]
    if missing:
        raise SystemExit(f'{path}: missing characters {"".join(missing)}')
    return len(cmap), len(font.getGlyphOrder())


def write_licence(modules, out_dir):
    """One licence file: each family's copyright line, then the shared OFL text."""
    copyrights = []
    body = None
    for package, file_name in FAMILIES.items():
        with open(os.path.join(modules, '@fontsource', package, 'LICENSE'), encoding='utf-8') as f:
            lines = f.read().splitlines()
        copyrights.append(f'{file_name}: {lines[0].strip()}')
        text = '\n'.join(lines[1:]).strip('\n')
        if body is None:
            body = text
        elif text != body:
            raise SystemExit(f'{package}: licence text differs from the others')
    intro = ('The four caption fonts in this folder are the families below, each joined\n'
             'into one TrueType file from the slices of its npm package by\n'
             'scripts/make-fonts.py (outlines, metrics and character mapping unchanged).\n')
    with open(os.path.join(out_dir, 'LICENSE-OFL.txt'), 'w', encoding='utf-8', newline='\n') as f:
        f.write(intro + '\n' + '\n'.join(copyrights) + '\n\n' + body + '\n')


def main():
    modules = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'node_modules')
    out_dir = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, 'web', 'assets', 'fonts')
    os.makedirs(out_dir, exist_ok=True)
    for package, file_name in FAMILIES.items():
        files = slice_files(os.path.join(modules, '@fontsource', package))
        if not files:
            raise SystemExit(f'no font files for {package}: run npm ci first')
        font = join_slices(files)
        target = os.path.join(out_dir, file_name)
        font.save(target + '.tmp')
        os.replace(target + '.tmp', target)
        chars, glyph_count = check(target)
        size = os.path.getsize(target) / 1e6
        print(f'{file_name}: {len(files)} slices, {chars} characters, {glyph_count} glyphs, {size:.1f} MB')
    write_licence(modules, out_dir)


if __name__ == '__main__':
    main()
