// The Wayland input sink's parts that need no compositor: where absolute moves land on the
// output, which Linux button each flag presses, where xkb layouts type the characters and
// special keys (as the X11 sink finds them), and the modifier state their keys make.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "input/inject.h"
#include "input/wayland/pointer_events.h"
#include "input/wayland/xkb_layout.h"

namespace ravelo::wayland {
namespace {

// Where a move lands on a mode the e2e test shows; here, what the protocol is told besides.
TEST(WaylandPointer, AbsoluteMovesCarryTheOutputsExtentAndWaitForAMode) {
  const std::optional<AbsoluteMotion> m = MotionOnOutput(65535, 32768, 3840, 2160);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->x, 3839u);
  EXPECT_EQ(m->y, 1080u);
  EXPECT_EQ(m->xExtent, 3840u);
  EXPECT_EQ(m->yExtent, 2160u);
  EXPECT_EQ(MotionOnOutput(100, 100, 0, 1080), std::nullopt);
  EXPECT_EQ(MotionOnOutput(100, 100, 1920, -1), std::nullopt);
}

// Left and right the e2e test presses.
TEST(WaylandPointer, TheMiddleButtonAndFlagsThatPressNone) {
  struct Case {
    uint32_t flags;
    std::optional<uint32_t> code;
    bool press;
  } cases[] = {
      {mouse::kMiddleDown, BTN_MIDDLE, true},
      {mouse::kMiddleUp, BTN_MIDDLE, false},
      {mouse::kMove, std::nullopt, false},
      {mouse::kLeftDown | mouse::kRightDown, std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    const std::optional<ButtonPress> got = ButtonForMouseFlags(c.flags);
    ASSERT_EQ(got.has_value(), c.code.has_value());
    if (!got) continue;
    EXPECT_EQ(got->code, *c.code);
    EXPECT_EQ(got->press, c.press);
  }
}

class XkbLayoutTest : public ::testing::Test {
 protected:
  // A layout by name, whatever XKB_DEFAULT_* say; the test is skipped without xkb's data.
  XkbLayout* Layout(const std::string& name) {
    for (auto& [n, l] : layouts_)
      if (n == name) return l.get();
    LayoutNames names;
    names.rules = "evdev";
    names.model = "pc105";
    names.layout = name;
    layouts_.emplace_back(name, XkbLayout::Create(names));
    return layouts_.back().second.get();
  }
  void SetUp() override {
    if (Layout("us") == nullptr) GTEST_SKIP() << "xkbcommon has no keyboard data (xkb-data)";
  }
  std::vector<std::pair<std::string, std::unique_ptr<XkbLayout>>> layouts_;
};

constexpr uint8_t kShift = modifier::kShift;
constexpr uint8_t kControl = modifier::kControl;
constexpr uint8_t kLevel3 = x11::kModifierLevel3;

TEST_F(XkbLayoutTest, CharactersAreFoundWithTheModifiersTheyNeed) {
  // Keycodes are xkb's: evdev + 8 (38 is the key of 'a' on a US keyboard). Shifted characters on
  // a US layout ('H', '!') the e2e test types; which character a control code or line break is
  // x11_keys_test shows.
  struct Case {
    const char* layout;
    uint8_t character;
    std::optional<uint8_t> keycode;
    uint8_t modifiers;
  } cases[] = {
      {"us", '\r', 36, 0},                // Return
      {"us", 0x01, 38, kControl},         // Control-A
      {"us", 0xE9, std::nullopt, 0},      // é: not on a US layout, nothing is sent
      {"us", 0x00, std::nullopt, 0},
      {"de", 'z', 29, 0},                 // QWERTZ
      {"de", '@', 24, kLevel3},           // AltGr+Q
      {"de", 0xA7, 12, kShift},           // § on Shift+3
      {"fr", 0xE9, 11, 0},                // é on the 2 key, unshifted
      {"fr", '1', 10, kShift},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.layout) + " character " + std::to_string(c.character));
    XkbLayout* layout = Layout(c.layout);
    ASSERT_NE(layout, nullptr);
    const std::optional<x11::KeyPlacement> at = layout->FindCharacter(c.character);
    ASSERT_EQ(at.has_value(), c.keycode.has_value());
    if (!at) continue;
    EXPECT_EQ(at->keycode, *c.keycode);
    EXPECT_EQ(at->modifiers, c.modifiers);
  }
}

TEST_F(XkbLayoutTest, SpecialKeysAreTheirUnshiftedKeys) {
  struct Case {
    uint16_t virtualKey;
    uint8_t keycode;
  } cases[] = {
      {0x0D, 36}, {0x70, 67}, {0x25, 113}, {0x2E, 119}, {vk::kShift, 50}, {vk::kControl, 37}, {vk::kAlt, 64},
  };
  XkbLayout* us = Layout("us");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.virtualKey);
    EXPECT_EQ(us->FindUnshifted(x11::KeysymForVirtualKey(c.virtualKey)), std::optional<uint8_t>(c.keycode));
  }
  EXPECT_EQ(us->FindUnshifted(x11::keysym::kNoSymbol), std::nullopt);
}

TEST_F(XkbLayoutTest, KeysMakeTheModifierStateTheCompositorIsTold) {
  // Modifier bits of xkb's core set: Control 4, Mod1 (Alt) 8, Mod5 (third level) 128. Shift, and
  // the keymap the compositor loads, the e2e test's 'H' and '!' show.
  struct Step {
    uint8_t keycode;  // 0: the layout's third-level key
    bool down;
    uint32_t depressed;
  };
  struct Case {
    const char* layout;
    std::vector<Step> steps;
  } cases[] = {
      {"us", {{37, true, 4}, {64, true, 12}, {37, false, 8}, {64, false, 0}}},  // Control, Alt
      {"us", {{38, true, 0}, {38, false, 0}}},                                   // a alone changes nothing
      {"de", {{0, true, 128}, {24, true, 128}, {24, false, 128}, {0, false, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout);
    XkbLayout* layout = Layout(c.layout);
    ASSERT_NE(layout, nullptr);
    for (const Step& s : c.steps) {
      const uint8_t key = s.keycode != 0 ? s.keycode : layout->Level3Key().value_or(0);
      SCOPED_TRACE(std::to_string(key) + (s.down ? " down" : " up"));
      const ModifierState m = layout->Press(key, s.down);
      EXPECT_EQ(m.depressed, s.depressed);
      EXPECT_EQ(m.latched, 0u);
      EXPECT_EQ(m.locked, 0u);
      EXPECT_EQ(m.group, 0u);
    }
  }
}

}  // namespace
}  // namespace ravelo::wayland
