#!/usr/bin/env bash
# Installs the two packages of BUILD_DIR/packages the way a user would
# (apt-get install ./….deb, nothing from the build tree), runs what they
# installed, checks the service unit, and purges them again:
#
#   scripts/check-installed-packages.sh [BUILD_DIR]      (root or sudo; CI runs it)
#
# 1. the installed server, started with the unit's ExecStart line (options
#    from the installed /etc/default file, --data a temporary directory, a
#    free port, the demo site) as an unprivileged user with the unit's umask
#    and an empty environment, under strace;
# 2. the installed reader renders the home tab and an article against it
#    (--screenshot), which proves the run-time dependencies;
# 3. every system call the server made is allowed by the unit's
#    SystemCallFilter= lines and none mapped memory writable and executable
#    (MemoryDenyWriteExecute=): what the service needs, seen without a
#    running systemd;
# 4. everything both programs loaded or read under /usr belongs to a package
#    in their dependency closure (Depends: is complete even though this
#    machine has everything installed);
# 5. systemd-analyze verify and security --offline=true on the installed
#    unit (exposure at most 2.0);
# 6. purge, then no file of either package and nothing the maintainer
#    scripts made is left. A trap purges on any exit.
#
# Not checkable without a running systemd (a container): that the service
# starts under its sandbox, its dynamic user and StateDirectory= (which only
# a running systemd creates, as /var/lib/private/papelo-server), and the
# postinst's enable-and-start path.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
. scripts/service-guard.sh

