#!/usr/bin/env python3
"""Fails when a quoted include crosses the feature layering of the reader.

Each folder may include only itself and the folders listed for it; shell may
include everything. Usage: check_includes.py SOURCE_ROOT
"""
import pathlib
import re
import sys

FEATURE_USES = {"core", "appearance", "common", "images"}
ALLOWED = {
    "core": {"core"},
    "appearance": {"core", "appearance"},
    "common": {"core", "appearance", "common"},
    "images": {"core", "appearance", "common", "images"},
    "articles": FEATURE_USES | {"articles"},
    "reading": FEATURE_USES | {"reading"},
    "account": FEATURE_USES | {"account"},
    "settings": FEATURE_USES | {"settings"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path, src):
    rel = path.relative_to(src).parts
    return rel[1] if rel[0] == "app" else rel[0]


def main():
    src = pathlib.Path(sys.argv[1]) / "src"
    known = set(ALLOWED) | {"shell"}
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        here = folder_of(path, src)
        if here not in known:
            faults.append(f"{path}: folder '{here}' has no place in the layering")
            continue
        for name in INCLUDE.findall(path.read_text(encoding="utf-8")):
            target = name.split("/")[0] if "/" in name else None
            if target is None:
                faults.append(f"{path}: include \"{name}\" does not name its folder")
            elif here != "shell" and target not in ALLOWED[here]:
                faults.append(f"{path}: {here} must not include {name}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
