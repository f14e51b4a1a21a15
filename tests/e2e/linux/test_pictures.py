"""The native ravelo through the picture scenario (scenarios.Pictures)."""
import shutil

import native
import scenarios
from native import Ravelo, wait_until


class PicturesTest(scenarios.Pictures, native.NativeTest):
    PLANTS = (("bufferfull.jpg", "link"), ("bufferpart.jpg", "pipe"))
    @classmethod
    def setUpClass(cls):
        desktop = native.shared_desktop()
        scenarios.put_blocks_on_root(desktop.name, *cls.geometry)
        cls.config = native.config_with("Pass=pics\nStartupRun=1\n")
        cls.ravelo = Ravelo(desktop, config=cls.config)
        # Out of the pictures: the window minimised (no tray host), the pointer where no
        # sample is taken.
        assert wait_until(lambda: cls.ravelo.window_state() == "iconic", 10), "the window did not minimise"
        cls.ravelo.xdotool("mousemove", "--sync", *(str(n // 2) for n in cls.geometry))
        super().setUpClass()

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        shutil.rmtree(cls.config, ignore_errors=True)


if __name__ == "__main__":
    native.main()
