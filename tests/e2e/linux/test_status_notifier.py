"""The native ravelo's StatusNotifierItem tray, with a stand-in watcher on the desktop's session
bus: with "Run on Startup" stored the window hides behind the item, which a host reads with the
program's tip and icons; activating the item brings the window back; the watcher going away
brings it back too; an X11 tray host present at the same time is passed over while the watcher
is there and used once it is gone. What a real panel draws of the item only a KDE or GNOME
(AppIndicator extension) session shows."""
import native  # first: it moves over to the system's Python, which has python3-gi
import sni_watcher
from harness import OPENED, wait_until


class StatusNotifierTest(native.NativeTest):
    def setUp(self):
        self.desktop = native.shared_desktop()
        self.addCleanup(self.desktop.stop_tray)

    def watcher(self, **kwargs):
        w = sni_watcher.Watcher(self.desktop.env, **kwargs)
        self.addCleanup(w.stop)
        return w

    def launch_serving(self):
        return self.launch(config=native.config_with("Pass=pw\nStartupRun=1\n"))

    def assert_registered(self, watcher, item, times):
        self.assertTrue(watcher.wait_for(lambda lines: lines.count("registered " + item) == times, 10),
                        watcher.lines())

    def assert_window(self, r, state, what):
        """The window manager's state of the window: read from the X server, since a window hidden
        before it was first read has no accessible controls until it comes back."""
        self.assertTrue(wait_until(lambda: r.window_state() == state, 10), "no %s: %s" % (what, r.window_state()))

    def test_the_item_stands_for_the_window_while_a_watcher_is_there(self):
        self.desktop.start_tray()
        watcher = self.watcher()
        r = self.launch_serving()
        item = "%s-%d-1" % (sni_watcher.ITEM, r.proc.pid)
        self.assert_registered(watcher, item, 1)
        self.assert_window(r, "withdrawn", "window hidden behind the item")
        self.assertIsNone(r.tray_icon(), "an icon in the X11 tray as well")

        props = watcher.item_properties(item)
        self.assertEqual({k: props[k] for k in ("Category", "Id", "Title", "Status", "ItemIsMenu", "Menu")},
                         {"Category": "ApplicationStatus", "Id": "ravelo", "Title": "Ravelo", "Status": "Active",
                          "ItemIsMenu": False, "Menu": "/NO_DBUSMENU"})
        self.assertEqual(props["ToolTip"][2], "Ravelo")
        # The program's two icons, four bytes a pixel (their order is the unit tests' to check).
        self.assertEqual([(w, h, len(data)) for w, h, data in props["IconPixmap"]], [(16, 16, 1024), (32, 32, 4096)])
        self.assertEqual(r.client("connect", "pw").stdout.strip(), "accepted")

        # A click on the item brings the window back and withdraws the item.
        watcher.activate(item)
        r.wait_for_state(lambda s: s["window"] == "normal", "window back on activation")
        self.assertEqual(r.log_lines(), [OPENED, "Connection accepted from 127.0.0.1.", "Client disconnected."])
        self.assertTrue(watcher.wait_for(lambda lines: lines[-1] == "unregistered " + item, 10), watcher.lines())

        # Minimised again it registers anew; the watcher going away hands the window back.
        r.xdotool("windowminimize", "--sync", r.xid)
        self.assert_registered(watcher, item, 2)
        self.assert_window(r, "withdrawn", "window hidden behind the item again")
        watcher.stop()
        r.wait_for_state(lambda s: s["window"] == "normal", "window back when the watcher went")

        # With no watcher left, the X11 tray host takes the icon.
        r.xdotool("windowminimize", "--sync", r.xid)
        self.assert_window(r, "withdrawn", "window hidden in the X11 tray")
        self.assertIsNotNone(r.tray_icon())
        r.proc.terminate()
        self.assertExited(r)

    def test_a_watcher_without_a_host_leaves_the_window_minimised_until_one_comes(self):
        watcher = self.watcher(host=False)
        r = self.launch_serving()
        item = "%s-%d-1" % (sni_watcher.ITEM, r.proc.pid)
        self.assert_registered(watcher, item, 1)
        self.assert_window(r, "iconic", "minimised window")
        self.assertFalse(wait_until(lambda: r.window_state() != "iconic", 1), "hidden with no host to bring it back")
        watcher.announce_host()
        self.assert_window(r, "withdrawn", "window hidden once a host came")
        watcher.activate(item)
        r.wait_for_state(lambda s: s["window"] == "normal", "window back on activation")
        r.proc.terminate()
        self.assertExited(r)


if __name__ == "__main__":
    native.main()
