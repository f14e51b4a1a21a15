"""The native ravelo: the window is the Windows dialog's, starts and stops the server, clients
are refused or accepted, keep-alives flow, a silent client times out, the log keeps to its 200
lines, a busy port is reported, Alt+/ opens the About box, and closing frees the port."""
import socket
import time
import unittest

import native
from native import Atspi, Ravelo, UdpPeer, port_is_free


class SessionTest(unittest.TestCase):
    def setUp(self):
        self.ravelo = Ravelo(native.shared_desktop())
        self.addCleanup(self.ravelo.kill)
        self.addCleanup(lambda: self.assertEqual(self.ravelo.faults(), []))

    def start(self, password):
        self.ravelo.type_password_and_start(password)
        self.ravelo.wait_for_line("Server opened on port 8888.")

    def test_the_window_has_the_dialogs_controls_and_texts(self):
        r = self.ravelo
        self.assertEqual(r.desktop.xprop("-id", r.xid, "_NET_WM_NAME"), '_NET_WM_NAME(UTF8_STRING) = " Ravelo Server"\n')
        self.assertEqual(r.texts(), ["File", "Exit", "Help", "About ...", "Run on Startup", "Start Server",
                                     "Password:"])
        self.assertTrue(r.has(r.button, Atspi.StateType.IS_DEFAULT))
        r.focus()
        self.assertTrue(native.wait_until(lambda: r.has(r.password, Atspi.StateType.FOCUSED), 5))
        self.assertFalse(r.has(r.log, Atspi.StateType.EDITABLE))
        # The box masks what is typed and takes 15 characters.
        r.type_password("abcdefghijklmnopqrst")
        self.assertEqual(r.password.get_text(0, -1), "\u25cf" * 15)
        # The log takes no typing.
        r.click(r.log)
        r.xdotool("type", "typed")
        time.sleep(0.3)
        self.assertEqual(r.log_text(), "")

    def test_password_keep_alive_goodbye_stop_and_close(self):
        r = self.ravelo
        self.start("s3cret")
        state = r.state()
        self.assertEqual(state["button"], "Stop Server")
        self.assertTrue(state["readonly"])
        # A second later it minimises; with no tray host it stays minimised.
        r.wait_for_state(lambda s: s["window"] == "iconic", "minimised window")

        refused = r.client("connect", "S3cret")  # letter case counts
        self.assertEqual(refused.stdout.strip(), "refused")
        self.assertNotEqual(refused.returncode, 0)
        accepted = r.client("connect", "s3cret")
        self.assertEqual(accepted.stdout.strip(), "accepted", accepted.stderr)

        # A held session gets the server's keep-alive (every 501 passes of about 5 ms).
        peer = UdpPeer()
        self.addCleanup(peer.close)
        peer.send(b"\0s3cret")
        self.assertEqual(peer.receive(5), b"\0\1")
        t0 = time.time()
        self.assertEqual(peer.receive(10), b"\2")
        first = time.time() - t0
        self.assertGreater(first, 2.0)
        self.assertLess(first, 6.0)
        # Someone else's goodbye does not end the session.
        stranger = UdpPeer("127.0.0.2")
        self.addCleanup(stranger.close)
        stranger.send(b"\1")
        time.sleep(0.3)
        peer.send(b"\1")
        lines = r.wait_for_line("Client disconnected.")
        self.assertEqual(lines, [
            "Server opened on port 8888.",
            "Connection rejected from 127.0.0.1.",
            "Connection accepted from 127.0.0.1.",
            "Client disconnected.",
            "Connection accepted from 127.0.0.1.",
            "Client disconnected.",
        ])

        # Back from the task bar, stop with the button; the password box is writable again.
        r.focus()
        r.wait_for_state(lambda s: s["window"] == "normal", "window back")
        r.click(r.button)
        r.wait_for_line("Server closed.")
        state = r.state()
        self.assertEqual(state["button"], "Start Server")
        self.assertFalse(state["readonly"])
        self.assertTrue(port_is_free())

        # Start again and leave through the close box: the server stops and the port is free.
        r.click(r.button)
        r.wait_for_line("Server opened on port 8888.")
        self.assertFalse(port_is_free())
        r.close_box()
        self.assertTrue(r.exited(), "ravelo did not exit after the close box")
        self.assertEqual(r.proc.returncode, 0)
        self.assertTrue(port_is_free())

    def test_silent_client_times_out(self):
        r = self.ravelo
        self.start("")  # an empty box starts with the empty password
        peer = UdpPeer()
        self.addCleanup(peer.close)
        peer.send(b"\0")
        self.assertEqual(peer.receive(5), b"\0\1")
        t0 = time.time()
        keep_alives = 0
        while time.time() - t0 < 40:
            data = peer.receive(1)
            if data == b"\2":
                keep_alives += 1
            if "Client timed out." in r.log_lines():
                break
        elapsed = time.time() - t0
        self.assertIn("Client timed out.", r.log_lines())
        # 3001 passes of at least 5 ms; the log reads make passes a little slower.
        self.assertGreater(elapsed, 14.0)
        self.assertLess(elapsed, 35.0)
        self.assertGreaterEqual(keep_alives, 5)

    def test_the_log_keeps_to_200_lines_as_the_edit_control_does(self):
        r = self.ravelo
        self.start("pw")
        # From a different address each, since ten wrong passwords from one slow it down.
        sources = ["127.0.0.%d" % (2 + i) for i in range(230)]
        for source in sources:
            peer = UdpPeer(source)
            peer.send(b"\0wrong")
            peer.close()
            time.sleep(0.01)
        # The pane as the Windows edit control keeps it: while it counts more than 200 lines
        # (the empty one after the last break included), each new line first cuts 100 characters.
        expected = ""
        for line in ["Server opened on port 8888."] + ["Connection rejected from %s." % s for s in sources]:
            if expected.count("\r\n") + 1 > 200:
                expected = expected[100:]
            expected += line + "\r\n"
        self.assertTrue(native.wait_until(lambda: r.log_text() == expected, 20, 0.3),
                        "the log has %d characters, %d expected" % (len(r.log_text()), len(expected)))
        state = r.state()
        self.assertEqual(state["caret"], state["end"])  # scrolled to the newest line

    def test_busy_port_then_retry(self):
        r = self.ravelo
        blocker = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        blocker.bind(("0.0.0.0", native.PORT))
        r.type_password_and_start("pw")
        r.wait_for_line("bind() error: 98. This probably means port 8888 is already in use.")
        self.assertEqual(r.state()["button"], "Start Server")
        self.assertEqual(r.state()["window"], "normal")
        blocker.close()
        # The failed start gave everything back, so the next one binds.
        r.click(r.button)
        r.wait_for_line("Server opened on port 8888.")
        self.assertEqual(r.client("connect", "pw").stdout.strip(), "accepted")
        r.file_exit()
        self.assertTrue(r.exited())
        self.assertEqual(r.proc.returncode, 0)
        self.assertTrue(port_is_free())

    def test_alt_slash_opens_about(self):
        r = self.ravelo
        r.focus()
        r.xdotool("key", "alt+slash")

        def about():
            dialogs = [d for d in r.find_all(Atspi.Role.DIALOG) if d.get_name() == "About"]
            return dialogs[0] if dialogs and r.has(dialogs[0], Atspi.StateType.SHOWING) else None
        box = native.wait_until(about, 5, 0.2)
        self.assertIsNotNone(box, "About box did not open")
        self.assertCountEqual(r.texts(box), ["Ravelo v0.8a", "by the Ravelo team", "Your desktop, on the small screen.",
                                        "Questions and bugs: see the README", "OK"])
        r.xdotool("key", "Return")  # its default button, OK
        self.assertTrue(native.wait_until(lambda: about() is None, 5, 0.2), "About box did not close")
        # The menu opens it too.
        r.focus()
        r.xdotool("key", "alt+h")
        time.sleep(0.3)
        r.xdotool("key", "a")
        self.assertIsNotNone(native.wait_until(about, 5, 0.2), "Help > About did not open the box")
        r.xdotool("key", "Escape")
        self.assertTrue(native.wait_until(lambda: about() is None, 5, 0.2), "Escape did not close the box")


if __name__ == "__main__":
    native.main()
