#!/usr/bin/env python3
"""Stages the example medium for the publisher's kit, with the same bytes
on every build:

    python3 cmake/kit_medium.py --bin-dir build/win --out <folder> [--epoch N]

The medium is staged as the example's test stages it (setup.xml, the three
component programs and the product package built by wixl), without
Setup.exe, which the kit holds once at its top. wixl writes the time of the
build and a random package code into the package's summary information;
both are replaced here: the times by --epoch (seconds since 1970), the code
by one derived from the package's other bytes.
"""

import argparse
import hashlib
import shutil
import struct
import sys
import uuid
from pathlib import Path
from typing import List, Tuple

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "examples"))

import run_example  # noqa: E402

FREE_SECTOR = 0xFFFFFFFF
END_OF_CHAIN = 0xFFFFFFFE
PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
SUMMARY = "\x05SummaryInformation"


def u32(data: bytes, at: int) -> int:
    return struct.unpack_from("<I", data, at)[0]


def chain(table: List[int], start: int) -> List[int]:
    sectors = []
    while start not in (FREE_SECTOR, END_OF_CHAIN) and len(sectors) <= len(table):
        sectors.append(start)
        start = table[start]
    return sectors


def stream_offsets(cfb: bytes, name: str) -> List[int]:
    """The file offset of each byte of a stream of a compound file, found by
    following its sector chains (a small stream lives in the mini stream)."""
    shift, mini_shift = struct.unpack_from("<HH", cfb, 0x1E)
    size = 1 << shift

    def sector(n: int) -> int:
        return (n + 1) * size

    difat = [u32(cfb, 0x4C + 4 * i) for i in range(109)]
    next_difat = u32(cfb, 0x44)
    while next_difat not in (FREE_SECTOR, END_OF_CHAIN):
        base = sector(next_difat)
        difat += [u32(cfb, base + 4 * i) for i in range(size // 4 - 1)]
        next_difat = u32(cfb, base + size - 4)
    fat = []
    for s in difat[:u32(cfb, 0x2C)]:
        fat += [u32(cfb, sector(s) + 4 * i) for i in range(size // 4)]

    def regular(start: int) -> List[int]:
        return [sector(s) + i for s in chain(fat, start) for i in range(size)]

    directory = bytes(cfb[o] for o in regular(u32(cfb, 0x30)))
    entries = {}
    for at in range(0, len(directory), 128):
        length = struct.unpack_from("<H", directory, at + 64)[0]
        entry_name = directory[at:at + max(length - 2, 0)].decode("utf-16-le")
        entries.setdefault(entry_name, (u32(directory, at + 116), u32(directory, at + 120)))
    root_start = u32(directory, 116)
    start, length = entries[name]
    if length >= u32(cfb, 0x38):
        return regular(start)[:length]
    mini_fat_bytes = bytes(cfb[o] for o in regular(u32(cfb, 0x3C)))
    mini_fat = [u32(mini_fat_bytes, 4 * i) for i in range(len(mini_fat_bytes) // 4)]
    mini_stream = regular(root_start)
    mini = 1 << mini_shift
    return [mini_stream[(m << mini_shift) + i] for m in chain(mini_fat, start) for i in range(mini)][:length]


def summary_fields(stream: bytes) -> List[Tuple[int, int, int]]:
    """(property id, offset, length) of the package code and the two times
    in a summary information property set."""
    section = u32(stream, 28 + 16)
    fields = []
    for i in range(u32(stream, section + 4)):
        pid, where = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        at = section + where
        kind = u32(stream, at) & 0xFFFF
        if pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM) and kind == VT_FILETIME:
            fields.append((pid, at + 4, 8))
        elif pid == PID_REVNUMBER and kind == VT_LPSTR:
            fields.append((pid, at + 8, 38))  # "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    return fields


def normalise_package(path: Path, epoch: int) -> None:
    cfb = bytearray(path.read_bytes())
    offsets = stream_offsets(bytes(cfb), SUMMARY)
    fields = summary_fields(bytes(cfb[o] for o in offsets))
    if sorted(pid for pid, _, _ in fields) != [PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM]:
        raise SystemExit("%s: the summary information lacks the package code or its times" % path)
    filetime = struct.pack("<Q", (epoch + 11644473600) * 10 ** 7)

    def put(at: int, value: bytes) -> None:
        for i, b in enumerate(value):
            cfb[offsets[at + i]] = b

    code_at = next(at for pid, at, _ in fields if pid == PID_REVNUMBER)
    for pid, at, _ in fields:
        put(at, filetime if pid != PID_REVNUMBER else b"{%s}" % (b"0" * 36))
    code = uuid.UUID(bytes=hashlib.sha256(bytes(cfb)).digest()[:16], version=4)
    put(code_at, ("{%s}" % str(code).upper()).encode("ascii"))
    path.write_bytes(bytes(cfb))


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--bin-dir", type=Path, required=True)
    ap.add_argument("--out", type=Path, required=True)
    ap.add_argument("--epoch", type=int, default=315532800)
    args = ap.parse_args()
    work = args.out.parent / (args.out.name + ".work")
    medium = run_example.stage(args.bin_dir, work)
    (medium / "Setup.exe").unlink()
    normalise_package(medium / run_example.PACKAGE_NAME, args.epoch)
    if args.out.exists():
        shutil.rmtree(args.out)
    medium.rename(args.out)
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
