"""The native ravelo in a Wayland session with no X display: its window is a Wayland client of
a headless sway (xdg-shell, not XWayland); with "Run on Startup" stored it serves at once and,
since sway never says a window is minimised, still goes behind a StatusNotifierItem a second
later, and the item's activation brings the window back."""
import contextlib
import os
import shutil
import signal
import subprocess
import tempfile

import native  # first: it moves over to the system's Python, which has python3-gi
import headless_sway
import harness
import scenarios
import sni_watcher
from harness import wait_until


def missing():
    for what, path in (("ravelo", native.SERVER), ("ravelo-client", harness.CLIENT)):
        if not path or not os.path.exists(path):
            return what + " (not built)"
    if not shutil.which("dbus-daemon"):
        return "dbus-daemon"
    if native.gi is None:
        return "python3-gi"
    return headless_sway.missing()


def stop(proc):
    if proc.poll() is None:
        proc.kill()
        proc.wait()


class WaylandWindowTest(harness.Test):
    def temporary_dir(self, prefix):
        path = tempfile.mkdtemp(prefix=prefix)
        os.chmod(path, 0o700)
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def test_the_window_is_a_wayland_client_and_serves_from_the_start(self):
        sway = headless_sway.HeadlessSway()
        self.addCleanup(sway.close)
        runtime = self.temporary_dir("ravelo-run-")
        address, bus_pid = native.start_session_bus(runtime)
        self.addCleanup(os.kill, bus_pid, 15)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XDG_SESSION_TYPE")}
        env.update(WAYLAND_DISPLAY=sway.socket, XDG_RUNTIME_DIR=runtime, DBUS_SESSION_BUS_ADDRESS=address,
                   XDG_CONFIG_HOME=native.config_with("Pass=pw\nStartupRun=1\n"), HOME=runtime, NO_AT_BRIDGE="1",
                   LSAN_OPTIONS="suppressions=%s:print_suppressions=0" % native.LSAN_SUPPRESSIONS)
        self.addCleanup(shutil.rmtree, env["XDG_CONFIG_HOME"], True)
        watcher = sni_watcher.Watcher(env)
        self.addCleanup(watcher.stop)

        output = os.path.join(runtime, "output.txt")
        with open(output, "w") as out:
            proc = subprocess.Popen([native.SERVER], cwd=runtime, env=env, stdout=out, stderr=subprocess.STDOUT)
        self.addCleanup(stop, proc)
        window = wait_until(lambda: sway.window_of(proc.pid), 20, 0.2)
        self.assertIsNotNone(window, "no window in sway: %s" % harness.read(output))
        self.assertEqual((window["app_id"], window["shell"], window["name"]), ("ravelo", "xdg_shell", " Ravelo Server"))
        self.assertEqual(subprocess.run([harness.CLIENT, "connect", "pw"], capture_output=True, text=True,
                                        timeout=30).stdout.strip(), "accepted")

        item = "%s-%d-1" % (sni_watcher.ITEM, proc.pid)
        self.assertTrue(watcher.wait_for(lambda lines: "registered " + item in lines, 10), watcher.lines())
        self.assertTrue(wait_until(lambda: sway.window_of(proc.pid) is None, 10), "the window stayed on the screen")
        watcher.activate(item)
        self.assertTrue(wait_until(lambda: sway.window_of(proc.pid), 10), "the window did not come back")

        proc.terminate()
        self.assertEqual(proc.wait(timeout=10), 0)
        text = harness.read(output)
        self.assertIn("Server opened on port 8888.", text)
        self.assertIn("Pictures and input: the compositor's own protocols, wlr-screencopy", text)
        self.assertEqual(native.faults_in(text), [])

    def test_scripts_run_serves_the_wayland_desktop_and_drives_it(self):
        """With no X display at all: the pictures are sway's own, and a pointer move shows in them."""
        sway = headless_sway.HeadlessSway()
        self.addCleanup(sway.close)
        home = self.temporary_dir("ravelo-home-")
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "XDG_SESSION_TYPE", "DBUS_SESSION_BUS_ADDRESS")}
        env.update(WAYLAND_DISPLAY=sway.socket, XDG_RUNTIME_DIR=home, HOME=home, XDG_CONFIG_HOME=home)
        log = os.path.join(home, "run.log")
        with open(log, "w") as out:
            run = subprocess.Popen([os.path.join(harness.ROOT, "scripts", "run"), "--password", "pw"], cwd=home, env=env,
                                   stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        self.addCleanup(lambda: run.poll() is None and (os.killpg(run.pid, signal.SIGTERM), run.wait()))
        self.assertTrue(wait_until(lambda: "Server opened on port 8888." in harness.read(log), 300, 0.5),
                        harness.read(log))
        self.assertIn("ravelo: starting build/linux/ravelo on the Wayland session", harness.read(log))

        def corner():
            """The top-left 24x24 pixels of a region view picked at the overview point (200, 150)."""
            picture = os.path.join(home, "region.jpg")
            got = subprocess.run([harness.CLIENT, "--password", "pw", "view", "region", "200", "150", picture],
                                 capture_output=True, text=True, timeout=30)
            self.assertEqual(got.returncode, 0, got.stdout + got.stderr)
            with open(picture, "rb") as f:
                width, height, rows = scenarios.decode(f.read())
            self.assertEqual((width, height), (256, 192))
            return [c for row in rows[:24] for p in row[:24] for c in p]

        before = corner()
        moved = subprocess.run([harness.CLIENT, "--password", "pw", "move", "200", "150"], capture_output=True, timeout=30)
        self.assertEqual(moved.returncode, 0)
        # The compositor draws the pointer into its frames: where the move put it, the picture changed.
        self.assertTrue(wait_until(lambda: sum(abs(a - b) for a, b in zip(corner(), before)) > 24 * 24 * 6, 5, 0.3),
                        "no pointer where the move put it")
        os.killpg(run.pid, signal.SIGTERM)
        run.wait(timeout=30)


if __name__ == "__main__":
    harness.run_tests(missing(), contextlib.nullcontext)
