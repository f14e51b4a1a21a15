"""What ravelo.exe under Wine and the native ravelo must both do, written once. A test class
takes one of these with its platform's base (harness.WineTest or a class on native.NativeTest),
gives what the scenario asks of it, and adds the checks only its platform has."""
import os
import re
import shutil
import signal
import socket
import stat
import subprocess
import tempfile
import time

import harness
from harness import OPENED, UdpPeer, port_is_free, pointer, read, wait_for


class Session:
    """The window starts and stops the server, clients are refused or accepted, keep-alives
    flow, a silent client times out, a busy port is reported, and closing frees the port."""

    def after_start(self, r):
        """Checks what the window does by itself once the server runs."""

    def window_back(self, r):
        """Brings the window back where its button can be pressed."""

    def peer(self, address="127.0.0.1"):
        peer = UdpPeer(address)
        self.addCleanup(peer.close)
        return peer

    def test_password_keep_alive_goodbye_stop_and_close(self):
        r = self.ravelo
        self.start("s3cret")
        state = r.state()
        self.assertEqual((state["button"], state["readonly"]), ("Stop Server", True))
        self.after_start(r)

        refused = r.client("connect", "S3cret")  # letter case counts
        self.assertEqual(refused.stdout.strip(), "refused")
        self.assertNotEqual(refused.returncode, 0)
        accepted = r.client("connect", "s3cret")
        self.assertEqual((accepted.stdout.strip(), accepted.returncode), ("accepted", 0), accepted.stderr)

        # A held session gets the server's keep-alive (every 501 passes of about 5 ms).
        peer = self.peer()
        peer.send(b"\0s3cret")
        self.assertEqual(peer.receive(5), b"\0\1")
        t0 = time.time()
        self.assertEqual(peer.receive(10), b"\2")
        first = time.time() - t0
        self.assertTrue(2.0 < first < 6.0, first)
        # Someone else's goodbye does not end the session.
        self.peer("127.0.0.2").send(b"\1")
        time.sleep(0.3)
        peer.send(b"\1")
        self.assertEqual(r.wait_for_line("Client disconnected."), [
            OPENED,
            "Connection rejected from 127.0.0.1.",
            "Connection accepted from 127.0.0.1.",
            "Client disconnected.",
            "Connection accepted from 127.0.0.1.",
            "Client disconnected.",
        ])

        # Stop with the button; the password box is writable again.
        self.window_back(r)
        r.press_start()
        r.wait_for_line("Server closed.")
        state = r.state()
        self.assertEqual((state["button"], state["readonly"]), ("Start Server", False))
        self.assertTrue(port_is_free())

        # Start again and leave through the close box: the server stops and the port is free.
        r.press_start()
        r.wait_for_line(OPENED)
        self.assertFalse(port_is_free())
        r.close_box()
        self.assertExited(r, "the program did not exit after the close box")
        self.assertTrue(port_is_free())

    def test_silent_client_times_out(self):
        r = self.ravelo
        self.start("")  # an empty box starts with the empty password
        peer = self.peer()
        peer.send(b"\0")
        self.assertEqual(peer.receive(5), b"\0\1")
        t0 = time.time()
        keep_alives = 0
        while time.time() - t0 < 40:
            if peer.receive(1) == b"\2":
                keep_alives += 1
            if "Client timed out." in r.log_lines():
                break
        elapsed = time.time() - t0
        self.assertIn("Client timed out.", r.log_lines())
        # 3001 passes of at least 5 ms; Wine and the log reads make passes a little slower.
        self.assertTrue(14.0 < elapsed < 35.0, elapsed)
        self.assertGreaterEqual(keep_alives, 5)

    def test_busy_port_then_retry(self):
        r = self.ravelo
        blocker = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        blocker.bind(("0.0.0.0", harness.PORT))
        r.type_password_and_start("pw")
        r.wait_for_line("bind() error: %d. This probably means port 8888 is already in use." % r.BIND_ERROR)
        state = r.state()
        self.assertEqual((state["button"], state["window"]), ("Start Server", "normal"))
        blocker.close()
        # The failed start gave everything back, so the next one binds.
        r.press_start()
        r.wait_for_line(OPENED)
        self.assertEqual(r.client("connect", "pw").stdout.strip(), "accepted")
        r.file_exit()
        self.assertExited(r)
        self.assertTrue(port_is_free())


