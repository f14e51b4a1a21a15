"""ravelo.exe under Wine through the flood scenario (flood.Flood)."""
import flood
import harness


class FloodTest(flood.Flood, harness.WineTest):
    def full_log(self):
        return None


if __name__ == "__main__":
    harness.main()
