#!/usr/bin/env python3
"""Fails when a quoted include crosses the feature layering of the reader.

Each folder may include only itself and the folders listed for it; shell may
include everything. Usage: check_includes.py SOURCE_ROOT, or
check_includes.py --rules to check the checker on a small tree of its own.
"""
import pathlib
import re
import sys
import tempfile

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


# Each case: file -> its text; and whether the checker must refuse the tree.
RULE_CASES = [
    ({"app/articles/A.cpp": '#include "reading/B.h"'}, True),   # a feature naming another
    ({"app/reading/A.cpp": '#include "shell/App.h"'}, True),     # a feature naming the shell
    ({"core/A.cpp": '#include "common/App.h"'}, True),           # core naming the app
    ({"app/images/A.cpp": '#include "B.h"'}, True),              # a bare include
    ({"app/widgets/A.cpp": ""}, True),                           # an unknown folder
    ({"app/articles/A.cpp": '#include "images/C.h"\n#include "core/D.h"',
      "app/shell/A.cpp": '#include "reading/B.h"'}, False),
]


def check_rules():
    wrong = 0
    for files, refused in RULE_CASES:
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                path = pathlib.Path(root, "src", name)
                path.parent.mkdir(parents=True, exist_ok=True)
                path.write_text(text, encoding="utf-8")
            if bool(faults_in(root)) != refused:
                wrong += 1
                print(f"{'accepted' if refused else 'refused'}: {files}")
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
