#!/usr/bin/python3
"""What exposing article bodies to screen readers costs: an article opened at
start-up (--article, --screenshot) in the real window (xcb on Xvfb, a private
session and accessibility bus), the body's text time (the trace's
article-text-shown) and the peak summed PSS of the reader and its web
processes (sampled every 50 ms), in four setups, alternating, medians:

  engine off, no client    the engine's accessibility switched off (what the
                           reader did before), nobody listening
  engine on,  no client    the reader as it starts now, nobody listening
  engine off, client       a client listening (Qt's bridge on, every event
                           fetched the way a screen reader does), body hidden
  engine on,  client       the same with the body exposed

  scripts/locked-build.sh papelo papelo-server
  flock /tmp/papelo-build.lock bench/bench_accessibility.py build [--runs N]

Needs what tests/app/tst_accessibility_bus.py needs (scripts/deps.sh)."""
import json, os, re, shutil, statistics, subprocess, sys, tempfile, threading, time, urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
import xsession  # noqa: E402

SETUPS = [("engine off, no client", False, False), ("engine on,  no client", True, False),
          ("engine off, client", False, True), ("engine on,  client", True, True)]


def tree_pss_kib(root):
    parents = {}
    for p in filter(str.isdigit, os.listdir("/proc")):
        try:
            parents.setdefault(int(open(f"/proc/{p}/stat").read().rsplit(")", 1)[1].split()[1]), []).append(int(p))
        except OSError:
            pass
    pids, total = [root], 0
    for pid in pids:
        pids += parents.get(pid, [])
        try:
            total += next(int(l.split()[1]) for l in open(f"/proc/{pid}/smaps_rollup") if l.startswith("Pss:"))
        except (OSError, StopIteration):
            pass
    return total


def client():
    """Listens as a screen reader does: every object, window and focus event, its source's role and name read."""
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    def heard(event):
        try:
            event.source.get_role_name(), event.source.get_name()
        except Exception:
            pass
    listener = Atspi.EventListener.new(heard)
    for kind in ("object:", "window:", "focus:"):
        listener.register(kind)
    print("listening", flush=True)
    Atspi.event_main()


def run(reader, url, article, engine, listening, tmp):
    home = tempfile.mkdtemp(dir=tmp)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QTWEBENGINE_DISABLE_SANDBOX="1",
               **{k: os.path.join(home, k) for k in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME")})
    args = [reader, "--server", url, "--article", str(article), "--size", "1200x800",
            "--trace", os.path.join(home, "trace.json"), "--screenshot", os.path.join(home, "shot.png")]
    if not engine:
        env["QTWEBENGINE_CHROMIUM_FLAGS"] = "--disable-renderer-accessibility"
    listener = None
    if listening:
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        listener = subprocess.Popen([sys.executable, __file__, "--client"], stdout=subprocess.PIPE, text=True)
        listener.stdout.readline()
    proc = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = [0]

    def sample():
        while proc.poll() is None:
            peak[0] = max(peak[0], tree_pss_kib(proc.pid))
            time.sleep(0.05)
    sampler = threading.Thread(target=sample)
    sampler.start()
    proc.wait(120)
    sampler.join()
    if listener:
        listener.terminate()
        listener.wait()
    events = json.load(open(os.path.join(home, "trace.json")))["traceEvents"]
    shown = next((e["ts"] / 1000 for e in events if e.get("ph") == "i" and e["name"] == "article-text-shown"), None)
    shutil.rmtree(home, ignore_errors=True)
    return shown, peak[0] / 1024


def inner(build, runs):
    tmp = os.environ["TMP_ROOT"]
    server = subprocess.Popen([os.path.join(build, "server/papelo-server"), "--demo", "--port", "0", "--no-throttle",
                               "--data", os.path.join(tmp, "data")], stdout=subprocess.PIPE, text=True)
    try:
        url = re.search(r"http://\S+", server.stdout.readline()).group(0)
        items = json.load(urllib.request.urlopen(url + "/api/articles"))["items"]
        article = next(a["id"] for a in items if all(t in json.load(urllib.request.urlopen(f"{url}/api/article/{a['id']}"))["body"]
                                                      for t in ("<img", "<table")))
        results = {name: ([], []) for name, _, _ in SETUPS}
        for _ in range(runs):
            for name, engine, listening in SETUPS:
                ms, mib = run(os.path.join(build, "src/app/papelo"), url, article, engine, listening, tmp)
                if ms is not None:
                    results[name][0].append(ms)
                results[name][1].append(mib)
        print(f"article {article}, {runs} runs each, alternating; medians (all runs after the colon)")
        for name, (times, memory) in results.items():
            print(f"{name:22} text shown {statistics.median(times):7.1f} ms   peak PSS {statistics.median(memory):6.1f} MiB"
                  f"   : {' '.join(f'{t:.0f}' for t in times)} ms / {' '.join(f'{m:.1f}' for m in memory)} MiB")
    finally:
        server.terminate()
        server.wait()


def outer(build, runs):
    xsession.run_inner(__file__, [build, str(runs)], "papelo-bench-a11y-")


if __name__ == "__main__":
    if sys.argv[1] == "--client":
        client()
    elif sys.argv[1] == "--inner":
        inner(sys.argv[2], int(sys.argv[3]))
    else:
        outer(sys.argv[1], int(sys.argv[sys.argv.index("--runs") + 1]) if "--runs" in sys.argv else 5)
