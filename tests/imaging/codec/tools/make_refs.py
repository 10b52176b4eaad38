#!/usr/bin/python3
"""Builds the reference decodings in data/ref from the original test-picture folder.

Usage: make_refs.py <testdata folder> <tests/imaging/codec/data>
Each reference is gzip'd "RGB <w> <h>\n" followed by w*h*3 bytes, rows top first.
"""
import gzip, os, sys
from PIL import Image

src, dst = sys.argv[1], sys.argv[2]


def write(path, w, h, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    assert len(data) == w * h * 3
    with gzip.GzipFile(path, "wb", mtime=0) as f:
        f.write(b"RGB %d %d\n" % (w, h) + data)


def pil_rgb(path):
    im = Image.open(path)
    im.load()
    if im.mode in ("I;16", "I;16B", "I;16L", "I"):
        # 16-bit grey: keep the high byte, as an 8-bit reader does
        px = [(v >> 8) & 0xFF for v in im.getdata()]
        data = bytes(b for v in px for b in (v, v, v))
        return im.size[0], im.size[1], data
    if im.mode in ("RGBA", "LA", "PA", "P", "L", "1", "RGB", "CMYK", "YCbCr", "I;16", "RGBX"):
        im = im.convert("RGB")
    else:
        im = im.convert("RGB")
    return im.size[0], im.size[1], im.tobytes()


# BMP Suite and PngSuite and the cross-format samples: PIL's decoding
for sub, exts in (("bmp/g", ".bmp"), ("bmp/q", ".bmp"), ("png", ".png"), ("samples", "")):
    folder = os.path.join(dst, sub)
    for name in sorted(os.listdir(folder)):
        if not name.endswith(exts) or name.endswith(".txt"):
            continue
        try:
            w, h, data = pil_rgb(os.path.join(folder, name))
        except Exception as e:  # PIL refuses some questionable and corrupt files
            print("no reference for", sub, name, e)
            continue
        write(os.path.join(dst, "ref", sub.split("/")[0], name + ".rgb.gz"), w, h, data)

# giflib: gif2rgb's raw output of the logical screen
for name in sorted(os.listdir(os.path.join(src, "giflib/pic"))):
    if not name.endswith(".gif"):
        continue
    raw = open(os.path.join(src, "giflib/expected-rgb", name[:-4] + ".rgb"), "rb").read()
    w, h = Image.open(os.path.join(src, "giflib/pic", name)).size
    write(os.path.join(dst, "ref/gif", name + ".rgb.gz"), w, h, raw)

# PCX: netpbm's pcxtoppm decoding (stored as PNG)
for name in sorted(os.listdir(os.path.join(src, "pcx/ref"))):
    im = Image.open(os.path.join(src, "pcx/ref", name)).convert("RGB")
    write(os.path.join(dst, "ref/pcx", name[:-4] + ".pcx.rgb.gz"), im.size[0], im.size[1], im.tobytes())
