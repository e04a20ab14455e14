#!/usr/bin/env python3
"""The two Debian packages that `cpack` built (ctest fixture package_build):
control fields, the exact file lists, the unit's install-time paths, and
lintian, which must report no error and no warning left unexplained in
packaging/CMakeLists.txt.

Usage: check_packages.py BUILD_DIR SOURCE_DIR VERSION"""
import re
import subprocess
import sys
from pathlib import Path

build, source, version = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3]
arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True, check=True).stdout.strip()
icons = [f"usr/share/icons/hicolor/{s}x{s}/apps/papelo.png" for s in (16, 22, 24, 32, 48, 64, 128, 256, 512)]
FILES = {
    "papelo": ["usr/bin/papelo", "usr/share/applications/papelo.desktop",
               "usr/share/metainfo/io.github.papelo.reader.metainfo.xml",
               "usr/share/icons/hicolor/scalable/apps/papelo.svg", *icons, "usr/share/man/man1/papelo.1.gz"],
    "papelo-server": ["usr/bin/papelo-server", "usr/lib/systemd/system/papelo-server.service",
                      "etc/default/papelo-server", "usr/share/man/man1/papelo-server.1.gz",
                      "usr/share/doc/papelo-server/examples/nginx-papelo-server.conf"],
}
# Loaded at run time, so library scanning cannot find them.
RUNTIME = {
    "papelo": ["qml6-module-qtquick-controls", "qml6-module-qtwebengine", "qml6-module-qtqml-workerscript",
               "qt6-qpa-plugins", "libqt6svg6", "libsecret-1-0", "fonts-noto-cjk",
               "fonts-material-design-icons-iconfont", "libqt6webenginequick6"],
    "papelo-server": ["libqt6sql6-sqlite", "qt6-qpa-plugins", "fonts-noto-cjk", "libqt6httpserver6", "libssl3"],
}
failures = []


def run(*args):
    return subprocess.run(args, capture_output=True, text=True, check=True).stdout


debs = {name: build / "packages" / f"{name}_{version}_{arch}.deb" for name in FILES}
for name, deb in debs.items():
    fields = dict(re.findall(r"^ ?([A-Za-z-]+): (.*)$", run("dpkg-deb", "-f", str(deb)), re.M))
    if (fields.get("Package"), fields.get("Version")) != (name, version):
        failures.append(f"{deb.name}: Package/Version {fields.get('Package')} {fields.get('Version')}")
    depends = {d.strip().split(" ")[0] for d in fields.get("Depends", "").replace("|", ",").split(",")}
    failures += [f"{name}: does not depend on {d}" for d in RUNTIME[name] if d not in depends]
    listing = run("dpkg-deb", "-c", str(deb)).splitlines()
    files = {line.split()[-1].lstrip("./"): line.split()[0] for line in listing if not line.startswith("d")}
    expected = set(FILES[name]) | {f"usr/share/doc/{name}/copyright", f"usr/share/doc/{name}/changelog.gz"}
    if set(files) != expected:
        failures.append(f"{name}: missing {sorted(expected - set(files))}, unexpected {sorted(set(files) - expected)}")
    failures += [f"{name}: {f} is {m}" for f, m in files.items() if m != ("-rwxr-xr-x" if "/bin/" in f else "-rw-r--r--")]

tar = subprocess.run(["dpkg-deb", "--fsys-tarfile", str(debs["papelo-server"])], capture_output=True, check=True).stdout
unit = subprocess.run(["tar", "-xO", "./usr/lib/systemd/system/papelo-server.service"], input=tar,
                      capture_output=True, check=True).stdout.decode()
for line in ("ExecStart=/usr/bin/papelo-server --data ${STATE_DIRECTORY} $PAPELO_SERVER_OPTS",
             "EnvironmentFile=-/etc/default/papelo-server"):
    if line not in unit.splitlines():
        failures.append(f"unit lacks '{line}'")
if run("dpkg-deb", "-I", str(debs["papelo-server"]), "conffiles").split() != ["/etc/default/papelo-server"]:
    failures.append("papelo-server: conffiles is not /etc/default/papelo-server")

explained = set(re.findall(r"^#\s+[WIP]: ([a-z0-9-]+)", (source / "packaging/CMakeLists.txt").read_text(), re.M))
lint = subprocess.run(["lintian", "--no-cfg", "--display-level", ">=pedantic", *map(str, debs.values())],
                      capture_output=True, text=True)
print(lint.stdout + lint.stderr, end="")
for level, package, tag in re.findall(r"^([EW]): ([a-z0-9-]+)(?: [a-z]+)?: ([a-z0-9-]+)", lint.stdout, re.M):
    if level == "E" or tag not in explained:
        failures.append(f"lintian {level}: {package}: {tag}")
print("\n".join(failures) or f"packages: {', '.join(p.name for p in debs.values())} as expected")
sys.exit(1 if failures else 0)
