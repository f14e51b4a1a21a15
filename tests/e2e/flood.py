"""The server keeps its client while strangers flood UDP 8888 on loopback at full rate: junk of
every kind (empty, over-long, every type byte) from one address, and wrong-password connects
from 300 addresses in turn (127.0.1.1 onwards), more than the server's table of guessers holds.
The client answers keep-alives, sends its own and fetches pictures throughout; it must not time
out, must keep hearing the server, and must get its pictures. Prints the figures.

The flood lasts RAVELO_FLOOD_SECONDS (default 18, longer than the server's 15 s time-out, so a
client whose keep-alives were lost would be dropped) and at most RAVELO_FLOOD_COUNT datagrams."""
import os
import socket
import statistics
import subprocess
import sys
import time

import harness

FLOOD_SECONDS = float(os.environ.get("RAVELO_FLOOD_SECONDS", "18"))
FLOOD_COUNT = int(os.environ.get("RAVELO_FLOOD_COUNT", "20000000"))

GUESSERS = 300

# The strangers, in their own process so that their sending does not hold up the client's
# timing: junk of every kind from one address, then wrong-password connects from the rotating
# addresses, in turns.
FLOODER = r"""
import socket, sys, time
seconds, count, guessers = float(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
junk = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
junk.bind(("127.0.0.2", 0))
sources = []
for i in range(guessers):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.%d.%d" % (1 + i // 250, 1 + i % 250), 0))
    sources.append(s)
junk_batch = [b"", bytes(1100)] + [bytes([t]) + bytes(range(t % 17)) for t in range(256)]
sent = [0, 0]
end = time.time() + seconds
turn = 0
while sum(sent) < count and time.time() < end:
    for d in junk_batch:
        try:
            junk.sendto(d, ("127.0.0.1", 8888))
        except OSError:
            pass
    sent[0] += len(junk_batch)
    for k in range(64):
        try:
            sources[turn % guessers].sendto(b"\0guess%d" % k, ("127.0.0.1", 8888))
        except OSError:
            pass
        turn += 1
    sent[1] += 64
print(sent[0], sent[1])
"""


def udp_receive_errors():
    """The kernel's count of datagrams dropped for a full receive buffer (this namespace)."""
    with open("/proc/net/snmp") as f:
        rows = [line.split() for line in f if line.startswith("Udp:")]
    return int(rows[1][rows[0].index("RcvbufErrors")])


class Client(harness.UdpPeer):
    """A client that holds its session and fetches pictures, and keeps the figures."""

    def __init__(self):
        super().__init__()
        self.keep_alives = []       # times the server's keep-alives came
        self.sent = 0               # datagrams sent...
        self.answers = 0            # ... and answers to requests received
        self.next_keep_alive = 0.0  # of our own

    def send(self, data):
        super().send(data)
        self.sent += 1

    def pump(self, timeout, want=None):
        """Reads until a datagram `want` accepts or the time-out; keeps the session alive."""
        end = time.time() + timeout
        while True:
            now = time.time()
            if now >= self.next_keep_alive:
                self.send(b"\2")
                self.next_keep_alive = now + 2.0
            if now >= end:
                return None
            self.sock.settimeout(max(0.001, min(end, self.next_keep_alive) - now))
            try:
                data = self.sock.recv(2048)
            except socket.timeout:
                continue
            if data == b"\2":
                self.keep_alives.append(time.time())
                self.send(b"\2")
            else:
                self.answers += 1
                if want and want(data):
                    return data

    def connect(self, password):
        self.send(b"\0" + password.encode())
        return self.pump(5, lambda d: d[:1] == b"\0") == b"\0\1"

    def fetch(self):
        """One full view; (seconds to the ready message, to the last chunk, requests) or None."""
        t0 = time.time()
        ready = None
        for _ in range(10):
            self.send(b"\x16")
            ready = self.pump(1.0, lambda d: len(d) == 2 and d[0] == 22)
            if ready:
                break
        if not ready:
            return None
        t_ready = time.time() - t0
        parts = {}
        requests = 0
        for _ in range(40):
            missing = [i for i in range(ready[1]) if i not in parts]
            if not missing:
                break
            for i in missing:
                self.send(bytes([23, i]))
                requests += 1
            while len(parts) < ready[1]:
                chunk = self.pump(0.3, lambda d: len(d) > 2 and d[0] == 23)
                if chunk is None:
                    break
                parts[chunk[1]] = chunk[2:]
        if len(parts) < ready[1]:
            return None
        picture = b"".join(parts[i] for i in range(ready[1]))
        if not (picture.startswith(b"\xff\xd8") and picture.endswith(b"\xff\xd9")):
            return None
        return t_ready, time.time() - t0, requests, ready[1]


