"""The native ravelo through the input scenario (scenarios.Input), into a plain X client (xev)."""
import os
import re
import shutil
import signal
import subprocess
import time
import unittest

import native
import scenarios
from harness import OPENED, port_is_free, read, window_info, window_origin, wait_until
from native import Ravelo


class InputTest(scenarios.Input, native.NativeTest):
    BUTTONS = ["ButtonPress 1", "ButtonRelease 1", "ButtonPress 3", "ButtonRelease 3", "ButtonPress 2",
               "ButtonRelease 2"]
    # X reports the state before the event: Shift is down for 'H' and '!' and for nothing else.
    KEYS = ["KeyPress Shift_L shift=0", "KeyPress H shift=1", "KeyRelease Shift_L shift=1", "KeyRelease h shift=0",
            "KeyPress i shift=0", "KeyRelease i shift=0",
            "KeyPress Shift_L shift=0", "KeyPress exclam shift=1", "KeyRelease Shift_L shift=1", "KeyRelease 1 shift=0",
            "KeyPress Return shift=0", "KeyRelease Return shift=0"]
    HELD = ["ButtonPress 1", "KeyPress Shift_L shift=0", "KeyPress A shift=1", "char 65", "KeyRelease Shift_L shift=1"]
    RELEASED = ["ButtonRelease 1", "KeyRelease a shift=0"]

    @classmethod
    def setUpClass(cls):
        if not shutil.which("xev"):
            raise unittest.SkipTest("needs xev (x11-utils)")
        cls.config = native.config_with("Pass=%s\nStartupRun=1\n" % cls.PASSWORD)
        cls.ravelo = Ravelo(native.shared_desktop(), config=cls.config)
        cls.ravelo.wait_for_line(OPENED)

    @classmethod
    def tearDownClass(cls):
        cls.ravelo.kill()
        shutil.rmtree(cls.config, ignore_errors=True)

    def recorder(self):
        """A plain X client's window, with the keyboard focus."""
        log = os.path.join(self.ravelo.workdir, "xev.log")
        with open(log, "w") as out:
            proc = subprocess.Popen(["stdbuf", "-oL", "xev", "-name", "ravelo-xev", "-geometry", "400x300+200+150",
                                     "-event", "keyboard", "-event", "button"],
                                    env=self.ravelo.env, stdout=out, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (proc.kill(), proc.wait()))
        desktop = self.ravelo.desktop
        xid = wait_until(lambda: desktop.windows("--name", "^ravelo-xev$"), 10)
        self.assertTrue(xid, "xev did not open its window")
        self.ravelo.xdotool("windowactivate", "--sync", xid[0])

        def events():
            found = []
            for block in read(log).split("\n\n"):
                m = re.match(r"(KeyPress|KeyRelease|ButtonPress|ButtonRelease) event", block.strip())
                if not m:
                    continue
                state = int(re.search(r"state 0x([0-9a-f]+)", block).group(1), 16)
                if m.group(1).startswith("Key"):
                    keysym = re.search(r"\(keysym 0x[0-9a-f]+, (\w+)\)", block).group(1)
                    found.append("%s %s shift=%d" % (m.group(1), keysym, state & 1))
                    typed = re.search(r"XLookupString gives 1 bytes: \(([0-9a-f]+)\)", block)
                    if m.group(1) == "KeyPress" and typed:
                        found.append("char %d" % int(typed.group(1), 16))
                else:
                    x, y = map(int, re.search(r"\((-?\d+),(-?\d+)\), root", block).groups())
                    found.append(("%s %s" % (m.group(1), re.search(r"button (\d+)", block).group(1)), x, y))
            return found
        return window_origin(window_info(desktop.name, xid[0])), events


class HeldInputTest(native.NativeTest):
    """The X server does not repeat a key the client holds, and a signal that ends the program
    lets go of what the client held, as File > Exit does."""

    def test_a_held_key_arrives_once_and_a_signal_lets_go(self):
        config = native.config_with("Pass=pw\nStartupRun=1\n")
        self.addCleanup(shutil.rmtree, config, True)
        r = self.launch(config=config)
        r.wait_for_line(OPENED)
        self.ravelo = r
        origin, events = InputTest.recorder(self)
        port = ["--local-port", "40124"]
        self.assertEqual(r.client("connect", "pw", "--stay", *port).stdout.strip(), "accepted")
        r.client("move", str((origin[0] + 100) * 253 // 1024 + 3), str((origin[1] + 100) * 188 // 768 + 3), *port)
        r.client("key", "97", "down", *port)
        time.sleep(2)
        r.client("key", "97", "up", *port)
        r.client("button", "left", "down", *port)
        wait_until(lambda: len(events()) >= 3, 5)
        os.kill(r.proc.pid, signal.SIGTERM)
        self.assertExited(r)
        self.assertTrue(port_is_free())
        got = [e[0] if isinstance(e, tuple) else e for e in events()]
        self.assertEqual(got, ["KeyPress a shift=0", "char 97", "KeyRelease a shift=0", "ButtonPress 1",
                               "ButtonRelease 1"])


if __name__ == "__main__":
    native.main()
