"""The portal backend end to end on a private session bus with PipeWire and WirePlumber, where
portal_driver runs the backend as the program builds it and a test producer (picture_producer)
shows a known picture. Against a stand-in portal with RemoteDesktop 2 (stand_in_portal.py):
pictures match the producer's with the cursor from its metadata drawn where it now is, each
input call carries the right arguments, the restore token is kept (0600) and offered on the next
start, and a session the portal closes is made anew. Through the real xdg-desktop-portal in
front of a ScreenCast-only implementation like xdg-desktop-portal-wlr's (stand_in_portal.py --backend):
the frontend's own requests, PipeWire remote and stored permission, RGBx frames with the cursor
embedded, and no input. Exits 77 when a tool is missing."""
import json
import os
import queue
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))
from harness import SKIP, read as text, wait_until  # noqa: E402
DRIVER = os.environ.get("RAVELO_PORTAL_DRIVER", "")
PRODUCER = os.environ.get("RAVELO_PICTURE_PRODUCER", "")
SYSTEM_PYTHON = "/usr/bin/python3"  # the one with Debian's GObject bindings
FRONTEND = "/usr/libexec/xdg-desktop-portal"
INTERFACES = "/usr/share/dbus-1/interfaces/org.freedesktop.portal.RemoteDesktop.xml"  # the stand-ins read them
PERMISSION_STORE = "/usr/share/dbus-1/services/org.freedesktop.impl.portal.PermissionStore.service"
WIDTH, HEIGHT = 1920, 1080
CURSOR_SIDE, HOT_SPOT, MAGENTA = 32, 6, (255, 0, 255)


def missing():
    for what, path in (("portal_driver", DRIVER), ("picture_producer", PRODUCER)):
        if not path or not os.path.exists(path):
            return what + " (not built)"
    for tool in ("dbus-daemon", "pipewire", "wireplumber", "pw-cli", "convert", FRONTEND):
        if shutil.which(tool) is None:
            return tool
    if not os.path.exists(INTERFACES):
        return "the portal's interface definitions (xdg-desktop-portal-dev)"
    if subprocess.run([SYSTEM_PYTHON, "-c", "from gi.repository import Gio"], capture_output=True).returncode != 0:
        return "python3-gi for " + SYSTEM_PYTHON
    return None


def read_ppm(data):
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+\d+\s", data)
    return int(header.group(1)), int(header.group(2)), data[header.end():]


def decode(path):
    """A JPEG file's width, height and RGB bytes, through ImageMagick."""
    return read_ppm(subprocess.run(["convert", path, "ppm:-"], capture_output=True, check=True).stdout)


class Picture:
    """The producer's picture with its cursor drawn in, as the views must show it."""

    def __init__(self, path, cursor=None):
        with open(path, "rb") as f:
            self.width, self.height, data = read_ppm(f.read())
        self.pixels = bytearray(data)
        if cursor:
            left, top = cursor[0] - HOT_SPOT, cursor[1] - HOT_SPOT
            for y in range(max(top, 0), min(top + CURSOR_SIDE, self.height)):
                for x in range(max(left, 0), min(left + CURSOR_SIDE, self.width)):
                    self.pixels[(y * self.width + x) * 3:(y * self.width + x) * 3 + 3] = bytes(MAGENTA)

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def box(self, vx, vy):
        """The average over the desktop pixels that view pixel (vx, vy) of the full view covers."""
        x0, x1 = vx * self.width // 256, max((vx + 1) * self.width // 256, vx * self.width // 256 + 1)
        y0, y1 = vy * self.height // 192, max((vy + 1) * self.height // 192, vy * self.height // 192 + 1)
        sums, n = [0, 0, 0], 0
        for y in range(y0, y1):
            for x in range(x0, x1):
                p = self.at(x, y)
                for c in range(3):
                    sums[c] += p[c]
                n += 1
        return tuple(s // n for s in sums)


def distance(a, b):
    return max(abs(p - q) for p, q in zip(a, b))


class Process:
    """A child whose stdout lines are read as they come."""

    def __init__(self, args, env, cwd=None, errors=None):
        with open(errors or os.devnull, "a") as stderr:
            self.proc = subprocess.Popen(args, env=env, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                         stderr=stderr, text=True, bufsize=1)
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))

    def line(self, timeout=10):
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("%s said nothing for %g s" % (os.path.basename(self.proc.args[0]), timeout))

    def send(self, text):
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.reader.join(2)
        self.proc.stdin.close()
        self.proc.stdout.close()


