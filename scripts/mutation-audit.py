#!/usr/bin/env python3
"""Mutation audit: does the test suite catch the deliberate faults of
scripts/mutations.txt?

Usage: python3 scripts/mutation-audit.py [--build-dir DIR] [--only ID,...] [--limit MIN] [--named-only] [--check]

First the unmutated tree is built and the whole suite run once: test
functions failing there are known failures and catch nothing. Then, for each
fault in turn: its file must have no local changes; the fault is applied, the
suites it names are built and run (ctest -R); if no new failure shows,
everything is built and the rest of the suite runs. The file is always
restored, and the restored tree is built again at the end. Each build takes
the machine-wide build lock for that step only, so other work interleaves;
test runs do not take it. A fault's steps may run for --limit minutes in all
(time spent waiting for the lock not counted); beyond that it is a timeout.
--named-only skips that second round (a fault the named suites miss is
"missed") and runs the baseline over the named suites only: a quick pass
for comparing two versions of the same suites. --check only validates the list.
"""
import argparse
import json
import os
import pathlib
import re
import signal
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
LOCK = "/tmp/papelo-build.lock"
KEYS = ("file", "tests", "why")


class Timeout(Exception):
    pass


def parse_mutations(path):
    """Blocks of "== id", key lines, then "--- find" and "--- replace" texts."""
    faults, fault, section = [], None, None
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if line.startswith("== "):
            fault, section = {"id": line[3:].strip(), "find": [], "replace": []}, None
            faults.append(fault)
        elif line.startswith("## "):
            section = None
        elif line.startswith("--- "):
            section = line[4:].strip()
            if fault is None or section not in ("find", "replace"):
                sys.exit(f"{path}:{number}: unexpected '{line}'")
        elif section:
            fault[section].append(line)
        elif line.strip() and not line.startswith("#"):
            key, _, value = line.partition(":")
            if fault is None or key not in KEYS:
                sys.exit(f"{path}:{number}: unexpected '{line}'")
            fault[key] = value.strip()
    for fault in faults:
        missing = [k for k in KEYS if k not in fault] + [k for k in ("find",) if not "".join(fault[k]).strip()]
        if missing:
            sys.exit(f"fault {fault['id']}: missing {', '.join(missing)}")
        for k in ("find", "replace"):
            fault[k] = "\n".join(fault[k]).rstrip("\n")
    ids = [f["id"] for f in faults]
    if len(ids) != len(set(ids)):
        sys.exit("duplicate fault ids")
    return faults


def mutated_text(fault):
    """The file's text with the fault applied; refuses unless the find text occurs exactly once."""
    text = (ROOT / fault["file"]).read_text(encoding="utf-8")
    count = text.count(fault["find"])
    if count != 1:
        raise ValueError(f"{fault['id']}: find text occurs {count} times in {fault['file']}")
    return text.replace(fault["find"], fault["replace"])


def locked(cmd, log, budget):
    """Runs cmd with `budget` seconds to run, a build under the build lock (tests wait mostly on
    sockets and timers, so they run beside other work); returns (exit code, output, seconds run)."""
    if budget <= 0:
        raise Timeout()
    started = time.monotonic()
    lock = ["flock", "--verbose", LOCK] if cmd[0] == "cmake" else []
    wrapped = [*lock, "timeout", "--kill-after=30", str(int(budget)), *cmd]
    proc = subprocess.run(wrapped, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          errors="replace")
    waited = re.search(r"getting lock took ([\d.]+) seconds", proc.stdout)
    ran = time.monotonic() - started - (float(waited.group(1)) if waited else 0.0)
    log.write(f"$ {' '.join(cmd)}\n{proc.stdout}\n[exit {proc.returncode}, {ran:.0f} s]\n\n")
    log.flush()
    if proc.returncode in (124, 137):
        raise Timeout()
    return proc.returncode, proc.stdout, ran


