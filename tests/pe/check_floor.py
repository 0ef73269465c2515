#!/usr/bin/env python3
"""Checks that Setup.exe imports nothing newer than Windows XP SP3.

    check_floor.py Setup.exe [--compiler i686-w64-mingw32-gcc]

Every function in the import table is looked up in the MinGW-w64 headers
twice: declared for Windows XP SP3, and declared for the newest release the
headers know. A function declared only for the newest is newer than the
floor, and Setup.exe would not start on Windows XP: that fails the check.
Functions the headers do not declare at all (the C runtime's start-up
internals) are listed and counted apart.
"""
import argparse
import os
import re
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_pe import PE  # noqa: E402

HEADERS = ["windows.h", "shellapi.h", "commctrl.h", "wincrypt.h", "wininet.h", "urlmon.h", "objbase.h",
           "stdio.h", "stdlib.h", "string.h", "wchar.h", "wctype.h", "locale.h", "signal.h", "time.h",
           "process.h", "io.h", "malloc.h", "math.h", "setjmp.h", "ctype.h", "errno.h"]
FLOOR = ["-D_WIN32_WINNT=0x0501", "-DWINVER=0x0501", "-DNTDDI_VERSION=0x05010300"]
NEWEST = ["-D_WIN32_WINNT=0x0A00", "-DWINVER=0x0A00", "-DNTDDI_VERSION=0x0A00000C"]


def imported_functions(pe):
    """[(dll, name)] of the functions imported by name."""
    rva, _ = pe.dirs[1]
    off = pe.offset(rva)
    out = []
    while True:
        lookup, _, _, name_rva, thunk = struct.unpack_from("<IIIII", pe.data, off)
        if (lookup, name_rva, thunk) == (0, 0, 0):
            return out
        dll = pe.cstring(name_rva).lower()
        entry = pe.offset(lookup or thunk)
        while True:
            value = struct.unpack_from("<I", pe.data, entry)[0]
            if value == 0:
                break
            if not value & 0x80000000:
                out.append((dll, pe.cstring(value + 2)))
            entry += 4
        off += 20


def undeclared(compiler, names, defines):
    """The names the headers do not declare under these definitions."""
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "probe.c")
        with open(source, "w") as f:
            f.write("#define UNICODE\n#define _UNICODE\n")
            for header in HEADERS:
                f.write("#include <%s>\n" % header)
            f.write("void *volatile probe;\n")
            for i, name in enumerate(names):
                f.write("void probe_%d(void) { probe = (void *)&%s; }\n" % (i, name))
        result = subprocess.run([compiler, "-fsyntax-only", "-fmax-errors=0", "-w"] + defines + [source],
                                capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
    return set(re.findall(r"'(\w+)' undeclared", result.stderr))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--compiler", default="i686-w64-mingw32-gcc")
    args = parser.parse_args()

    functions = imported_functions(PE(open(args.exe, "rb").read()))
    names = sorted({name for _, name in functions})
    at_floor = undeclared(args.compiler, names, FLOOR)
    at_newest = undeclared(args.compiler, names, NEWEST)
    newer = sorted(at_floor - at_newest)
    unknown = sorted(at_newest)
    checked = len(names) - len(unknown)

    by_dll = {}
    for dll, name in functions:
        by_dll.setdefault(dll, []).append(name)
    for dll in sorted(by_dll):
        print("     %s: %d functions" % (dll, len(by_dll[dll])))
    print("     not declared by the headers (run-time start-up internals): %s" % (", ".join(unknown) or "none"))
    ok = not newer and checked > 0
    print("%s %d of %d imported functions checked against the headers for Windows XP SP3; "
          "declared only for newer releases: %s" % ("ok  " if ok else "FAIL", checked, len(names),
                                                     ", ".join(newer) or "none"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