class Desktop:
    """A private session bus with PipeWire and WirePlumber, all stopped again by close()."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="ravelo-portal-")
        os.chmod(self.dir, 0o700)
        # The user's own PipeWire and WirePlumber settings and state stay out of it.
        self.env = dict(os.environ, XDG_RUNTIME_DIR=self.dir, PIPEWIRE_RUNTIME_DIR=self.dir,
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"), XDG_STATE_HOME=os.path.join(self.dir, "state"))
        self.env.pop("PIPEWIRE_REMOTE", None)
        self.children = []
        bus = self.start(["dbus-daemon", "--config-file=" + self.bus_config(), "--nofork", "--nopidfile",
                          "--print-address=1"])
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.line()
        self.start(["pipewire"])
        assert wait_until(lambda: os.path.exists(os.path.join(self.dir, "pipewire-0")), 10), "no PipeWire socket"
        self.start(["wireplumber"])
        # WirePlumber links streams once its default metadata exists.
        assert wait_until(lambda: "default" in subprocess.run(["pw-cli", "ls", "Metadata"], env=self.env,
                                                              capture_output=True, text=True).stdout, 10), \
            "WirePlumber did not come up"

    def bus_config(self):
        """A session bus that starts only the permission store on demand: no desktop portal or
        other service of the machine's joins in by activation."""
        services = os.path.join(self.dir, "services")
        os.mkdir(services)
        if os.path.exists(PERMISSION_STORE):
            shutil.copy(PERMISSION_STORE, services)
        path = os.path.join(self.dir, "bus.conf")
        with open(path, "w") as f:
            f.write("""<busconfig><type>session</type><listen>unix:dir=%s</listen><auth>EXTERNAL</auth>
<servicedir>%s</servicedir><policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>""" % (self.dir, services))
        return path

    def start(self, args, cwd=None, env=None):
        child = Process(args, env or self.env, cwd)
        self.children.append(child)
        return child

    def close(self):
        for child in reversed(self.children):
            child.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


DESKTOP = None


def setUpModule():
    global DESKTOP
    DESKTOP = Desktop()


def tearDownModule():
    if DESKTOP:
        DESKTOP.close()


