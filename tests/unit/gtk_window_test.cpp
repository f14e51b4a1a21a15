#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

#include "app/gtk/gtk_window.h"
#include "app/gtk/window_texts.h"

namespace ravelo {
namespace {

TEST(GtkWindowTest, LinesCountedAsTheEditControlCountsThem) {
  // The log is trimmed by this count, so it must match the Windows pane's, where only "\r\n"
  // breaks a line.
  const struct {
    const char* text;
    int lines;
  } cases[] = {
      {"", 1}, {"a", 1}, {"a\r\n", 2}, {"a\r\nb\r\n", 3}, {"\r\n\r\n", 3}, {"a\nb", 1}, {"a\rb\r", 1}, {"\r\r\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(EditControlLineCount(c.text), c.lines);
  }
}

TEST(GtkWindowTest, PasswordCutToItsBytesOnACharacterBoundary) {
  const struct {
    std::string text;
    std::string cut;
  } cases[] = {
      {"abc", "abc"},
      {"abcdefghijklmno", "abcdefghijklmno"},
      {"abcdefghijklmnop", "abcdefghijklmno"},
      {"abcdefghijklmn\xc3\xa9", "abcdefghijklmn"},               // e-acute would end at byte 16
      {"abcdefghijklm\xc3\xa9z", "abcdefghijklm\xc3\xa9"},         // it fits exactly
      {"abcdefghijkl\xe2\x82\xac", "abcdefghijkl\xe2\x82\xac"},    // the euro sign, 3 bytes
      {"abcdefghijklm\xe2\x82\xac", "abcdefghijklm"},
      {"abcdefghijk\xf0\x9f\x98\x80z", "abcdefghijk\xf0\x9f\x98\x80"},  // 4 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CutUtf8(c.text, 15), c.cut);
  }
}

TEST(GtkWindowTest, TextsAreTheWindowsResourcesOwn) {
  std::ifstream in(RAVELO_SOURCE_DIR "/resources/ravelo.rc");
  ASSERT_TRUE(in) << "resources/ravelo.rc";
  std::stringstream s;
  s << in.rdbuf();
  const std::string rc = s.str();
  for (std::string text : std::initializer_list<std::string>{text::kCaption, text::kPasswordLabel, text::kRunOnStartup, text::kFileMenu,
                           text::kExitItem, text::kHelpMenu, text::kAboutItem, text::kAboutCaption,
                           text::kAboutVersion, text::kAboutCredit, text::kAboutLine1, text::kAboutLine2,
                           text::kAboutOk, kStartText}) {
    SCOPED_TRACE(text);
    for (char& ch : text) {
      if (ch == '_') ch = '&';  // GTK's access-key mark for the resources' own
    }
    EXPECT_NE(rc.find('"' + text + '"'), std::string::npos);
  }
}

}  // namespace
}  // namespace ravelo
