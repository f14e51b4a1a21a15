"""Runs ravelo.exe under Wine on an X display and drives it from outside, as a person would:
xdotool types into the window, the window driver reads it, the reference client and plain
UDP sockets talk to the server on 127.0.0.1. The display, the waiting, the client and the
test base class serve the native program's driver (linux/native.py) as well."""
import contextlib
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

SKIP = 77  # CTest's SKIP_RETURN_CODE for these tests

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINDOWS_BUILD = os.environ.get("RAVELO_WINDOWS_BUILD", "")
CLIENT = os.environ.get("RAVELO_CLIENT", "")
PORT = 8888
OPENED = "Server opened on port 8888."


def wait_until(condition, timeout, step=0.1):
    """The condition's first true value, or its last value once the time is up."""
    deadline = time.time() + timeout
    while True:
        value = condition()
        if value or time.time() > deadline:
            return value
        time.sleep(step)


def wait_for(get, accept, timeout, step=0.1):
    """The first value of get() that `accept` takes, or None once the time is up."""
    return wait_until(lambda: (lambda value: value if accept(value) else None)(get()), timeout, step)


def read(path):
    with open(path) as f:
        return f.read()


def voluntary_switches(pid):
    """How often the process has given up the processor to wait: its wake-ups, natively."""
    return int(re.search(r"^voluntary_ctxt_switches:\s+(\d+)", read("/proc/%d/status" % pid), re.M).group(1))


def cpu_seconds(pid):
    """The processor time the process has used; under Wine, where its waits are the server's."""
    fields = read("/proc/%d/stat" % pid).rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wine():
    for name in ("wine64", "wine"):
        path = shutil.which(name)
        if path:
            return path
    return None


def missing():
    """What the machine lacks for these tests, or None."""
    needs = {
        "ravelo.exe": os.path.join(WINDOWS_BUILD, "ravelo.exe"),
        "window_driver.exe": os.path.join(WINDOWS_BUILD, "window_driver.exe"),
        "ravelo-client": CLIENT,
    }
    for what, path in needs.items():
        if not path or not os.path.exists(path):
            return what + " (not built)"
    for tool in ("Xvfb", "xdotool", "xdpyinfo", "convert", "display"):
        if not shutil.which(tool):
            return tool
    if not wine():
        return "wine"
    return None


def port_is_free(port=PORT):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        s.bind(("0.0.0.0", port))
        return True
    except OSError:
        return False
    finally:
        s.close()


