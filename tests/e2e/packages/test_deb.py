"""The Debian package (dist/ravelo_VERSION_amd64.deb) on this machine: lintian finds no error;
dpkg -i puts both programs on the PATH with their manual pages, a desktop entry that validates
and the icons; the autostart entry `ravelo --autostart on` writes, launched as a desktop session
launches it, serves with the stored password and no one at the screen, and its menu item shows
and turns the entry; dpkg -r leaves nothing of the package, and sessions skip an autostart
entry left behind. Needs root, and skips when a ravelo package is installed already rather
than replace it."""
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "linux"))
import native  # noqa: E402  (the private desktop and the accessibility bus; it moves to the system Python)
import harness  # noqa: E402
from harness import wait_until  # noqa: E402

VERSION = os.environ.get("RAVELO_VERSION", "")
DEB = os.path.join(os.environ.get("RAVELO_DIST", os.path.join(harness.ROOT, "dist")), "ravelo_%s_amd64.deb" % VERSION)
PASSWORD = "deb pw"
ICON_SIZES = (16, 32, 48, 64, 128, 256)


def installed_status():
    return subprocess.run(["dpkg-query", "-W", "-f=${Status}", "ravelo"], capture_output=True, text=True).stdout


def missing():
    if not VERSION or not os.path.exists(DEB):
        return "%s (scripts/package builds it)" % DEB
    if os.geteuid() != 0:
        return "root (dpkg -i)"
    if "installed" in installed_status().split():
        return "a machine without a ravelo package installed (the test would replace it)"
    for tool in ("dpkg", "lintian", "man", "desktop-file-validate", "Xvfb", "xdotool", "openbox", "dbus-daemon"):
        if not shutil.which(tool):
            return tool
    if not harness.CLIENT or not os.path.exists(harness.CLIENT):
        return "ravelo-client (not built)"
    if native.Atspi is None:
        return "python3-gi with gir1.2-atspi-2.0 (the accessibility bus's client)"
    return None


def run(*args, timeout=120, **kwargs):
    """The command's output through files: on a time-out only the command itself is killed, and
    a pipe that a helper it started keeps open (lintian's workers, say) would hang the read."""
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        proc = subprocess.run(list(args), stdout=out, stderr=err, text=True, timeout=timeout, **kwargs)
        out.seek(0)
        err.seek(0)
        proc.stdout, proc.stderr = out.read(), err.read()
    return proc


def launch_as_session(entry, env, cwd):
    """Starts what an autostart entry names the way GNOME's session does, through GLib's
    desktop-entry launcher (Exec unescaped, field codes expanded, PATH searched); the pid."""
    from gi.repository import Gio, GLib
    info = Gio.DesktopAppInfo.new_from_filename(entry)
    context = Gio.AppLaunchContext()
    for name, value in env.items():
        context.setenv(name, value)
    pids = []
    here = os.getcwd()
    os.chdir(cwd)  # a session starts its programs in the home directory
    try:
        info.launch_uris_as_manager([], context, GLib.SpawnFlags.SEARCH_PATH | GLib.SpawnFlags.DO_NOT_REAP_CHILD,
                                    None, None, lambda _info, pid, *_: pids.append(pid), None)
    finally:
        os.chdir(here)
    return pids[0]


