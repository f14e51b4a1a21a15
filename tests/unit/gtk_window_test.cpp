#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>

#include "app/gtk/gtk_window.h"
#include "app/gtk/window_texts.h"
#include "wire/latin1.h"

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

TEST(GtkWindowTest, PasswordBoxTakesLatin1AndTheServerItsBytes) {
  const struct {
    std::string utf8;
    std::optional<std::string> latin1;  // none: the box refuses it
  } cases[] = {
      {"abc", "abc"},
      {"\xc3\xa9t\xc3\xa9", "\xe9t\xe9"},
      {"\xc2\xa0\xc3\xbf", "\xa0\xff"},
      {"\xe2\x82\xac", std::nullopt},      // the euro sign lies beyond Latin-1
      {"\xf0\x9f\x98\x80", std::nullopt},  // and so does anything of four bytes
      {"\xe9", std::nullopt},                // Latin-1 itself is no UTF-8
      {"a\xc3", std::nullopt},               // nor half a character
      {"\xc1\xa9", std::nullopt},           // nor an overlong form
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToLatin1(c.utf8), c.latin1);
  }
  // What a client sends as it is, and what it refuses: UTF-8 text beyond Latin-1.
  for (const char* utf8 : {"", "abc", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) EXPECT_TRUE(IsUtf8(utf8)) << utf8;
  for (const char* other : {"\xe9", "a\xc3", "\xe2\x82", "\xc1\xa9", "\xf5\x80\x80\x80"}) EXPECT_FALSE(IsUtf8(other)) << other;
  std::string every;
  for (int b = 1; b < 256; ++b) every += static_cast<char>(b);
  EXPECT_EQ(Utf8ToLatin1(Latin1ToUtf8(every)), every);
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