class Display:
    """A private Xvfb display for one test class."""

    def __init__(self, geometry="1024x768x24"):
        self.proc = None
        for n in range(150, 250):
            if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                continue
            self.name = ":%d" % n
            # -noreset: the server would start over when xdpyinfo, its first client, leaves, and
            # refuse whoever comes next in that moment.
            self.proc = subprocess.Popen(["Xvfb", self.name, "-screen", "0", geometry, "-nolisten", "tcp", "-noreset"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if subprocess.call(["xdpyinfo", "-display", self.name], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL) == 0:
                    return
                time.sleep(0.05)
            self.proc.kill()
        raise RuntimeError("could not start Xvfb")

    def close(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait()


def windows(env, *search):
    """The ids of the X windows `xdotool search` finds."""
    return subprocess.run(["xdotool", "search"] + list(search), env=env, capture_output=True, text=True,
                          timeout=10).stdout.split()


def window_info(display, xid):
    """What xwininfo tells of a window, as {field: value} ("Width", "Map State", ...)."""
    out = subprocess.run(["xwininfo", "-display", display, "-id", xid], capture_output=True, text=True,
                         timeout=10).stdout
    return {k.strip(): v.strip() for k, v in (line.split(":", 1) for line in out.splitlines() if ":" in line)}


def window_origin(info):
    return int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"])


def pointer(env):
    out = subprocess.run(["xdotool", "getmouselocation"], env=env, capture_output=True, text=True,
                         check=True).stdout
    fields = dict(kv.split(":") for kv in out.split())
    return int(fields["x"]), int(fields["y"])


def run_wine(args, env=None, timeout=30):
    """Runs a Wine program, output through a file (see Ravelo.driver); retries a stalled start."""
    for _ in range(3):
        with tempfile.TemporaryFile("w+") as out:
            try:
                proc = subprocess.run([wine()] + list(args), env=env, stdout=out, stderr=subprocess.DEVNULL,
                                      timeout=timeout)
            except subprocess.TimeoutExpired:
                continue
            out.seek(0)
            proc.stdout = out.read()
            return proc
    raise RuntimeError("wine %s did not finish" % " ".join(args))


def restart_wine():
    # Wine keeps the screen size its server first saw, and its tray window lives in the desktop
    # process of the first program that starts: both need a new server.
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], stderr=subprocess.DEVNULL)


SETTINGS_KEYS = (r"HKLM\Software\Ravelo", r"HKCU\Software\Ravelo")


def stored_settings(key=SETTINGS_KEYS[0], env=None):
    """The values `wine reg query` shows under the key as {name: (type, data)}; None without the key."""
    proc = run_wine(["reg", "query", key], env)
    if proc.returncode != 0:
        return None
    values = {}
    for line in proc.stdout.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
    return values


def clear_settings(env=None):
    for key in SETTINGS_KEYS:
        run_wine(["reg", "delete", key, "/f"], env)


@contextlib.contextmanager
def settings_set_aside():
    """Settings stored in the prefix (by scripts/run, say) would change how ravelo.exe starts:
    the tests run without them, and they are put back afterwards."""
    saved = tempfile.mkdtemp(prefix="ravelo-settings-")
    files = []
    for i, key in enumerate(SETTINGS_KEYS):
        path = os.path.join(saved, "%d.reg" % i)
        if run_wine(["reg", "export", key, "Z:" + path, "/y"]).returncode == 0:
            files.append(path)
    try:
        yield
    finally:
        clear_settings()
        for path in files:
            run_wine(["reg", "import", "Z:" + path])
        shutil.rmtree(saved, ignore_errors=True)


class Program:
    """What driving either server's window has in common; a driver gives `env`, `proc`,
    `workdir`, `picture_dir`, `log_lines()`, `state()` and `focus_password()`."""

    def wait_for_line(self, line, timeout=10.0):
        lines = wait_for(self.log_lines, lambda got: line in got, timeout, 0.2)
        if not lines:
            raise AssertionError("log never showed %r; it has %r" % (line, self.log_lines()))
        return lines

    def wait_for_state(self, condition, what, timeout=10.0):
        """The state read once more after it met the condition: a window just back from the tray
        or the task bar is not at once ready for a click, and that read gives it the moment."""
        if not wait_for(self.state, condition, timeout, 0.2):
            raise AssertionError("no %s: the window is %r" % (what, self.state()))
        return self.state()

    def xdotool(self, *args):
        subprocess.run(["xdotool"] + list(args), env=self.env, check=True, timeout=30)

    def type_password(self, password):
        self.focus_password()
        self.xdotool("key", "--clearmodifiers", "ctrl+a", "BackSpace")
        if password:
            self.xdotool("type", "--delay", "20", password)

    def type_password_and_start(self, password):
        """Types into the password box and presses Return for the default button."""
        self.type_password(password)
        self.xdotool("key", "Return")

    def client(self, *args, timeout=30):
        return subprocess.run([CLIENT] + list(args), capture_output=True, text=True, timeout=timeout)

    def exited(self, timeout=10.0):
        try:
            self.proc.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.workdir, ignore_errors=True)


