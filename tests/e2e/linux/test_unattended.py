"""The native ravelo running unattended: the close box keeps the settings in the settings file,
File > Exit does not; with "Run on Startup" stored it serves at once and waits behind its icon
in a tray host, whose double-click brings the window back; with no tray host it stays
minimised; scripts/run --password serves with no one at the screen; and without a display
the program says so."""
import os
import shutil
import stat
import subprocess
import tempfile
import time

import native
import scenarios
from harness import OPENED, read, wait_until, windows

SAVED = "Pass=s3cret\nStartupRun=1\n"


class UnattendedTest(scenarios.ScriptsRun, scenarios.UnusableStoredPassword, native.NativeTest):
    SCRIPT_ARGS = []
    SCRIPT_TIME = 400

    def setUp(self):
        self.desktop = native.shared_desktop()
        self.config = tempfile.mkdtemp(prefix="ravelo-config-")
        self.addCleanup(shutil.rmtree, self.config, True)
        self.addCleanup(self.desktop.stop_tray)

    def launch(self, **kwargs):
        return super().launch(config=self.config, **kwargs)

    def store(self, text):
        os.makedirs(os.path.join(self.config, "ravelo"), exist_ok=True)
        with open(os.path.join(self.config, "ravelo", "settings"), "w") as f:
            f.write(text)

    def launch_with_stored(self, password):
        self.store("Pass=%s\nStartupRun=1\n" % password)
        return self.launch()

    def type_settings(self, r, password):
        r.type_password(password)
        r.click(r.check)
        r.wait_for_state(lambda s: s["checked"], "checked box")

    def assert_saved(self, path, text):
        self.assertEqual(read(path), text)
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)
        self.assertEqual(os.listdir(os.path.dirname(path)), ["settings"])  # no temporary file left

    def double_click_icon(self, r):
        icon = wait_until(r.tray_icon, 5)  # the host maps the icon a moment after it embedded it
        self.assertIsNotNone(icon, "no icon in the tray")
        r.xdotool("mousemove", "--sync", *map(str, icon))
        r.xdotool("click", "--repeat", "2", "--delay", "80", "1")

    def test_first_run_is_empty_and_exit_saves_nothing(self):
        r = self.launch()
        state = r.state()
        self.assertEqual((state["password_length"], state["checked"]), (0, False))
        self.type_settings(r, "pw")
        r.file_exit()
        self.assertExited(r)
        self.assertEqual(os.listdir(self.config), [])

    def test_without_xdg_config_home_the_settings_go_under_the_home(self):
        home = tempfile.mkdtemp(prefix="ravelo-home-")
        self.addCleanup(shutil.rmtree, home, True)
        r = self.launch(home=home)
        self.type_settings(r, "pw")
        r.close_box()
        self.assertTrue(r.exited())
        self.assertEqual(r.settings_path(), os.path.join(home, ".config", "ravelo", "settings"))
        self.assert_saved(r.settings_path(), "Pass=pw\nStartupRun=1\n")
        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(home, ".config", "ravelo")).st_mode), 0o700)

    def test_close_box_saves_and_the_next_start_serves_from_the_tray(self):
        r = self.launch()
        self.type_settings(r, "s3cret")
        r.close_box()
        self.assertExited(r)
        self.assert_saved(r.settings_path(), SAVED)

        # Started again with no one at it: it serves with the stored password and hides in the tray.
        self.desktop.start_tray()
        r = self.launch()
        self.assertTrue(wait_until(lambda: r.window_state() == "withdrawn" and r.tray_icon(), 10),
                        "not hidden in the tray: %s" % r.window_state())
        self.assertEqual(r.client("connect", "s3cret").stdout.strip(), "accepted")

        # One click does nothing; a double-click brings the window back and takes the icon away.
        r.xdotool("mousemove", "--sync", *map(str, r.tray_icon()))
        r.xdotool("click", "1")
        time.sleep(1)
        self.assertEqual(r.window_state(), "withdrawn")
        self.double_click_icon(r)
        state = r.wait_for_state(lambda s: s["window"] == "normal", "window back from the tray")
        self.assertEqual((state["button"], state["checked"], state["password_length"]), ("Stop Server", True, 6))
        self.assertEqual(r.log_lines(), [OPENED, "Connection accepted from 127.0.0.1.", "Client disconnected."])
        self.assertTrue(wait_until(lambda: r.tray_icon() is None, 5), "the icon stayed")

        # Minimised by hand with the server stopped it goes to the tray too, and comes back with
        # the log scrolled to its last line.
        r.press_start()
        r.wait_for_line("Server closed.")
        r.click(r.log)
        r.xdotool("key", "ctrl+Home")
        self.assertTrue(wait_until(lambda: r.state()["caret"] == 0, 5), r.state())
        r.xdotool("windowminimize", "--sync", r.xid)
        r.wait_for_state(lambda s: s["window"] == "withdrawn", "hiding in the tray")
        self.double_click_icon(r)
        state = r.wait_for_state(lambda s: s["window"] == "normal", "window back from the tray")
        self.assertEqual(state["caret"], state["end"])

        # A tray host that goes away hands the window back rather than leaving it hidden.
        r.xdotool("windowminimize", "--sync", r.xid)
        r.wait_for_state(lambda s: s["window"] == "withdrawn", "hiding in the tray")
        self.desktop.stop_tray()
        r.wait_for_state(lambda s: s["window"] == "normal", "window back when the tray host went")

        r.close_box()
        self.assertTrue(r.exited())
        self.assert_saved(r.settings_path(), SAVED)

    def test_without_a_tray_host_it_stays_minimised_until_one_comes(self):
        self.store("Pass=pw\nStartupRun=1\n")
        r = self.launch()
        r.wait_for_line(OPENED)
        r.wait_for_state(lambda s: s["window"] == "iconic", "minimised window")
        time.sleep(1)
        self.assertEqual(r.window_state(), "iconic")
        self.assertIsNone(r.tray_icon())
        # The loop keeps trying: a tray host that comes later takes the icon.
        self.desktop.start_tray()
        r.wait_for_state(lambda s: s["window"] == "withdrawn", "hiding in the tray that came")
        self.assertIsNotNone(r.tray_icon())
        self.double_click_icon(r)
        r.wait_for_state(lambda s: s["window"] == "normal", "window back from the tray")
        # File > Exit keeps what is stored, whatever the window shows.
        r.click(r.check)
        self.assertFalse(r.state()["checked"])
        r.file_exit()
        self.assertTrue(r.exited())
        self.assertEqual(read(r.settings_path()), "Pass=pw\nStartupRun=1\n")

    def test_stored_settings_it_cannot_take_leave_the_window_as_it_is(self):
        self.store("Pass=abcdefghijklmnop\nStartupRun=2\n")  # 16 characters; only 1 checks the box
        r = self.launch()
        time.sleep(1)
        state = r.state()
        self.assertEqual((state["password_length"], state["checked"], state["button"]), (0, False, "Start Server"))
        self.assertEqual(r.log_lines(), [])

    def script_env(self, workdir):
        env = dict(os.environ, XDG_CONFIG_HOME=self.config, HOME=workdir)
        for name in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            env.pop(name, None)
        return env

    def assert_stored_by_script(self):
        path = os.path.join(self.config, "ravelo", "settings")
        self.assertEqual(read(path), "Pass=pw 1\nStartupRun=1\n")
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o600)

    def leave(self, env):
        """File > Exit."""
        window = windows(env, "--name", "Ravelo Server")
        self.assertTrue(window, "no window on the script's display")
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], env=env, check=True)
        subprocess.run(["xdotool", "key", "alt+f"], env=env, check=True)
        time.sleep(0.5)
        subprocess.run(["xdotool", "key", "x"], env=env, check=True)

    def test_without_a_display_it_exits_with_an_error(self):
        env = dict(os.environ, XDG_CONFIG_HOME=self.config)
        env.pop("DISPLAY", None)
        proc = subprocess.run([native.SERVER], env=env, capture_output=True, text=True, timeout=30)
        self.assertEqual(proc.returncode, 1)
        self.assertIn("ravelo: cannot open the X display (DISPLAY is not set)", proc.stderr)


if __name__ == "__main__":
    native.main()
