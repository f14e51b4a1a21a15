"""ravelo.exe under Wine, started and stopped through its window again and again: after every
stop, and after every start that failed because another program held the port, UDP 8888 can
be bound at once. RAVELO_CYCLES cycles (default 10); every fifth is preceded by a start made to
fail."""
import os
import socket
import time

import harness

CYCLES = int(os.environ.get("RAVELO_CYCLES", "10"))
BIND_FAILED = "bind() error: 10048. This probably means port 8888 is already in use."


def port_is_bound(port=harness.PORT):
    """Whether any socket in this network namespace is bound to the UDP port; only looks."""
    with open("/proc/net/udp") as f:
        next(f)
        return any(line.split()[1].endswith(":%04X" % port) for line in f)


def wait_until(condition):
    return harness.wait_until(condition, 10.0, 0.02)


class CyclesTest(harness.WineTest):
    def test_start_stop_cycles_free_the_port(self):
        r = self.ravelo
        r.driver("set-password", "pw")
        started = failed = 0
        t0 = time.time()
        for cycle in range(CYCLES):
            if cycle % 5 == 4:
                holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
                holder.bind(("0.0.0.0", harness.PORT))
                r.press_start()
                failed += 1
                self.assertTrue(wait_until(lambda: r.log_lines().count(BIND_FAILED) == failed),
                                "cycle %d: the start did not fail" % cycle)
                holder.close()
                self.assertTrue(harness.port_is_free(), "cycle %d: port held after a failed start" % cycle)
            r.press_start()
            started += 1
            self.assertTrue(wait_until(port_is_bound), "cycle %d: the server did not open" % cycle)
            r.press_start()  # handled once the start's one-second pause is over
            self.assertTrue(wait_until(lambda: not port_is_bound()), "cycle %d: the port stayed bound" % cycle)
            self.assertTrue(harness.port_is_free(), "cycle %d: port not free after the stop" % cycle)
        elapsed = time.time() - t0

        # The server still works, and the log tells the same story.
        r.press_start()
        self.assertTrue(wait_until(port_is_bound))
        accepted = r.client("connect", "pw")
        self.assertEqual(accepted.stdout.strip(), "accepted", accepted.stderr)
        lines = r.log_lines()
        self.assertEqual(lines.count(harness.OPENED), started + 1)
        self.assertEqual(lines.count("Server closed."), started)
        self.assertEqual(lines.count(BIND_FAILED), failed)
        r.close_box()
        self.assertExited(r)
        self.assertTrue(harness.port_is_free())
        print("cycles: %d starts and stops, %d failed starts, in %.1f s; port free after each" % (started, failed, elapsed))


if __name__ == "__main__":
    harness.main()
