"""Times pictures end to end, and counts the wake-ups of an idle server. Each program given runs
in turn on an Xvfb desktop showing a busy photo-like picture: ravelo.exe builds under Wine, native
builds as they are; PROGRAM+fast runs with --fast-answers. ravelo-client's bench fetches full and
region views, one chunk at a time, a few rounds each, so that the programs are compared in one run.

    python3 tests/bench/picture_bench.py [--count N] [--rounds R] [--geometry WxH ...] PROGRAM[+fast] ...
    python3 tests/bench/picture_bench.py --idle SECONDS PROGRAM ...

--idle counts, for each program serving with no client and then with a quiet client, its
voluntary context switches (natively) or the CPU time it used (under Wine) over SECONDS.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
import harness  # noqa: E402
import scenarios  # noqa: E402

PASSWORD = "bench"


def busy_root(display, width, height):
    """A fractal plasma, as busy as a photo: pictures of 8 to 12 KB in 9 to 13 chunks."""
    scenarios.show_on_root(display.name, width, height, ["-seed", "7", "plasma:fractal", "-blur", "0x1"], timeout=120)


class Native:
    """A native ravelo serving at once with the bench's password, settings and pictures of its own."""

    def __init__(self, program, display, fast):
        self.dir = tempfile.mkdtemp(prefix="ravelo-bench-")
        os.makedirs(os.path.join(self.dir, "ravelo"))
        os.mkdir(os.path.join(self.dir, "run"), 0o700)
        with open(os.path.join(self.dir, "ravelo", "settings"), "w") as f:
            f.write("Pass=%s\nStartupRun=1\n" % PASSWORD)
        os.chmod(os.path.join(self.dir, "ravelo", "settings"), 0o600)
        env = dict(os.environ, DISPLAY=display.name, XDG_CONFIG_HOME=self.dir,
                   XDG_RUNTIME_DIR=os.path.join(self.dir, "run"))
        self.proc = subprocess.Popen([program] + (["--fast-answers"] if fast else []), env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        harness.wait_until(lambda: not harness.port_is_free(), 20)
        time.sleep(1.5)  # the window minimises a second after the start

    def wake_ups(self, seconds):
        before = harness.voluntary_switches(self.proc.pid)
        time.sleep(seconds)
        return "%d voluntary context switches" % (harness.voluntary_switches(self.proc.pid) - before)

    def kill(self):
        self.proc.kill()
        self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


class UnderWine:
    def __init__(self, exe, display, fast):
        harness.WINDOWS_BUILD = os.path.dirname(exe)
        self.ravelo = harness.Ravelo(display, exe_name=os.path.basename(exe))
        if fast:
            self.ravelo.driver("command", "106")  # File > Fast answers
        self.ravelo.type_password_and_start(PASSWORD)
        self.ravelo.wait_for_line(harness.OPENED)
        time.sleep(1.5)
        self.pid = int(subprocess.run(["pgrep", "-n", "-f", os.path.basename(exe)], capture_output=True,
                                      text=True).stdout.split()[0])

    def wake_ups(self, seconds):
        before = harness.cpu_seconds(self.pid)
        time.sleep(seconds)
        return "%.2f s of CPU time" % (harness.cpu_seconds(self.pid) - before)

    def kill(self):
        self.ravelo.kill()


def start(entry, display):
    program, fast = (entry[:-5], True) if entry.endswith("+fast") else (entry, False)
    return (UnderWine if program.endswith(".exe") else Native)(program, display, fast)


def bench(entry, display, count):
    server = start(entry, display)
    try:
        return subprocess.run([harness.CLIENT, "--password", PASSWORD, "bench", "both", "--count", str(count)],
                              capture_output=True, text=True, timeout=600).stdout
    finally:
        server.kill()


def idle(entry, display, seconds):
    server = start(entry, display)
    try:
        alone = server.wake_ups(seconds)
        quiet = subprocess.Popen([harness.CLIENT, "session", PASSWORD, str(seconds + 2)], stdout=subprocess.DEVNULL)
        time.sleep(1)
        with_client = server.wake_ups(seconds)
        quiet.wait()
        return alone, with_client
    finally:
        server.kill()


def figures(out):
    """{view: (ready median, ready worst, last median, last worst, per second, chunks, bytes)}."""
    result = {}
    for block in re.split(r"\n(?=\w)", out.strip()):
        m = re.match(r"(full|region) view: .*median (\d+) chunks, (\d+) bytes", block)
        if not m:
            continue
        times = [float(t) for t in re.findall(r"([\d.]+) ms", block)][:4]
        per_second = float(re.search(r"pictures per second:\s+([\d.]+)", block).group(1))
        result[m.group(1)] = times + [per_second, int(m.group(2)), int(m.group(3))]
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=20)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--geometry", action="append")
    parser.add_argument("--idle", type=float, default=0)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    if not harness.CLIENT or not shutil.which("Xvfb"):
        print("needs ravelo-client (RAVELO_CLIENT) and Xvfb")
        return 77
    if any(p.split("+")[0].endswith(".exe") for p in args.programs):
        harness.ensure_prefix()
    for geometry in args.geometry or (["1920x1080"] if args.idle else ["1024x768", "1920x1080"]):
        width, height = map(int, geometry.split("x"))
        harness.restart_wine()
        display = harness.Display("%sx24" % geometry)
        try:
            busy_root(display, width, height)
            if args.idle:
                for entry in args.programs:
                    for _ in range(args.rounds):
                        alone, quiet = idle(entry, display, args.idle)
                        print("%-40s over %.0f s: no client %s; a quiet client %s" % (entry, args.idle, alone, quiet))
                continue
            runs = {entry: [] for entry in args.programs}
            for _ in range(args.rounds):
                for entry in args.programs:
                    runs[entry].append(figures(bench(entry, display, args.count)))
        finally:
            display.close()
        if args.idle:
            continue
        print("%s desktop, %d pictures of each view per round, %d rounds (median of the rounds' medians):"
              % (geometry, args.count, args.rounds))
        for entry in args.programs:
            for view in ("full", "region"):
                rows = [r[view] for r in runs[entry] if view in r]
                if not rows:
                    print("  %-40s %-6s no pictures" % (entry, view))
                    continue
                med = lambda i: sorted(r[i] for r in rows)[len(rows) // 2]  # noqa: E731
                worst = max(r[1] for r in rows), max(r[3] for r in rows)
                print("  %-40s %-6s ready %6.1f ms (worst %6.1f)  last chunk %6.1f ms (worst %6.1f)  "
                      "%5.1f pictures/s  %d chunks, %d bytes"
                      % (entry, view, med(0), worst[0], med(2), worst[1], med(4), med(5), med(6)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
