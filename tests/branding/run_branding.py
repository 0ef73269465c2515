#!/usr/bin/env python3
"""Builds a branded Setup.exe (a publisher's configuration, picture, icon and
version information chosen when the build is configured), checks that it
carries them, builds it again from a copy of the sources in another folder
and compares the bytes, and runs it under Wine to see the branded
configuration act.

usage: run_branding.py --source DIR --bin-dir BUILD/win --work DIR
"""
import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))
sys.path.insert(0, str(HERE.parent / "publishing"))
from run_e2e import drive_once  # noqa: E402
from run_publishing import copy_sources  # noqa: E402


def write_bitmap(path: Path) -> None:
    """A plain 510 x 437 24-bit picture, different from the default one."""
    width, height = 510, 437
    row = (bytes((0x30, 0x90, 0xe0)) * width).ljust((width * 3 + 3) & ~3, b"\0")
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    path.write_bytes(header + info + pixels)


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--work", required=True)
    args = ap.parse_args()
    source, bin_dir, work = Path(args.source).resolve(), Path(args.bin_dir).resolve(), Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    results = []

    def check(ok: bool, what: str) -> None:
        print(("ok   " if ok else "FAIL ") + what, flush=True)
        results.append(ok)

    bitmap = work / "brand.bmp"
    write_bitmap(bitmap)
    icon = bin_dir / "art" / "setup.ico"
    build = work / "build"
    options = [
        "-DSETUP_CONFIGURATION=%s" % (HERE / "brand-setup.xml"),
        "-DSETUP_BITMAP=%s" % bitmap,
        "-DSETUP_ICON=%s" % icon,
        "-DSETUP_PRODUCT_NAME=Acme Widget",
        "-DSETUP_PRODUCT_VERSION=2.5.1",
        "-DSETUP_COMPANY=Acme Tools",
    ]

    def build_from(sources: Path, folder: Path, log: Path) -> int:
        shutil.rmtree(folder, ignore_errors=True)
        with open(log, "wb") as out:
            rc = subprocess.run(["cmake", "-S", str(sources), "-B", str(folder),
                                 "-DCMAKE_TOOLCHAIN_FILE=%s" % (sources / "cmake" / "mingw-i686.cmake"),
                                 "-DCMAKE_BUILD_TYPE=MinSizeRel"] + options,
                                stdout=out, stderr=subprocess.STDOUT).returncode
            if rc == 0:
                rc = subprocess.run(["cmake", "--build", str(folder), "--target", "Setup", "-j2"],
                                    stdout=out, stderr=subprocess.STDOUT).returncode
        return rc

    rc = build_from(source, build, work / "build.log")
    check(rc == 0, "a branded build configures and builds (log: %s)" % (work / "build.log"))
    if rc != 0:
        print("%d passed, %d failed" % (results.count(True), results.count(False)))
        return 1

    again = work / "build again"
    rc = build_from(copy_sources(source, work / "another source"), again, work / "build-again.log")
    first = (build / "Setup.exe").read_bytes()
    second = (again / "Setup.exe").read_bytes() if rc == 0 else b""
    print("sha256 %s  %s\nsha256 %s  %s" % (hashlib.sha256(first).hexdigest(), build / "Setup.exe",
                                           hashlib.sha256(second).hexdigest(), again / "Setup.exe"))
    check(first == second, "built again from another source folder into another build folder, the branded "
          "Setup.exe has the same %d bytes (log: %s)" % (len(first), work / "build-again.log"))

    pe = subprocess.run([sys.executable, str(source / "tests" / "pe" / "check_pe.py"), str(build / "Setup.exe"),
                         str(HERE / "brand-setup.xml"), "--bitmap", str(bitmap), "--icon", str(icon),
                         "--version", "ProductName=Acme Widget", "--version", "ProductVersion=2.5.1",
                         "--version", "FileVersion=2.5.1", "--version", "CompanyName=Acme Tools"],
                        capture_output=True, text=True)
    print(pe.stdout.strip())
    check(pe.returncode == 0, "the branded Setup.exe carries the publisher's resources")

    if shutil.which("wine") is None:
        if os.environ.get("CI"):
            check(False, "wine is needed to run the branded Setup.exe")
        else:
            print("SKIP: wine not found; the branded Setup.exe was not run")
    else:
        medium = work / "medium"
        shutil.rmtree(medium, ignore_errors=True)
        medium.mkdir()
        shutil.copy(build / "Setup.exe", medium / "Setup.exe")
        seen = drive_once(work, bin_dir / "e2e_driver.exe", medium / "Setup.exe", ["no"])
        check('"Acme Widget could not install Acme Runtime. Go on?"' in seen,
              "the branded Setup.exe runs its own stored configuration (silent, failure question)")
        check('{"exit":1' in seen, "the branded Setup.exe ends with status 1")

    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
