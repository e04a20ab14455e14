#!/usr/bin/python3
# The reader as a screen reader meets it: on an X server (Xvfb, xcb) and a
# session bus of its own, with its own accessibility bus, against the demo
# server. Keys go through XTEST (the registry's device event controller);
# everything is waited for, never slept on; every process started is ended
# and collected by xsession's reaper. Usage: tst_accessibility_bus.py READER SERVER
import os, re, subprocess, sys, time, warnings

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import xsession  # noqa: E402

TIMEOUT = float(os.environ.get("PAPELO_BUS_TIMEOUT", 90))  # per wait: sanitizer builds are slow
CONTROLS = {"push button", "check box", "radio button", "text", "password text", "page tab", "menu item", "link"}
TAB, BACKTAB, RETURN, ESCAPE, END = 0xFF09, 0xFE20, 0xFF0D, 0xFF1B, 0xFF57


def inner(reader, server):
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
    warnings.simplefilter("ignore", DeprecationWarning)  # get_action_name: Debian 12's Atspi has no other
    tmp, events, procs = os.environ["TMP_ROOT"], [], []
    listener = Atspi.EventListener.new(lambda e: events.append((e.type, e.detail1, e.source)))
    listener.register("object:state-changed:focused")
    listener.register("object:state-changed:showing")

    def wait(what, check):
        end = time.monotonic() + TIMEOUT
        while time.monotonic() < end:
            GLib.MainContext.default().iteration(False)
            found = check()
            if found:
                return found
            time.sleep(0.05)
        raise AssertionError("never happened: " + what)

    def tree(node):  # the shown objects; one that goes away while walked has none
        try:
            shown = node.get_state_set().contains(Atspi.StateType.SHOWING)
            return [node] + [n for i in range(node.get_child_count()) for n in tree(node.get_child_at_index(i))] if shown else []
        except (GLib.Error, AttributeError):  # AttributeError: a child gone between the count and the fetch
            return []

    def find(role, name=None, pattern=""):
        return next((n for n in tree(app) if n.get_role_name() == role and name in (None, n.get_name()) and re.search(pattern, n.get_name())), None)

    def has(node, state):
        return node is not None and node.get_state_set().contains(state)

    def press(node):  # its "Press" action, as a screen reader activates it
        names = [Atspi.Action.get_action_name(node, i) for i in range(Atspi.Action.get_n_actions(node))]
        Atspi.Action.do_action(node, names.index("Press"))

    def key(sym):
        Atspi.generate_keyboard_event(sym, None, Atspi.KeySynthType.SYM)

    def focused():  # "role name" of what last took the focus since the last call
        gained = [s.get_role_name() + " " + s.get_name() for t, d, s in events if t.endswith("focused") and d == 1]
        events.clear()
        return gained[-1] if gained else None

    procs.append(subprocess.Popen([server, "--demo", "--port", "0", "--no-throttle", "--data", os.path.join(tmp, "data")],
                                  stdout=subprocess.PIPE, text=True))
    url = re.search(r"http://\S+", procs[0].stdout.readline()).group(0)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", PAPELO_TOKEN_STORE="file",
               **{k: os.path.join(tmp, k) for k in ("XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME")})
    # The server as chosen in settings (not fixed by --server), so that its field can be tried.
    os.makedirs(os.path.join(tmp, "XDG_CONFIG_HOME", "PapeloBrightsheet"))
    with open(os.path.join(tmp, "XDG_CONFIG_HOME", "PapeloBrightsheet", "Papelo.conf"), "w") as conf:
        conf.write(f"[General]\nserverURL={url}\n")
    procs.append(subprocess.Popen([reader, "--size", "1200x800"], env=env))
    desktop = Atspi.get_desktop(0)
    app = wait("the reader", lambda: next((a for a in map(desktop.get_child_at_index, range(desktop.get_child_count()))
                                           if a.get_process_id() == procs[1].pid), None))
    # Home: Tab goes from the tab bar round the page and back; a card is a stop.
    wait("the tab bar's focus and a card", lambda: has(find("page tab", "Papelo"), Atspi.StateType.FOCUSED) and find("push button", pattern="次阅读"))
    events.clear()
    stops = []
    while stops[-1:] != ["page tab Papelo"]:
        assert len(stops) < 40, stops
        key(TAB)
        stops.append(wait("the focus moving on", focused))
    assert any(re.fullmatch(r"push button [^，]+，[^，]+，\d{4}-\d\d-\d\d，\d+ 次阅读，\d+ 条评论，\d+ 个赞", s) for s in stops), stops
    key(BACKTAB)
    card = wait("the card", focused)
    # Opened, the article focuses its title and its body, named by the article's title, reads as headings and
    # paragraphs; Escape returns to the card.
    key(RETURN)
    assert wait("the page title", focused) == "heading 文章详情"
    body = wait("the body", lambda: find("document web", card[len("push button "):].split("，")[0]))
    wait("its headings and paragraphs", lambda: {"heading", "paragraph"} <= {n.get_role_name() for n in tree(body)})
    assert all(n.get_name() for n in tree(body) if n.get_role_name() == "heading"), "a heading without a name"
    key(ESCAPE)
    assert wait("the focus back", focused) == card
    # No control goes unnamed on any tab.
    for tab in ("Papelo", "发现", "我的", "设置", "我的"):
        press(find("page tab", tab))
        wait(tab, lambda: has(find("page tab", tab), Atspi.StateType.CHECKED) and len(tree(app)) > 20)
        unnamed = [n.get_role_name() for n in tree(app) if n.get_role_name() in CONTROLS and not n.get_name().strip()]
        assert not unnamed, (tab, unnamed)
    # A failed sign-in is announced, and the password field takes the focus with the message.
    for field, text in (("text", "demo"), ("password text", "wrong-password")):
        Atspi.Component.grab_focus(find(field))
        wait(field, lambda: has(find(field), Atspi.StateType.FOCUSED))
        Atspi.generate_keyboard_event(0, text, Atspi.KeySynthType.STRING)
    events.clear()
    key(RETURN)
    note = wait("the announcement", lambda: next((s for t, d, s in events if t.endswith("showing") and d and s.get_role_name() == "notification"), None))
    password = find("password text")
    assert note.get_name().startswith("操作失败：") and wait("its focus", lambda: has(password, Atspi.StateType.FOCUSED))
    assert password.get_description() == note.get_name()
    assert Atspi.Text.get_text(password, 0, -1) == "\u2022" * len("wrong-password")  # never the password itself
    # Server addresses that do not answer: each refusal is read out (the second one only as the shown status
    # line's new text), and the field that tells why has the focus.
    press(find("page tab", "设置"))
    field = wait("the server field", lambda: find("text", "服务器地址"))
    for path in ("/nowhere", "/elsewhere"):
        Atspi.Component.grab_focus(field)
        wait("its focus", lambda: has(field, Atspi.StateType.FOCUSED))
        key(END)
        Atspi.generate_keyboard_event(0, path, Atspi.KeySynthType.STRING)
        events.clear()
        key(RETURN)
        refusal = wait("the refusal", lambda: next((s.get_name() for t, d, s in events if t.endswith("showing") and d and s.get_role_name()
                                                    == "notification" and path + "/api" in s.get_name()), None))
        assert wait("the field's focus", lambda: has(field, Atspi.StateType.FOCUSED)) and field.get_description() == refusal
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(inner(*sys.argv[2:4]) if sys.argv[1] == "--inner" else xsession.run_inner(__file__, sys.argv[1:3], "papelo-bus-"))