class Flood:
    """Bound to a platform's test base, whose ravelo serves after self.start(password); the class
    gives full_log(), every line the program logged (None where only the window's last lines can
    be read)."""

    def test_client_keeps_its_session_through_a_flood(self):
        r = self.ravelo
        self.start("pw")
        client = Client()
        self.addCleanup(client.close)
        self.assertTrue(client.connect("pw"))
        self.assertIsNotNone(client.fetch(), "no picture before the flood")

        drops_before = udp_receive_errors()
        flooder = subprocess.Popen([sys.executable, "-c", FLOODER, str(FLOOD_SECONDS), str(FLOOD_COUNT),
                                    str(GUESSERS)], stdout=subprocess.PIPE, text=True)
        flood_start = time.time()
        sent_before, answers_before = client.sent, client.answers
        fetches, failures = [], 0
        while time.time() - flood_start < FLOOD_SECONDS:
            result = client.fetch()
            if result is None:
                failures += 1
            else:
                fetches.append(result)
            client.pump(0.2)
        requests = client.sent - sent_before - int(FLOOD_SECONDS / 2) - len(client.keep_alives)
        answered = client.answers - answers_before
        sent = [int(n) for n in flooder.communicate(timeout=60)[0].split()]
        flood_end = time.time()
        flood_seconds = flood_end - flood_start
        dropped = udp_receive_errors() - drops_before
        # The session is still there: the server's keep-alives come again, and so do pictures.
        if not client.keep_alives or client.keep_alives[-1] < flood_end:
            client.pump(8, lambda d: False)
        after_keep_alive = [t - flood_end for t in client.keep_alives if t >= flood_end]
        during = [t for t in client.keep_alives if flood_start <= t < flood_end]
        gaps = [b - a for a, b in zip([flood_start] + during, during + [flood_end])]
        after = client.fetch()

        ready_times = [f[0] * 1000 for f in fetches]
        whole_times = [f[1] * 1000 for f in fetches]
        print("flood: %d junk + %d wrong-password datagrams from %d addresses in %.1f s (%.0f/s); %d dropped by "
              "the kernel (receive buffer full), so the server read about %.0f/s"
              % (sent[0], sent[1], GUESSERS, flood_seconds, sum(sent) / flood_seconds, dropped,
                 (sum(sent) - dropped) / flood_seconds))
        print("client: %d server keep-alives during the flood, worst gap %.1f s; the next came %.1f s after it"
              % (len(during), max(gaps), after_keep_alive[0] if after_keep_alive else float("nan")))
        if fetches:
            print("pictures during the flood: %d whole, %d failed; ready after %.0f ms median (max %.0f), "
                  "last chunk after %.0f ms median (max %.0f); %d chunks each, %d requests in all"
                  % (len(fetches), failures, statistics.median(ready_times), max(ready_times),
                     statistics.median(whole_times), max(whole_times), fetches[0][3], sum(f[2] for f in fetches)))
        print("client requests answered during the flood: about %d of %d" % (answered, requests))

        self.assertGreater(sum(sent), 0)
        self.assertGreaterEqual(len(fetches), 1, "no picture during the flood")
        self.assertGreaterEqual(answered, 3, "the client's requests did not get through")
        self.assertTrue(after_keep_alive, "no keep-alive from the server after the flood")
        self.assertIsNotNone(after, "no picture after the flood")
        lines = self.full_log()
        if lines is None:
            sys.stdout.flush()
            return  # the pane keeps only its last lines, which the flood's refusals fill
        checks = {}
        for line in lines:
            if line.startswith("Connection rejected from "):
                address = line[len("Connection rejected from "):-1]
                checks[address] = checks.get(address, 0) + 1
        limit = 10 + flood_seconds / 5 + 1
        print("checks of wrong passwords: %d in all, from %d addresses, at most %d from one"
              % (sum(checks.values()), len(checks), max(checks.values())))
        print("the server %s the client" % ("timed out" if "Client timed out." in lines else "kept"))
        sys.stdout.flush()
        self.assertNotIn("Client timed out.", lines)
        self.assertEqual(lines.count("Connection accepted from 127.0.0.1."), 1)
        # Ten checks an address, then one per 5 s; those the table cannot hold share one.
        self.assertLessEqual(max(checks.values()), limit)
        self.assertLessEqual(sum(checks.values()), 256 * limit + flood_seconds / 5 + 1)