class Ravelo(Program):
    """One ravelo.exe under Wine, in a fresh working directory; unless told to keep them, it
    starts without stored settings."""

    BIND_ERROR = 10048  # WSAEADDRINUSE

    def __init__(self, display, keep_settings=False, exe_name="ravelo.exe"):
        self.display = display
        self.env = dict(os.environ, DISPLAY=display.name)
        self.env.setdefault("WINEDEBUG", "-all")
        self.env.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=;winemenubuilder.exe=d")
        if not keep_settings:
            clear_settings(self.env)
        self.workdir = tempfile.mkdtemp(prefix="ravelo-e2e-")
        self.picture_dir = self.workdir  # the working directory, as on Windows
        self.proc = subprocess.Popen([wine(), os.path.join(WINDOWS_BUILD, exe_name)], cwd=self.workdir,
                                     env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.driver("find", "30").returncode != 0:
            self.kill()
            raise RuntimeError("the server window did not appear")
        self.xid = (windows(self.env, "--name", "Ravelo Server") or [None])[0]

    def driver(self, *args):
        # Output goes through a file, not a pipe: Wine's background processes (wineserver,
        # services) may inherit a pipe from the program that started them and keep it open.
        with tempfile.TemporaryFile("w+") as out:
            proc = subprocess.run([wine(), os.path.join(WINDOWS_BUILD, "window_driver.exe")] + list(args),
                                  env=self.env, stdout=out, stderr=subprocess.DEVNULL, timeout=60)
            out.seek(0)
            proc.stdout = out.read()
        return proc

    def log_lines(self):
        return [line for line in self.driver("log").stdout.splitlines() if line.strip()]

    def state(self):
        """The driver's fields as numbers, and the window as "normal", "iconic" or "withdrawn"."""
        out = self.driver("state").stdout.strip()
        button = out[len("button="):out.index(" readonly=")]
        fields = {k: int(v) for k, v in (kv.split("=") for kv in out[out.index(" readonly=") + 1:].split())}
        fields["button"] = button
        fields["window"] = "withdrawn" if not fields["visible"] else "iconic" if fields["iconic"] else "normal"
        return fields

    def focus(self):
        # A window not yet viewable refuses the focus (BadMatch); on a busy machine that lasts a moment.
        for _ in range(10):
            if subprocess.run(["xdotool", "windowfocus", "--sync", self.xid], env=self.env, timeout=30,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                return
            time.sleep(0.3)
        self.xdotool("windowfocus", "--sync", self.xid)

    focus_password = focus  # the box has the focus whenever the window has

    def press_start(self):
        self.driver("click-start")

    def close_box(self):
        self.driver("close")

    def file_exit(self):
        self.driver("command", "105")


class Test(unittest.TestCase):
    """What the Wine and the native tests share; `ravelo` is the program under test."""

    def start(self, password):
        self.ravelo.type_password_and_start(password)
        self.ravelo.wait_for_line(OPENED)

    def assertExited(self, r, msg=None):
        self.assertTrue(r.exited(), msg)
        self.assertEqual(r.proc.returncode, 0, msg)


class WineTest(Test):
    """A display for the class, a fresh ravelo.exe for every test."""
    geometry = (1024, 768)

    @classmethod
    def setUpClass(cls):
        cls.display = Display("%dx%dx24" % cls.geometry)

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def setUp(self):
        self.ravelo = Ravelo(self.display)
        self.addCleanup(self.ravelo.kill)


class UdpPeer:
    """A bare client socket, for what the reference client does not do on purpose."""

    def __init__(self, address="127.0.0.1"):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((address, 0))

    def send(self, data):
        self.sock.sendto(bytes(data), ("127.0.0.1", PORT))

    def receive(self, timeout):
        self.sock.settimeout(timeout)
        try:
            return self.sock.recvfrom(4096)[0]
        except socket.timeout:
            return None

    def close(self):
        self.sock.close()


def ensure_prefix():
    """The project's own Wine prefix, as scripts/lib.sh makes it."""
    prefix = os.environ.setdefault("WINEPREFIX", os.path.join(ROOT, "build", "wineprefix"))
    os.environ.setdefault("WINEDEBUG", "-all")
    os.environ.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=;winemenubuilder.exe=d")
    if os.path.exists(os.path.join(prefix, "system.reg")):
        return
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for value in ("Decorated", "Managed"):
        subprocess.run([wine(), "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", value, "/d", "N", "/f"],
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env)


def run_tests(reason, around):
    """Runs the calling file's tests inside the context `around()` makes, or skips for `reason`."""
    if reason or not port_is_free():
        print("SKIPPED: " + ("needs %s" % reason if reason else "UDP port %d is in use by another program" % PORT))
        raise SystemExit(SKIP)
    with around():
        result = unittest.main(verbosity=2, exit=False).result
    raise SystemExit(0 if result.wasSuccessful() else 1)


def main():
    reason = missing()
    if not reason:
        ensure_prefix()
    run_tests(reason, settings_set_aside)
