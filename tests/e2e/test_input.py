"""ravelo.exe under Wine, driven by ravelo-client: the X pointer lands where the client's
point maps to, and buttons and keys reach a window (the input recorder) in order, with the
right Shift state; what a client left held is let go when it says goodbye."""
import os
import subprocess
import tempfile
import time
import unittest

import harness
from harness import Display, Ravelo

RECORDER = os.path.join(harness.WINDOWS_BUILD, "input_recorder.exe")
PASSWORD = "pw"
WIDTH, HEIGHT = 1024, 768
# The recorder's window: client point (80, 60) of the full view lies inside it.
RECT = (200, 150, 400, 300)


def pixel(normalized, extent):
    """Where an absolute move to `normalized` (0..65535) puts the pointer on an axis."""
    return normalized * extent // 65536


class InputTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = Display("%dx%dx24" % (WIDTH, HEIGHT))

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def setUp(self):
        if not os.path.exists(RECORDER):
            self.skipTest("input_recorder.exe not built")
        self.ravelo = Ravelo(self.display)
        self.addCleanup(self.ravelo.kill)
        self.ravelo.type_password_and_start(PASSWORD)
        self.ravelo.wait_for_line("Server opened on port 8888.")

    def client(self, *args):
        result = self.ravelo.client("--password", PASSWORD, *args)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result

    def pointer(self):
        out = subprocess.run(["xdotool", "getmouselocation"], env=self.ravelo.env, capture_output=True,
                             text=True, check=True).stdout
        fields = dict(kv.split(":") for kv in out.split())
        return int(fields["x"]), int(fields["y"])

    def wait_pointer(self, x, y, timeout=5.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            px, py = self.pointer()
            if abs(px - x) <= 1 and abs(py - y) <= 1:
                return
            time.sleep(0.05)
        self.fail("pointer at %r, expected (%d, %d) within 1 pixel" % (self.pointer(), x, y))

    def recorder(self):
        """Starts the input recorder; returns a function giving the lines it has written."""
        log = os.path.join(self.ravelo.workdir, "recorder.log")
        proc = subprocess.Popen([harness.wine(), RECORDER, log] + [str(v) for v in RECT], env=self.ravelo.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        def stop():
            proc.kill()
            proc.wait()
        self.addCleanup(stop)

        def lines():
            try:
                with open(log) as f:
                    return [line.strip() for line in f if line.strip()]
            except FileNotFoundError:
                return []
        deadline = time.time() + 30
        while "ready" not in lines():
            self.assertLess(time.time(), deadline, "the input recorder did not start")
            time.sleep(0.1)
        return lines

    def wait_lines(self, lines, count, timeout=10.0):
        deadline = time.time() + timeout
        while len(lines()) < count and time.time() < deadline:
            time.sleep(0.1)
        return lines()

    def test_pointer_lands_where_the_client_points(self):
        cases = [
            (("move", "130", "96"), (pixel(33156, WIDTH), pixel(32767, HEIGHT))),
            (("move", "0", "0"), (0, 0)),
            (("move", "255", "255"), (WIDTH - 1, HEIGHT - 1)),
            (("move-region", "2", "2", "128", "96"), (pixel(8191, WIDTH), pixel(8191, HEIGHT))),
            (("move-region", "130", "96", "10", "20"),
             (pixel(33156 + 10 * 65535 // WIDTH, WIDTH), pixel(32767 + 20 * 65535 // HEIGHT, HEIGHT))),
        ]
        for args, (x, y) in cases:
            with self.subTest(args=args):
                self.client(*args)
                self.wait_pointer(x, y)
        # A relative move from the anchor, small enough not to be accelerated.
        self.client("move", "130", "96")
        x0, y0 = (pixel(33156, WIDTH), pixel(32767, HEIGHT))
        self.wait_pointer(x0, y0)
        self.client("anchor", "100", "100")
        self.client("move-rel", "103", "98")
        self.wait_pointer(x0 + 3, y0 - 2)

    def test_buttons_and_keys_arrive_in_order_with_shift(self):
        lines = self.recorder()
        # Client point (80, 60) maps into the recorder's window.
        self.client("move", "80", "60")
        x = pixel((80 - 2) * 65535 // 253, WIDTH) - RECT[0]
        y = pixel((60 - 2) * 65535 // 188, HEIGHT) - RECT[1]
        self.client("click", "left")
        self.client("click", "right")
        self.client("click", "middle")
        self.client("type", "Hi!")
        self.client("key", "enter")
        # ready, six button lines, four characters, twelve key transitions
        got = self.wait_lines(lines, 1 + 6 + 4 + 12)
        buttons = [l for l in got if l.startswith("button")]
        self.assertEqual(len(buttons), 6, got)
        for line, expected in zip(buttons, ["left down", "left up", "right down", "right up", "middle down",
                                            "middle up"]):
            self.assertTrue(line.startswith("button " + expected), (line, expected))
            bx, by = map(int, line.split()[3:5])
            self.assertLessEqual(abs(bx - x), 1, line)
            self.assertLessEqual(abs(by - y), 1, line)
        chars = [int(l.split()[1]) for l in got if l.startswith("char")]
        self.assertEqual(bytes(chars), b"Hi!\r", got)
        keys = [l for l in got if l.startswith("key")]
        # 'H' and '!' are typed with Shift held around their key-down only; 'i' without.
        self.assertEqual(keys, [
            "key down 10 shift=1", "key down 48 shift=1", "key up 10 shift=0", "key up 48 shift=0",
            "key down 49 shift=0", "key up 49 shift=0",
            "key down 10 shift=1", "key down 31 shift=1", "key up 10 shift=0", "key up 31 shift=0",
            "key down 0D shift=0", "key up 0D shift=0",
        ])

    def test_held_button_and_key_are_let_go_on_goodbye(self):
        lines = self.recorder()
        port = "40123"
        r = self.ravelo
        accepted = r.client("connect", PASSWORD, "--stay", "--local-port", port)
        self.assertEqual(accepted.stdout.strip(), "accepted")
        for args in (("move", "80", "60"), ("button", "left", "down"), ("key", "65", "down")):
            self.assertEqual(r.client(*args, "--local-port", port).returncode, 0)
        held = self.wait_lines(lines, 1 + 1 + 4)
        self.assertEqual([l for l in held if not l.startswith("button")][1:],
                         ["key down 10 shift=1", "key down 41 shift=1", "char 65", "key up 10 shift=0"])
        time.sleep(0.5)
        self.assertEqual(len(lines()), len(held), "nothing is let go while the session lasts")
        r.client("goodbye", "--local-port", port)
        r.wait_for_line("Client disconnected.")
        got = self.wait_lines(lines, len(held) + 2)
        released = got[len(held):]
        self.assertEqual(len(released), 2, got)
        self.assertTrue(released[0].startswith("button left up"), released)
        self.assertEqual(released[1], "key up 41 shift=0")


if __name__ == "__main__":
    harness.main()
