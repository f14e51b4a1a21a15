"""ravelo.exe under Wine through the session and loop scenarios (scenarios.Session, scenarios.Loop);
Alt+/ opens the About box."""
import os
import subprocess
import time

import harness
import scenarios


class SessionTest(scenarios.Session, scenarios.Loop, harness.WineTest):
    WAKE_UNIT = "seconds of CPU time"
    IDLE_LIMIT = QUIET_LIMIT = 0.05  # the old loop's 5 ms beat took about 0.1 s in 5 s

    def choose_fast_answers(self, r):
        r.driver("command", "106")  # File > Fast answers

    def wake_counter(self, r):
        pgrep = subprocess.run(["pgrep", "-n", "-f", os.path.join(harness.WINDOWS_BUILD, "ravelo.exe")],
                               capture_output=True, text=True)
        return harness.cpu_seconds(int(pgrep.stdout.split()[0]))

    def test_alt_slash_opens_about(self):
        r = self.ravelo
        r.focus()
        r.xdotool("key", "alt+slash")
        self.assertEqual(r.driver("find-about", "5").returncode, 0, "About box did not open")
        r.driver("close-about")
        time.sleep(0.5)
        self.assertNotEqual(r.driver("find-about", "0.5").returncode, 0, "About box did not close")


if __name__ == "__main__":
    harness.main()
