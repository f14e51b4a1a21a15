"""The native ravelo sends pictures of the X display: known colour blocks on the root come back
at their scaled places in the full view and unscaled in the region view, black where a region
reaches past the desktop, and both files stay in its directory."""
import os
import shutil
import tempfile
import time
import unittest

import importlib.util

import native
from native import Ravelo, UdpPeer, wait_until

# The Wine test's root pictures, decoder and chunk fetcher (a module of the same name).
_spec = importlib.util.spec_from_file_location(
    "wine_pictures", os.path.join(os.path.dirname(native.HERE), "test_pictures.py"))
wine = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(wine)
BLACK, BLUE, GREEN, GREY, RED, YELLOW = wine.BLACK, wine.BLUE, wine.GREEN, wine.GREY, wine.RED, wine.YELLOW
close_to, decode, fetch, put_blocks_on_root = wine.close_to, wine.decode, wine.fetch, wine.put_blocks_on_root

WIDTH, HEIGHT = 1024, 768


class PicturesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop = native.shared_desktop()
        put_blocks_on_root(desktop, WIDTH, HEIGHT)
        cls.config = tempfile.mkdtemp(prefix="ravelo-config-")
        os.makedirs(os.path.join(cls.config, "ravelo"))
        with open(os.path.join(cls.config, "ravelo", "settings"), "w") as f:
            f.write("Pass=pics\nStartupRun=1\n")
        cls.ravelo = Ravelo(desktop, config=cls.config)
        # Out of the pictures: the window minimised (no tray host), the pointer where no
        # sample is taken.
        assert wait_until(lambda: cls.ravelo.window_state() == "iconic", 10), "the window did not minimise"
        cls.ravelo.xdotool("mousemove", "--sync", str(WIDTH // 2), str(HEIGHT // 2))
        cls.peer = UdpPeer()
        cls.peer.send(b"\0pics")
        assert cls.peer.receive(5) == b"\0\1"

    @classmethod
    def tearDownClass(cls):
        cls.peer.send(b"\1")
        cls.peer.close()
        cls.ravelo.kill()
        shutil.rmtree(cls.config, ignore_errors=True)

    def assertColours(self, rows, points):
        for (x, y), colour in points:
            self.assertTrue(close_to(rows[y][x], colour), "pixel (%d, %d) is %r, not about %r" % (x, y, rows[y][x], colour))

    def test_full_view_is_the_whole_desktop_scaled(self):
        jpeg, t_ready, t_last = fetch(self.peer, [22], 23)
        self.assertIsNotNone(jpeg, "no full view came")
        width, height, rows = decode(jpeg)
        self.assertEqual((width, height), (256, 192))
        self.assertColours(rows, [((32, 24), RED), ((224, 24), GREEN), ((32, 168), BLUE), ((224, 168), YELLOW),
                                  ((128, 24), GREY), ((128, 168), GREY)])
        with open(os.path.join(self.ravelo.workdir, "bufferfull.jpg"), "rb") as f:
            self.assertEqual(f.read(), jpeg)
        print("\nfull view of %dx%d: %d bytes, ready after %.1f ms, last chunk after %.1f ms"
              % (WIDTH, HEIGHT, len(jpeg), t_ready * 1000, t_last * 1000))

    def region(self, p0, p1):
        jpeg, _, _ = fetch(self.peer, [24, p0, p1], 25)
        self.assertIsNotNone(jpeg, "no region view came")
        width, height, rows = decode(jpeg)
        self.assertEqual((width, height), (256, 192))
        return jpeg, rows

    def test_region_views_are_unscaled_and_black_past_the_desktop(self):
        # The overview point (192, 2) picks desktop pixel (w * 190 / 253, 0): inside the green block.
        jpeg, rows = self.region(192, 2)
        self.assertColours(rows, [((10, 10), GREEN), ((128, 96), GREEN), ((240, 180), GREEN)])
        with open(os.path.join(self.ravelo.workdir, "bufferpart.jpg"), "rb") as f:
            self.assertEqual(f.read(), jpeg)
        inside = WIDTH - WIDTH * 238 // 253  # reaching past the right edge
        _, rows = self.region(240, 2)
        self.assertColours(rows, [((inside // 2, 96), GREEN), ((min(255, inside + 20), 96), BLACK)])
        inside = HEIGHT - HEIGHT * 168 // 188  # past the bottom edge
        _, rows = self.region(2, 170)
        self.assertColours(rows, [((128, inside // 2), BLUE), ((128, min(191, inside + 20)), BLACK)])
        _, rows = self.region(255, 255)  # wholly outside: all black, and still a picture
        self.assertColours(rows, [((0, 0), BLACK), ((128, 96), BLACK), ((255, 191), BLACK)])


if __name__ == "__main__":
    native.main()
