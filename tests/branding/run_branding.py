#!/usr/bin/env python3
"""A publisher's branded Setup.exe, built with the CMake options and tried:

  built         the build (setup-pack stamping the linked program) gives the
                same bytes from a copy of the sources in another folder, and
                the very bytes that setup-pack gives for the same inputs
                and the test build's plain Setup.exe;
  carried       the resources are the publisher's (tests/pe/check_pe.py);
  shown         under Wine, the dialog is the stored configuration's, filled
                with the packed picture, the packed icon in its caption;
  version       Windows' own version functions read the packed texts;
  setup-pack    setup-pack.exe under Wine writes the native one's bytes.

All Wine runs share one prefix, removed at the end.

usage: run_branding.py --source DIR --bin-dir BUILD/win --work DIR
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "e2e"))
sys.path.insert(0, str(HERE.parent / "publishing"))
from run_e2e import Wine, drive_once, win_path  # noqa: E402
from run_publishing import copy_sources  # noqa: E402
import packed  # noqa: E402

check, results = packed.check, packed.results


def build_from(sources: Path, folder: Path, log: Path, options) -> int:
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


def under_wine(bin_dir: Path, work: Path, program: Path, arguments, native: Path) -> None:
    runs = work / "wine-runs"
    try:
        exe = packed.stage(work / "medium", program)
        seen = drive_once(runs, bin_dir / "e2e_driver.exe", exe,
                          ["dialog: read packed", "dialog: picture packed", "dialog: exit"], keep_prefix=True)
        packed.check_dialog(check, seen, runs / "packed.bmp", "the branded Setup.exe")

        wine = Wine(runs / "wine")
        version = packed.read_version(wine, bin_dir / "version_probe.exe", exe, work / "version.txt")
        wrong = {k: (v, version.get(k)) for k, v in packed.VERSION.items() if version.get(k) != v}
        check(not wrong, "GetFileVersionInfoW and VerQueryValueW read the packed version information %s"
              % (wrong or version))

        # setup-pack.exe beside a copy of the plain program, which it packs
        # when given no --from.
        tools = work / "setup-pack-exe"
        shutil.rmtree(tools, ignore_errors=True)
        tools.mkdir()
        shutil.copy2(bin_dir / "setup-pack.exe", tools)
        shutil.copy2(bin_dir / "Setup.exe", tools)
        out = tools / "packed.exe"
        windows_arguments = [win_path(Path(a)) if Path(a).is_absolute() else a for a in arguments]
        rc = wine.run(["wine", str(tools / "setup-pack.exe"), "--out", win_path(out)] + windows_arguments,
                      "setup-pack.out", 300)
        check(rc == 0 and out.exists() and out.read_bytes() == native.read_bytes(),
              "setup-pack.exe under Wine writes the native setup-pack's bytes (status %d)" % rc)
    finally:
        Wine(runs / "wine").discard_prefix()


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--work", required=True)
    args = ap.parse_args()
    source, bin_dir, work = Path(args.source).resolve(), Path(args.bin_dir).resolve(), Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)

    picture, icon, configuration = work / "brand.bmp", work / "brand.ico", HERE / "brand-dialog.xml"
    packed.write_bitmap(picture)
    packed.write_icon(icon)
    build = work / "build"
    options = packed.cmake_options(configuration, picture, icon)
    rc = build_from(source, build, work / "build.log", options)
    if not check(rc == 0, "a branded build configures and builds (log: %s)" % (work / "build.log")):
        print("%d passed, %d failed" % (results.count(True), results.count(False)))
        return 1

    again = work / "build again"
    rc = build_from(copy_sources(source, work / "another source"), again, work / "build-again.log", options)
    first = (build / "Setup.exe").read_bytes()
    second = (again / "Setup.exe").read_bytes() if rc == 0 else b""
    print("sha256 %s  %s\nsha256 %s  %s" % (hashlib.sha256(first).hexdigest(), build / "Setup.exe",
                                           hashlib.sha256(second).hexdigest(), again / "Setup.exe"))
    check(first == second, "built again from another source folder into another build folder, the branded "
          "Setup.exe has the same %d bytes (log: %s)" % (len(first), work / "build-again.log"))

    # The build's own native setup-pack, on the test build's plain program.
    setup_pack = build / "host-tools" / "setup-pack"
    arguments = packed.pack_arguments(configuration, picture, icon)
    native = work / "packed-native.exe"
    p = packed.native_pack(setup_pack, bin_dir / "Setup.exe", native, arguments)
    check(p.returncode == 0 and native.exists() and native.read_bytes() == first,
          "the branded build's Setup.exe is what setup-pack makes of the plain one %s" % p.stderr.strip())

    pe = subprocess.run([sys.executable, str(source / "tests" / "pe" / "check_pe.py"), str(build / "Setup.exe"),
                         str(configuration), "--bitmap", str(picture), "--icon", str(icon)] +
                        ["--version=%s=%s" % (k, packed.VERSION[k]) for k in
                         ("ProductName", "ProductVersion", "FileVersion", "CompanyName")],
                        capture_output=True, text=True)
    print(pe.stdout.strip())
    check(pe.returncode == 0, "the branded Setup.exe carries the publisher's resources")

    if shutil.which("wine") is None and not os.environ.get("CI"):
        print("SKIP: wine not found; the branded Setup.exe was not run")
    else:
        under_wine(bin_dir, work, build / "Setup.exe", arguments, native)

    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