class Loop:
    """The loop sleeps until there is work: serving with no client the program does not wake,
    and with a quiet client about once per keep-alive. With the File menu's "Fast answers" a
    full view comes whole faster than the paced rhythm of 5 ms a datagram would allow. The class
    gives choose_fast_answers(r) and wake_counter(r), what counts the program's wake-ups, with
    WAKE_UNIT naming it and IDLE_LIMIT, QUIET_LIMIT its most in 5 s."""

    def wake_ups(self, r, seconds):
        before = self.wake_counter(r)
        time.sleep(seconds)
        return self.wake_counter(r) - before

    def test_an_idle_server_does_not_wake(self):
        r = self.ravelo
        self.start("pw")
        time.sleep(1.5)  # the window minimises a second after the start
        self.assertLessEqual(self.wake_ups(r, 5), self.IDLE_LIMIT, "%s with no client" % self.WAKE_UNIT)
        quiet = subprocess.Popen([harness.CLIENT, "session", "pw", "8"], stdout=subprocess.DEVNULL)
        self.addCleanup(quiet.wait)
        time.sleep(1)
        self.assertLessEqual(self.wake_ups(r, 5), self.QUIET_LIMIT, "%s with a quiet client" % self.WAKE_UNIT)

    def test_fast_answers_beat_the_paced_rhythm(self):
        r = self.ravelo
        self.start("pw")
        self.choose_fast_answers(r)
        out = r.client("--password", "pw", "bench", "full", "--count", "10").stdout
        found = re.search(r"full view: 10 pictures, 0 failed; median (\d+) chunks.*pictures per second:\s+([\d.]+)",
                          out, re.S)
        self.assertIsNotNone(found, out)
        chunks, per_second = int(found.group(1)), float(found.group(2))
        paced = 1000.0 / ((chunks + 1) * 5)  # each answer at least 5 ms after the one before
        self.assertGreater(per_second, paced, out)


GREY = (128, 128, 128)
RED = (230, 20, 20)
GREEN = (20, 200, 40)
BLUE = (30, 40, 220)
YELLOW = (240, 220, 30)
BLACK = (0, 0, 0)


def show_on_root(display, width, height, draw, timeout=60):
    """Sets the X root to the picture ImageMagick's `convert` draws with the arguments `draw`."""
    path = os.path.join(tempfile.mkdtemp(prefix="ravelo-root-"), "root.png")
    subprocess.run(["convert", "-size", "%dx%d" % (width, height)] + draw + [path], check=True)
    # In the foreground: display returns once the root is set (run in the background it has
    # been seen to leave captures black).
    subprocess.run(["display", "-display", display, "-window", "root", path], timeout=timeout)  # exits 1 even when it worked


def put_blocks_on_root(display, width, height):
    """Colour blocks of a quarter width and height in the corners, grey elsewhere."""
    w, h = width // 4, height // 4
    draw = ["xc:rgb(128,128,128)"]
    for (x, y, colour) in ((0, 0, RED), (width - w, 0, GREEN), (0, height - h, BLUE), (width - w, height - h, YELLOW)):
        draw += ["-fill", "rgb(%d,%d,%d)" % colour, "-draw", "rectangle %d,%d %d,%d" % (x, y, x + w - 1, y + h - 1)]
    show_on_root(display, width, height, draw)


