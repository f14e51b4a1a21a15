// The XDG autostart entry: where it goes, how its Exec line names the program, and turning it on
// and off in a private configuration directory.
#include "app/gtk/xdg_autostart.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace ravelo {
namespace {

namespace fs = std::filesystem;

// The program a launcher runs for an Exec line, read as GLib's desktop-entry code reads it: the
// string value unescaped, field codes expanded (%% is a plain %), then the shell's quoting; and
// the TryExec program it checks for first.
std::vector<std::string> LaunchedArgv(const std::string& entry, std::string* tryExec) {
  GKeyFile* file = g_key_file_new();
  std::vector<std::string> argv;
  if (g_key_file_load_from_data(file, entry.c_str(), entry.size(), G_KEY_FILE_NONE, nullptr)) {
    gchar* check = g_key_file_get_string(file, "Desktop Entry", "TryExec", nullptr);
    *tryExec = check != nullptr ? check : "";
    g_free(check);
    gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
    std::string line = exec != nullptr ? exec : "";
    g_free(exec);
    for (std::size_t at = line.find("%%"); at != std::string::npos; at = line.find("%%", at + 1)) line.erase(at, 1);
    gchar** words = nullptr;
    if (g_shell_parse_argv(line.c_str(), nullptr, &words, nullptr)) {
      for (gchar** w = words; *w != nullptr; ++w) argv.emplace_back(*w);
      g_strfreev(words);
    }
  }
  g_key_file_free(file);
  return argv;
}

TEST(XdgAutostartTest, ExecLineStartsTheProgramByItsPath) {
  const struct {
    std::string path;
    std::string argv0;
  } cases[] = {
      {"/opt/ravelo/bin/ravelo", "/opt/ravelo/bin/ravelo"},
      {"/home/ann/My Programs/ravelo", "/home/ann/My Programs/ravelo"},
      {"/tmp/it's \"all\" $HOME `here`\\ravelo", "/tmp/it's \"all\" $HOME `here`\\ravelo"},
      {"/tmp/100% sure/a;b|c&d*e?f#g(h)~<i>/ravelo", "/tmp/100% sure/a;b|c&d*e?f#g(h)~<i>/ravelo"},
      {"/tmp/tab\there/line\nbreak/ravelo", "/tmp/tab\there/line\nbreak/ravelo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string tryExec;
    EXPECT_EQ(LaunchedArgv(AutostartEntry(c.path), &tryExec), std::vector<std::string>{c.argv0});
    EXPECT_EQ(tryExec, c.argv0);
  }
}

// The entry under an absolute $XDG_CONFIG_HOME, and the installed program's, the package test shows.
TEST(XdgAutostartTest, FilePath) {
  EXPECT_EQ(AutostartFilePath("relative", "/home/ann"), "/home/ann/.config/autostart/ravelo.desktop");
  EXPECT_EQ(AutostartFilePath(nullptr, ""), "");
}

TEST(XdgAutostartTest, EntriesASessionSkips) {
  const std::string head = "[Desktop Entry]\nType=Application\nExec=ravelo\n";
  const struct {
    std::string text;
    bool enabled;
  } cases[] = {
      {head, true},
      {head + "Hidden=true\n", false},
      {head + "Hidden = true\r\n", false},
      {head + "X-GNOME-Autostart-enabled=false\n", false},
      {head + "[Desktop Action quit]\nHidden=true\n", true},  // another group's key
      {"[Desktop Action quit]\nHidden=true\n" + head, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(AutostartEntryEnabled(c.text), c.enabled);
  }
}

class ConfigHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/ravelo-autostart-XXXXXX";
    root_ = ::mkdtemp(name);
    path_ = AutostartFilePath(root_.c_str(), nullptr);
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string root_;
  std::string path_;
};

// That on writes the entry and off removes it the package test shows.
TEST_F(ConfigHome, OnLeavesNoTemporaryFileAndOffWithoutAnEntryIsNoFailure) {
  XdgAutostart autostart(path_, "/opt/ravelo/bin/ravelo");
  std::string problem;
  ASSERT_TRUE(autostart.SetEnabled(true, &problem)) << problem;
  EXPECT_EQ(fs::directory_iterator(fs::path(path_).parent_path())->path(), path_) << "a temporary file was left";
  fs::remove(path_);
  EXPECT_TRUE(autostart.SetEnabled(false, &problem)) << problem;

  // Turned off by the desktop's own settings, it reads as off; on writes it afresh.
  std::ofstream(path_) << AutostartEntry("/usr/bin/ravelo") << "Hidden=true\n";
  EXPECT_FALSE(autostart.IsEnabled());
  ASSERT_TRUE(autostart.SetEnabled(true, &problem));
  EXPECT_TRUE(autostart.IsEnabled());
}

TEST_F(ConfigHome, FailuresSayWhichFile) {
  std::string problem;
  fs::create_directories(path_);  // a directory where the file should be: neither write nor unlink works
  XdgAutostart autostart(path_, "ravelo");
  EXPECT_FALSE(autostart.SetEnabled(true, &problem));
  EXPECT_EQ(problem, "cannot write " + path_);
  EXPECT_FALSE(autostart.SetEnabled(false, &problem));
  EXPECT_EQ(problem.rfind("cannot remove " + path_ + ": ", 0), 0u) << problem;

  XdgAutostart homeless("", "ravelo");
  EXPECT_FALSE(homeless.IsEnabled());
  EXPECT_FALSE(homeless.SetEnabled(true, &problem));
  EXPECT_EQ(problem, "no home directory to keep the autostart entry in");
}

}  // namespace
}  // namespace ravelo
