#!/usr/bin/env python3
"""The publisher's builds of Setup.exe, each made and then tried:

  reproducible  the same sources, options and toolchain give the same bytes
                in another source folder and another build folder, with the
                PE time stamp 0 and a correct PE checksum;
  signed        a branded build, its stored configuration the only one read,
                signed with a throw-away certificate made with openssl:
                osslsigncode verifies Setup.exe and setup-check.exe, the
                signed Setup.exe without its signature is what setup-pack
                makes of the plain one, and under Wine it shows its stored
                configuration's dialog, picture and icon, while nothing that
                a setup.xml planted beside it names runs.

usage: run_publishing.py --source DIR --bin-dir BUILD/win --work DIR
The last line is "N passed, M failed".
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
sys.path.insert(0, str(HERE.parent / "branding"))
from run_e2e import drive_once  # noqa: E402
import packed  # noqa: E402

check, results = packed.check, packed.results


def copy_sources(source: Path, to: Path) -> Path:
    """The source tree without its build folders, in another folder."""
    if to.exists():
        shutil.rmtree(to)
    shutil.copytree(source, to, symlinks=True,
                    ignore=lambda d, names: [n for n in names if n.startswith("build") or n in (".git", "third_party")])
    (to / "third_party").symlink_to(source / "third_party")
    return to


def build(source: Path, folder: Path, log: Path, targets, options=()) -> bool:
    if folder.exists():
        shutil.rmtree(folder)
    with open(log, "ab") as out:
        rc = subprocess.run(["cmake", "-S", str(source), "-B", str(folder),
                             "-DCMAKE_TOOLCHAIN_FILE=%s" % (source / "cmake" / "mingw-i686.cmake"),
                             "-DCMAKE_BUILD_TYPE=MinSizeRel"] + list(options),
                            stdout=out, stderr=subprocess.STDOUT).returncode
        if rc == 0:
            rc = subprocess.run(["cmake", "--build", str(folder), "-j2", "--target"] + list(targets),
                                stdout=out, stderr=subprocess.STDOUT).returncode
    return check(rc == 0, "%s builds (%s)" % (folder.name, log))


def pe_checksum(data: bytes) -> int:
    """The PE checksum: 16-bit sums of the file, its own field skipped, plus
    the file's length."""
    at = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for i in range(0, len(padded), 2):
        if at <= i < at + 4:
            continue
        total += padded[i] | (padded[i + 1] << 8)
        total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(data)


def header_fields(path: Path):
    data = path.read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return data, struct.unpack_from("<I", data, pe + 8)[0], struct.unpack_from("<I", data, pe + 24 + 64)[0]


def reproducible(source: Path, bin_dir: Path, work: Path) -> None:
    copy = copy_sources(source, work / "another source folder")
    folder = work / "another-build"
    if not build(copy, folder, work / "reproducible.log", ["Setup"]):
        return
    mine, stamp, checksum = header_fields(folder / "Setup.exe")
    theirs = (bin_dir / "Setup.exe").read_bytes()
    for data, path in ((theirs, bin_dir / "Setup.exe"), (mine, folder / "Setup.exe")):
        print("sha256 %s  %s" % (hashlib.sha256(data).hexdigest(), path))
    check(stamp == 0, "the PE time stamp is 0 (%d)" % stamp)
    check(checksum == pe_checksum(mine) and checksum != 0, "the PE checksum is computed (%#x)" % checksum)
    check(mine == theirs, "Setup.exe built from %s into %s equals the test build, byte for byte (%d bytes)"
          % (copy, folder, len(mine)))


def signed(source: Path, bin_dir: Path, work: Path) -> None:
    keys = work / "keys"
    keys.mkdir(parents=True, exist_ok=True)
    cert, key = keys / "cert.pem", keys / "key.pem"
    rc = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                         "-subj", "/CN=Acme Tools (test only)", "-addext", "extendedKeyUsage=codeSigning",
                         "-keyout", str(key), "-out", str(cert)],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    if not check(rc == 0, "openssl makes a throw-away code-signing certificate"):
        return
    picture, icon, configuration = work / "brand.bmp", work / "brand.ico", HERE.parent / "branding" / "brand-dialog.xml"
    packed.write_bitmap(picture)
    packed.write_icon(icon)
    folder = work / "signed-build"
    if not build(source, folder, work / "signed.log", ["Setup", "setup-check"],
                 packed.cmake_options(configuration, picture, icon) +
                 ["-DSETUP_STORED_CONFIGURATION_ONLY=ON",
                  "-DSETUP_SIGN_CERTIFICATE=%s" % cert, "-DSETUP_SIGN_KEY=%s" % key]):
        return
    for exe in ("Setup.exe", "setup-check.exe"):
        v = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(folder / exe)],
                           capture_output=True, text=True)
        (work / ("verify-%s.txt" % exe)).write_text(v.stdout + v.stderr)
        check(v.returncode == 0 and "Signature verification: ok" in v.stdout,
              "osslsigncode verifies the signed %s (%s)" % (exe, work / ("verify-%s.txt" % exe)))
    # Signing adds the signature and nothing else, after packing: without
    # it, the program is what setup-pack makes of the plain test build.
    stripped = work / "signature-removed.exe"
    stripped.unlink(missing_ok=True)
    subprocess.run(["osslsigncode", "remove-signature", "-in", str(folder / "Setup.exe"), "-out", str(stripped)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    expected = work / "packed-native.exe"
    p = packed.native_pack(folder / "host-tools" / "setup-pack", bin_dir / "Setup.exe", expected,
                           packed.pack_arguments(configuration, picture, icon) + ["--stored-configuration-only"])
    check(p.returncode == 0 and stripped.exists() and stripped.read_bytes() == expected.read_bytes(),
          "without its signature, the signed Setup.exe is setup-pack's output for the plain test build %s"
          % p.stderr.strip())

    medium = work / "downloads"
    exe = packed.stage(medium, folder / "Setup.exe")
    # What a web site may have dropped into a Downloads folder: if it were
    # read, its command would run instead of the dialog.
    (medium / "setup.xml").write_text(
        '<configurations><configuration type="install" install_silent="true"><components>'
        '<component type="cmd" description="Planted" command="#APPPATH\\planted_exit0.exe"/>'
        '</components></configuration></configurations>')
    shutil.copy2(bin_dir / "e2e_stub.exe", medium / "planted_exit0.exe")
    runs = work / "wine-runs"
    seen = drive_once(runs, bin_dir / "e2e_driver.exe", exe,
                      ["dialog: read packed", "dialog: picture packed", "dialog: exit"])
    packed.check_dialog(check, seen, runs / "packed.bmp", "the signed, stored-only Setup.exe")
    check(not (medium / "planted_exit0.exe.log").exists(), "the setup.xml beside it was not read: nothing it names ran")


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--work", required=True)
    args = ap.parse_args()
    source, bin_dir, work = Path(args.source).resolve(), Path(args.bin_dir).resolve(), Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    for log in ("reproducible.log", "signed.log"):
        (work / log).unlink(missing_ok=True)
    reproducible(source, bin_dir, work)
    if shutil.which("wine") is None and not os.environ.get("CI"):
        print("SKIP: wine not found; the signed Setup.exe is not tried")
    else:
        signed(source, bin_dir, work)
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if results and all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