class DebianPackageTest(unittest.TestCase):
    def setUp(self):
        self.home = tempfile.mkdtemp(prefix="ravelo-deb-home-")
        self.addCleanup(shutil.rmtree, self.home, True)
        self.config = os.path.join(self.home, ".config")
        self.entry = os.path.join(self.config, "autostart", "ravelo.desktop")

    def ravelo(self, *args):
        return run("ravelo", *args, env=dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.config))

    def test_lint_install_serve_from_login_and_remove(self):
        lint = run("lintian", "--fail-on", "error", DEB, timeout=300)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)

        installing = run("dpkg", "-i", DEB)
        self.addCleanup(lambda: "installed" in installed_status().split() and run("dpkg", "-r", "ravelo"))
        self.assertEqual(installing.returncode, 0, installing.stderr)
        files = [f for f in run("dpkg", "-L", "ravelo").stdout.splitlines() if os.path.isfile(f)]

        self.assertEqual(shutil.which("ravelo"), "/usr/bin/ravelo")
        self.assertEqual(self.ravelo("--version").stdout, "ravelo %s\n" % VERSION)
        self.assertEqual(run("ravelo-client", "--version").stdout, "ravelo-client %s\n" % VERSION)
        for page in ("ravelo", "ravelo-client"):
            self.assertEqual(run("man", "-w", page).stdout.strip(), "/usr/share/man/man1/%s.1.gz" % page)
        valid = run("desktop-file-validate", "/usr/share/applications/ravelo.desktop")
        self.assertEqual((valid.returncode, valid.stdout), (0, ""))
        for size in ICON_SIZES:
            icon = "/usr/share/icons/hicolor/%dx%d/apps/ravelo.png" % (size, size)
            with open(icon, "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n", icon)

        # Start at login from the command line, with the settings a session serves with.
        self.assertEqual(self.ravelo("--autostart", "on").returncode, 0)
        valid = run("desktop-file-validate", self.entry)
        self.assertEqual((valid.returncode, valid.stdout), (0, ""))
        with open(self.entry) as f:
            self.assertIn("\nExec=ravelo\n", f.read())  # the installed program, found through PATH
        os.makedirs(os.path.join(self.config, "ravelo"), mode=0o700)
        with open(os.path.join(self.config, "ravelo", "settings"), "w") as f:
            f.write("Pass=%s\nStartupRun=1\n" % PASSWORD)
        self.serve_from_login()

        self.assertEqual(self.ravelo("--autostart", "off").returncode, 0)
        self.assertFalse(os.path.exists(self.entry))

        # Removal cannot reach into homes: an entry left there names a program that is gone, and
        # a session skips it.
        self.assertEqual(self.ravelo("--autostart", "on").returncode, 0)
        removing = run("dpkg", "-r", "ravelo")
        self.assertEqual(removing.returncode, 0, removing.stderr)
        from gi.repository import Gio
        with self.assertRaises(TypeError, msg="the entry left behind would still start"):
            Gio.DesktopAppInfo.new_from_filename(self.entry)  # NULL: the entry is skipped
        self.assertIn(installed_status(), ("", "unknown ok not-installed"))  # no configuration files left either
        self.assertEqual([f for f in files if os.path.lexists(f)], [])
        self.assertIsNone(shutil.which("ravelo"))

    def serve_from_login(self):
        desktop = native.Desktop()
        self.addCleanup(desktop.close)
        env = dict(desktop.env, HOME=self.home, XDG_CONFIG_HOME=self.config)
        pid = launch_as_session(self.entry, env, self.home)

        def stop():
            for sig in (signal.SIGTERM, signal.SIGKILL):
                try:
                    os.kill(pid, sig)
                    if wait_until(lambda: os.waitpid(pid, os.WNOHANG)[0] == pid, 5):
                        return
                except (ProcessLookupError, ChildProcessError):
                    return
        self.addCleanup(stop)

        picture = os.path.join(self.home, "out.jpg")
        fetched = wait_until(lambda: run(harness.CLIENT, "--password", PASSWORD, "view", "full", picture).returncode == 0,
                             30, 0.5)
        self.assertTrue(fetched, "the program started at login served no picture")
        with open(picture, "rb") as f:
            self.assertEqual(f.read(2), b"\xff\xd8")

        # The menu item shows the entry as it is each time the menu opens, and turns it.
        app = wait_until(lambda: next((a for a in (native.Atspi.get_desktop(0).get_child_at_index(i) for i in
                                                   range(native.Atspi.get_desktop(0).get_child_count()))
                                       if a is not None and a.get_process_id() == pid), None), 10, 0.2)
        self.assertIsNotNone(app, "the program is not on the accessibility bus")
        item = next(n for n in native.Ravelo._walk(app)
                    if n.get_role() == native.Atspi.Role.CHECK_MENU_ITEM and n.get_name() == "Start at login")
        xid = wait_until(lambda: next((x for x in desktop.windows("--all", "--pid", str(pid), "--name", "Ravelo Server")
                                       if int(harness.window_info(desktop.name, x).get("Width", 0)) >= 100), None), 10)

        def menu_shows():
            subprocess.run(["xdotool", "windowactivate", "--sync", xid], env=desktop.env, timeout=30)
            subprocess.run(["xdotool", "key", "alt+f"], env=desktop.env, timeout=30)
            time.sleep(0.5)
            return native.Ravelo.has(item, native.Atspi.StateType.CHECKED)

        def close_menu():
            subprocess.run(["xdotool", "key", "Escape"], env=desktop.env, timeout=30)

        self.assertTrue(menu_shows())
        close_menu()
        os.remove(self.entry)  # another tool takes it away
        self.assertFalse(menu_shows())
        close_menu()
        self.assertEqual(self.ravelo("--autostart", "on").returncode, 0)
        self.assertTrue(menu_shows())
        subprocess.run(["xdotool", "key", "Return"], env=desktop.env, timeout=30)  # the first item is selected
        self.assertTrue(wait_until(lambda: not os.path.exists(self.entry), 5), "the menu item left the entry")
        self.assertFalse(menu_shows())
        subprocess.run(["xdotool", "key", "Return"], env=desktop.env, timeout=30)
        self.assertTrue(wait_until(lambda: os.path.exists(self.entry), 5), "the menu item wrote no entry")


if __name__ == "__main__":
    harness.run_tests(missing(), contextlib.nullcontext)
