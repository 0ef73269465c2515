#!/usr/bin/env python3
"""Writes a kit archive (.zip or .tar.gz) of a folder with the same bytes
every time:

    python3 cmake/kit_archive.py --root DIR --out FILE --epoch N

Every entry under DIR, sorted by name, with the time N (seconds since
1970), owner root (0/0), and the mode 0755 for folders and for files that
are executable, else 0644. The zip is one that Windows' own extraction reads
(no Unix extra fields); the gzip header holds no name and no time.
"""

import argparse
import gzip
import io
import os
import stat
import sys
import tarfile
import time
import zipfile
from pathlib import Path
from typing import List, Tuple


def entries(root: Path) -> List[Tuple[str, Path, int]]:
    """(name in the archive, file, mode) of every folder and file."""
    found = []
    for path in root.rglob("*"):
        name = path.relative_to(root).as_posix()
        if path.is_dir():
            found.append((name + "/", path, 0o755))
        else:
            executable = os.stat(path).st_mode & stat.S_IXUSR
            found.append((name, path, 0o755 if executable else 0o644))
    return sorted(found)


def write_zip(out: Path, items: List[Tuple[str, Path, int]], epoch: int) -> None:
    # A zip's times are local times from 1980 on, without a zone.
    when = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(out, "w") as archive:
        for name, path, mode in items:
            info = zipfile.ZipInfo(name, when)
            info.create_system = 3
            if name.endswith("/"):
                info.external_attr = (stat.S_IFDIR | mode) << 16 | 0x10
                archive.writestr(info, b"")
            else:
                info.external_attr = (stat.S_IFREG | mode) << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, path.read_bytes(), compresslevel=9)


def write_tar_gz(out: Path, items: List[Tuple[str, Path, int]], epoch: int) -> None:
    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode="w", format=tarfile.PAX_FORMAT) as archive:
        for name, path, mode in items:
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mtime, info.mode = epoch, mode
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            if name.endswith("/"):
                info.type = tarfile.DIRTYPE
                archive.addfile(info)
            else:
                content = path.read_bytes()
                info.size = len(content)
                archive.addfile(info, io.BytesIO(content))
    with open(out, "wb") as f, gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=0, compresslevel=9) as z:
        z.write(data.getvalue())


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--root", type=Path, required=True)
    ap.add_argument("--out", type=Path, required=True)
    ap.add_argument("--epoch", type=int, required=True)
    args = ap.parse_args()
    items = entries(args.root)
    if not items:
        print("kit_archive: %s is empty" % args.root, file=sys.stderr)
        return 1
    if args.out.name.endswith(".zip"):
        write_zip(args.out, items, args.epoch)
    elif args.out.name.endswith(".tar.gz"):
        write_tar_gz(args.out, items, args.epoch)
    else:
        print("kit_archive: %s is neither .zip nor .tar.gz" % args.out, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
