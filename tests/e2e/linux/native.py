"""Runs the native ravelo on a private X display and drives it from outside, as a person would:
xdotool types, clicks and presses keys. What the window shows is read through the
accessibility bus (AT-SPI), which GTK serves for every program, and what the window manager
made of the window from the X server (WM_STATE); nothing in the program exists for the tests.
The reference client and plain UDP sockets talk to the server on 127.0.0.1.

One private desktop per test process (Xvfb, a D-Bus session bus, openbox; a tray host when a
test asks for one): the accessibility library binds to the first bus it meets."""
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# python3-gi belongs to the system's Python; a test started by another interpreter moves over.
try:
    import gi
except ImportError:
    if os.path.exists("/usr/bin/python3") and not os.environ.get("RAVELO_SYSTEM_PYTHON"):
        os.environ["RAVELO_SYSTEM_PYTHON"] = "1"
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    gi = None

sys.path.insert(0, os.path.dirname(HERE))
import harness  # noqa: E402  (the display, waiting, client and test base the Wine tests use too)
from harness import window_info, wait_until  # noqa: E402

Atspi = None
if gi is not None:
    try:
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi  # noqa: F811
        # The program does not answer while it waits out the second after a start, nor while a
        # picture is made; the library's own 0.8 s would call that a failure.
        Atspi.set_timeout(10000, 30000)
    except (ImportError, ValueError):
        Atspi = None

SERVER = os.environ.get("RAVELO_SERVER", "")
CAPTION = " Ravelo Server"


def missing():
    """What the machine lacks for these tests, or None."""
    for what, path in (("ravelo", SERVER), ("ravelo-client", harness.CLIENT)):
        if not path or not os.path.exists(path):
            return what + " (not built)"
    for tool in ("Xvfb", "xdotool", "xdpyinfo", "xprop", "xwininfo", "openbox", "dbus-daemon"):
        if not shutil.which(tool):
            return tool
    if Atspi is None:
        return "python3-gi with gir1.2-atspi-2.0 (the accessibility bus's client)"
    return None


def start_session_bus(runtime):
    """A private D-Bus session bus: (its address, the daemon's pid to end it with)."""
    # Through a file: the daemon keeps a pipe open after it forks.
    with tempfile.TemporaryFile("w+") as out:
        subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                       stdout=out, timeout=30, check=True, env=dict(os.environ, XDG_RUNTIME_DIR=runtime))
        out.seek(0)
        fields = out.read().split()
    return fields[0], int(fields[1])


# GDK's count of frozen updates of the tray icon's own window goes below zero when a tray
# host maps the icon while events are taken one per loop pass; a plain GTK program taking
# its events that way shows the same, and the icon works all the same.
KNOWN_GTK_MESSAGES = ("gdk_window_thaw_toplevel_updates: assertion",)


def faults_in(output):
    """What a program's output reports of its own faults: sanitizers, GTK's critical warnings."""
    return [line for line in output.splitlines()
            if ("Sanitizer" in line or "runtime error" in line or "-CRITICAL" in line or "-WARNING" in line)
            and not any(known in line for known in KNOWN_GTK_MESSAGES)]


class Desktop:
    """A private X display with a window manager and a session bus; the accessibility bus
    starts on that bus when the first GTK program asks for it."""

    def __init__(self, geometry="1024x768x24"):
        self.size = tuple(int(n) for n in geometry.split("x")[:2])
        self.display = harness.Display(geometry)
        self.name = self.display.name
        self.tray = None
        self.bus_pid = None
        self.wm = None
        # The accessibility bus puts its socket under the runtime directory (else under ~/.cache,
        # where another desktop's would take its place).
        self.runtime = tempfile.mkdtemp(prefix="ravelo-desktop-")
        try:
            self.bus, self.bus_pid = start_session_bus(self.runtime)
            self.env = dict(os.environ, DISPLAY=self.name, DBUS_SESSION_BUS_ADDRESS=self.bus,
                            XDG_RUNTIME_DIR=self.runtime)
            for name in ("WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "NO_AT_BRIDGE"):
                self.env.pop(name, None)
            # This process reads the accessibility bus of this display.
            os.environ.update(DISPLAY=self.name, DBUS_SESSION_BUS_ADDRESS=self.bus)
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            if not wait_until(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.xprop("-root"), 20):
                raise RuntimeError("openbox did not start")
        except BaseException:
            self.close()
            raise

    def xprop(self, *args):
        return subprocess.run(["xprop", "-display", self.name] + list(args), capture_output=True, text=True,
                              timeout=10).stdout

    def start_tray(self):
        """A tray host (trayer) along the top edge; returns once it holds the tray selection."""
        self.tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                      "--height", "24", "--SetDockType", "false", "--expand", "false"],
                                     env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_until(lambda: self.windows("--classname", "trayer"), 10):
            raise RuntimeError("trayer did not start")
        time.sleep(0.5)  # it takes the selection right after mapping its window

    def stop_tray(self):
        if self.tray and self.tray.poll() is None:
            self.tray.terminate()
            self.tray.wait()
        self.tray = None

    def windows(self, *search):
        return harness.windows(self.env, *search)

    def close(self):
        self.stop_tray()
        if self.wm and self.wm.poll() is None:
            self.wm.terminate()
            self.wm.wait()
        if self.bus_pid:
            try:
                os.kill(self.bus_pid, 15)  # the accessibility bus and registry go with it
            except ProcessLookupError:
                pass
        self.display.close()
        shutil.rmtree(self.runtime, ignore_errors=True)


