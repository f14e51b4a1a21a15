"""The native ravelo driven by ravelo-client moves the X pointer where the client points, and
its buttons and keys reach a plain X client (xev) in order, with Shift held exactly around the
key-down of 'A' and '!'; what a client left held is let go when it says goodbye."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import native
from native import Ravelo, wait_until

WIDTH, HEIGHT = 1024, 768
PASSWORD = "pw"


def pixel(normalized, extent):
    """Where an absolute move to `normalized` (0..65535) puts the pointer on an axis."""
    return normalized * extent // 65536


def normalized(p, span):
    return min(65535, max(0, p - 2) * 65535 // span)


class InputTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("xev"):
            raise unittest.SkipTest("needs xev (x11-utils)")
        cls.desktop = native.shared_desktop()
        cls.config = tempfile.mkdtemp(prefix="ravelo-config-")
        os.makedirs(os.path.join(cls.config, "ravelo"))
        with open(os.path.join(cls.config, "ravelo", "settings"), "w") as f:
            f.write("Pass=%s\nStartupRun=1\n" % PASSWORD)
        cls.ravelo = Ravelo(cls.desktop, config=cls.config)
        cls.ravelo.wait_for_line("Server opened on port 8888.")

    @classmethod
    def tearDownClass(cls):
        cls.ravelo.kill()
        shutil.rmtree(cls.config, ignore_errors=True)

    def client(self, *args):
        result = self.ravelo.client(*args)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result

    def pointer(self):
        out = subprocess.run(["xdotool", "getmouselocation"], env=self.ravelo.env, capture_output=True, text=True,
                             check=True).stdout
        fields = dict(kv.split(":") for kv in out.split())
        return int(fields["x"]), int(fields["y"])

    def wait_pointer(self, x, y):
        if not wait_until(lambda: (lambda p: abs(p[0] - x) <= 1 and abs(p[1] - y) <= 1)(self.pointer()), 5, 0.05):
            self.fail("pointer at %r, expected (%d, %d) within 1 pixel" % (self.pointer(), x, y))

    def xev(self):
        """A plain X client with the keyboard focus; returns (window origin, function giving its events)."""
        log = os.path.join(self.ravelo.workdir, "xev.log")
        with open(log, "w") as out:
            proc = subprocess.Popen(["stdbuf", "-oL", "xev", "-name", "ravelo-xev", "-geometry", "400x300+200+150",
                                     "-event", "keyboard", "-event", "button"],
                                    env=self.ravelo.env, stdout=out, stderr=subprocess.DEVNULL)

        def stop():
            proc.kill()
            proc.wait()
        self.addCleanup(stop)
        xid = wait_until(lambda: self.desktop.windows("--name", "^ravelo-xev$"), 10)
        self.assertTrue(xid, "xev did not open its window")
        self.ravelo.xdotool("windowactivate", "--sync", xid[0])
        info = subprocess.run(["xwininfo", "-display", self.desktop.name, "-id", xid[0]], capture_output=True,
                              text=True).stdout
        field = dict(line.strip().split(":", 1) for line in info.splitlines() if ":" in line)
        origin = int(field["Absolute upper-left X"]), int(field["Absolute upper-left Y"])

        def events():
            with open(log) as f:
                text = f.read()
            found = []
            for block in text.split("\n\n"):
                m = re.match(r"(KeyPress|KeyRelease|ButtonPress|ButtonRelease) event", block.strip())
                if not m:
                    continue
                state = int(re.search(r"state 0x([0-9a-f]+)", block).group(1), 16)
                if m.group(1).startswith("Key"):
                    keysym = re.search(r"\(keysym 0x[0-9a-f]+, (\w+)\)", block).group(1)
                    found.append("%s %s shift=%d" % (m.group(1), keysym, state & 1))
                else:
                    button = re.search(r"button (\d+)", block).group(1)
                    x, y = map(int, re.search(r"\((-?\d+),(-?\d+)\), root", block).groups())
                    found.append(("%s %s" % (m.group(1), button), x, y))
            return found
        return origin, events

    def test_pointer_lands_where_the_client_points(self):
        cases = [
            (("move", "130", "96"), (pixel(33156, WIDTH), pixel(32767, HEIGHT))),
            (("move", "0", "0"), (0, 0)),
            (("move", "255", "255"), (WIDTH - 1, HEIGHT - 1)),
            (("move-region", "2", "2", "128", "96"), (pixel(8191, WIDTH), pixel(8191, HEIGHT))),
        ]
        for args, (x, y) in cases:
            with self.subTest(args=args):
                self.client("--password", PASSWORD, *args)
                self.wait_pointer(x, y)
        self.client("--password", PASSWORD, "move", "130", "96")
        x0, y0 = pixel(33156, WIDTH), pixel(32767, HEIGHT)
        self.wait_pointer(x0, y0)
        self.client("--password", PASSWORD, "anchor", "100", "100")
        self.client("--password", PASSWORD, "move-rel", "103", "98")
        self.wait_pointer(x0 + 3, y0 - 2)

    def test_buttons_and_keys_reach_an_x_client_with_shift(self):
        (ox, oy), events = self.xev()
        # A client point that lands inside xev's window.
        cx, cy = (ox + 100) * 253 // WIDTH + 3, (oy + 100) * 188 // HEIGHT + 3
        x = pixel(normalized(cx, 253), WIDTH) - ox
        y = pixel(normalized(cy, 188), HEIGHT) - oy
        self.client("--password", PASSWORD, "move", str(cx), str(cy))
        for button in ("left", "right", "middle"):
            self.client("--password", PASSWORD, "click", button)
        self.client("--password", PASSWORD, "type", "Hi!")
        self.client("--password", PASSWORD, "key", "enter")
        got = wait_until(lambda: (lambda e: e if len(e) >= 6 + 12 else None)(events()), 10) or events()
        buttons = [e for e in got if isinstance(e, tuple)]
        self.assertEqual([b[0] for b in buttons], ["ButtonPress 1", "ButtonRelease 1", "ButtonPress 3",
                                                   "ButtonRelease 3", "ButtonPress 2", "ButtonRelease 2"], got)
        for _, bx, by in buttons:
            self.assertLessEqual(abs(bx - x), 1, buttons)
            self.assertLessEqual(abs(by - y), 1, buttons)
        keys = [e for e in got if isinstance(e, str)]
        # X reports the state before the event: Shift is down for 'H' and '!' and for nothing else.
        self.assertEqual(keys, [
            "KeyPress Shift_L shift=0", "KeyPress H shift=1", "KeyRelease Shift_L shift=1", "KeyRelease h shift=0",
            "KeyPress i shift=0", "KeyRelease i shift=0",
            "KeyPress Shift_L shift=0", "KeyPress exclam shift=1", "KeyRelease Shift_L shift=1",
            "KeyRelease 1 shift=0",
            "KeyPress Return shift=0", "KeyRelease Return shift=0",
        ])

    def test_held_button_and_key_are_let_go_on_goodbye(self):
        (ox, oy), events = self.xev()
        port = "40123"
        r = self.ravelo
        accepted = r.client("connect", PASSWORD, "--stay", "--local-port", port)
        self.assertEqual(accepted.stdout.strip(), "accepted")
        cx, cy = (ox + 100) * 253 // WIDTH + 3, (oy + 100) * 188 // HEIGHT + 3
        for args in (("move", str(cx), str(cy)), ("button", "left", "down"), ("key", "65", "down")):
            self.client(*args, "--local-port", port)
        held = wait_until(lambda: (lambda e: e if len(e) >= 4 else None)(events()), 10) or events()
        self.assertEqual([e if isinstance(e, str) else e[0] for e in held],
                         ["ButtonPress 1", "KeyPress Shift_L shift=0", "KeyPress A shift=1",
                          "KeyRelease Shift_L shift=1"])
        time.sleep(0.5)
        self.assertEqual(len(events()), len(held), "nothing is let go while the session lasts")
        r.client("goodbye", "--local-port", port)
        r.wait_for_line("Client disconnected.")
        got = wait_until(lambda: (lambda e: e if len(e) >= len(held) + 2 else None)(events()), 10) or events()
        released = [e if isinstance(e, str) else e[0] for e in got[len(held):]]
        self.assertEqual(released, ["ButtonRelease 1", "KeyRelease a shift=0"])


if __name__ == "__main__":
    native.main()
