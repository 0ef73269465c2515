#!/usr/bin/env python3
"""Packs the built Setup.exe and reads the result with two readers of other
origin: pefile (checksum, directories, resources, version texts) and
wrestool (the resource listing and the extracted picture and icon)."""
import argparse
import os
import shutil
import subprocess
import sys

try:
    import pefile
except ImportError:
    # Debian's python3-pefile, when another Python comes first on the path.
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

RT_BITMAP, RT_RCDATA, RT_GROUP_ICON = 2, 10, 14


def make_picture(path):
    import struct
    row = (510 * 3 + 3) // 4 * 4
    pixels = bytes((x * 7 + y) & 0xff for y in range(437) for x in range(row))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, 510, 437, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)
    return pixels


def resource(pe, rtype, rid):
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id == rtype:
            for n in t.directory.entries:
                if n.id == rid:
                    e = n.directory.entries[0].data.struct
                    return pe.get_data(e.OffsetToData, e.Size)
    return None


def main():
    ap = argparse.ArgumentParser()
    for name in ("--setup-pack", "--setup", "--source", "--work"):
        ap.add_argument(name, required=True)
    a = ap.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    picture = os.path.join(a.work, "picture.bmp")
    pixels = make_picture(picture)
    config = os.path.join(a.source, "tests", "branding", "brand-setup.xml")
    out = os.path.join(a.work, "Setup.exe")
    subprocess.run([a.setup_pack, "--from", a.setup, "--out", out, "--configuration", config,
                    "--picture", picture, "--product-name", "Acme Widget", "--product-version", "2.5.1",
                    "--company", "Acme Tools", "--copyright", "\u00a9 2026 Acme Tools",
                    "--stored-configuration-only"], check=True)
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    pe = pefile.PE(out)
    check(pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum(), "checksum")
    check(not any("Suspicious" in w or "corrupt" in w.lower() for w in pe.get_warnings()),
          "pefile warnings: %s" % pe.get_warnings())
    with open(config, "rb") as f:
        check(resource(pe, RT_RCDATA, 103) == f.read(), "stored configuration")
    check(resource(pe, RT_RCDATA, 110) == b"1", "stored-only switch")
    check(resource(pe, RT_BITMAP, 202)[40:] == pixels, "picture")
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    check(strings.get("ProductName") == "Acme Widget", "ProductName %r" % strings.get("ProductName"))
    check(strings.get("LegalCopyright") == "\u00a9 2026 Acme Tools", "LegalCopyright")
    check(strings.get("FileVersion") == "2.5.1", "FileVersion")
    check(pe.VS_FIXEDFILEINFO[0].FileVersionMS == 0x00020005, "fixed file version")
    check(pe.DIRECTORY_ENTRY_IMPORT is not None and len(pe.DIRECTORY_ENTRY_IMPORT) > 0, "imports")

    listing = subprocess.run(["wrestool", "-l", out], capture_output=True, text=True, check=True).stdout
    check("--type=14 --name=201" in listing, "wrestool lists the icon group:\n" + listing)
    bmp = subprocess.run(["wrestool", "-x", "--raw", "--type=2", "--name=202", out],
                         capture_output=True, check=True).stdout
    check(bmp[40:] == pixels, "wrestool's picture")
    ico = os.path.join(a.work, "icon.ico")
    subprocess.run(["wrestool", "-x", "--type=14", "--name=201", "-o", ico, out], check=True)
    check(os.path.getsize(ico) > 0, "wrestool's icon")
    for f in failures:
        print("FAIL:", f)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