version=$(sed -n 's/^project(Papelo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
debs=("$PWD/$BUILD_DIR/packages/papelo_${version}_${arch}.deb" "$PWD/$BUILD_DIR/packages/papelo-server_${version}_${arch}.deb")
for deb in "${debs[@]}"; do [ -f "$deb" ] || { echo "missing $deb (make package)"; exit 1; }; done
for p in papelo papelo-server; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    echo "$p is already installed here; not touching it"; exit 1
  fi
done

work=$(mktemp -d /tmp/papelo-installed.XXXXXX)
chmod 755 "$work"
server_pid=""
cleanup() {
  status=$?
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q papelo papelo-server >/dev/null 2>&1 || true
  release_services
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

# ---- install ----------------------------------------------------------------
files=$(for deb in "${debs[@]}"; do dpkg-deb -c "$deb"; done | awk '$1 !~ /^d/ {sub(/^\./, "", $NF); print $NF}')
hold_services
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; exit 1; }
release_services
echo "installed: $(dpkg-query -W -f='${Package} ${Version}, ' papelo papelo-server)"
unit=/usr/lib/systemd/system/papelo-server.service

# ---- the installed server, as the unit starts it -------------------------------
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
options=$(env -i bash -c '. /etc/default/papelo-server; printf %s "$PAPELO_SERVER_OPTS"')
data="$work/state"
mkdir -m 700 "$data" "$work/trace" "$work/run"
chown nobody:nogroup "$data" "$work/trace" "$work/run"
command_line=${exec_start//'${STATE_DIRECTORY}'/$data}
command_line=${command_line//'$PAPELO_SERVER_OPTS'/$options}
echo "server: $command_line --port 0 --demo"
umask_unit=$(sed -n 's/^UMask=//p' "$unit")
mapfile -t unit_env < <(sed -n 's/^Environment=//p' "$unit" | sed "s|%t/papelo-server|$work/run|")
nofile=$(sed -n 's/^LimitNOFILE=//p' "$unit")  # SOFT:HARD; the server raises the soft one itself
# Without CAP_SYS_RESOURCE (a container) the hard limit cannot go above ours.
ours=$(ulimit -Hn)
if [ "$ours" != unlimited ] && [ "${nofile#*:}" -gt "$ours" ]; then nofile="${nofile%:*}:$ours"; fi
# shellcheck disable=SC2086  # the unit's line splits on spaces, as systemd splits it
(umask "$umask_unit"; exec prlimit --nofile="$nofile" setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all \
  env -i PATH=/usr/bin:/bin "${unit_env[@]}" LD_DEBUG=files LD_DEBUG_OUTPUT="$work/trace/ld" strace -f -qq -o "$work/trace/strace.txt" $command_line --port 0 --demo) \
  >"$work/server.out" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 1 300); do
  grep -q "listening on" "$work/server.out" 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.err"; exit 1; }
  sleep 0.1
done
url=$(sed -n 's/^papelo-server listening on //p' "$work/server.out")
[ -n "$url" ] || { echo "server did not start"; cat "$work/server.err"; exit 1; }
echo "server: $url"
[ "$(stat -c %a "$data/papelo.sqlite")" = 600 ] || { echo "store is not owner-only"; exit 1; }

# ---- the installed reader against it -------------------------------------------------
sandbox_off=""
if [ "$(id -u)" -eq 0 ]; then sandbox_off=1; fi  # Chromium's sandbox refuses to run as root
for view in "--tab home" "--article 1"; do
  shot="$work/shot-${view##* }.png"
  # shellcheck disable=SC2086
  XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" HOME="$work" \
    QT_QPA_PLATFORM=offscreen PAPELO_TOKEN_STORE=file QTWEBENGINE_DISABLE_SANDBOX="$sandbox_off" \
    LD_DEBUG=files LD_DEBUG_OUTPUT="$work/reader-ld" timeout 120 \
    strace -f -qq -e trace=open,openat -e status=successful -o "$work/reader-files-${view##* }.txt" /usr/bin/papelo --server "$url" $view \
    --screenshot "$shot" >"$work/reader.log" 2>&1 || { cat "$work/reader.log"; exit 1; }
  size=$(stat -c %s "$shot")
  [ "$size" -gt 20000 ] || { echo "screenshot $shot is only $size bytes"; exit 1; }
  echo "reader: $view rendered ($size bytes)"
done
for path in "/api/articles?page=1&limit=1" /images/thumb/1.jpg; do
  curl -fsS -o /dev/null "$url$path" || { echo "server failed $path"; exit 1; }
done
curl -fsS -o /dev/null -H 'Content-Type: application/json' -d '{"username":"demo","password":"demo1234"}' "$url/api/login"
# SIGTERM to the server itself: strace keeps a SIGTERM its caller ignored.
kill -TERM "$(ps -o pid= --ppid "$server_pid")"
wait "$server_pid" || { echo "server did not stop cleanly"; cat "$work/server.err"; exit 1; }
server_pid=""
if [ -s "$work/server.err" ]; then sed 's/^/server stderr: /' "$work/server.err"; fi

# ---- what the service's sandbox must allow ------------------------------------------------
python3 - "$unit" "$work/trace/strace.txt" "${nofile#*:}" <<'PY'
import re, subprocess, sys
unit, trace, hard = open(sys.argv[1]).read(), open(sys.argv[2]).read(), sys.argv[3]
def expand(name, seen=()):
    if not name.startswith("@"):
        return {name}
    out = set()
    for line in subprocess.run(["systemd-analyze", "syscall-filter", name], capture_output=True, text=True).stdout.splitlines()[1:]:
        item = line.strip()
        if item and not item.startswith("#") and item not in seen:
            out |= expand(item, seen + (name,))
    return out
allowed = set()
for spec in re.findall(r"^SystemCallFilter=(.*)$", unit, re.M):
    deny = spec.startswith("~")
    names = set().union(*(expand(n) for n in spec.lstrip("~").split()))
    allowed = allowed - names if deny else allowed | names
made = set(re.findall(r"^\d+\s+([a-z0-9_]+)\(", trace, re.M)) - {"execve"}  # strace's own exec of the server
wx = [l for l in trace.splitlines() if re.search(r"\b(mmap|mprotect|pkey_mprotect)\(.*PROT_WRITE\|PROT_EXEC", l)]
denied = sorted(made - allowed)
print(f"syscall filter: the server made {len(made)} distinct system calls, {len(denied)} outside the unit's filter"
      + (f": {', '.join(denied)}" if denied else ""))
shown = f"(?:{hard}|{int(hard) // 1024}\\*1024)"  # strace writes 65536 as 64*1024
raised = re.search(rf"prlimit64\(0, RLIMIT_NOFILE, \{{rlim_cur={shown}, rlim_max={shown}\}}, NULL\) = 0", trace)
print("descriptor limit: " + ("the server raised its soft limit to the hard limit " + hard if raised else "never raised"))
if wx:
    print("writable and executable mappings:\n" + "\n".join(wx[:5]))
sys.exit(1 if denied or wx or not raised else 0)
PY

# ---- run-time dependencies: everything the programs used belongs to a package they depend on ----
# (on this machine everything is installed anyway, so a clean run alone would
# prove nothing about Depends:). Used: every shared object the dynamic loader
# loaded (LD_DEBUG=files: libraries, Qt and QML plugins) and every other file
# they opened under /usr (fonts, QML files); plugins Qt only opened to read
# their metadata while scanning a folder do not count.
check_loaded() {  # package, strace files...
  python3 - "$@" <<'PY'
import os, re, subprocess, sys
package, traces = sys.argv[1], sys.argv[2:]
out = subprocess.run(["apt-cache", "depends", "--recurse", "--installed", "--no-recommends", "--no-suggests",
                      "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances", package],
                     capture_output=True, text=True, check=True).stdout
closure = set(re.findall(r"^([a-z0-9][^\s:]*)", out, re.M)) | set(re.findall(r"Depends: <?([^\s>:]+)", out))
opened = set()
for trace in traces:
    text = open(trace, errors="replace").read()
    paths = re.findall(r"file=(/\S+) \[\d+\];  (?:needed|dynamically loaded) by", text)
    paths += [p for p in re.findall(r'open(?:at)?\((?:AT_FDCWD, )?"(/usr/[^"]+)"', text) if not re.search(r"\.so(\.|$)", p)]
    for path in paths:
        # glibc reads the alias table only where locales put one
        if os.path.isfile(path) and not path.endswith("/locale.alias"):
            opened.add(os.path.realpath(path))
owners = {}
for line in subprocess.run(["dpkg", "-S", *sorted(opened)], capture_output=True, text=True).stdout.splitlines():
    names, _, path = line.partition(": ")
    for name in names.split(", "):
        owners.setdefault(name.split(":")[0], path)
listing = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Essential}\\n"], capture_output=True, text=True).stdout
essential = {line.split()[0] for line in listing.splitlines() if line.endswith(" yes")}
# Loaded where present, not needed: the programs work without them.
optional = {"openssl": "libssl reads the configuration the openssl tool installs",
            "libqt6svg6": "Qt's image I/O loads every image-format plugin it finds; the server writes JPEG and PNG, built into Qt GUI"}
for name in sorted(set(owners) & set(optional) - closure):
    print(f"  optional: {name} ({optional[name]})")
missing = {name: path for name, path in owners.items() if name not in closure | essential | set(optional)}
print(f"run-time dependencies of {package}: {len(opened)} files of {len(owners)} packages opened, "
      + ("all of them dependencies" if not missing else "not dependencies: "
         + ", ".join(f"{n} ({p})" for n, p in sorted(missing.items()))))
sys.exit(1 if missing else 0)
PY
}
check_loaded papelo "$work"/reader-files-*.txt "$work"/reader-ld.*
check_loaded papelo-server "$work/trace/strace.txt" "$work"/trace/ld.*

# ---- the unit ---------------------------------------------------------------------------------
systemd-analyze verify "$unit"
systemd-analyze security --offline=true --no-pager "$unit" >"$work/security.txt" 2>&1 || true
exposure=$(sed -n 's/.*Overall exposure level for papelo-server.service: \([0-9.]*\).*/\1/p' "$work/security.txt")
echo "systemd-analyze security --offline=true: exposure $exposure"
grep -E "✗" "$work/security.txt" || true
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }' || { cat "$work/security.txt"; exit 1; }

# ---- purge: nothing left ------------------------------------------------------------------------
DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q papelo papelo-server >"$work/purge.log" 2>&1 \
  || { cat "$work/purge.log"; exit 1; }
left=()
while read -r f; do [ -e "$f" ] || [ -L "$f" ] && left+=("$f"); done <<<"$files"
for f in /etc/systemd/system/multi-user.target.wants/papelo-server.service \
         /var/lib/systemd/deb-systemd-helper-enabled/papelo-server.service.dsh-also \
         /var/lib/systemd/deb-systemd-helper-enabled/multi-user.target.wants/papelo-server.service \
         /var/lib/systemd/deb-systemd-helper-masked/papelo-server.service \
         /var/lib/papelo-server /var/lib/private/papelo-server /usr/share/doc/papelo /usr/share/doc/papelo-server; do
  [ -e "$f" ] || [ -L "$f" ] && left+=("$f")
done
if [ ${#left[@]} -gt 0 ]; then
  printf 'left after purge: %s\n' "${left[@]}"
  exit 1
fi
echo "purged: no file of either package is left"
