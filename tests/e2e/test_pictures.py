"""ravelo.exe under Wine sends pictures of the real desktop: known colour blocks on the X
root come back at their scaled places in the full view and unscaled in the region view,
black where a region reaches past the desktop, and both files stay in its directory."""
import os
import subprocess
import tempfile
import time
import unittest

import harness
from harness import Display, Ravelo, UdpPeer

GREY = (128, 128, 128)
RED = (230, 20, 20)
GREEN = (20, 200, 40)
BLUE = (30, 40, 220)
YELLOW = (240, 220, 30)
BLACK = (0, 0, 0)


def put_blocks_on_root(display, width, height):
    """Colour blocks of a quarter width and height in the corners, grey elsewhere."""
    w, h = width // 4, height // 4
    path = os.path.join(tempfile.mkdtemp(prefix="ravelo-root-"), "root.png")
    draw = []
    for (x, y, colour) in ((0, 0, RED), (width - w, 0, GREEN), (0, height - h, BLUE), (width - w, height - h, YELLOW)):
        draw += ["-fill", "rgb(%d,%d,%d)" % colour, "-draw", "rectangle %d,%d %d,%d" % (x, y, x + w - 1, y + h - 1)]
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "xc:rgb(128,128,128)"] + draw + [path], check=True)
    # In the foreground: display returns once the root is set (run in the background it has
    # been seen to leave captures black).
    subprocess.run(["display", "-display", display.name, "-window", "root", path], timeout=60)  # exits 1 even when it worked


def decode(jpeg):
    """The picture's size and its pixels as rows of RGB tuples (through ImageMagick)."""
    ppm = subprocess.run(["convert", "jpeg:-", "ppm:-"], input=jpeg, capture_output=True, check=True).stdout
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maxval
        while ppm[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not ppm[pos:pos + 1].isspace():
            pos += 1
        fields.append(ppm[start:pos])
    pos += 1
    width, height = int(fields[1]), int(fields[2])
    data = ppm[pos:]
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


class PicturesTest(unittest.TestCase):
    geometry = (1024, 768)

    @classmethod
    def setUpClass(cls):
        # Wine keeps the screen size its server first saw; a new size needs a new server.
        subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], stderr=subprocess.DEVNULL)
        cls.display = Display("%dx%dx24" % cls.geometry)
        put_blocks_on_root(cls.display, *cls.geometry)
        cls.ravelo = Ravelo(cls.display)
        cls.ravelo.type_password_and_start("pics")
        cls.ravelo.wait_for_line("Server opened on port 8888.")
        time.sleep(1.5)  # the window minimises a second after the start
        cls.peer = UdpPeer()
        cls.peer.send(b"\0pics")
        assert cls.peer.receive(5) == b"\0\1"

    @classmethod
    def tearDownClass(cls):
        cls.peer.send(b"\1")
        cls.peer.close()
        cls.ravelo.kill()
        cls.display.close()

    def assertColours(self, rows, points):
        for (x, y), colour in points:
            self.assertTrue(close_to(rows[y][x], colour), "pixel (%d, %d) is %r, not about %r" % (x, y, rows[y][x], colour))

    def test_full_view_is_the_whole_desktop_scaled(self):
        jpeg, t_ready, t_last = fetch(self.peer, [22], 23)
        self.assertIsNotNone(jpeg, "no full view came")
        width, height, rows = decode(jpeg)
        self.assertEqual((width, height), (256, 192))
        self.assertLessEqual(len(jpeg), 30000)
        self.assertColours(rows, [((32, 24), RED), ((224, 24), GREEN), ((32, 168), BLUE), ((224, 168), YELLOW),
                                  ((128, 24), GREY), ((128, 168), GREY)])
        with open(os.path.join(self.ravelo.workdir, "bufferfull.jpg"), "rb") as f:
            self.assertEqual(f.read(), jpeg)
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
        with open(os.path.join(self.ravelo.workdir, "bufferpart.jpg"), "rb") as f:
            self.assertEqual(f.read(), jpeg)
        # Reaching past the right edge: desktop columns up to w, black after.
        x0 = w * 238 // 253
        _, rows = self.region(240, 2)
        inside = w - x0
        self.assertColours(rows, [((inside // 2, 96), GREEN), ((min(255, inside + 20), 96), BLACK)])
        # Past the bottom edge.
        y0 = h * 168 // 188
        _, rows = self.region(2, 170)
        inside = h - y0
        self.assertColours(rows, [((128, inside // 2), BLUE), ((128, min(191, inside + 20)), BLACK)])
        # Wholly outside: all black, and still a picture.
        _, rows = self.region(255, 255)
        self.assertColours(rows, [((0, 0), BLACK), ((128, 96), BLACK), ((255, 191), BLACK)])


class LargeDesktopTest(PicturesTest):
    """The same on a 1920x1080 desktop, scaled by 7.5 and 5.625."""
    geometry = (1920, 1080)


if __name__ == "__main__":
    harness.main()
