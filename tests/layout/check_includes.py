#!/usr/bin/env python3
"""Fails when a quoted include crosses the feature layering of the reader.

Each folder may include only itself and the folders listed for it; shell may
include everything. Usage: check_includes.py SOURCE_ROOT, or
check_includes.py --rules to check the checker on a small tree of its own.
"""
import json
import pathlib
import re
import sys
import tempfile

# The layering, and the trees the checker must refuse or accept, as data.
LAYERING = json.loads((pathlib.Path(__file__).parent.parent / "data/layout/layering.json").read_text(encoding="utf-8"))
ALLOWED = {folder: set(uses) for folder, uses in LAYERING["allowed"].items()}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path, src):
    rel = path.relative_to(src).parts
    return rel[1] if rel[0] == "app" else rel[0]


def faults_in(root):
    src = pathlib.Path(root) / "src"
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
    return faults


def check_rules():
    wrong = 0
    for case in LAYERING["cases"]:
        files, refused = case["files"], case["refused"]
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                path = pathlib.Path(root, "src", name)
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_text(text, encoding="utf-8")
            if bool(faults_in(root)) != refused:
                wrong += 1
                print(f"{'accepted' if refused else 'refused'}: {case['what']}: {files}")
    return 1 if wrong else 0


def main():
    if sys.argv[1] == "--rules":
        return check_rules()
    faults = faults_in(sys.argv[1])
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
