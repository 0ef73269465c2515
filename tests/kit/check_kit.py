#!/usr/bin/env python3
"""Makes the publisher's kit twice and checks it:

    python3 tests/kit/check_kit.py --cpack CPACK --build BUILD --source SOURCE --work DIR

CPack runs twice on the build's CPackConfig.cmake, into two folders, the
built files touched and the umask changed in between; each run must give
exactly the two archives, the same bytes both times. Then each archive must
list exactly the expected entries under its one top folder, its programs and
scripts executable, with the plain Setup.exe of the build; the Linux tools
must be static and must work: the kit's setup-check checks the kit's
example medium, the kit's setup-pack stamps the kit's Setup.exe with it.
"""

import argparse
import io
import os
import struct
import subprocess
import sys
import tarfile
import time
import zipfile
from pathlib import Path
from typing import Dict, List, Set

ELF_PT_INTERP = 3


def log(msg: str) -> None:
    print(msg, flush=True)


def make_kit(cpack: str, build: Path, out: Path, umask: int) -> Dict[str, bytes]:
    out.mkdir(parents=True, exist_ok=True)
    for old in out.glob("setup-kit-*"):
        old.unlink()
    previous = os.umask(umask)
    try:
        subprocess.run([cpack, "--config", str(build / "CPackConfig.cmake"), "-B", str(out)], cwd=str(build),
                       check=True, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=1200)
    finally:
        os.umask(previous)
    return {p.name: p.read_bytes() for p in out.iterdir() if p.is_file()}


def expected_files(source: Path, top: str, linux: bool) -> Set[str]:
    docs = ["docs/%s.md" % d for d in ("publishing", "configuration", "deployment")]
    docs += ["docs/" + p.name for p in (source / "docs").glob("*.png")]
    example = ["example/setup.xml", "example/Yolvane Example.msi", "example/Redist/YolvaneRuntimeSetup.exe",
               "example/Samples/YolvaneSamplesSetup.exe", "example/Languages/YolvaneGermanSetup.exe"]
    files = ["Setup.exe", "setup.xsd"] + docs + example
    if linux:
        preview = ["preview.py", "run_e2e.py", "e2e_model.py", "http_server.py", "check_pe.py",
                   "e2e_driver.exe", "e2e_stub.exe", "DRIVER.md"] + [p.name for p in (source / "scripts").glob("preview_*.py")]
        files += ["setup-check", "setup-pack", "preview.sh"] + ["preview/" + p for p in preview]
    else:
        files += ["setup-check.exe", "setup-pack.exe"]
    return {"%s/%s" % (top, f) for f in files}


def read_archive(name: str, data: bytes) -> Dict[str, tuple]:
    """name -> (mode, content) of every file entry."""
    if name.endswith(".zip"):
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            return {i.filename: ((i.external_attr >> 16) & 0o777, z.read(i))
                    for i in z.infolist() if not i.is_dir()}
    with tarfile.open(fileobj=io.BytesIO(data), mode="r:gz") as t:
        return {m.name: (m.mode, t.extractfile(m).read()) for m in t.getmembers() if m.isfile()}


def is_static_elf(content: bytes) -> bool:
    if content[:4] != b"\x7fELF" or content[4] != 2:
        return False
    phoff, = struct.unpack_from("<Q", content, 32)
    phentsize, phnum = struct.unpack_from("<HH", content, 54)
    return all(struct.unpack_from("<I", content, phoff + i * phentsize)[0] != ELF_PT_INTERP for i in range(phnum))


def check_archive(name: str, data: bytes, source: Path, setup_exe: bytes) -> List[str]:
    linux = name.endswith(".tar.gz")
    top = name[:-len(".tar.gz")] if linux else name[:-len(".zip")]
    entries = read_archive(name, data)
    problems = []
    expected = expected_files(source, top, linux)
    if set(entries) != expected:
        problems.append("%s: missing %s, unexpected %s" % (name, sorted(expected - set(entries)),
                                                           sorted(set(entries) - expected)))
    for entry, (mode, content) in entries.items():
        program = entry.endswith((".exe", ".py", ".sh")) or entry.endswith(("/setup-check", "/setup-pack"))
        if program and mode != 0o755:
            problems.append("%s: %s has mode %o, not 755" % (name, entry, mode))
    if entries.get(top + "/Setup.exe", (0, b""))[1] != setup_exe:
        problems.append("%s: Setup.exe is not the build's plain Setup.exe" % name)
    if linux:
        for tool in ("setup-check", "setup-pack"):
            if not is_static_elf(entries.get("%s/%s" % (top, tool), (0, b""))[1]):
                problems.append("%s: %s is not a static ELF program" % (name, tool))
    return problems


def check_tools_run(name: str, data: bytes, work: Path) -> List[str]:
    target = work / "extracted"
    if (work / "packed.exe").exists():
        (work / "packed.exe").unlink()
    with tarfile.open(fileobj=io.BytesIO(data), mode="r:gz") as t:
        t.extractall(target)
    kit = target / name[:-len(".tar.gz")]
    runs = [[str(kit / "setup-check"), "--medium", str(kit / "example"), str(kit / "example" / "setup.xml")],
            [str(kit / "setup-pack"), "--out", str(work / "packed.exe"), "--from", str(kit / "Setup.exe"),
             "--configuration", str(kit / "example" / "setup.xml")]]
    problems = []
    for argv in runs:
        r = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
        if r.returncode != 0:
            problems.append("%s exited %d: %s" % (" ".join(argv), r.returncode, r.stdout.decode(errors="replace")))
    if not (work / "packed.exe").is_file():
        problems.append("the kit's setup-pack wrote no packed.exe")
    return problems


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cpack", required=True)
    ap.add_argument("--build", type=Path, required=True)
    ap.add_argument("--source", type=Path, required=True)
    ap.add_argument("--work", type=Path, required=True)
    args = ap.parse_args()
    args.build, args.work = args.build.resolve(), args.work.resolve()
    first = make_kit(args.cpack, args.build, args.work / "a", 0o022)
    time.sleep(1.1)
    for built in [args.build / "setup-check", args.build / "setup-pack"] + list((args.build / "win").glob("*.exe")):
        os.utime(built)
    second = make_kit(args.cpack, args.build, args.work / "b", 0o027)

    problems = []
    names = sorted(first)
    if len(names) != 2 or not names[0].endswith("-linux-x86_64.tar.gz") or not names[1].endswith("-windows.zip"):
        problems.append("cpack made %s, not one .tar.gz and one .zip" % names)
    for name in names:
        if second.get(name) != first[name]:
            problems.append("%s differs between two runs" % name)
    setup_exe = (args.build / "win" / "Setup.exe").read_bytes()
    for name in names:
        problems += check_archive(name, first[name], args.source, setup_exe)
        if name.endswith(".tar.gz"):
            problems += check_tools_run(name, first[name], args.work)
    for p in problems:
        log("FAIL " + p)
    log("%s: %s" % (", ".join("%s %d bytes" % (n, len(first[n])) for n in names), "failed" if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
