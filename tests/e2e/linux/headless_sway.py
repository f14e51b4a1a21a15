"""A headless sway of the test's own, for the Wayland tests: software rendering, no input
devices, run as uid 1000 of a user namespace (sway refuses root) with a network of its own, in
a runtime directory of its own that holds its Wayland and IPC sockets."""
import glob
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time

TOOLS = ("sway", "swaymsg", "unshare")


def missing():
    """What the machine lacks to run one, or None."""
    for tool in TOOLS:
        if not shutil.which(tool):
            return tool
    if subprocess.run(["unshare", "--user", "--map-user=1000", "--net", "true"], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        return "user namespaces (unshare --user)"
    return None


class HeadlessSway:
    def __init__(self, width=1024, height=768):
        self.dir = tempfile.mkdtemp(prefix="ravelo-sway-")
        config = os.path.join(self.dir, "config")
        with open(config, "w") as f:
            f.write("xwayland disable\noutput HEADLESS-1 mode %dx%d\n" % (width, height))
        env = {"PATH": os.environ["PATH"], "XDG_RUNTIME_DIR": self.dir, "WLR_BACKENDS": "headless",
               "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1"}
        self.log = open(os.path.join(self.dir, "sway.log"), "w")
        self.proc = subprocess.Popen(["unshare", "--user", "--map-user=1000", "--net", "sway", "-c", config],
                                     env=env, stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        deadline = time.time() + 10
        while time.time() < deadline and self.proc.poll() is None:
            sockets = [p for p in glob.glob(os.path.join(self.dir, "wayland-*")) if not p.endswith(".lock")]
            ipc = glob.glob(os.path.join(self.dir, "sway-ipc.*.sock"))
            if sockets and ipc:
                self.socket, self.ipc = sockets[0], ipc[0]
                return
            time.sleep(0.05)
        with open(self.log.name) as f:
            log = f.read()
        self.close()
        raise RuntimeError("sway did not start: " + log[-600:])

    def window_of(self, pid):
        """The window of process `pid` that sway shows, as get_tree describes it, or None."""
        def walk(node):
            if node.get("pid") == pid:
                yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from walk(child)
        tree = subprocess.run(["swaymsg", "-s", self.ipc, "-r", "-t", "get_tree"], capture_output=True, text=True,
                              timeout=10, check=True).stdout
        return next(walk(json.loads(tree)), None)

    def close(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)  # and whatever it started
            self.proc.wait()
        self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)
