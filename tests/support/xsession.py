# A display and session bus of a script's own: Xvfb (authorised by a fresh
# cookie, no TCP), then `dbus-run-session -- python SCRIPT --inner ARGS` with
# DISPLAY, XAUTHORITY, TMP_ROOT and XDG_RUNTIME_DIR set to them. Whatever the
# bus starts outlives it, so this process becomes their reaper and ends and
# collects every one of them, the X server last.
import ctypes, os, secrets, shutil, signal, subprocess, sys, tempfile, time


def run_inner(script, args, prefix):
    ctypes.CDLL(None).prctl(36, 1)  # PR_SET_CHILD_SUBREAPER
    tmp = tempfile.mkdtemp(prefix=prefix)
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
        return subprocess.run(["dbus-run-session", "--", sys.executable, script, "--inner", *args], env=env).returncode
    finally:
        for attempt in range(100):  # the bus's own processes first, the X server last
            kids = [int(p) for p in filter(str.isdigit, os.listdir("/proc")) if os.path.exists(f"/proc/{p}/stat")
                    and int(open(f"/proc/{p}/stat").read().rsplit(")", 1)[1].split()[1]) == os.getpid() and int(p) != xvfb.pid]
            for pid in kids:
                if os.waitpid(pid, os.WNOHANG)[0] == 0:
                    os.kill(pid, signal.SIGKILL if attempt > 50 else signal.SIGTERM)
            if not kids:
                break
            time.sleep(0.1)
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(tmp, ignore_errors=True)