class PortalTest(unittest.TestCase):
    """One producer and one portal for the class; a driver per start of the program. The portal
    is the stand-in, or with `frontend` the real one in front of the stand-in implementation."""
    producer_args = []
    frontend = False
    cursor = None

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="ravelo-portal-run-", dir=DESKTOP.dir)
        cls.config = os.path.join(cls.work, "config")
        cls.record = os.path.join(cls.work, "calls.jsonl")
        source = os.path.join(cls.work, "source.ppm")
        cls.producer = DESKTOP.start([PRODUCER, "--picture", source] + cls.producer_args)
        cls.node = int(cls.producer.line().split()[1])
        cls.source = Picture(source, cls.cursor)
        cls.portal = [DESKTOP.start([SYSTEM_PYTHON, os.path.join(HERE, "stand_in_portal.py"), "--record", cls.record,
                                     "--node", str(cls.node)] + (["--backend"] if cls.frontend else []))]
        assert cls.portal[0].line() == "ready"
        if cls.frontend:
            cls.portal.append(cls.start_frontend())
        cls.driver = cls.start_driver()

    @classmethod
    def start_frontend(cls):
        portals = os.path.join(cls.work, "portals")
        os.mkdir(portals)
        with open(os.path.join(portals, "ravelotest.portal"), "w") as f:
            f.write("[portal]\nDBusName=org.freedesktop.impl.portal.desktop.ravelotest\n"
                    "Interfaces=org.freedesktop.impl.portal.ScreenCast;\nUseIn=ravelotest\n")
        env = dict(DESKTOP.env, XDG_DESKTOP_PORTAL_DIR=portals, XDG_CURRENT_DESKTOP="ravelotest")
        frontend = DESKTOP.start([FRONTEND], env=env)
        assert wait_until(lambda: "org.freedesktop.portal.Desktop" in subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
             "org.freedesktop.DBus.ListNames"], env=DESKTOP.env, capture_output=True, text=True).stdout, 10), \
            "xdg-desktop-portal did not come up"
        return frontend

    @classmethod
    def tearDownClass(cls):
        cls.driver.stop()
        for process in reversed(cls.portal):
            process.stop()
        cls.producer.stop()

    @classmethod
    def start_driver(cls):
        env = dict(DESKTOP.env, XDG_CONFIG_HOME=cls.config)
        cls.driver_errors = os.path.join(cls.work, "driver.err")
        driver = Process([DRIVER], env, cwd=cls.work, errors=cls.driver_errors)
        driver.log = []
        driver.choice = driver.line()
        driver.input = driver.line()
        return driver

    def ask(self, command):
        self.driver.send(command)
        while True:
            line = self.driver.line()
            if not line.startswith("log: "):
                return line
            self.driver.log.append(line[5:])

    def wait_for_pictures(self):
        """Until the driver has a frame, the producer sends its picture: one sent before the new
        consumer's link is up goes nowhere."""
        def shown():
            self.producer.send("frame")
            self.producer.line()
            return wait_until(lambda: self.ask("size") != "none", 0.5)
        self.assertTrue(wait_until(shown, 10), "no frame came through the portal")

    def calls(self, method=None):
        with open(self.record) as f:
            entries = [json.loads(line) for line in f]
        return [e for e in entries if method is None or e["method"] == method]

    def assertFullViewMatches(self):
        self.assertEqual(self.ask("full"), "ok")
        width, height, data = decode(os.path.join(self.work, "bufferfull.jpg"))
        self.assertEqual((width, height), (256, 192))
        worst, total, n = 0, 0, 0
        for vy in range(1, 192, 3):
            for vx in range(1, 256, 3):
                d = distance(data[(vy * 256 + vx) * 3:(vy * 256 + vx) * 3 + 3], self.source.box(vx, vy))
                worst, total, n = max(worst, d), total + d, n + 1
        # JPEG smears colour at sharp edges (the small magenta cursor above all); the mean says
        # the rest is the picture.
        self.assertLess(total / n, 6, "the full view differs from the picture (worst %d)" % worst)
        self.assertLess(worst, 128)

    def assertRegionMatches(self, x, y):
        self.assertEqual(self.ask("region %d %d" % (x, y)), "ok")
        _, _, data = decode(os.path.join(self.work, "bufferpart.jpg"))
        worst, total, n = 0, 0, 0
        for ry in range(0, 192, 2):
            for rx in range(0, 256, 2):
                inside = x + rx < self.source.width and y + ry < self.source.height
                want = self.source.at(x + rx, y + ry) if inside else (0, 0, 0)
                d = distance(data[(ry * 256 + rx) * 3:(ry * 256 + rx) * 3 + 3], want)
                worst, total, n = max(worst, d), total + d, n + 1
        self.assertLess(total / n, 6, "the region at %d,%d differs from the picture (worst %d)" % (x, y, worst))
        return data

    def assertCursorAt(self, data, left, top):
        """The cursor's top-left corner is at (left, top) of the region view, give or take the
        few pixels JPEG smears its edge over."""
        def pixel(x, y):
            return data[(y * 256 + x) * 3:(y * 256 + x) * 3 + 3]
        self.assertLess(distance(pixel(left + 3, top + 3), MAGENTA), 60, "no cursor at %d,%d" % (left, top))
        self.assertGreater(distance(pixel(left - 3, top - 3), MAGENTA), 60, "the cursor before %d,%d" % (left, top))


