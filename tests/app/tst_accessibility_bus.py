#!/usr/bin/python3
"""The reader as a screen reader meets it: on a private X server (Xvfb, xcb)
and session bus with its own accessibility bus, against the demo server.
Keys go through XTEST (the registry's device event controller); everything
is waited for, never slept on. Usage: tst_accessibility_bus.py READER SERVER"""
import ctypes, os, re, secrets, shutil, signal, subprocess, sys, tempfile, time

TIMEOUT = float(os.environ.get("PAPELO_BUS_TIMEOUT", 90))  # per wait; sanitizer builds are slow
INTERACTIVE = {"push button", "check box", "radio button", "text", "password text", "page tab", "menu item", "link"}


def reap(spare=None):
    """What the private bus started outlives it (at-spi-bus-launcher, the
    registry): as their subreaper, end and collect them."""
    end = time.monotonic() + 10
    while True:
        kids = [int(p) for p in os.listdir("/proc") if p.isdigit() and os.path.exists(f"/proc/{p}/stat")
                and open(f"/proc/{p}/stat").read().rsplit(")", 1)[1].split()[1] == str(os.getpid())]
        kids = [pid for pid in kids if pid != spare]
        if not kids:
            return
        for pid in kids:
            if time.monotonic() > end:
                os.kill(pid, signal.SIGKILL)
            elif os.waitpid(pid, os.WNOHANG)[0] == 0:
                os.kill(pid, signal.SIGTERM)
        time.sleep(0.1)


def outer(reader, server):
    """Xvfb with a cookie of its own, then the rest on a private session bus."""
    ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER
    tmp = tempfile.mkdtemp(prefix="papelo-bus-")
    auth, cookie = os.path.join(tmp, "xauth"), secrets.token_hex(16)
    open(auth, "w").close()
    subprocess.run(["xauth", "-q", "-f", auth, "add", ":0", ".", cookie], check=True)
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-auth", auth, "-nolisten", "tcp", "-screen", "0", "1280x1024x24"],
                            pass_fds=[w], stderr=subprocess.DEVNULL)
    try:
        os.close(w)
        display = ":" + os.read(r, 16).decode().strip()
        subprocess.run(["xauth", "-q", "-f", auth, "add", display, ".", cookie], check=True)
        env = dict(os.environ, DISPLAY=display, XAUTHORITY=auth, TMP_ROOT=tmp, XDG_RUNTIME_DIR=tmp)
        return subprocess.run(["dbus-run-session", "--", sys.executable, __file__, "--inner", reader, server], env=env).returncode
    finally:
        reap(spare=xvfb.pid)
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(tmp, ignore_errors=True)


