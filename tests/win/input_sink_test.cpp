// The input sink under Wine against the real SendInput and keyboard layout. What typed
// keys and clicks do to a window is the e2e tests' part (tests/e2e/test_input.py).
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include "input/win32/win32_input_sink.h"

namespace ravelo {
namespace {

TEST(Win32InputSinkTest, LayoutLookupOfTheUsKeyboard) {
  Win32InputSink sink;
  struct Case {
    char c;
    std::uint16_t key;
    std::uint8_t modifiers;
  };
  const Case cases[] = {{'a', 'A', 0}, {'A', 'A', modifier::kShift}, {'1', '1', 0},
                        {'!', '1', modifier::kShift}, {' ', VK_SPACE, 0}, {'z', 'Z', 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.c);
    EXPECT_EQ(static_cast<std::uint16_t>(VkKeyScanA(c.c)), c.key | c.modifiers << 8);
    std::optional<LayoutKey> k = sink.ScanCharacter(static_cast<std::uint8_t>(c.c));
    ASSERT_TRUE(k.has_value());
    EXPECT_EQ(k->key, c.key);
    EXPECT_EQ(k->modifiers, c.modifiers);
  }
}

TEST(Win32InputSinkTest, AbsoluteMovesLandOnTheScale) {
  Win32InputSink sink;
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  struct Case {
    std::int32_t nx, ny;
    int x, y;
  };
  const Case cases[] = {{0, 0, 0, 0}, {32768, 32768, w / 2, h / 2}, {65535, 65535, w - 1, h - 1},
                        {8191, 8191, w / 8, h / 8}};
  for (const Case& c : cases) {
    sink.SendPointerMove(c.nx, c.ny, false);
    EXPECT_EQ(sink.LastAccepted(), 1u);
    POINT p{};
    GetCursorPos(&p);
    EXPECT_NEAR(p.x, c.x, 1) << c.nx;
    EXPECT_NEAR(p.y, c.y, 1) << c.ny;
  }
}

TEST(Win32InputSinkTest, ButtonAndKeyRecordsAreTaken) {
  Win32InputSink sink;
  sink.SendPointerMove(0, 0, false);
  for (std::uint32_t flags : {mouse::kLeftDown, mouse::kLeftUp, mouse::kRightDown, mouse::kRightUp,
                              mouse::kMiddleDown, mouse::kMiddleUp}) {
    sink.SendPointerButton(flags);
    EXPECT_EQ(sink.LastAccepted(), 1u) << flags;
  }
  sink.SendPointerMove(3, -2, true);
  EXPECT_EQ(sink.LastAccepted(), 1u);
  for (bool down : {true, false}) {
    sink.SendKeyEvent(vk::kShift, down);
    EXPECT_EQ(sink.LastAccepted(), 1u);
  }
}

}  // namespace
}  // namespace ravelo
