"""The native ravelo in a Wayland session with no X display: its window is a Wayland client of
a headless sway (xdg-shell, not XWayland); with "Run on Startup" stored it serves at once and,
since sway never says a window is minimised, still goes behind a StatusNotifierItem a second
later, and the item's activation brings the window back."""
import contextlib
import os
import shutil
import subprocess
import tempfile

import native  # first: it moves over to the system's Python, which has python3-gi
import headless_sway
import harness
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
        self.assertEqual(native.faults_in(text), [])


if __name__ == "__main__":
    harness.run_tests(missing(), contextlib.nullcontext)
