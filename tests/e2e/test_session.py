"""ravelo.exe under Wine: the window starts and stops the server, clients are refused or
accepted, keep-alives flow, a silent client times out, and closing frees the port."""
import time
import unittest

import harness
from harness import Display, Ravelo, UdpPeer


class SessionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = Display()

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def setUp(self):
        self.ravelo = Ravelo(self.display)
        self.addCleanup(self.ravelo.kill)

    def start(self, password):
        self.ravelo.type_password_and_start(password)
        self.ravelo.wait_for_line("Server opened on port 8888.")

    def test_password_keep_alive_goodbye_stop_and_close(self):
        r = self.ravelo
        self.start("s3cret")
        state = r.state()
        self.assertEqual(state["button"], "Stop Server")
        self.assertEqual(state["readonly"], "1")

        refused = r.client("connect", "S3cret")  # letter case counts
        self.assertEqual(refused.stdout.strip(), "refused")
        self.assertNotEqual(refused.returncode, 0)
        accepted = r.client("connect", "s3cret")
        self.assertEqual(accepted.stdout.strip(), "accepted", accepted.stderr)
        self.assertEqual(accepted.returncode, 0)

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

        # Stop with the button; the password box is writable again.
        r.driver("click-start")
        r.wait_for_line("Server closed.")
        state = r.state()
        self.assertEqual(state["button"], "Start Server")
        self.assertEqual(state["readonly"], "0")
        self.assertTrue(harness.port_is_free())

        # Start again and leave through the close box: the server stops and the port is free.
        r.driver("click-start")
        r.wait_for_line("Server opened on port 8888.")
        self.assertFalse(harness.port_is_free())
        r.driver("close")
        self.assertTrue(r.exited(), "ravelo.exe did not exit after the close box")
        self.assertTrue(harness.port_is_free())

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
        # 3001 passes of at least 5 ms; Wine and the log reads make passes a little slower.
        self.assertGreater(elapsed, 14.0)
        self.assertLess(elapsed, 35.0)
        self.assertGreaterEqual(keep_alives, 5)

    def test_busy_port_then_retry(self):
        r = self.ravelo
        import socket
        blocker = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        blocker.bind(("0.0.0.0", harness.PORT))
        r.type_password_and_start("pw")
        r.wait_for_line("bind() error: 10048. This probably means port 8888 is already in use.")
        self.assertEqual(r.state()["button"], "Start Server")
        blocker.close()
        # The failed start gave everything back, so the next one binds.
        r.driver("click-start")
        r.wait_for_line("Server opened on port 8888.")
        accepted = r.client("connect", "pw")
        self.assertEqual(accepted.stdout.strip(), "accepted")
        r.driver("command", "105")  # File, Exit
        self.assertTrue(r.exited())
        self.assertTrue(harness.port_is_free())

    def test_alt_slash_opens_about(self):
        r = self.ravelo
        r.focus()
        r.xdotool("key", "alt+slash")
        self.assertEqual(r.driver("find-about", "5").returncode, 0, "About box did not open")
        r.driver("close-about")
        time.sleep(0.5)
        self.assertNotEqual(r.driver("find-about", "0.5").returncode, 0, "About box did not close")


if __name__ == "__main__":
    harness.main()
