"""Times pictures end to end: each ravelo.exe given runs under Wine on an Xvfb desktop showing a
busy photo-like picture, and ravelo-client's bench fetches full and region views from it, one
chunk at a time. The builds take turns, a few rounds each, so that they are compared in one run.

    python3 tests/bench/picture_bench.py [--count N] [--rounds R] [--geometry WxH ...] EXE [EXE ...]
"""
import argparse
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))
import harness  # noqa: E402
import scenarios  # noqa: E402

PASSWORD = "bench"


def busy_root(display, width, height):
    """A fractal plasma, as busy as a photo: pictures of 8 to 12 KB in 9 to 13 chunks."""
    scenarios.show_on_root(display.name, width, height, ["-seed", "7", "plasma:fractal", "-blur", "0x1"], timeout=120)


def run_bench(exe, display, count):
    harness.WINDOWS_BUILD = os.path.dirname(exe)
    ravelo = harness.Ravelo(display, exe_name=os.path.basename(exe))
    try:
        ravelo.type_password_and_start(PASSWORD)
        ravelo.wait_for_line(harness.OPENED)
        time.sleep(1.5)  # the window minimises a second after the start
        out = subprocess.run([harness.CLIENT, "--password", PASSWORD, "bench", "both", "--count", str(count)],
                             capture_output=True, text=True, timeout=600).stdout
    finally:
        ravelo.kill()
    return out


def figures(out):
    """{view: (ready median, ready worst, last median, last worst, chunks, bytes)} in ms."""
    result = {}
    for block in re.split(r"\n(?=\w)", out.strip()):
        m = re.match(r"(full|region) view: .*median (\d+) chunks, (\d+) bytes", block)
        if not m:
            continue
        times = [float(t) for t in re.findall(r"([\d.]+) ms", block)]
        result[m.group(1)] = times[:4] + [int(m.group(2)), int(m.group(3))]
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=20)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--geometry", action="append")
    parser.add_argument("exes", nargs="+")
    args = parser.parse_args()
    reason = harness.missing()
    if reason:
        print("needs %s" % reason)
        return 77
    harness.ensure_prefix()
    for geometry in args.geometry or ["1024x768", "1920x1080"]:
        width, height = map(int, geometry.split("x"))
        harness.restart_wine()
        display = harness.Display("%sx24" % geometry)
        try:
            busy_root(display, width, height)
            runs = {exe: [] for exe in args.exes}
            for _ in range(args.rounds):
                for exe in args.exes:
                    runs[exe].append(figures(run_bench(exe, display, args.count)))
        finally:
            display.close()
        print("%s desktop, %d pictures of each view per round, %d rounds (median of the rounds' medians):"
              % (geometry, args.count, args.rounds))
        for exe in args.exes:
            for view in ("full", "region"):
                rows = [r[view] for r in runs[exe] if view in r]
                if not rows:
                    print("  %-40s %-6s no pictures" % (exe, view))
                    continue
                med = lambda i: sorted(r[i] for r in rows)[len(rows) // 2]  # noqa: E731
                worst = max(r[1] for r in rows), max(r[3] for r in rows)
                print("  %-40s %-6s ready %6.1f ms (worst %6.1f)  last chunk %6.1f ms (worst %6.1f)  "
                      "%d chunks, %d bytes, floor %.0f ms"
                      % (exe, view, med(0), worst[0], med(2), worst[1], med(4), med(5), (med(4) + 1) * 5))
    return 0


if __name__ == "__main__":
    sys.exit(main())
