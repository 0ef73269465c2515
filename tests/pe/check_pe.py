#!/usr/bin/env python3
"""Checks the shape of Setup.exe: a 32-bit GUI program that imports only
Windows system DLLs and carries its resources (stored configuration,
manifest, dialog, picture, icon).

usage: check_pe.py Setup.exe [CONFIGURATION.xml] [--bitmap FILE] [--icon FILE]
                    [--version NAME=VALUE ...] [--max-code BYTES]

--max-code fails when the program without its resources (the file size less
the raw size of .rsrc) is larger than BYTES: every user downloads it.
"""
import argparse
import struct
import sys

# DLLs that Windows always takes from its system folder.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                   "ole32.dll", "comctl32.dll", "msvcrt.dll"}

IMAGE_SCN_MEM_EXECUTE, IMAGE_SCN_MEM_WRITE = 0x20000000, 0x80000000
RT_ICON, RT_BITMAP, RT_DIALOG, RT_RCDATA, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 2, 5, 10, 14, 16, 24


class PE:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        assert data[pe:pe + 4] == b"PE\0\0", "no PE signature"
        self.machine, nsections, _, _, _, opt_size, self.characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.image_base = struct.unpack_from("<I", data, opt + 28)[0]
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        ndirs = struct.unpack_from("<I", data, opt + 92)[0]
        self.dirs = [struct.unpack_from("<II", data, opt + 96 + 8 * i) for i in range(ndirs)]
        self.sections = []
        self.section_flags = []
        sec = opt + opt_size
        for i in range(nsections):
            name, vsize, vaddr, rsize, rptr = struct.unpack_from("<8sIIII", data, sec + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), vaddr, max(vsize, rsize), rptr, rsize))
            self.section_flags.append(struct.unpack_from("<I", data, sec + 40 * i + 36)[0])

    def size_without_resources(self):
        """The file size less the raw size of the resource section."""
        return len(self.data) - sum(raw for name, _, _, _, raw in self.sections if name == ".rsrc")

    def offset(self, rva):
        for _, vaddr, size, rptr, _ in self.sections:
            if vaddr <= rva < vaddr + size:
                return rptr + rva - vaddr
        raise ValueError("rva %x outside sections" % rva)

    def section_of(self, rva):
        """(index, characteristics) of the section holding `rva`, or (None, 0)."""
        for i, (_, vaddr, size, _, _) in enumerate(self.sections):
            if vaddr <= rva < vaddr + size:
                return i, self.section_flags[i]
        return None, 0

    def tls_faults(self):
        """What would keep the loader from setting up the threads' storage and
        running the C runtime's thread callbacks, as texts."""
        rva, size = self.dirs[9] if len(self.dirs) > 9 else (0, 0)
        if not rva or size < 16:
            return ["no thread storage directory"]
        start, end, index, callbacks = (v - self.image_base for v in
                                        struct.unpack_from("<IIII", self.data, self.offset(rva)))
        faults = []
        if not start <= end or self.section_of(start)[0] is None or \
                self.section_of(start)[0] != self.section_of(max(start, end - 1))[0]:
            faults.append("template %x-%x not within one section" % (start, end))
        if not self.section_of(index)[1] & IMAGE_SCN_MEM_WRITE:
            faults.append("index %x not in writable memory" % index)
        if self.section_of(callbacks)[0] is None:
            return faults + ["callback list %x outside the image" % callbacks]
        listed = []
        off = self.offset(callbacks)
        while len(listed) < 16 and struct.unpack_from("<I", self.data, off + 4 * len(listed))[0]:
            listed.append(struct.unpack_from("<I", self.data, off + 4 * len(listed))[0] - self.image_base)
        if not listed:
            faults.append("no thread callback listed")
        faults += ["callback %x not in code" % c for c in listed
                   if not self.section_of(c)[1] & IMAGE_SCN_MEM_EXECUTE]
        return faults

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode()

    def imports(self):
        rva, _ = self.dirs[1]
        names = []
        off = self.offset(rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, off)
            if fields == (0, 0, 0, 0, 0):
                return names
            names.append(self.cstring(fields[3]))
            off += 20

    def resources(self):
        """{(type, id): bytes} for the first language of each resource."""
        base_rva, _ = self.dirs[2]
        base = self.offset(base_rva)
        out = {}

        def entries(off):
            named, ids = struct.unpack_from("<HH", self.data, off + 12)
            for i in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, off + 16 + 8 * i)
                yield ident, target

        for rtype, t in entries(base):
            for rid, n in entries(base + (t & 0x7FFFFFFF)):
                for _, leaf in entries(base + (n & 0x7FFFFFFF)):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    off = self.offset(data_rva)
                    out.setdefault((rtype, rid), self.data[off:off + size])
        return out


