"""ravelo.exe under Wine, running unattended: the close box keeps the settings in the registry,
File > Exit does not; with "Run on Startup" stored it serves at once and waits in Wine's own
tray window, whose icon brings the window back; scripts/run --password serves with no one at
the screen; and without a display to open its window on, the program says so by its exit code."""
import os
import time

import harness
import scenarios
from harness import Ravelo, restart_wine


class UnattendedTest(scenarios.ScriptsRun, scenarios.UnusableStoredPassword, harness.WineTest):
    SCRIPT_ARGS = ["--wine"]
    SCRIPT_TIME = 240

    @classmethod
    def setUpClass(cls):
        restart_wine()  # for a tray window of its own
        super().setUpClass()

    def setUp(self):
        harness.clear_settings()
        self.addCleanup(harness.clear_settings)

    def launch(self, keep_settings=False):
        r = Ravelo(self.display, keep_settings)
        self.addCleanup(r.kill)
        return r

    def launch_with_stored(self, password):
        for args in (["/v", "Pass", "/t", "REG_SZ", "/d", password], ["/v", "StartupRun", "/t", "REG_DWORD", "/d", "1"]):
            harness.run_wine(["reg", "add", harness.SETTINGS_KEYS[0]] + args + ["/f"])
        return self.launch(keep_settings=True)

    def type_settings(self, r, password):
        r.type_password(password)
        r.xdotool("key", "Tab", "space")  # the next stop is "Run on Startup"
        self.assertEqual(r.state()["checked"], 1)

    def test_first_run_is_empty_and_exit_saves_nothing(self):
        r = self.launch()
        self.assertEqual(r.driver("password").stdout, "")
        self.assertEqual(r.state()["checked"], 0)
        self.type_settings(r, "pw")
        r.file_exit()
        self.assertExited(r)
        for key in harness.SETTINGS_KEYS:
            self.assertIsNone(harness.stored_settings(key), key)

    def test_close_box_saves_and_the_next_start_serves_from_the_tray(self):
        r = self.launch()
        self.type_settings(r, "s3cret")
        r.close_box()
        self.assertExited(r)
        self.assertEqual(harness.stored_settings(), {"Pass": ("REG_SZ", "s3cret"), "StartupRun": ("REG_DWORD", "0x1")})
        self.assertIsNone(harness.stored_settings(harness.SETTINGS_KEYS[1]))

        # Started again with no one at it: it serves with the stored password and hides in the tray.
        r = self.launch(keep_settings=True)
        r.wait_for_line(harness.OPENED)
        self.assertEqual(r.client("connect", "s3cret").stdout.strip(), "accepted")
        r.wait_for_state(lambda s: s["visible"] == 0 and s["button"] == "Stop Server", "hiding in the tray")
        icon = r.driver("tray-icon").stdout.split()
        self.assertEqual(len(icon), 2, "no icon in Wine's tray window")

        # One click does nothing; a double-click brings the window back with the log at its end.
        r.driver("caret-home")
        self.assertEqual(r.state()["caret"], 0)
        r.xdotool("mousemove", *icon)
        r.xdotool("click", "1")
        time.sleep(1)
        self.assertEqual(r.state()["visible"], 0)
        r.xdotool("click", "--repeat", "2", "--delay", "80", "1")
        state = r.wait_for_state(lambda s: s["visible"] == 1, "window back from the tray")
        self.assertEqual(state["iconic"], 0)
        self.assertEqual(state["caret"], state["end"])
        self.assertNotEqual(r.driver("tray-icon").returncode, 0, "the icon stayed")

        # Minimised by hand with the server stopped it goes to the tray too; closing from there
        # takes the icon away.
        r.press_start()
        r.wait_for_line("Server closed.")
        r.driver("minimize")
        r.wait_for_state(lambda s: s["visible"] == 0, "hiding in the tray")
        self.assertEqual(r.driver("tray-icon").returncode, 0)
        r.close_box()
        self.assertExited(r)
        self.assertNotEqual(r.driver("tray-icon").returncode, 0, "the icon outlived the program")

    def script_env(self, workdir):
        restart_wine()  # the desktop goes to the script's own display
        self.addCleanup(restart_wine)
        env = dict(os.environ, RAVELO_WINEPREFIX=os.environ["WINEPREFIX"])
        env.pop("DISPLAY", None)
        return env

    def assert_stored_by_script(self):
        self.assertEqual(harness.stored_settings(), {"Pass": ("REG_SZ", "pw 1"), "StartupRun": ("REG_DWORD", "0x1")})

    def leave(self, env):
        harness.run_wine([os.path.join(harness.WINDOWS_BUILD, "window_driver.exe"), "close"], env)

    def test_without_a_display_it_exits_with_an_error(self):
        self.addCleanup(restart_wine)
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        proc = harness.run_wine([os.path.join(harness.WINDOWS_BUILD, "ravelo.exe")], env, timeout=60)
        self.assertNotEqual(proc.returncode, 0)


if __name__ == "__main__":
    harness.main()
