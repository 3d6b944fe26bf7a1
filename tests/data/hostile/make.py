#!/usr/bin/env python3
"""Writes the hostile regression inputs of this folder. Big content is deflated twice
(/Filter [/FlateDecode /FlateDecode]), so each file stays a few kilobytes on disk while the
page it describes is hundreds of megabytes of content. Run from this folder."""
import zlib


def pdf(objs):
    out = b"%PDF-1.7\n"
    offs = []
    for i, o in enumerate(objs):
        offs.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + o + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for o in offs:
        out += b"%010d 00000 n \n" % o
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    return out


def deflate_stream(chunks, extra=b""):
    """A stream whose data is the concatenation of chunks, deflated twice."""
    inner = zlib.compressobj(9)
    once = b"".join(inner.compress(c) for c in chunks) + inner.flush()
    twice = zlib.compress(once, 9)
    return (b"<< /Length %d /Filter [/FlateDecode /FlateDecode] %s >>\nstream\n" % (len(twice), extra)
            + twice + b"\nendstream")


def repeat(unit, times, block=1 << 16):
    """unit * times as chunks of at most `block` repetitions."""
    while times > 0:
        n = min(block, times)
        yield unit * n
        times -= n


HELVETICA = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"


def one_page(content_chunks, count=1, resources=b"/Font << /F1 4 0 R >>", font=HELVETICA, more=()):
    return pdf([b"<< /Type /Catalog /Pages 2 0 R >>",
                b"<< /Type /Pages /Kids [3 0 R] /Count %d >>" % count,
                b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] /Resources << %s >> "
                b"/Contents 5 0 R >>" % resources,
                font, deflate_stream(content_chunks)] + list(more))


HELLO = [b"BT /F1 12 Tf 72 700 Td (Hello archive) Tj ET\n"]

files = {
    # /Differences counting on from the largest int.
    "differences-int-max.pdf": one_page(
        [b"BT /F1 12 Tf 72 700 Td (abc) Tj ET\n"],
        font=b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
             b"/Encoding << /Differences [2147483647 /a /b /c 255 /d /e] >> >>"),
    # A one-page file whose root claims two billion pages.
    "count-int-max.pdf": one_page(HELLO, count=2147483647),
    # 256 MiB of "(A) Tj" once inflated.
    "tj-256mib.pdf": one_page([b"BT /F1 1 Tf 10 10 Td\n"] + list(repeat(b"(A) Tj\n", (256 << 20) // 7))
                              + [b"ET\n"]),
    # A dense page repeated: 400,000 lines of 100 glyphs (40 million glyphs).
    "glyphs-40m.pdf": one_page([b"BT /F1 1 Tf 10 790 Td\n"]
                               + list(repeat(b"(" + b"ABCDEFGHIJ" * 10 + b") Tj 0 -0.002 Td\n", 400000))
                               + [b"ET\n"]),
    # An image that claims 100,000 x 100,000 RGB pixels.
    "image-100k.pdf": one_page(
        [b"q 500 0 0 500 50 150 cm /Im1 Do Q\n"] + HELLO,
        resources=b"/Font << /F1 4 0 R >> /XObject << /Im1 6 0 R >>",
        more=[deflate_stream(list(repeat(b"\x80", 1 << 20)),
                             b"/Type /XObject /Subtype /Image /Width 100000 /Height 100000 "
                             b"/ColorSpace /DeviceRGB /BitsPerComponent 8")]),
    # Graphics states nested 100,000 levels deep, and marked content as deep.
    "nested-100k.pdf": one_page(list(repeat(b"q /P <<>> BDC ", 100000)) + HELLO
                                + list(repeat(b"EMC Q ", 100000))),
    # One glyph of each of the 65,535 glyph identifiers of a CID font, all shown.
    "cid-65535.pdf": one_page(
        [b"BT /F1 4 Tf 10 790 Td\n"]
        + [b"<" + b"".join(b"%04X" % g for g in range(row * 256, min(row * 256 + 256, 65535)))
           + b"> Tj 0 -3 Td\n" for row in range(256)] + [b"ET\n"],
        font=b"<< /Type /Font /Subtype /Type0 /BaseFont /Manyglyphs /Encoding /Identity-H "
             b"/DescendantFonts [6 0 R] >>",
        more=[b"<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Manyglyphs "
              b"/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
              b"/FontDescriptor 7 0 R /DW 500 >>",
              b"<< /Type /FontDescriptor /FontName /Manyglyphs /Flags 4 "
              b"/FontBBox [0 -200 1000 800] /ItalicAngle 0 /Ascent 800 /Descent -200 "
              b"/CapHeight 700 /StemV 80 >>"]),
}

# Forms nested 200 deep: each form draws the next.
forms = []
first = 6
depth = 200
for i in range(depth):
    num = first + i
    body = b"/X Do" if i + 1 < depth else b"BT /F1 12 Tf 72 600 Td (deep) Tj ET"
    res = b"/Resources << /XObject << /X %d 0 R >> /Font << /F1 4 0 R >> >>" % (num + 1)
    forms.append(b"<< /Type /XObject /Subtype /Form /BBox [0 0 600 800] %s /Length %d >>\nstream\n"
                 % (res, len(body)) + body + b"\nendstream")
files["forms-200.pdf"] = one_page([b"/X Do\n"] + HELLO,
                                   resources=b"/Font << /F1 4 0 R >> /XObject << /X 6 0 R >>",
                                   more=forms)

for name, data in files.items():
    with open(name, "wb") as f:
        f.write(data)
    print(name, len(data))