def decode(jpeg):
    """The picture's size and its pixels as rows of RGB tuples (through ImageMagick)."""
    ppm = subprocess.run(["convert", "jpeg:-", "ppm:-"], input=jpeg, capture_output=True, check=True).stdout
    header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+\d+\s", ppm)  # magic, width, height, maxval
    width, height, data = int(header.group(1)), int(header.group(2)), ppm[header.end():]
    rows = [[tuple(data[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)] for y in range(height)]
    return width, height, rows


def fetch(peer, request, chunk_type):
    """Asks for a view and every chunk; returns (jpeg, seconds to ready, seconds to last chunk)."""
    t0 = time.time()
    peer.send(request)
    ready = None
    while ready is None:
        data = peer.receive(10)
        if data is None:
            return None, None, None
        if data[0] == request[0] and len(data) == 2:
            ready = data[1]
    t_ready = time.time() - t0
    chunks = {}
    for _ in range(5):
        for i in range(ready):
            if i not in chunks:
                peer.send([chunk_type, i])
                data = peer.receive(2)
                while data is not None and not (data[0] == chunk_type and data[1] == i):
                    data = peer.receive(2)
                if data is not None:
                    chunks[i] = data[2:]
        if len(chunks) == ready:
            break
    t_last = time.time() - t0
    return b"".join(chunks[i] for i in range(ready)), t_ready, t_last


def close_to(actual, expected, tolerance=40):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


class Pictures:
    """Known colour blocks on the X root come back at their scaled places in the full view and
    unscaled in the region view, black where a region reaches past the desktop, and both files
    stay in the program's directory. The class's setUpClass shows the blocks and starts `ravelo`
    serving with the password "pics", its window out of the picture, before this one's."""

    @classmethod
    def setUpClass(cls):
        cls.peer = UdpPeer()
        cls.peer.send(b"\0pics")
        assert cls.peer.receive(5) == b"\0\1"

    @classmethod
    def tearDownClass(cls):
        cls.peer.send(b"\1")
        cls.peer.close()
        cls.ravelo.kill()

    def assertColours(self, rows, points):
        for (x, y), colour in points:
            self.assertTrue(close_to(rows[y][x], colour), "pixel (%d, %d) is %r, not about %r" % (x, y, rows[y][x], colour))

    def assertKept(self, name, jpeg):
        with open(os.path.join(self.ravelo.picture_dir, name), "rb") as f:
            self.assertEqual(f.read(), jpeg)

    # What someone may put in place of a picture file, per view: "pipe" or "link" (under Wine
    # a link is the file it points to, as far as the program can tell).
    PLANTS = (("bufferpart.jpg", "pipe"),)

    def test_a_pipe_or_link_in_place_of_a_picture_gets_no_answer(self):
        for name, kind in self.PLANTS:
            with self.subTest(name=name, kind=kind):
                request, chunk = ([22], 23) if name == "bufferfull.jpg" else ([24, 100, 100], 25)
                path = os.path.join(self.ravelo.picture_dir, name)
                if os.path.lexists(path):
                    os.remove(path)
                target = os.path.join(tempfile.mkdtemp(prefix="ravelo-target-"), "keep.txt")
                with open(target, "w") as f:
                    f.write("keep")
                os.symlink(target, path) if kind == "link" else os.mkfifo(path)
                self.peer.send(request)
                ready = wait_for(lambda: self.peer.receive(0.2), lambda d: d is not None and d[0] == request[0], 2)
                self.assertIsNone(ready, "a picture was announced")
                self.ravelo.wait_for_line("%s is not a regular file; the picture was not sent." % name)
                self.assertEqual(read(target), "keep")
                self.assertTrue(os.path.islink(path) if kind == "link" else stat.S_ISFIFO(os.lstat(path).st_mode))
                os.remove(path)
                jpeg, _, _ = fetch(self.peer, request, chunk)
                self.assertIsNotNone(jpeg, "no picture once the name was free again")
                self.assertKept(name, jpeg)

    def test_full_view_is_the_whole_desktop_scaled(self):
        jpeg, t_ready, t_last = fetch(self.peer, [22], 23)
        self.assertIsNotNone(jpeg, "no full view came")
        width, height, rows = decode(jpeg)
        self.assertEqual((width, height), (256, 192))
        self.assertLessEqual(len(jpeg), 30000)
        self.assertColours(rows, [((32, 24), RED), ((224, 24), GREEN), ((32, 168), BLUE), ((224, 168), YELLOW),
                                  ((128, 24), GREY), ((128, 168), GREY)])
        self.assertKept("bufferfull.jpg", jpeg)
        print("\nfull view of %dx%d: %d bytes, ready after %.1f ms, last chunk after %.1f ms"
              % (self.geometry + (len(jpeg), t_ready * 1000, t_last * 1000)))

    def region(self, p0, p1):
        jpeg, _, _ = fetch(self.peer, [24, p0, p1], 25)
        self.assertIsNotNone(jpeg, "no region view came")
        width, height, rows = decode(jpeg)
        self.assertEqual((width, height), (256, 192))
        return jpeg, rows

    def test_region_views_are_unscaled_and_black_past_the_desktop(self):
        w, h = self.geometry
        # The overview point (192, 2) picks desktop pixel (w * 190 / 253, 0): inside the green block.
        jpeg, rows = self.region(192, 2)
        self.assertColours(rows, [((10, 10), GREEN), ((128, 96), GREEN), ((240, 180), GREEN)])
        self.assertKept("bufferpart.jpg", jpeg)
        inside = w - w * 238 // 253  # reaching past the right edge: desktop columns up to w, black after
        _, rows = self.region(240, 2)
        self.assertColours(rows, [((inside // 2, 96), GREEN), ((min(255, inside + 20), 96), BLACK)])
        inside = h - h * 168 // 188  # past the bottom edge
        _, rows = self.region(2, 170)
        self.assertColours(rows, [((128, inside // 2), BLUE), ((128, min(191, inside + 20)), BLACK)])
        _, rows = self.region(255, 255)  # wholly outside: all black, and still a picture
        self.assertColours(rows, [((0, 0), BLACK), ((128, 96), BLACK), ((255, 191), BLACK)])


def pixel(normalized, extent):
    """Where an absolute move to `normalized` (0..65535) puts the pointer on an axis."""
    return normalized * extent // 65536


def normalized(p, span):
    """The absolute position (0..65535) of client point `p` on an axis the client sees `span` wide."""
    return min(65535, max(0, p - 2) * 65535 // span)


def names(events):
    return [e[0] if isinstance(e, tuple) else e for e in events]


class Input:
    """Driven by ravelo-client, the server puts the X pointer where the client's point maps to,
    and its buttons and keys reach a window in order, with the right Shift state; what a client
    left held is let go when it says goodbye. `ravelo` serves with PASSWORD; the class gives
    `recorder()`, a window that takes the keyboard focus, as (its origin, a function giving what
    it got so far: "char N" for each character and its own names for keys, (name, x, y) for
    buttons), and what that window gets: BUTTONS, KEYS, HELD and RELEASED."""
    PASSWORD = "pw"
    CHARS = b"Hi!\r"

    def client(self, *args):
        result = self.ravelo.client(*args)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return result

    def wait_pointer(self, x, y):
        near = lambda p: abs(p[0] - x) <= 1 and abs(p[1] - y) <= 1  # noqa: E731
        if not wait_for(lambda: pointer(self.ravelo.env), near, 5, 0.05):
            self.fail("pointer at %r, expected (%d, %d) within 1 pixel" % (pointer(self.ravelo.env), x, y))

    def wait_events(self, events, count):
        return wait_for(events, lambda got: len(got) >= count, 10) or events()

    def point_into(self, origin):
        """A client point inside the window at `origin`, and where in that window it lands."""
        w, h = self.geometry
        cx, cy = (origin[0] + 100) * 253 // w + 3, (origin[1] + 100) * 188 // h + 3
        return (str(cx), str(cy)), (pixel(normalized(cx, 253), w) - origin[0], pixel(normalized(cy, 188), h) - origin[1])

    def test_pointer_lands_where_the_client_points(self):
        w, h = self.geometry
        x0, y0 = pixel(33156, w), pixel(32767, h)
        for args, (x, y) in [
            (("move", "130", "96"), (x0, y0)),
            (("move", "0", "0"), (0, 0)),
            (("move", "255", "255"), (w - 1, h - 1)),
            (("move-region", "2", "2", "128", "96"), (pixel(8191, w), pixel(8191, h))),
            (("move-region", "130", "96", "10", "20"), (pixel(33156 + 10 * 65535 // w, w), pixel(32767 + 20 * 65535 // h, h))),
            (("move", "130", "96"), (x0, y0)),  # where the relative move below starts
        ]:
            with self.subTest(args=args):
                self.client("--password", self.PASSWORD, *args)
                self.wait_pointer(x, y)
        # A relative move from the anchor, small enough not to be accelerated.
        self.client("--password", self.PASSWORD, "anchor", "100", "100")
        self.client("--password", self.PASSWORD, "move-rel", "103", "98")
        self.wait_pointer(x0 + 3, y0 - 2)

    def test_buttons_and_keys_arrive_in_order_with_shift(self):
        origin, events = self.recorder()
        point, (x, y) = self.point_into(origin)
        for args in [("move",) + point, ("click", "left"), ("click", "right"), ("click", "middle"), ("type", "Hi!"),
                     ("key", "enter")]:
            self.client("--password", self.PASSWORD, *args)
        got = self.wait_events(events, len(self.BUTTONS) + len(self.KEYS) + len(self.CHARS))
        buttons = [e for e in got if isinstance(e, tuple)]
        self.assertEqual(names(buttons), self.BUTTONS, got)
        for _, bx, by in buttons:
            self.assertLessEqual(abs(bx - x), 1, buttons)
            self.assertLessEqual(abs(by - y), 1, buttons)
        chars = [e for e in got if isinstance(e, str) and e.startswith("char ")]
        self.assertEqual(bytes(int(c.split()[1]) for c in chars), self.CHARS, got)
        self.assertEqual([e for e in got if isinstance(e, str) and e not in chars], self.KEYS)

    def test_held_button_and_key_are_let_go_on_goodbye(self):
        origin, events = self.recorder()
        r = self.ravelo
        port = "40123"
        accepted = r.client("connect", self.PASSWORD, "--stay", "--local-port", port)
        self.assertEqual(accepted.stdout.strip(), "accepted")
        point, _ = self.point_into(origin)
        for args in (("move",) + point, ("button", "left", "down"), ("key", "65", "down")):
            self.client(*args, "--local-port", port)
        held = self.wait_events(events, len(self.HELD))
        self.assertEqual(names(held), self.HELD)
        time.sleep(0.5)
        self.assertEqual(len(events()), len(held), "nothing is let go while the session lasts")
        r.client("goodbye", "--local-port", port)
        r.wait_for_line("Client disconnected.")
        got = self.wait_events(events, len(held) + 2)
        self.assertEqual(names(got[len(held):]), self.RELEASED, got)


class UnusableStoredPassword:
    """A stored password the program cannot use (16 characters) starts no server, not even an
    open one: the log says so, Run on Startup is off, and the port stays free. The class gives
    launch_with_stored(password), a program started with that password and Run on Startup stored."""
    NOT_STARTED = "The stored password could not be used; the server was not started and Run on Startup is off."

    def test_a_stored_password_it_cannot_use_starts_no_server(self):
        r = self.launch_with_stored("abcdefghijklmnop")
        r.wait_for_line(self.NOT_STARTED)
        time.sleep(1)
        state = r.state()
        self.assertEqual((state["button"], bool(state["checked"]), state["window"]), ("Start Server", False, "normal"))
        self.assertTrue(port_is_free())


class ScriptsRun:
    """scripts/run --password serves with no one at the screen, stores what it was given, and
    ends when the program is left, taking its display down. The class gives SCRIPT_ARGS,
    SCRIPT_TIME (seconds, a build included), script_env(workdir), assert_stored_by_script()
    and leave(env), which leaves the program on the script's display."""

    def test_scripts_run_with_a_password_serves_with_no_one_at_the_screen(self):
        workdir = tempfile.mkdtemp(prefix="ravelo-run-")
        self.addCleanup(shutil.rmtree, workdir, True)
        env = self.script_env(workdir)
        log_path = os.path.join(workdir, "run.log")
        with open(log_path, "w") as log:
            run = subprocess.Popen([os.path.join(harness.ROOT, "scripts", "run")] + self.SCRIPT_ARGS
                                   + ["--password", "pw 1"], cwd=workdir, env=env, stdout=log,
                                   stderr=subprocess.STDOUT, start_new_session=True)
        self.addCleanup(lambda: run.poll() is None and os.killpg(run.pid, signal.SIGTERM))

        picture = os.path.join(workdir, "out.jpg")
        deadline = time.time() + self.SCRIPT_TIME
        fetched = None
        while time.time() < deadline and run.poll() is None:
            if "reach it with" in read(log_path):
                fetched = subprocess.run([harness.CLIENT, "--password", "pw 1", "view", "full", picture],
                                         capture_output=True, timeout=30)
                if fetched.returncode == 0:
                    break
            time.sleep(1)
        text = read(log_path)
        self.assertIsNotNone(fetched, text)
        self.assertEqual(fetched.returncode, 0, fetched.stderr)
        self.assertIn("ravelo: reach it with: ravelo-client --password pw\\ 1 view full out.jpg", text)
        with open(picture, "rb") as f:
            self.assertEqual(f.read(2), b"\xff\xd8")
        self.assert_stored_by_script()

        display = re.search(r"started Xvfb on (:\d+)", text).group(1)
        self.leave(dict(env, DISPLAY=display))
        self.assertEqual(run.wait(timeout=30), 0, read(log_path))
        time.sleep(0.5)
        self.assertFalse(os.path.exists("/tmp/.X11-unix/X" + display[1:]))
        self.assertNotIn("Sanitizer", read(log_path))
