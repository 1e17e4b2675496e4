#!/usr/bin/env python3
"""Writes the zip archives that need more control than the zip tool gives:
other compression methods, hostile names, names in CP949 without the UTF-8
flag, and data descriptors without their signature. Usage: make_zips.py DIR"""
import io
import os
import struct
import sys
import zipfile


def write(path, entries, method=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, "w", method) as z:
        for name, data in entries:
            if name.endswith("/"):
                info = zipfile.ZipInfo(name)
                info.external_attr = 0o40755 << 16 | 0x10
                z.writestr(info, b"")
            else:
                z.writestr(name, data)


class Unseekable(io.RawIOBase):
    """A sink that cannot tell or seek, so zipfile streams with descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def descriptors_without_signature(path, name, data):
    sink = Unseekable()
    with zipfile.ZipFile(sink, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(name, data)
    raw = bytes(sink.data)
    sig = b"PK\x07\x08"
    at = raw.index(sig)
    raw = raw[:at] + raw[at + 4:]
    # The end record's central-directory offset moves back by the 4 bytes.
    end = raw.rindex(b"PK\x05\x06")
    cd_offset = struct.unpack_from("<I", raw, end + 16)[0]
    raw = raw[:end + 16] + struct.pack("<I", cd_offset - 4) + raw[end + 20:]
    with open(path, "wb") as f:
        f.write(raw)


def cp949_names(path, entries):
    """Entries named in CP949 without flag bit 11, as Korean Windows zippers
    write them: written under ASCII stand-ins of the same length, then the
    stand-ins are replaced in the local and central headers."""
    stand_ins = []
    for i, (name, data) in enumerate(entries):
        encoded = name.encode("cp949")
        stand_in = ("%d" % i).encode().ljust(len(encoded), b"_")
        stand_ins.append((stand_in, encoded, data))
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for stand_in, _, data in stand_ins:
            z.writestr(stand_in.decode(), data)
    raw = buf.getvalue()
    for stand_in, encoded, _ in stand_ins:
        assert raw.count(stand_in) == 2
        raw = raw.replace(stand_in, encoded)
    with open(path, "wb") as f:
        f.write(raw)


def main():
    out = sys.argv[1]
    text = b"<SkinWindow Name=\"main\"/>\n" * 40
    bmp = b"BM" + bytes(range(256)) * 4
    # The payloads, for the tests to compare with.
    for name, data in (("text.payload", text), ("bmp.payload", bmp)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    write(os.path.join(out, "bzip2.zip"), [("a.txt", text)], zipfile.ZIP_BZIP2)
    write(os.path.join(out, "lzma.zip"), [("a.txt", text)], zipfile.ZIP_LZMA)
    write(os.path.join(out, "names.zip"), [
        ("good.txt", b"good"),
        ("../escaped.txt", b"up one"),
        ("ok/../../escaped2.txt", b"up one, hidden"),
        ("/tavdj-zip-slip-probe.txt", b"absolute"),
        ("C:/tavdj-drive.txt", b"drive letter"),
        ("..\\escaped3.txt", b"backslash"),
    ])
    write(os.path.join(out, "utf8.zip"), [("한글스킨/Skin.xml", text)])
    cp949_names(os.path.join(out, "cp949.zip"), [("한글스킨/버튼.bmp", bmp)])
    write(os.path.join(out, "filter.zip"), [
        ("a.BMP", b"a"), ("b.xml", b"b"), ("c.x", b"c"), ("d.in", b"d"),
        ("e.txt", b"e"), ("f.swf", b"f"), ("noext", b"n"),
        ("sub/", b""), ("sub/g.ini", b"g"), ("sub/h.js", b"h"),
    ])
    descriptors_without_signature(os.path.join(out, "unsigned.zip"), "skin.xml", text)


if __name__ == "__main__":
    main()
