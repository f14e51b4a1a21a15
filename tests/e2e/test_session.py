"""ravelo.exe under Wine through the session scenario (scenarios.Session); Alt+/ opens the About box."""
import time

import harness
import scenarios


class SessionTest(scenarios.Session, harness.WineTest):
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
