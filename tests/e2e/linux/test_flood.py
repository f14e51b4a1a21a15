"""The native ravelo through the flood scenario (flood.Flood); standard error keeps every line."""
import re

import native  # first: it puts the shared e2e modules on the path
import flood  # noqa: E402


class FloodTest(flood.Flood, native.NativeTest):
    def setUp(self):
        self.ravelo = self.launch()

    def start(self, password):
        self.ravelo.type_password_and_start(password)
        self.ravelo.wait_for_line(native.harness.OPENED)

    def full_log(self):
        # "2026-12-09 08:50:46.063 Connection accepted from 127.0.0.1."
        return [m.group(1) for m in re.finditer(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*)$",
                                                self.ravelo.program_output(), re.M)]


if __name__ == "__main__":
    native.main()
