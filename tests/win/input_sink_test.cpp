// The input sink under Wine against the real keyboard layout. Where moves land and what
// clicks and typed keys do to a window is the e2e tests' part (tests/e2e/test_input.py).
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

}  // namespace
}  // namespace ravelo