STATUS = re.compile(r"\s*\d+/\s*\d+ Test\s+#\s*\d+: (\S+) \.*\s*(\S.*?)\s+[\d.]+ sec$")
QT_FAIL = re.compile(r"^FAIL!\s+:\s+(.+?\(.*?\))(?:\s|$)")


def failures(ctest_output):
    """What failed in a ctest --output-on-failure run, in order: "test: Class::function(row)" per
    failing QtTest function, or "test: <status>" for a test that failed without naming one."""
    found, current, named = [], None, False

    def close():
        if current and not named:
            found.append(f"{current[0]}: {current[1]}")

    for line in ctest_output.splitlines():
        status = STATUS.match(line)
        if status:
            close()
            failed = "Passed" not in status.group(2) and "Skipped" not in status.group(2)
            current, named = (status.group(1), status.group(2).strip("*")) if failed else None, False
        elif current and QT_FAIL.match(line):
            found.append(f"{current[0]}: {QT_FAIL.match(line).group(1)}")
            named = True
    close()
    return found


def tests_matching(build, regex):
    """(test names, build targets) of the tests the regex selects; a test's target is the executable of
    the build it runs, also through a wrapper (dbus-run-session, xvfb-run)."""
    out = subprocess.run(["ctest", "--test-dir", build, "-N", "-R", regex, "--show-only=json-v1"],
                         capture_output=True, text=True, check=True).stdout
    names, targets = [], []
    for test in json.loads(out).get("tests", []):
        names.append(test["name"])
        for part in test.get("command") or []:
            path = pathlib.Path(part)
            if path.is_absolute() and pathlib.Path(build) in path.parents and path.is_file() and os.access(path, os.X_OK):
                targets.append(path.name)
    return names, targets


def audit(fault, build, limit, logs, known, named_only=False):
    """Applies one fault, runs its steps and returns (outcome, detail); the file is always restored."""
    path = ROOT / fault["file"]
    if subprocess.run(["git", "status", "--porcelain", "--", fault["file"]], cwd=ROOT,
                      capture_output=True, text=True, check=True).stdout.strip():
        return "error", f"{fault['file']} has local changes"
    original = path.read_bytes()
    mutated = mutated_text(fault)
    _, targets = tests_matching(build, fault["tests"])
    left = [limit]

    def step(cmd, log):
        rc, out, ran = locked(cmd, log, left[0])
        left[0] -= ran
        return rc, out

    def caught(rc, out, where=""):
        new = [f for f in failures(out) if f not in known]
        if rc and not failures(out):
            return "error", f"ctest exit {rc} without a failing test"
        return ("caught", where + new[0] + (f" (+{len(new) - 1} more)" if len(new) > 1 else "")) if new else None

    with open(logs / f"{fault['id']}.log", "w", encoding="utf-8") as log:
        try:
            path.write_text(mutated, encoding="utf-8")
            if targets:
                rc, _ = step(["cmake", "--build", build, "--target", *targets], log)
                if rc:
                    return "build-error", "named tests"
            result = caught(*step(["ctest", "--test-dir", build, "-R", fault["tests"], "--no-tests=error",
                                   "--output-on-failure"], log))
            if result or named_only:
                return result or ("missed", "named suites")
            rc, _ = step(["cmake", "--build", build], log)
            if rc:
                return "build-error", "everything"
            # Known failures would end a stopping run early: then the rest runs whole.
            stop = [] if known else ["--stop-on-failure"]
            # Marked: a fault only the rest of the suite catches names the wrong suites.
            result = caught(*step(["ctest", "--test-dir", build, "-E", fault["tests"], "--output-on-failure", *stop],
                                  log), "outside named suites: ")
            return result or ("survived", "")
        except Timeout:
            return "timeout", f"over {limit / 60:.0f} min"
        finally:
            path.write_bytes(original)


