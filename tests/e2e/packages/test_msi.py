"""The Windows installer (dist/ravelo-VERSION-x64.msi) under Wine, in a prefix of its own: a
silent install puts both programs, the Start menu shortcut and the installed-programs entry in
place; the installed program, started from its Run value as Wine starts a session, serves a
picture with the stored password; a newer installer of the same sources replaces it in place and
keeps "Start at login"; a silent removal leaves nothing of it but the settings."""
import contextlib
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import harness  # noqa: E402
from harness import Display, run_wine, wait_until  # noqa: E402

VERSION = os.environ.get("RAVELO_VERSION", "")
DIST = os.environ.get("RAVELO_DIST", os.path.join(harness.ROOT, "dist"))
MSI = os.path.join(DIST, "ravelo-%s-x64.msi" % VERSION)
WXS = os.path.join(harness.ROOT, "packaging", "windows", "ravelo.wxs")
INSTALLED = r"C:\Program Files\Ravelo"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
START_AT_LOGIN = "150"  # the File menu's command
PASSWORD = "pkg pw"


def missing():
    if not VERSION or not os.path.exists(MSI):
        return "%s (scripts/package builds it)" % MSI
    for exe in ("ravelo.exe", "ravelo-client.exe", "window_driver.exe"):
        if not os.path.exists(os.path.join(harness.WINDOWS_BUILD, exe)):
            return exe + " (not built)"
    if not harness.CLIENT or not os.path.exists(harness.CLIENT):
        return "ravelo-client (not built)"
    for tool in ("wixl", "Xvfb", "xdpyinfo", "wineboot", "wineserver"):
        if not shutil.which(tool):
            return tool
    return None if harness.wine() else "wine"


def newer(version):
    major, minor, patch = version.split(".")
    return "%s.%s.%d" % (major, minor, int(patch) + 1)


def reg_values(text):
    """`reg query /s` output as {key: {name: data}}."""
    keys, key = {}, None
    for line in text.splitlines():
        if line.startswith("HKEY_"):
            key = keys.setdefault(line.strip(), {})
        elif key is not None and line.startswith("    "):
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[1].startswith("REG_"):
                key[parts[0]] = parts[2] if len(parts) > 2 else ""
    return keys