class RemoteDesktopTest(PortalTest):
    """A portal with RemoteDesktop (version 2, so that it persists) and cursor metadata."""
    cursor = (100, 100)
    producer_args = ["--format", "BGRx", "--cursor", "100,100"]

    def setUp(self):
        self.wait_for_pictures()

    def test_pictures_match_the_screen_with_the_cursor_where_it_is(self):
        self.assertIn("RemoteDesktop and ScreenCast", self.driver.choice)
        self.assertEqual(self.calls("SelectSources")[0]["options"]["cursor_mode"], 4)
        self.assertFullViewMatches()
        self.assertCursorAt(self.assertRegionMatches(90, 90), 100 - HOT_SPOT - 90, 100 - HOT_SPOT - 90)
        self.assertRegionMatches(700, 400)        # the stripes, unscaled
        self.assertRegionMatches(WIDTH - 100, HEIGHT - 50)  # black past the edges
        # The cursor moves with no new picture: drawn at the new place, gone from the old.
        self.producer.send("cursor 1000 600")
        self.assertEqual(self.producer.line(), "done")
        old = self.source
        try:
            self.source = Picture(os.path.join(self.work, "source.ppm"), (1000, 600))
            self.assertTrue(wait_until(lambda: self.ask("region 990 590") == "ok" and distance(
                decode(os.path.join(self.work, "bufferpart.jpg"))[2][(16 * 256 + 16) * 3:(16 * 256 + 16) * 3 + 3],
                MAGENTA) < 40, 5), "the cursor did not move")
            self.assertCursorAt(self.assertRegionMatches(990, 590), 1000 - HOT_SPOT - 990, 600 - HOT_SPOT - 590)
            self.assertRegionMatches(90, 90)
        finally:
            self.source = old
            self.producer.send("cursor 100 100")
            self.producer.line()

    def test_each_input_call_carries_its_arguments(self):
        # One call of each kind: which call a client message becomes is the unit tests' to show.
        before = len(self.calls())
        for command in ["move 128 96", "anchor 100 100", "rel 110 95", "button left down", "key 72 down", "release"]:
            self.assertEqual(self.ask(command), "ok", command)
        self.assertTrue(wait_until(lambda: len(self.calls()) - before >= 6, 5), "input calls missing")
        self.assertEqual([(c["method"][6:], c["args"]) for c in self.calls()[before:]], [
            ("PointerMotionAbsolute", [self.node, 956.0, 539.0]),  # on the producer's node, in its 1920x1080
            ("PointerMotion", [10.0, -5.0]),
            ("PointerButton", [0x110, 1]),
            ("KeyboardKeysym", [0x48, 1]),  # 'H' as its keysym, no Shift from this side
            ("PointerButton", [0x110, 0]), ("KeyboardKeysym", [0x48, 0]),  # what was left held, let go
        ])

    def test_the_restore_token_is_kept_privately_and_offered_on_the_next_start(self):
        path = os.path.join(self.config, "ravelo", "portal-restore-token")
        given = [c["restore_token"] for c in self.calls("Start") if "restore_token" in c]
        self.assertTrue(given, "the stand-in gave no token")
        self.assertTrue(wait_until(lambda: os.path.exists(path) and text(path) == given[-1] + "\n", 5))
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)
        # The next start offers it back where a remote-desktop session persists: SelectDevices.
        self.driver.send("quit")
        self.driver.proc.wait(10)
        self.driver.stop()
        self.assertEqual(self.driver.proc.returncode, 0, text(self.driver_errors))  # sanitizers report here
        type(self).driver = self.start_driver()
        self.wait_for_pictures()
        devices = self.calls("SelectDevices")[-1]["options"]
        self.assertEqual(devices.get("restore_token"), given[-1])
        self.assertEqual(devices.get("persist_mode"), 2)
        self.assertNotIn("persist_mode", self.calls("SelectSources")[-1]["options"])
        newest = [c["restore_token"] for c in self.calls("Start") if "restore_token" in c][-1]
        self.assertNotEqual(newest, given[-1])
        self.assertTrue(wait_until(lambda: text(path) == newest + "\n", 5), "the new token was not stored")

    def test_a_session_the_portal_closes_is_made_anew(self):
        sessions = len(self.calls("CreateSession"))
        self.portal[0].proc.send_signal(signal.SIGUSR1)
        self.assertTrue(wait_until(lambda: self.ask("size") == "none", 5), "the closed session still serves")
        self.assertTrue(wait_until(lambda: len(self.calls("CreateSession")) > sessions, 5), "no new session")
        self.wait_for_pictures()
        self.assertTrue(any("closed the session" in line for line in self.driver.log), self.driver.log)
        self.assertFullViewMatches()
        self.assertEqual(self.calls("SelectDevices")[-1]["options"].get("restore_token"),
                         [c["restore_token"] for c in self.calls("Start") if "restore_token" in c][-2])


class FrontendScreenCastTest(PortalTest):
    """The real xdg-desktop-portal in front of an implementation like xdg-desktop-portal-wlr's:
    ScreenCast alone, the cursor embedded, RGBx frames; the frontend's own restore token, and
    the stored permission it stands for handed to the implementation on the next start."""
    frontend = True
    producer_args = ["--format", "RGBx"]

    def test_pictures_without_input_and_a_permission_restored(self):
        self.assertIn("input is unavailable: the portal has no RemoteDesktop interface", self.driver.choice)
        self.assertEqual(self.driver.input, "input: no")
        self.wait_for_pictures()
        sources = self.calls("SelectSources")[0]["options"]
        self.assertEqual((sources["cursor_mode"], sources["persist_mode"]), (2, 2))
        self.assertNotIn("restore_data", sources)
        self.assertFullViewMatches()
        self.assertRegionMatches(700, 400)
        self.assertEqual(self.ask("move 128 96"), "no input")
        path = os.path.join(self.config, "ravelo", "portal-restore-token")
        self.assertTrue(wait_until(lambda: os.path.exists(path), 5), "no token stored")
        self.driver.stop()
        type(self).driver = self.start_driver()
        self.wait_for_pictures()
        self.assertEqual(self.calls("SelectSources")[-1]["options"].get("restore_data"),
                         ["ravelotest", 1, "monitor-0"])
        # This frontend hands the same token out again for a restored permission.
        self.assertRegex(text(path), r"^\S+\n$")


if __name__ == "__main__":
    reason = missing()
    if reason:
        print("skipped: missing " + reason)
        sys.exit(SKIP)
    result = unittest.main(exit=False, verbosity=2).result
    sys.exit(0 if result.wasSuccessful() else 1)
