"""ravelo.exe under Wine: the window starts and stops the server, clients are refused or
accepted, keep-alives flow, a silent client times out, and closing frees the port."""
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