# The program is built with AddressSanitizer: leaks inside the GUI libraries are theirs.
LSAN_SUPPRESSIONS = os.path.join(HERE, "lsan.supp")


class Ravelo(harness.Program):
    """One native ravelo in a fresh working directory, with its settings under `config`
    (a fresh directory unless given) and a home of its own, so no test touches ~/.config."""

    BIND_ERROR = 98  # EADDRINUSE

    def __init__(self, desktop, config=None, home=None):
        """With `home` the program gets no XDG_CONFIG_HOME and keeps its settings under that home."""
        self.desktop = desktop
        self.workdir = tempfile.mkdtemp(prefix="ravelo-e2e-")
        self.env = dict(desktop.env, HOME=home or self.workdir,
                        LSAN_OPTIONS="suppressions=%s:print_suppressions=0" % LSAN_SUPPRESSIONS)
        if home:
            self.env.pop("XDG_CONFIG_HOME", None)
            self.config = os.path.join(home, ".config")
        else:
            self.config = config or tempfile.mkdtemp(prefix="ravelo-config-")
            self.env["XDG_CONFIG_HOME"] = self.config
        self.own_config = not home and not config
        # The pictures go into $XDG_RUNTIME_DIR/ravelo: a runtime directory of this run's own.
        runtime = os.path.join(self.workdir, "run")
        os.mkdir(runtime, 0o700)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.picture_dir = os.path.join(runtime, "ravelo")
        self.output = os.path.join(self.workdir, "output.txt")
        with open(self.output, "w") as out:
            self.proc = subprocess.Popen([SERVER], cwd=self.workdir, env=self.env, stdout=out,
                                         stderr=subprocess.STDOUT)
        self._frame = None
        try:
            self.app = wait_until(self._find_app, 30, 0.2)
            self.xid = wait_until(self._find_window, 10)
            if not self.app or not self.xid:
                raise RuntimeError("the server window did not appear: %s" % self.program_output())
        except BaseException:
            self.kill()
            raise

    # --- reading the window ---

    def _find_window(self):
        # GTK's leader window, never shown, has the same name; the window itself has a size.
        for xid in self.desktop.windows("--all", "--pid", str(self.proc.pid), "--name", "^%s$" % CAPTION):
            if int(window_info(self.desktop.name, xid).get("Width", 0)) >= 100:
                return xid
        return None

    def _widgets(self):
        """The window's controls. A window hidden in the tray is not in the program's tree of
        accessible objects, so they are looked up the first time they are needed while it shows."""
        if self._frame is None:
            frame = self._find(self.app, role=Atspi.Role.FRAME, name=CAPTION)
            self._password = self._find(frame, role=Atspi.Role.PASSWORD_TEXT)
            self._button = self._find(frame, role=Atspi.Role.PUSH_BUTTON)
            self._check = self._find(frame, role=Atspi.Role.CHECK_BOX)
            self._log = self._find(frame, role=Atspi.Role.TEXT)
            self._frame = frame
        return self

    frame = property(lambda self: self._widgets()._frame)
    password = property(lambda self: self._widgets()._password)
    button = property(lambda self: self._widgets()._button)
    check = property(lambda self: self._widgets()._check)
    log = property(lambda self: self._widgets()._log)

    def _find_app(self):
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == self.proc.pid:
                return app
        if self.proc.poll() is not None:
            raise RuntimeError("ravelo exited with %s: %s" % (self.proc.returncode, self.program_output()))
        return None

    @staticmethod
    def _walk(node):
        yield node
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is not None:
                yield from Ravelo._walk(child)

    def _find(self, root, role, name=None):
        for node in self._walk(root):
            if node.get_role() == role and (name is None or node.get_name() == name):
                return node
        raise AssertionError("no %s %r in the window" % (role.value_nick, name))

    def find_all(self, role):
        return [node for node in self._walk(self.app) if node.get_role() == role]

    def texts(self, root=None):
        """The names of every label, button, check box and menu item below `root`."""
        roles = (Atspi.Role.LABEL, Atspi.Role.PUSH_BUTTON, Atspi.Role.CHECK_BOX, Atspi.Role.MENU,
                 Atspi.Role.MENU_ITEM)
        return [node.get_name() for node in self._walk(root or self.frame) if node.get_role() in roles]

    @staticmethod
    def has(node, state):
        node.clear_cache()
        return node.get_state_set().contains(state)

    def log_text(self):
        return self.log.get_text(0, -1)

    def log_lines(self):
        return [line for line in self.log_text().split("\r\n") if line.strip()]

    def window_state(self):
        """What the window manager made of the window: normal, iconic or withdrawn."""
        out = self.desktop.xprop("-id", self.xid, "WM_STATE")
        for state in ("Normal", "Iconic", "Withdrawn"):
            if "window state: " + state in out:
                return state.lower()
        return "withdrawn"  # the manager drops the property of a window it no longer manages

    def state(self):
        self.app.clear_cache()  # states change faster than this process hears of it
        return {
            "button": self.button.get_name(),
            "readonly": not self.has(self.password, Atspi.StateType.EDITABLE),
            "checked": self.has(self.check, Atspi.StateType.CHECKED),
            "password_length": self.password_length(),
            "window": self.window_state(),
            "caret": self.log.get_caret_offset(),
            "end": self.log.get_character_count(),
        }

    def password_length(self):
        return self.password.get_character_count()

    def program_output(self):
        with open(self.output, errors="replace") as f:
            return f.read()

    def tray_icon(self):
        """The screen point in the middle of the program's icon where a tray host shows it, or None."""
        # The icon is a window of its own named after the tray tip (the window's leader, never
        # shown, has that name too).
        for xid in self.desktop.windows("--all", "--pid", str(self.proc.pid), "--name", "^Ravelo$"):
            info = window_info(self.desktop.name, xid)
            if info.get("Map State") == "IsViewable":
                x, y = harness.window_origin(info)
                return x + int(info["Width"]) // 2, y + int(info["Height"]) // 2
        return None

    # --- driving it ---

    def focus(self):
        """Brings the window to the front with the keyboard focus, out of the minimised state too."""
        self.xdotool("windowactivate", "--sync", self.xid)
        wait_until(lambda: self.has(self.frame, Atspi.StateType.ACTIVE), 5)

    def click(self, node, button="1", repeat=1):
        # A control has no place on the screen until its window is mapped and laid out, and a
        # window the window manager brings back from the task bar passes through a place off the
        # screen first: the same place on the screen twice.
        last = []
        width, height = self.desktop.size

        def settled():
            self.app.clear_cache()
            b = node.get_extents(Atspi.CoordType.SCREEN)
            on_screen = b.width > 0 and 0 <= b.x and b.x + b.width <= width and 0 <= b.y and b.y + b.height <= height
            here = (b.x, b.y, b.width, b.height) if on_screen else None
            same = here is not None and last and last[-1] == here
            last.append(here)
            return b if same else None
        box = wait_until(settled, 5, 0.1)
        if not box:
            raise AssertionError("%s %r is not on the screen" % (node.get_role_name(), node.get_name()))
        self.xdotool("mousemove", "--sync", str(box.x + box.width // 2), str(box.y + box.height // 2))
        self.xdotool("click", "--repeat", str(repeat), "--delay", "80", button)

    def focus_password(self):
        self.focus()
        self.click(self.password)

    def press_start(self):
        self.click(self.button)

    def close_box(self):
        """The close box, as the window manager offers it (Alt+F4)."""
        self.focus()
        self.xdotool("key", "alt+F4")

    def file_exit(self):
        self.focus()
        self.xdotool("key", "alt+f")
        time.sleep(0.3)
        self.xdotool("key", "x")

    def faults(self):
        return faults_in(self.program_output())

    def kill(self):
        super().kill()
        if self.own_config:
            shutil.rmtree(self.config, ignore_errors=True)

    def settings_path(self):
        return os.path.join(self.config, "ravelo", "settings")


_desktop = None


def shared_desktop():
    """This process's desktop, made on first use and closed when the tests end."""
    global _desktop
    if _desktop is None:
        _desktop = Desktop()
    return _desktop


def config_with(text):
    """A fresh settings directory (for XDG_CONFIG_HOME) whose settings file holds `text`."""
    config = tempfile.mkdtemp(prefix="ravelo-config-")
    os.makedirs(os.path.join(config, "ravelo"))
    with open(os.path.join(config, "ravelo", "settings"), "w") as f:
        f.write(text)
    return config


class NativeTest(harness.Test):
    geometry = (1024, 768)  # the shared desktop's

    def launch(self, **kwargs):
        """A ravelo that goes at the end of the test; what it reports of its own faults fails it."""
        r = Ravelo(shared_desktop(), **kwargs)
        self.addCleanup(r.kill)
        self.addCleanup(lambda: self.assertEqual(r.faults(), []))
        return r


@contextlib.contextmanager
def _closing_the_desktop():
    try:
        yield
    finally:
        if _desktop is not None:
            _desktop.close()


def main():
    harness.run_tests(missing(), _closing_the_desktop)
