"""ravelo.exe under Wine through the picture scenario (scenarios.Pictures), on two desktop sizes."""
import time

import harness
import scenarios
from harness import OPENED, Display, Ravelo


class PicturesTest(scenarios.Pictures, harness.Test):
    geometry = (1024, 768)

    @classmethod
    def setUpClass(cls):
        harness.restart_wine()  # for the new screen size
        cls.display = Display("%dx%dx24" % cls.geometry)
        scenarios.put_blocks_on_root(cls.display.name, *cls.geometry)
        cls.ravelo = Ravelo(cls.display)
        cls.ravelo.type_password_and_start("pics")
        cls.ravelo.wait_for_line(OPENED)
        time.sleep(1.5)  # the window minimises a second after the start
        super().setUpClass()

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.display.close()


class LargeDesktopTest(PicturesTest):
    """The same on a 1920x1080 desktop, scaled by 7.5 and 5.625."""
    geometry = (1920, 1080)
    test_a_pipe_or_link_in_place_of_a_picture_gets_no_answer = None  # the same on any desktop


if __name__ == "__main__":
    harness.main()
