// The X11 sink's tables and arithmetic, without a display: keysyms for the key table and
// for characters, finding them in keyboard mappings shaped like the server's, pointer
// scaling. (Button numbers are checked where a client sees them, on Xvfb.)
#include <gtest/gtest.h>

#include <map>

#include "input/x11/x11_keys.h"

namespace ravelo {
namespace {

using namespace x11;

TEST(X11KeysTest, EverySpecialKeyAndModifierHasItsKeysym) {
  const std::map<std::uint16_t, std::uint32_t> expected = {
      {128, keysym::kBackSpace}, {129, 0xFFBE}, {130, 0xFFBF}, {131, 0xFFC0}, {132, 0xFFC1},
      {133, 0xFFC2},             {134, 0xFFC3}, {135, 0xFFC4}, {136, 0xFFC5}, {137, 0xFFC6},
      {138, 0xFFC7},             {139, 0xFFC8}, {140, 0xFFC9},
      {142, keysym::kHome},      {143, keysym::kPrior}, {144, keysym::kNext}, {145, keysym::kEnd},
      {146, keysym::kTab},       {147, keysym::kEscape}, {155, keysym::kUp}, {156, keysym::kDown},
      {157, keysym::kLeft},      {158, keysym::kRight}, {159, keysym::kInsert}, {160, keysym::kDelete},
      {161, keysym::kReturn},
  };
  // Every code the key table sends a virtual key for, and nothing else, is covered.
  for (std::uint16_t code = 128; code <= 161; ++code) {
    const KeyCodeEntry entry = KeyCodeMap(code);
    if (entry.kind != KeyCodeEntry::kVirtualKey) {
      EXPECT_EQ(expected.count(code), 0u) << code;
      continue;
    }
    ASSERT_EQ(expected.count(code), 1u) << code;
    EXPECT_EQ(KeysymForVirtualKey(entry.virtualKey), expected.at(code)) << code;
  }
  EXPECT_EQ(KeysymForVirtualKey(vk::kShift), keysym::kShiftL);
  EXPECT_EQ(KeysymForVirtualKey(vk::kControl), keysym::kControlL);
  EXPECT_EQ(KeysymForVirtualKey(vk::kAlt), keysym::kAltL);
  for (int other : {0x00, 0x41, 0x6F, 0x7C, 0xFF, 0x141})
    EXPECT_EQ(KeysymForVirtualKey(static_cast<std::uint16_t>(other)), keysym::kNoSymbol) << other;
}

TEST(X11KeysTest, CharactersBecomeLatin1KeysymsAndControlKeys) {
  struct Case {
    std::uint8_t c;
    bool found;
    std::uint32_t sym;
    std::uint8_t modifiers;
  };
  const Case cases[] = {
      {'a', true, 'a', 0},   {'A', true, 'A', 0},    {'!', true, '!', 0},     {' ', true, ' ', 0},
      {'~', true, '~', 0},   {0xA0, true, 0xA0, 0},  {0xE9, true, 0xE9, 0},   {0xFF, true, 0xFF, 0},
      {0x08, true, keysym::kBackSpace, 0}, {0x09, true, keysym::kTab, 0}, {0x0A, true, keysym::kReturn, 0},
      {0x0D, true, keysym::kReturn, 0},    {0x1B, true, keysym::kEscape, 0},
      {0x01, true, 'a', modifier::kControl}, {0x03, true, 'c', modifier::kControl},
      {0x1A, true, 'z', modifier::kControl},
      {0x00, false, 0, 0},   {0x1C, false, 0, 0},    {0x7F, false, 0, 0},     {0x80, false, 0, 0},
      {0x9F, false, 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<CharacterKeysym> k = KeysymForCharacter(c.c);
    ASSERT_EQ(k.has_value(), c.found) << int(c.c);
    if (!k) continue;
    EXPECT_EQ(k->keysym, c.sym) << int(c.c);
    EXPECT_EQ(k->modifiers, c.modifiers) << int(c.c);
  }
}

// A few keys of a keyboard mapping as an XKB server derives it, seven keysyms a key.
KeyboardMapping Mapping(const std::map<int, std::vector<std::uint32_t>>& keys) {
  KeyboardMapping m;
  m.minKeycode = 8;
  m.keysymsPerKeycode = 7;
  m.keysyms.assign(static_cast<size_t>(256 - 8) * 7, keysym::kNoSymbol);
  for (const auto& [code, syms] : keys)
    for (size_t i = 0; i < syms.size(); ++i) m.keysyms[static_cast<size_t>(code - 8) * 7 + i] = syms[i];
  return m;
}

TEST(X11KeysTest, FindsTheLevelAndKeyOfACharacter) {
  // German: 2 " with superscript 2 and 3 on levels three and four, q Q with @ on the
  // third, a key listing only its upper case letter; group 2 (columns 2 and 3) never
  // counts. Plain, shifted and third-level keys of real layouts are x11_input_test's.
  const KeyboardMapping de = Mapping({{11, {'2', '"', '2', '"', 0xB2, 0xB3}},
                                      {24, {'q', 'Q', 0x6C1, 0x6D1, '@', 0x7D9}},
                                      {47, {0xD6}},
                                      {48, {0xE4, 0xC4, '#', '#'}},
                                      {92, {keysym::kIsoLevel3Shift}}});
  struct Case {
    const char* name;
    std::uint32_t sym;
    bool level3;
    bool found;
    std::uint8_t keycode;
    std::uint8_t modifiers;
  };
  const Case cases[] = {
      {"fourth level", 0xB3, true, true, 11, modifier::kShift | kModifierLevel3},
      {"third level but no key for it", '@', false, false, 0, 0},
      {"upper case alone types lower case", 0xF6, true, true, 47, 0},
      {"upper case alone, with Shift", 0xD6, true, true, 47, modifier::kShift},
      {"second group ignored", '#', true, false, 0, 0},
      {"no symbol", keysym::kNoSymbol, true, false, 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<KeyPlacement> at = FindKeysym(de, c.sym, c.level3);
    ASSERT_EQ(at.has_value(), c.found) << c.name;
    if (!at) continue;
    EXPECT_EQ(at->keycode, c.keycode) << c.name;
    EXPECT_EQ(at->modifiers, c.modifiers) << c.name;
  }
}

TEST(X11KeysTest, PrefersTheLowestLevelOverTheLowestKeycode) {
  const KeyboardMapping m = Mapping({{20, {'x', '-'}}, {30, {'-', '_'}}});
  const std::optional<KeyPlacement> at = FindKeysym(m, '-', true);
  ASSERT_TRUE(at.has_value());
  EXPECT_EQ(at->keycode, 30);
  EXPECT_EQ(at->modifiers, 0);
  EXPECT_EQ(FindUnshiftedKeycode(m, '-'), std::optional<std::uint8_t>(30));
  EXPECT_EQ(FindUnshiftedKeycode(m, '_'), std::nullopt);  // only with Shift
}

TEST(X11KeysTest, AbsoluteValuesLandOnPixelsAsOnWindows) {
  struct Case {
    std::int32_t value, extent, pixel;
  };
  const Case cases[] = {
      {0, 1024, 0},       {32768, 1024, 512},  {65535, 1024, 1023}, {8191, 1024, 127},
      {65535, 1920, 1919}, {33156, 1920, 971}, {32767, 1080, 539},  {-5, 1024, 0},
      {70000, 1024, 1023}, {65535, 0, 0},      {100, 1, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ScaleToPixels(c.value, c.extent), c.pixel) << c.value << " of " << c.extent;
}

}  // namespace
}  // namespace ravelo