class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = Display()
        cls.prefix = tempfile.mkdtemp(prefix="ravelo-msi-prefix-")
        cls.env = dict(os.environ, WINEPREFIX=cls.prefix, DISPLAY=cls.display.name, WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d")
        subprocess.run(["wineboot", "-i"], env=cls.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=180)

    @classmethod
    def tearDownClass(cls):
        cls.stop_wine()
        shutil.rmtree(cls.prefix, ignore_errors=True)
        cls.display.close()

    @classmethod
    def stop_wine(cls):
        subprocess.run(["wineserver", "-k"], env=cls.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=cls.env, stderr=subprocess.DEVNULL)

    def wine(self, *args, timeout=120):
        return run_wine(list(args), self.env, timeout)

    def msiexec(self, *args):
        proc = self.wine("msiexec", *args, "/qn")
        self.assertEqual(proc.returncode, 0, "msiexec %s" % " ".join(args))

    def unix(self, windows_path):
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    def entries(self):
        """The installed-programs entries named Ravelo."""
        keys = reg_values(self.wine("reg", "query", UNINSTALL_KEY, "/s").stdout)
        return [values for values in keys.values() if values.get("DisplayName") == "Ravelo"]

    def run_value(self):
        return reg_values(self.wine("reg", "query", RUN_KEY).stdout).get(RUN_KEY.replace("HKCU", "HKEY_CURRENT_USER"),
                                                                          {}).get("Ravelo")

    def shortcuts(self):
        drive = os.path.join(self.prefix, "drive_c")
        return (glob.glob(os.path.join(drive, "users", "*", "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                                       "Programs", "Ravelo.lnk")) +
                glob.glob(os.path.join(drive, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs",
                                       "Ravelo.lnk")))

    def driver(self, *args):
        return self.wine(os.path.join(harness.WINDOWS_BUILD, "window_driver.exe"), *args, timeout=60)

    def assertInstalled(self, version):
        for name in ("ravelo.exe", "ravelo-client.exe"):
            with open(self.unix(INSTALLED + "\\" + name), "rb") as installed, \
                    open(os.path.join(harness.WINDOWS_BUILD, name), "rb") as built:
                self.assertEqual(installed.read(), built.read(),
                                 "%s differs from the build's (is dist/ older than the build? scripts/package)" % name)
        entries = self.entries()
        self.assertEqual(len(entries), 1, entries)
        self.assertEqual((entries[0].get("DisplayVersion"), entries[0].get("Publisher"), entries[0].get("DisplayIcon")),
                         (version, "The Ravelo team", INSTALLED + r"\ravelo.exe,0"))
        links = self.shortcuts()
        self.assertEqual(len(links), 1, "Start menu shortcut: %s" % links)
        with open(links[0], "rb") as f:
            link = f.read()
        target = INSTALLED + r"\ravelo.exe"
        self.assertTrue(target.encode() in link or target.encode("utf-16-le") in link, "the shortcut's target")

    def test_install_serve_from_login_upgrade_and_remove(self):
        self.msiexec("/i", "Z:" + MSI)
        self.assertInstalled(VERSION)
        exe = INSTALLED + r"\ravelo.exe"
        self.assertEqual(self.wine(exe, "--version").stdout, "ravelo.exe %s\n" % VERSION)
        self.assertEqual(self.wine(INSTALLED + r"\ravelo-client.exe", "--version").stdout.strip(),
                         "ravelo-client %s" % VERSION)

        # Start at login, and the settings a session serves with.
        self.assertEqual(self.wine(exe, "--autostart", "on").returncode, 0)
        self.assertEqual(self.run_value(), '"%s"' % exe)
        for args in (("Pass", "REG_SZ", PASSWORD), ("StartupRun", "REG_DWORD", "1")):
            self.wine("reg", "add", r"HKLM\Software\Ravelo", "/v", args[0], "/t", args[1], "/d", args[2], "/f")

        # A new session: Wine's wineboot starts what the Run key names, as Windows does at login.
        self.stop_wine()
        self.wine("wineboot")
        picture = os.path.join(self.prefix, "out.jpg")
        fetched = wait_until(lambda: subprocess.run([harness.CLIENT, "--password", PASSWORD, "view", "full", picture],
                                                    capture_output=True, timeout=30).returncode == 0, 30, 1)
        self.assertTrue(fetched, "the program started at login served no picture")
        with open(picture, "rb") as f:
            self.assertEqual(f.read(2), b"\xff\xd8")
        # Its menu item turns the entry off and on again.
        self.assertEqual(self.driver("find", "10").returncode, 0)
        self.driver("command", START_AT_LOGIN)
        self.assertIsNone(self.run_value())
        self.driver("command", START_AT_LOGIN)
        self.assertEqual(self.run_value(), '"%s"' % exe)
        self.stop_wine()

        # The same sources with a higher version replace it in place, start at login kept.
        later = newer(VERSION)
        newer_msi = os.path.join(self.prefix, "ravelo-%s-x64.msi" % later)
        wixl = subprocess.run(["wixl", "-a", "x64", "-D", "Version=" + later,
                               "-D", "BinDir=" + os.path.relpath(harness.WINDOWS_BUILD, harness.ROOT),
                               "-D", "SourceDir=.", "-o", newer_msi, WXS],
                              cwd=harness.ROOT, capture_output=True, text=True, timeout=60)
        self.assertEqual(wixl.returncode, 0, wixl.stderr)
        self.msiexec("/i", "Z:" + newer_msi)
        self.assertInstalled(later)
        self.assertEqual(self.run_value(), '"%s"' % exe)

        # Removal takes away everything it put there and the Run value, and keeps the settings.
        self.msiexec("/x", "Z:" + newer_msi)
        self.assertFalse(os.path.exists(self.unix(INSTALLED)))
        self.assertEqual(self.shortcuts(), [])
        self.assertEqual(self.entries(), [])
        self.assertIsNone(self.run_value())
        settings = reg_values(self.wine("reg", "query", r"HKLM\Software\Ravelo").stdout)
        self.assertEqual(settings.get(r"HKEY_LOCAL_MACHINE\Software\Ravelo"), {"Pass": PASSWORD, "StartupRun": "0x1"})


if __name__ == "__main__":
    harness.run_tests(missing(), contextlib.nullcontext)
