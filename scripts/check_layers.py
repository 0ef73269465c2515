#!/usr/bin/env python3
"""Prints how often each folder of the program includes each other one, and
fails when an include points up the layers.

    check_layers.py [Bootstrap/exe]

The layers, from the bottom: base (text, paths, failures) and resources
(identifiers only), platform, components, config, download, engine, dialog,
run. A folder may include its own files and those of any layer below it.
"""
import collections
import re
import sys
from pathlib import Path

LAYERS = [["base", "resources"], ["platform"], ["components"], ["config"], ["download"], ["engine"],
          ["dialog"], ["run"]]
RANK = {folder: i for i, group in enumerate(LAYERS) for folder in group}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


def main() -> int:
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "Bootstrap" / "exe")
    counts = collections.Counter()
    upward = []
    unknown = set()
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".rc") or not path.is_file():
            continue
        here = path.relative_to(root).parts[0]
        if here not in RANK:
            unknown.add(here)
            continue
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            if target not in RANK:
                continue  # a system or third-party header
            counts[(here, target)] += 1
            if RANK[target] > RANK[here]:
                upward.append("%s includes %s/..." % (path.relative_to(root), target))

    folders = [f for group in LAYERS for f in group]
    width = max(len(f) for f in folders)
    print("includes, from the folder of each row to the folder of each column:")
    print(" " * (width + 2) + " ".join("%*s" % (max(len(f), 3), f) for f in folders))
    for row in folders:
        cells = []
        for col in folders:
            n = counts.get((row, col), 0)
            cells.append("%*s" % (max(len(col), 3), n if n else "."))
        print("%-*s  %s" % (width, row, " ".join(cells)))
    for folder in sorted(unknown):
        print("not a layer: %s (add it to LAYERS)" % folder)
        upward.append("%s is in no layer" % folder)
    for line in upward:
        print("UPWARD " + line)
    print("%d includes between folders, %d pointing up" % (sum(counts.values()), len(upward)))
    return 1 if upward else 0


if __name__ == "__main__":
    sys.exit(main())
