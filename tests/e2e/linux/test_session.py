"""The native ravelo through the session scenario (scenarios.Session); besides, the window has
the Windows dialog's controls and texts, the log keeps to its 200 lines as the edit control
does, and Alt+/ or Help > About opens the About box."""
import time

import native
import scenarios
from harness import OPENED, UdpPeer, voluntary_switches, wait_until
from native import Atspi


class SessionTest(scenarios.Session, scenarios.Loop, native.NativeTest):
    WAKE_UNIT = "voluntary context switches"
    IDLE_LIMIT = 5    # at most one a second; the old loop's 5 ms beat made about 1000
    QUIET_LIMIT = 10  # at most two a second

    def setUp(self):
        self.ravelo = self.launch()

    def choose_fast_answers(self, r):
        r.focus()
        r.xdotool("key", "alt+f")
        time.sleep(0.3)
        r.xdotool("key", "f")

    def wake_counter(self, r):
        return voluntary_switches(r.proc.pid)

    def after_start(self, r):
        # A second later it minimises; with no tray host it stays minimised.
        r.wait_for_state(lambda s: s["window"] == "iconic", "minimised window")

    def window_back(self, r):
        r.focus()  # from the task bar
        r.wait_for_state(lambda s: s["window"] == "normal", "window back")

    def test_the_window_has_the_dialogs_controls_and_texts(self):
        r = self.ravelo
        self.assertEqual(r.desktop.xprop("-id", r.xid, "_NET_WM_NAME"), '_NET_WM_NAME(UTF8_STRING) = " Ravelo Server"\n')
        self.assertEqual(r.texts(), ["File", "Exit", "Help", "About ...", "Run on Startup", "Start Server",
                                     "Password:"])
        self.assertTrue(r.has(r.button, Atspi.StateType.IS_DEFAULT))
        r.focus()
        self.assertTrue(wait_until(lambda: r.has(r.password, Atspi.StateType.FOCUSED), 5))
        self.assertFalse(r.has(r.log, Atspi.StateType.EDITABLE))
        # The box masks what is typed and takes 15 characters.
        r.type_password("abcdefghijklmnopqrst")
        self.assertEqual(r.password.get_text(0, -1), "\u25cf" * 15)
        # The log takes no typing.
        r.click(r.log)
        r.xdotool("type", "typed")
        time.sleep(0.3)
        self.assertEqual(r.log_text(), "")

    def test_the_log_keeps_to_200_lines_as_the_edit_control_does(self):
        r = self.ravelo
        self.start("pw")
        # From a different address each, since ten wrong passwords from one slow it down.
        sources = ["127.0.0.%d" % (2 + i) for i in range(230)]
        for source in sources:
            peer = UdpPeer(source)
            peer.send(b"\0wrong")
            peer.close()
            time.sleep(0.01)
        # The pane as the Windows edit control keeps it: while it counts more than 200 lines
        # (the empty one after the last break included), each new line first cuts 100 characters.
        expected = ""
        for line in [OPENED] + ["Connection rejected from %s." % s for s in sources]:
            if expected.count("\r\n") + 1 > 200:
                expected = expected[100:]
            expected += line + "\r\n"
        self.assertTrue(wait_until(lambda: r.log_text() == expected, 20, 0.3),
                        "the log has %d characters, %d expected" % (len(r.log_text()), len(expected)))
        state = r.state()
        self.assertEqual(state["caret"], state["end"])  # scrolled to the newest line

    def test_alt_slash_opens_about(self):
        r = self.ravelo
        r.focus()
        r.xdotool("key", "alt+slash")

        def about():
            dialogs = [d for d in r.find_all(Atspi.Role.DIALOG) if d.get_name() == "About"]
            return dialogs[0] if dialogs and r.has(dialogs[0], Atspi.StateType.SHOWING) else None
        box = wait_until(about, 5, 0.2)
        self.assertIsNotNone(box, "About box did not open")
        self.assertCountEqual(r.texts(box), ["Ravelo v0.8a", "by the Ravelo team", "Your desktop, on the small screen.",
                                             "Questions and bugs: see the README", "OK"])
        r.xdotool("key", "Return")  # its default button, OK
        self.assertTrue(wait_until(lambda: about() is None, 5, 0.2), "About box did not close")
        # The menu opens it too.
        r.focus()
        r.xdotool("key", "alt+h")
        time.sleep(0.3)
        r.xdotool("key", "a")
        self.assertIsNotNone(wait_until(about, 5, 0.2), "Help > About did not open the box")
        r.xdotool("key", "Escape")
        self.assertTrue(wait_until(lambda: about() is None, 5, 0.2), "Escape did not close the box")


if __name__ == "__main__":
    native.main()
