#!/usr/bin/env python3
"""The publisher's builds of Setup.exe, each made and then tried:

  reproducible  the same sources, options and toolchain give the same bytes
                in another source folder and another build folder, with the
                PE time stamp 0 and a correct PE checksum;
  signed        a throw-away certificate made with openssl signs Setup.exe
                and setup-check.exe at the end of the build; osslsigncode
                verifies both, the signed Setup.exe without its signature is
                the unsigned one, and it installs the example medium under
                Wine (tests/examples/run_example.py);
  stored only   built with SETUP_STORED_CONFIGURATION_ONLY, Setup.exe does
                not read a setup.xml beside it (under Wine).

usage: run_publishing.py --source DIR --bin-dir BUILD/win --work DIR [--setup-check BUILD/setup-check]
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
from run_e2e import drive_once  # noqa: E402

results = []


def check(ok: bool, what: str) -> bool:
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    results.append(ok)
    return ok


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


def signed(source: Path, bin_dir: Path, work: Path, setup_check: str) -> None:
    keys = work / "keys"
    keys.mkdir(parents=True, exist_ok=True)
    cert, key = keys / "cert.pem", keys / "key.pem"
    rc = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                         "-subj", "/CN=Acme Tools (test only)", "-addext", "extendedKeyUsage=codeSigning",
                         "-keyout", str(key), "-out", str(cert)],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    if not check(rc == 0, "openssl makes a throw-away code-signing certificate"):
        return
    folder = work / "signed-build"
    if not build(source, folder, work / "signed.log", ["Setup", "setup-check"],
                 ["-DSETUP_SIGN_CERTIFICATE=%s" % cert, "-DSETUP_SIGN_KEY=%s" % key]):
        return
    for exe in ("Setup.exe", "setup-check.exe"):
        v = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(folder / exe)],
                           capture_output=True, text=True)
        (work / ("verify-%s.txt" % exe)).write_text(v.stdout + v.stderr)
        check(v.returncode == 0 and "Signature verification: ok" in v.stdout,
              "osslsigncode verifies the signed %s (%s)" % (exe, work / ("verify-%s.txt" % exe)))
    # Signing adds the signature and nothing else: without it, the program
    # is the unsigned build, byte for byte (how a shipped file is verified).
    stripped = work / "signature-removed.exe"
    stripped.unlink(missing_ok=True)
    subprocess.run(["osslsigncode", "remove-signature", "-in", str(folder / "Setup.exe"), "-out", str(stripped)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    check(stripped.exists() and stripped.read_bytes() == (bin_dir / "Setup.exe").read_bytes(),
          "without its signature, the signed Setup.exe equals the unsigned test build")
    # The signed program with the test build's helpers: the example medium's
    # runs under Wine, resources and the setup.xml beside it included.
    bins = work / "signed-bin"
    if bins.exists():
        shutil.rmtree(bins)
    bins.mkdir()
    for helper in ("e2e_driver.exe", "e2e_stub.exe", "example_runtime_setup.exe", "example_samples_setup.exe",
                   "example_german_setup.exe"):
        shutil.copy2(bin_dir / helper, bins / helper)
    for exe in ("Setup.exe", "setup-check.exe"):
        shutil.copy2(folder / exe, bins / exe)
    with open(work / "example.out", "wb") as out:
        rc = subprocess.run([sys.executable, str(source / "tests" / "examples" / "run_example.py"),
                             "--bin-dir", str(bins), "--work", str(work / "example")] +
                            (["--setup-check", setup_check] if setup_check else []),
                            stdout=out, stderr=subprocess.STDOUT).returncode
    check(rc == 0, "the signed Setup.exe installs the example medium under Wine (%s)" % (work / "example.out"))


def stored_only(source: Path, bin_dir: Path, work: Path) -> None:
    folder = work / "stored-only-build"
    # The stored configuration asks one question that the script answers;
    # its path is relative, taken from the source folder.
    if not build(source, folder, work / "stored-only.log", ["Setup"],
                 ["-DSETUP_STORED_CONFIGURATION_ONLY=ON", "-DSETUP_CONFIGURATION=tests/branding/brand-setup.xml"]):
        return
    medium = work / "downloads"
    if medium.exists():
        shutil.rmtree(medium)
    medium.mkdir()
    shutil.copy2(folder / "Setup.exe", medium / "Setup.exe")
    # What a web site may have dropped into a Downloads folder: if it were
    # read, its command would run.
    (medium / "setup.xml").write_text(
        '<configurations><configuration type="install" install_silent="true"><components>'
        '<component type="cmd" description="Planted" command="#APPPATH\\planted_exit0.exe"/>'
        '</components></configuration></configurations>')
    shutil.copy2(bin_dir / "e2e_stub.exe", medium / "planted_exit0.exe")
    seen = drive_once(work, bin_dir / "e2e_driver.exe", medium / "Setup.exe", ["no"])
    check('"Acme Widget could not install Acme Runtime. Go on?"' in seen and '{"exit":1' in seen,
          "the stored-only Setup.exe runs its stored configuration under Wine (%s)" % (work / "driver.log"))
    check(not (medium / "planted_exit0.exe.log").exists(), "the setup.xml beside it was not read: nothing it names ran")


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--setup-check", default="")
    args = ap.parse_args()
    source, bin_dir, work = Path(args.source).resolve(), Path(args.bin_dir).resolve(), Path(args.work).resolve()
    work.mkdir(parents=True, exist_ok=True)
    for log in ("reproducible.log", "signed.log", "stored-only.log"):
        (work / log).unlink(missing_ok=True)
    reproducible(source, bin_dir, work)
    if shutil.which("wine") is None and not os.environ.get("CI"):
        print("SKIP: wine not found; the signed and the stored-only Setup.exe are not tried")
    else:
        signed(source, bin_dir, work, args.setup_check)
        stored_only(source, bin_dir, work)
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if results and all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
