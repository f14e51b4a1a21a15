"""ravelo.exe under Wine, running unattended: the close box keeps the settings in the registry,
File > Exit does not; with "Run on Startup" stored it serves at once and waits in Wine's own
tray window, whose icon brings the window back; scripts/run --password serves with no one at
the screen; and without a display to open its window on, the program says so by its exit code."""
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import harness
from harness import Display, Ravelo


def read(path):
    with open(path) as f:
        return f.read()


def restart_wine():
    # Wine's tray window lives in the desktop process of the first program that starts.
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], stderr=subprocess.DEVNULL)


class UnattendedTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        restart_wine()
        cls.display = Display()

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def setUp(self):
        harness.clear_settings()
        self.addCleanup(harness.clear_settings)

    def start(self, keep_settings=False):
        r = Ravelo(self.display, keep_settings)
        self.addCleanup(r.kill)
        return r

    def wait_for(self, r, condition, what, timeout=10.0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            state = r.state()
            if condition(state):
                return state
            time.sleep(0.2)
        self.fail("no %s: the window is %r" % (what, r.state()))

    def type_settings(self, r, password):
        r.type_password(password)
        r.xdotool("key", "Tab", "space")  # the next stop is "Run on Startup"
        self.assertEqual(r.state()["checked"], "1")

    def test_first_run_is_empty_and_exit_saves_nothing(self):
        r = self.start()
        self.assertEqual(r.driver("password").stdout, "")
        self.assertEqual(r.state()["checked"], "0")
        self.type_settings(r, "pw")
        r.driver("command", "105")  # File, Exit
        self.assertTrue(r.exited())
        for key in harness.SETTINGS_KEYS:
            self.assertIsNone(harness.stored_settings(key), key)

    def test_close_box_saves_and_the_next_start_serves_from_the_tray(self):
        r = self.start()
        self.type_settings(r, "s3cret")
        r.driver("close")
        self.assertTrue(r.exited())
        self.assertEqual(harness.stored_settings(),
                         {"Pass": ("REG_SZ", "s3cret"), "StartupRun": ("REG_DWORD", "0x1")})
        self.assertIsNone(harness.stored_settings(harness.SETTINGS_KEYS[1]))

        # Started again with no one at it: it serves with the stored password and hides in the tray.
        r = self.start(keep_settings=True)
        r.wait_for_line("Server opened on port 8888.")
        self.assertEqual(r.client("connect", "s3cret").stdout.strip(), "accepted")
        self.wait_for(r, lambda s: s["visible"] == "0" and s["button"] == "Stop Server", "hiding in the tray")
        icon = r.driver("tray-icon").stdout.split()
        self.assertEqual(len(icon), 2, "no icon in Wine's tray window")

        # One click does nothing; a double-click brings the window back with the log at its end.
        r.driver("caret-home")
        self.assertEqual(r.state()["caret"], "0")
        r.xdotool("mousemove", *icon)
        r.xdotool("click", "1")
        time.sleep(1)
        self.assertEqual(r.state()["visible"], "0")
        r.xdotool("click", "--repeat", "2", "--delay", "80", "1")
        state = self.wait_for(r, lambda s: s["visible"] == "1", "window back from the tray")
        self.assertEqual(state["iconic"], "0")
        self.assertEqual(state["caret"], state["end"])
        self.assertNotEqual(r.driver("tray-icon").returncode, 0, "the icon stayed")

        # Minimised by hand with the server stopped it goes to the tray too; closing from there
        # takes the icon away.
        r.driver("click-start")
        r.wait_for_line("Server closed.")
        r.driver("minimize")
        self.wait_for(r, lambda s: s["visible"] == "0", "hiding in the tray")
        self.assertEqual(r.driver("tray-icon").returncode, 0)
        r.driver("close")
        self.assertTrue(r.exited())
        self.assertNotEqual(r.driver("tray-icon").returncode, 0, "the icon outlived the program")

    def test_scripts_run_with_a_password_serves_with_no_one_at_the_screen(self):
        restart_wine()  # the desktop goes to the script's own display
        self.addCleanup(restart_wine)
        workdir = tempfile.mkdtemp(prefix="ravelo-run-")
        self.addCleanup(shutil.rmtree, workdir, True)
        env = dict(os.environ, RAVELO_WINEPREFIX=os.environ["WINEPREFIX"])
        env.pop("DISPLAY", None)
        log_path = os.path.join(workdir, "run.log")
        with open(log_path, "w") as log:
            run = subprocess.Popen([os.path.join(harness.ROOT, "scripts", "run"), "--wine", "--password", "pw 1"],
                                   cwd=workdir, env=env, stdout=log, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        self.addCleanup(lambda: run.poll() is None and os.killpg(run.pid, signal.SIGTERM))

        picture = os.path.join(workdir, "out.jpg")
        deadline = time.time() + 240  # includes a build when the tree is not up to date
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
        self.assertEqual(harness.stored_settings(),
                         {"Pass": ("REG_SZ", "pw 1"), "StartupRun": ("REG_DWORD", "0x1")})

        # Closed the usual way, the script ends and takes its display down.
        display = re.search(r"started Xvfb on (:\d+)", text).group(1)
        harness.run_wine([os.path.join(harness.WINDOWS_BUILD, "window_driver.exe"), "close"],
                         dict(env, DISPLAY=display))
        self.assertEqual(run.wait(timeout=30), 0)
        time.sleep(0.5)
        self.assertFalse(os.path.exists("/tmp/.X11-unix/X" + display[1:]))

    def test_without_a_display_it_exits_with_an_error(self):
        self.addCleanup(restart_wine)
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        proc = harness.run_wine([os.path.join(harness.WINDOWS_BUILD, "ravelo.exe")], env, timeout=60)
        self.assertNotEqual(proc.returncode, 0)


if __name__ == "__main__":
    harness.main()
