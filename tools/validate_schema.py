#!/usr/bin/env python3
"""Validates configurations against schema/setup.xsd with xmllint.

    python3 tools/validate_schema.py --schema schema/setup.xsd \
        --valid FILE... --invalid FILE... [--setup-check PATH]

Every --valid file must pass (xmllint exit status 0) and every --invalid file
must be refused by the schema itself (exit status 3, a validation error; a
document that is not well-formed or a schema that does not load gives another
status and counts as a failure). With --setup-check, the checker must agree:
no error (exit 0) for the valid files, errors (exit 1) for the invalid ones.
The last line is "N passed, M failed".
"""

import argparse
import shutil
import subprocess
import sys


def run(args):
    p = subprocess.run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--schema", required=True)
    ap.add_argument("--valid", nargs="*", default=[])
    ap.add_argument("--invalid", nargs="*", default=[])
    ap.add_argument("--setup-check")
    opts = ap.parse_args()
    if shutil.which("xmllint") is None:
        print("error: xmllint not found (Debian package libxml2-utils)")
        print("0 passed, 1 failed")
        return 1
    if not opts.valid or not opts.invalid:
        print("error: both valid and invalid documents are needed")
        print("0 passed, 1 failed")
        return 1

    passed = failed = 0

    def verdict(ok: bool, label: str, detail: str = "") -> None:
        nonlocal passed, failed
        if ok:
            passed += 1
            print("ok %s" % label)
        else:
            failed += 1
            print("FAIL %s" % label)
            for line in detail.strip().splitlines():
                print("    " + line)

    for path in opts.valid:
        rc, out = run(["xmllint", "--noout", "--schema", opts.schema, path])
        verdict(rc == 0, "schema accepts %s" % path, out)
        if opts.setup_check:
            rc, out = run([opts.setup_check, path])
            verdict(rc == 0, "setup-check finds no error in %s" % path, out)
    for path in opts.invalid:
        rc, out = run(["xmllint", "--noout", "--schema", opts.schema, path])
        verdict(rc == 3, "schema refuses %s" % path, "xmllint exit status %d\n%s" % (rc, out))
        if opts.setup_check:
            rc, out = run([opts.setup_check, path])
            verdict(rc == 1, "setup-check reports errors in %s" % path, out)

    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
