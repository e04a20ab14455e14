#!/usr/bin/env python3
"""The two Debian packages that `cpack` built (ctest fixture package_build):
control fields, the exact file lists, the unit's install-time paths, and
lintian, which must report no error and no warning left unexplained in
packaging/CMakeLists.txt.

Usage: check_packages.py BUILD_DIR SOURCE_DIR VERSION"""
import json
import re
import subprocess
import sys
from pathlib import Path

build, source, version = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3]
arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True, check=True).stdout.strip()
# Per package: its exact files, what it loads at run time (library scanning cannot find those), and
# for the server its unit's install-time lines and its conffiles.
PACKAGES = json.loads((Path(__file__).parent.parent / "data/packaging/packages.json").read_text())
failures = []


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout


debs = {name: build / "packages" / f"{name}_{version}_{arch}.deb" for name in PACKAGES}
for name, deb in debs.items():
    fields = dict(re.findall(r"^ ?([A-Za-z-]+): (.*)$", run("dpkg-deb", "-f", str(deb)), re.M))
    if (fields.get("Package"), fields.get("Version")) != (name, version):
        failures.append(f"{deb.name}: Package/Version {fields.get('Package')} {fields.get('Version')}")
    depends = {d.strip().split(" ")[0] for d in fields.get("Depends", "").replace("|", ",").split(",")}
    failures += [f"{name}: does not depend on {d}" for d in PACKAGES[name]["runtime"] if d not in depends]
    listing = run("dpkg-deb", "-c", str(deb)).splitlines()
    files = {line.split()[-1].lstrip("./"): line.split()[0] for line in listing if not line.startswith("d")}
    expected = set(PACKAGES[name]["files"]) | {f"usr/share/doc/{name}/copyright", f"usr/share/doc/{name}/changelog.gz"}
    if set(files) != expected:
        failures.append(f"{name}: missing {sorted(expected - set(files))}, unexpected {sorted(set(files) - expected)}")
    failures += [f"{name}: {f} is {m}" for f, m in files.items() if m != ("-rwxr-xr-x" if "/bin/" in f else "-rw-r--r--")]

tar = subprocess.run(["dpkg-deb", "--fsys-tarfile", str(debs["papelo-server"])], capture_output=True, check=True).stdout
unit = subprocess.run(["tar", "-xO", "./usr/lib/systemd/system/papelo-server.service"], input=tar,
                      capture_output=True, check=True).stdout.decode()
failures += [f"unit lacks '{line}'" for line in PACKAGES["papelo-server"]["unit"] if line not in unit.splitlines()]
if run("dpkg-deb", "-I", str(debs["papelo-server"]), "conffiles").split() != PACKAGES["papelo-server"]["conffiles"]:
    failures.append(f"papelo-server: conffiles is not {PACKAGES['papelo-server']['conffiles']}")

explained = set(re.findall(r"^#\s+[WIP]: ([a-z0-9-]+)", (source / "packaging/CMakeLists.txt").read_text(), re.M))
lint = subprocess.run(["lintian", "--no-cfg", "--display-level", ">=pedantic", *map(str, debs.values())],
                      capture_output=True, text=True)
print(lint.stdout + lint.stderr, end="")
for level, package, tag in re.findall(r"^([EW]): ([a-z0-9-]+)(?: [a-z]+)?: ([a-z0-9-]+)", lint.stdout, re.M):
    if level == "E" or tag not in explained:
        failures.append(f"lintian {level}: {package}: {tag}")
print("\n".join(failures) or f"packages: {', '.join(p.name for p in debs.values())} as expected")
sys.exit(1 if failures else 0)