def baseline(build, logs, only_regex=None):
    """Builds the unmutated tree and runs the suite (or the tests only_regex selects); returns its failures
    (exits if it cannot build)."""
    with open(logs / "baseline.log", "w", encoding="utf-8") as log:
        rc, _, _ = locked(["cmake", "--build", build], log, 3600)
        if rc:
            sys.exit(f"the unmutated tree does not build, see {logs / 'baseline.log'}")
        select = ["-R", only_regex] if only_regex else []
        rc, out, _ = locked(["ctest", "--test-dir", build, "--output-on-failure", *select], log, 3600)
    known = failures(out)
    if rc and not known:
        sys.exit(f"the unmutated suite fails (ctest exit {rc}) without a failing test, see {logs / 'baseline.log'}")
    tests = sum(1 for line in out.splitlines() if STATUS.match(line))
    print(f"baseline: {tests} tests, {len(known)} known failures", flush=True)
    for failure in known:
        print(f"  known failure: {failure}", flush=True)
    return set(known)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", default=str(ROOT / "build"))
    parser.add_argument("--only", help="comma-separated fault ids")
    parser.add_argument("--limit", type=float, default=30, help="minutes of build and test time per fault")
    parser.add_argument("--named-only", action="store_true", help="run only the suites each fault names")
    parser.add_argument("--check", action="store_true", help="validate the list and stop")
    args = parser.parse_args()
    # A terminated audit still restores the file it changed (finally blocks run).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    faults = parse_mutations(ROOT / "scripts" / "mutations.txt")
    if args.only:
        wanted = args.only.split(",")
        unknown = set(wanted) - {f["id"] for f in faults}
        if unknown:
            sys.exit(f"unknown fault ids: {', '.join(sorted(unknown))}")
        faults = [f for f in faults if f["id"] in wanted]
    build = str(pathlib.Path(args.build_dir).resolve())
    named = set()
    for fault in faults:
        try:
            mutated_text(fault)
        except ValueError as error:
            sys.exit(str(error))
        names = tests_matching(build, fault["tests"])[0]
        if not names:
            sys.exit(f"{fault['id']}: no test matches {fault['tests']}")
        named.update(names)
    if args.check:
        print(f"{len(faults)} faults, all applicable")
        return 0

    logs = pathlib.Path(build) / "mutation-logs"
    logs.mkdir(exist_ok=True)
    rows, started = [], time.monotonic()
    # One alternation of the named suites: the faults' own patterns joined are too deep for ctest's regex.
    known = baseline(build, logs, "^(" + "|".join(map(re.escape, sorted(named))) + ")$" if args.named_only else None)
    try:
        for fault in faults:
            began = time.monotonic()
            outcome, detail = audit(fault, build, args.limit * 60, logs, known, args.named_only)
            minutes = (time.monotonic() - began) / 60
            rows.append((fault["id"], outcome, detail, minutes))
            print(f"{fault['id']} {outcome}" + (f" ({detail})" if detail else ""), flush=True)
    finally:
        # The restored files are newer than their objects: bring the build back in step.
        with open(logs / "restore.log", "w", encoding="utf-8") as log:
            rc, _, _ = locked(["cmake", "--build", build], log, 3600)
        print(f"restored build: {'ok' if rc == 0 else 'FAILED, see ' + str(logs / 'restore.log')}")

    width = max(len(r[0]) for r in rows) if rows else 10
    print(f"\n{'fault':<{width}}  {'outcome':<11}  {'wall min':>8}  first new failure / note")
    for fault_id, outcome, detail, minutes in rows:
        print(f"{fault_id:<{width}}  {outcome:<11}  {minutes:8.1f}  {detail}")
    counts = {o: sum(1 for r in rows if r[1] == o) for o in ("caught", "survived", "missed", "build-error", "timeout", "error")}
    print("\n" + ", ".join(f"{o}: {n}" for o, n in counts.items()))
    print(f"wall time: {(time.monotonic() - started) / 60:.1f} min")
    return 0


if __name__ == "__main__":
    sys.exit(main())
