// The portal's restore token beside the settings file: where it lives, what counts as one,
// and that it is kept private and replaced whole.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "app/gtk/restore_token_file.h"
#include "imaging_test_support.h"

namespace ravelo {
namespace {

TEST(RestoreTokenFileTest, LivesBesideTheSettingsFile) {
  EXPECT_EQ(RestoreTokenFilePath("/home/u/.config/ravelo/settings"), "/home/u/.config/ravelo/portal-restore-token");
  EXPECT_EQ(RestoreTokenFilePath(""), "");
}

TEST(RestoreTokenFileTest, OnlyShortPrintableTextIsAToken) {
  const struct {
    std::string text;
    bool token;
  } cases[] = {
      {"0c2f9a2e-7a43-4bd1-9a6e-12c1d6e8d0a1", true},
      {"a", true},
      {std::string(kMaxRestoreToken, 'x'), true},
      {std::string(kMaxRestoreToken + 1, 'x'), false},
      {"", false},
      {"two words", false},
      {"line\nbreak", false},
      {"tab\t", false},
      {"\x7f", false},
      {"caf\xc3\xa9", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRestoreToken(c.text), c.token) << c.text;
}

TEST(RestoreTokenFileTest, SavedPrivatelyReplacedAndReadBack) {
  testing::ScratchDir dir;
  const std::string path = dir.File("ravelo/portal-restore-token");  // the directory is made
  EXPECT_EQ(LoadRestoreToken(path), "");
  ASSERT_TRUE(SaveRestoreToken(path, "first-token"));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(LoadRestoreToken(path), "first-token");
  ASSERT_TRUE(SaveRestoreToken(path, "second"));
  EXPECT_EQ(LoadRestoreToken(path), "second");
  EXPECT_FALSE(SaveRestoreToken(path, "not a token"));
  EXPECT_EQ(LoadRestoreToken(path), "second");
}

TEST(RestoreTokenFileTest, WhatIsNotATokenReadsAsNone) {
  testing::ScratchDir dir;
  const struct {
    std::string contents;
    std::string token;
  } cases[] = {
      {"tok\nsecond line\n", "tok"},
      {"tok", "tok"},
      {"\n", ""},
      {"two words\n", ""},
      {std::string(kMaxRestoreToken + 1, 'x') + "\n", ""},
      {std::string("\0\1\2", 3), ""},
  };
  const std::string path = dir.File("token");
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.contents;
    EXPECT_EQ(LoadRestoreToken(path), c.token) << c.contents;
  }
  // Not a regular file: read as none, and at once.
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadRestoreToken(fifo), "");
  EXPECT_EQ(LoadRestoreToken(dir.Path().string()), "");
}

}  // namespace
}  // namespace ravelo
