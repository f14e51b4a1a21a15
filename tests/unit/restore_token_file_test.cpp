// The portal's restore token beside the settings file: what counts as one when it is read and
// written (that it is kept private, read back and offered again the e2e test shows).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "app/gtk/restore_token_file.h"
#include "imaging_test_support.h"

namespace ravelo {
namespace {

TEST(RestoreTokenFileTest, OnlyShortPrintableTextIsReadAsAToken) {
  testing::ScratchDir dir;
  const struct {
    std::string contents;
    std::string token;
  } cases[] = {
      {"tok\nsecond line\n", "tok"},
      {"tok", "tok"},
      {std::string(kMaxRestoreToken, 'x'), std::string(kMaxRestoreToken, 'x')},
      {std::string(kMaxRestoreToken + 1, 'x') + "\n", ""},
      {"\n", ""},
      {"two words\n", ""},
      {"\x7f\n", ""},
      {"caf\xc3\xa9\n", ""},
      {std::string("\0\1\2", 3), ""},
  };
  const std::string path = dir.File("token");
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.contents;
    EXPECT_EQ(LoadRestoreToken(path), c.token) << c.contents;
  }
  // Not a regular file: read as none, and at once (a pipe with no writer would block).
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadRestoreToken(fifo), "");
}

TEST(RestoreTokenFileTest, WhatIsNotATokenIsNotSaved) {
  testing::ScratchDir dir;
  const std::string path = dir.File("ravelo/portal-restore-token");  // the directory is made
  ASSERT_TRUE(SaveRestoreToken(path, "first-token"));
  EXPECT_FALSE(SaveRestoreToken(path, "not a token"));
  EXPECT_EQ(LoadRestoreToken(path), "first-token");
  EXPECT_EQ(RestoreTokenFilePath(""), "");  // no settings file, nowhere to keep one
}

}  // namespace
}  // namespace ravelo
