"""ravelo.exe under Wine through the input scenario (scenarios.Input), into the input recorder."""
import os
import subprocess

import harness
import scenarios

RECORDER = os.path.join(harness.WINDOWS_BUILD, "input_recorder.exe")
RECT = (200, 150, 400, 300)  # the recorder's window


class InputTest(scenarios.Input, harness.WineTest):
    BUTTONS = ["button left down", "button left up", "button right down", "button right up",
               "button middle down", "button middle up"]
    # 'H' and '!' are typed with Shift held around their key-down only; 'i' without.
    KEYS = ["key down 10 shift=1", "key down 48 shift=1", "key up 10 shift=0", "key up 48 shift=0",
            "key down 49 shift=0", "key up 49 shift=0",
            "key down 10 shift=1", "key down 31 shift=1", "key up 10 shift=0", "key up 31 shift=0",
            "key down 0D shift=0", "key up 0D shift=0"]
    HELD = ["button left down", "key down 10 shift=1", "key down 41 shift=1", "char 65", "key up 10 shift=0"]
    RELEASED = ["button left up", "key up 41 shift=0"]

    def setUp(self):
        if not os.path.exists(RECORDER):
            self.skipTest("input_recorder.exe not built")
        super().setUp()
        self.start(self.PASSWORD)

    def recorder(self):
        log = os.path.join(self.ravelo.workdir, "recorder.log")
        proc = subprocess.Popen([harness.wine(), RECORDER, log] + [str(v) for v in RECT], env=self.ravelo.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (proc.kill(), proc.wait()))

        def lines():
            try:
                return [line.split() for line in harness.read(log).split("\n")[:-1] if line.strip()]  # whole lines
            except FileNotFoundError:
                return []
        self.assertTrue(harness.wait_for(lines, lambda got: ["ready"] in got, 30), "the input recorder did not start")
        # "button left down X Y" is the one line with a place in the window.
        return RECT[:2], lambda: [(" ".join(w[:3]), int(w[3]), int(w[4])) if w[0] == "button" else " ".join(w)
                                  for w in lines() if w != ["ready"]]


if __name__ == "__main__":
    harness.main()
