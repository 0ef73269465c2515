#!/usr/bin/env python3
"""Builds a branded Setup.exe (a publisher's configuration, picture, icon and
version information chosen when the build is configured), checks that it
carries them, and runs it under Wine to see the branded configuration act.

usage: run_branding.py --source DIR --bin-dir BUILD/win --work DIR
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))
from run_e2e import Wine, win_path  # noqa: E402


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
    with open(work / "build.log", "wb") as out:
        rc = subprocess.run(["cmake", "-S", str(source), "-B", str(build),
                             "-DCMAKE_TOOLCHAIN_FILE=%s" % (source / "cmake" / "mingw-i686.cmake"),
                             "-DCMAKE_BUILD_TYPE=MinSizeRel"] + options, stdout=out, stderr=subprocess.STDOUT).returncode
        if rc == 0:
            rc = subprocess.run(["cmake", "--build", str(build), "--target", "Setup", "-j2"],
                                stdout=out, stderr=subprocess.STDOUT).returncode
    check(rc == 0, "a branded build configures and builds (log: %s)" % (work / "build.log"))
    if rc != 0:
        print("%d passed, %d failed" % (results.count(True), results.count(False)))
        return 1

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
        script, log = work / "script.txt", work / "driver.log"
        script.write_text("no\n")
        log.unlink(missing_ok=True)
        wine = Wine(work / "wine")
        try:
            wine.start_display()
            wine.ensure_prefix()
            wine.start_server()
            wine.run(["wine", str(bin_dir / "e2e_driver.exe"), "--exe", win_path(medium / "Setup.exe"),
                      "--cwd", win_path(medium), "--script", win_path(script), "--log", win_path(log),
                      "--timeout", "60"], "driver.out", 120)
        finally:
            wine.stop_server()
            wine.stop_display()
        seen = log.read_text(encoding="utf-8") if log.exists() else ""
        check('"Acme Widget could not install Acme Runtime. Go on?"' in seen,
              "the branded Setup.exe runs its own stored configuration (silent, failure question)")
        check('{"exit":1' in seen, "the branded Setup.exe ends with status 1")

    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