def inner(reader, server):
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
    tmp = os.environ["TMP_ROOT"]
    events = []
    listener = Atspi.EventListener.new(lambda e: events.append((e.type, e.detail1, e.source)))
    for kind in ("object:state-changed:focused", "object:state-changed:showing"):
        listener.register(kind)
    procs = []

    def wait(what, check):
        end = time.monotonic() + TIMEOUT
        while time.monotonic() < end:
            GLib.MainContext.default().iteration(False)
            found = check()
            if found:
                return found
            time.sleep(0.05)
        raise AssertionError("never happened: " + what)

    def tree(node):
        try:
            if not node.get_state_set().contains(Atspi.StateType.SHOWING):
                return []
            return [node] + [n for i in range(node.get_child_count()) for n in tree(node.get_child_at_index(i))]
        except GLib.Error:  # an object that went away while walked
            return []

    def find(role, name=None, pattern=None):
        return next((n for n in tree(app) if n.get_role_name() == role and (name is None or n.get_name() == name)
                     and (pattern is None or re.search(pattern, n.get_name()))), None)

    def key(sym, times=1):
        for _ in range(times):
            Atspi.generate_keyboard_event(sym, None, Atspi.KeySynthType.SYM)

    def focused():  # name of the object that last gained the focus, dropping what came before
        gained = [s for t, d, s in events if t.endswith("focused") and d == 1]
        events.clear()
        return gained[-1].get_role_name() + " " + gained[-1].get_name() if gained else None

    def unnamed():
        return [n.get_role_name() for n in tree(app) if n.get_role_name() in INTERACTIVE and not n.get_name().strip()]

    try:
        procs.append(subprocess.Popen([server, "--demo", "--port", "0", "--no-throttle", "--data", os.path.join(tmp, "data")],
                                      stdout=subprocess.PIPE, text=True))
        url = re.search(r"http://\S+", procs[0].stdout.readline()).group(0)
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", PAPELO_TOKEN_STORE="file",
                   **{k: os.path.join(tmp, k) for k in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME")})
        procs.append(subprocess.Popen([reader, "--server", url, "--size", "1200x800"], env=env))
        desktop = Atspi.get_desktop(0)
        app = wait("the reader on the bus", lambda: next((desktop.get_child_at_index(i) for i in range(desktop.get_child_count())
                                                          if desktop.get_child_at_index(i).get_process_id() == procs[1].pid), None))
        # Home: the tab bar has the focus; Tab goes round the page and back, a card is a focus stop, arrows move on.
        wait("a card", lambda: find("push button", pattern="次阅读"))
        wait("the focus on the tab bar", lambda: find("page tab", "Papelo").get_state_set().contains(Atspi.StateType.FOCUSED))
        events.clear()
        stops = []
        while not stops or stops[-1] != "page tab Papelo":
            assert len(stops) < 40, stops
            key(0xFF09)  # Tab
            stops.append(wait("the focus moving on", focused))
        assert any(re.match(r"push button .+，.+，\d{4}-\d\d-\d\d，\d+ 次阅读", s) for s in stops), stops
        key(0xFE20)  # Backtab: back to the card
        card = wait("the card", focused)
        key(0xFF53)  # Right
        following = wait("the next card", focused)
        assert "次阅读" in following and following != card, (card, following)
        # The card opens; its article's body is there to read, headings and paragraphs.
        key(0xFF0D)  # Return
        title = wait("the page title", focused)
        assert title == "heading 文章详情", title
        body = wait("the body", lambda: find("document web"))
        wait("its headings and paragraphs", lambda: {"heading", "paragraph"} <= {n.get_role_name() for n in tree(body)})
        assert not [n for n in tree(body) if n.get_role_name() == "heading" and not n.get_name()], "a nameless heading"
        assert not unnamed(), unnamed()
        key(0xFF1B)  # Escape: back home
        # Every tab: nothing to interact with goes unnamed.
        for tab in ("发现", "我的", "设置", "我的"):
            Atspi.Component.grab_focus(find("page tab", tab))  # a tab's only action
            wait(tab, lambda: find("page tab", tab).get_state_set().contains(Atspi.StateType.FOCUSED))
            key(0x20)  # Space
            wait(tab, lambda: find("page tab", tab).get_state_set().contains(Atspi.StateType.CHECKED) and len(tree(app)) > 20)
            assert not unnamed(), (tab, unnamed())
        # A failed sign-in is announced and its field takes the focus.
        for field, text in (("text", "demo"), ("password text", "wrong-password")):
            Atspi.Component.grab_focus(find(field))
            wait(field, lambda: find(field).get_state_set().contains(Atspi.StateType.FOCUSED))
            Atspi.generate_keyboard_event(0, text, Atspi.KeySynthType.STRING)
        events.clear()
        key(0xFF0D)
        note = wait("the announcement", lambda: next((s for t, d, s in events if t.endswith("showing") and d == 1
                                                       and s.get_role_name() == "notification"), None))
        assert note.get_name().startswith("操作失败："), note.get_name()
        wait("the focus on the password", lambda: find("password text").get_state_set().contains(Atspi.StateType.FOCUSED))
        assert find("password text").get_description() == note.get_name()
        print("PASS: tab order, cards, body, names, sign-in announcement")
        return 0
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


if __name__ == "__main__":
    sys.exit(inner(*sys.argv[2:4]) if sys.argv[1] == "--inner" else outer(*sys.argv[1:3]))