def ico_images(path):
    """The image bytes of an .ico file, in its order."""
    data = open(path, "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    out = []
    for i in range(count):
        size, offset = struct.unpack_from("<II", data, 6 + 16 * i + 8)
        out.append(data[offset:offset + size])
    return out


def version_strings(block):
    """NAME -> VALUE of a version resource's string table."""
    text = block.decode("utf-16-le", errors="replace")
    out = {}
    for name in ("CompanyName", "FileDescription", "FileVersion", "ProductName", "ProductVersion"):
        at = text.find(name + "\0")
        if at >= 0:
            rest = text[at + len(name) + 1:].lstrip("\0")
            out[name] = rest.split("\0", 1)[0]
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("configuration", nargs="?")
    parser.add_argument("--bitmap")
    parser.add_argument("--icon")
    parser.add_argument("--version", action="append", default=[])
    parser.add_argument("--max-code", type=int)
    args = parser.parse_args()
    exe = args.exe
    failures = []
    passed = []

    def check(cond, what):
        print(("ok   " if cond else "FAIL ") + what)
        (passed if cond else failures).append(what)

    pe = PE(open(exe, "rb").read())
    check(pe.machine == 0x14C, "machine is i386")
    check(pe.magic == 0x10B, "PE32 (32-bit) optional header")
    check(pe.subsystem == 2, "GUI subsystem")
    if args.max_code is not None:
        code = pe.size_without_resources()
        check(code <= args.max_code, "without resources %d bytes, at most %d" % (code, args.max_code))
    tls_faults = pe.tls_faults()
    check(not tls_faults, "thread storage directory and callbacks in place" + "".join(": " + f for f in tls_faults))
    imports = [n.lower() for n in pe.imports()]
    print("     imports: " + ", ".join(imports))
    check(set(imports) <= ALLOWED_IMPORTS, "imports only system DLLs (%s)" % ", ".join(sorted(set(imports) - ALLOWED_IMPORTS)))
    check(not {"version.dll", "urlmon.dll", "wininet.dll"} & set(imports),
          "version.dll, urlmon.dll and wininet.dll are not imported (loaded from the system folder at run time)")

    res = pe.resources()
    config = res.get((RT_RCDATA, 103))
    check(config is not None, "stored configuration is RT_RCDATA 103")
    if config is not None:
        expected = open(args.configuration, "rb").read() if args.configuration else None
        if expected is None or expected.startswith(b"\xef\xbb\xbf"):
            # The default configuration's own form; a publisher's may differ.
            check(config.startswith(b"\xef\xbb\xbf<?xml"),
                  "stored configuration starts with a byte-order mark and a declaration")
            check(all(b < 0x80 for b in config[3:]), "stored configuration is plain ASCII after the byte-order mark")
        if args.configuration:
            check(config == open(args.configuration, "rb").read(),
                  "stored configuration equals %s" % args.configuration)
    manifest = res.get((RT_MANIFEST, 1), b"")
    check(b'level="asInvoker"' in manifest, "manifest asks for asInvoker")
    check(b"Microsoft.Windows.Common-Controls" in manifest and b'version="6.0.0.0"' in manifest,
          "manifest asks for common controls version 6")
    check(b">true</dpiAware>" in manifest, "manifest declares the program aware of the system's DPI")
    check((RT_DIALOG, 102) in res, "dialog template 102")
    bitmap = res.get((RT_BITMAP, 202))
    check(bitmap is not None, "bitmap 202")
    if bitmap is not None:
        _, width, height, _, bits = struct.unpack_from("<IiiHH", bitmap, 0)
        check((width, abs(height), bits) == (510, 437, 24), "bitmap 202 is 510 x 437 with 24 bits (%dx%d@%d)" % (width, height, bits))
    if bitmap is not None and args.bitmap:
        check(bitmap == open(args.bitmap, "rb").read()[14:], "bitmap 202 is %s" % args.bitmap)
    group = res.get((RT_GROUP_ICON, 201))
    check(group is not None, "icon group 201")
    if group is not None:
        count = struct.unpack_from("<H", group, 4)[0]
        sizes = sorted({group[6 + 14 * i] or 256 for i in range(count)})
        check({16, 32, 48} <= set(sizes), "icon group 201 has 16, 32 and 48 pixel images (%s)" % sizes)
        if args.icon:
            ids = [struct.unpack_from("<H", group, 6 + 14 * i + 12)[0] for i in range(count)]
            carried = [res.get((RT_ICON, i)) for i in ids]
            check(carried == ico_images(args.icon), "icon group 201 holds the images of %s" % args.icon)
    strings = version_strings(res.get((RT_VERSION, 1), b""))
    for pair in args.version:
        name, value = pair.split("=", 1)
        check(strings.get(name) == value, "version information %s is %r (%r)" % (name, value, strings.get(name)))

    print("%d passed, %d failed" % (len(passed), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
