#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/gtk/file_settings.h"
#include "app/gtk/picture_directory.h"
#include "fake_window.h"

namespace ravelo {
namespace {

namespace fs = std::filesystem;

// A private directory standing in for $XDG_CONFIG_HOME, removed afterwards.
class ConfigDir {
 public:
  ConfigDir() {
    char name[] = "/tmp/ravelo-settings-XXXXXX";
    root_ = ::mkdtemp(name);
  }
  ~ConfigDir() { fs::remove_all(root_); }
  fs::path Dir() const { return root_ / "ravelo"; }
  std::string File() const { return (Dir() / "settings").string(); }
  void Write(const std::string& text) const {
    fs::create_directories(Dir());
    std::ofstream(File(), std::ios::binary) << text;
  }
  std::string Read() const {
    std::ifstream in(File(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path root_;
};

unsigned Mode(const fs::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// The window after loading `path` into a password box that held "typed".
FakeWindowControls Loaded(const std::string& path, StoredPassword* stored = nullptr) {
  FakeWindowControls window;
  window.password = "typed";
  StoredPassword s = FileSettings(path).LoadSettings(window);
  if (stored) *stored = s;
  return window;
}

// The password's own rules are the registry's (settings_store_test); 15 characters, none
// and '=' in it are loaded back after the saves below. The line is UTF-8, the password Latin-1.
TEST(FileSettingsTest, WhatTheWindowShowsAfterLoading) {
  constexpr StoredPassword kNone = StoredPassword::kNone;
  constexpr StoredPassword kLoaded = StoredPassword::kLoaded;
  constexpr StoredPassword kRejected = StoredPassword::kRejected;
  const std::string e15 = "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
                          "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9";
  const struct {
    const char* name;
    std::string text;  // the file's bytes; "-" for no file
    std::string password;  // the box held "typed" before
    bool checked;
    StoredPassword stored;
  } cases[] = {
      {"no file", "-", "typed", false, kNone},
      {"empty file", "", "typed", false, kNone},
      {"StartupRun 0", "StartupRun=0\n", "typed", false, kNone},
      {"StartupRun 2", "StartupRun=2\n", "typed", false, kNone},
      {"StartupRun 01", "StartupRun=01\n", "typed", false, kNone},
      {"StartupRun with a space", "StartupRun= 1\n", "typed", false, kNone},
      {"StartupRun with a trailing space", "StartupRun=1 \n", "typed", false, kNone},
      {"lines of Windows", "Pass=pw\r\nStartupRun=1\r\n", "pw", true, kLoaded},
      {"no final line break", "StartupRun=1\nPass=pw", "pw", true, kLoaded},
      {"the later StartupRun counts", "StartupRun=1\nStartupRun=0\n", "typed", false, kNone},
      {"15 characters beyond ASCII", "Pass=" + e15 + "\n", std::string(15, '\xe9'), false, kLoaded},
      {"16 characters beyond ASCII", "Pass=" + e15 + "\xc3\xa9\n", "typed", false, kRejected},
      {"a character beyond Latin-1", "StartupRun=1\nPass=\xe2\x82\xac\n", "typed", true, kRejected},
      {"not UTF-8", "Pass=\xe9t\xe9\n", "typed", false, kRejected},
      {"a later Pass replaces", "Pass=a\nPass=b\n", "b", false, kLoaded},
      {"a later Pass too long", "Pass=a\nPass=abcdefghijklmnop\n", "typed", false, kRejected},
      {"names are exact", "pass=pw\n Pass=x\nstartupRun=1\n", "typed", false, kNone},
      {"other lines are passed over", "# kept by ravelo\nColour=blue\nPass=pw\n", "pw", false, kLoaded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConfigDir dir;
    if (c.text != "-") dir.Write(c.text);
    StoredPassword stored;
    const FakeWindowControls window = Loaded(dir.File(), &stored);
    EXPECT_EQ(window.password, c.password);
    EXPECT_EQ(window.run_on_startup, c.checked);
    EXPECT_EQ(stored, c.stored);
  }
}

TEST(FileSettingsTest, OnlyARegularFileIsRead) {
  ConfigDir dir;
  fs::create_directories(dir.Dir());
  // A pipe with no writer would block an ordinary open for ever; a directory is no file.
  ASSERT_EQ(::mkfifo(dir.File().c_str(), 0600), 0);
  EXPECT_EQ(Loaded(dir.File()).password, "typed");
  fs::remove(dir.File());
  fs::create_directories(dir.File());
  EXPECT_EQ(Loaded(dir.File()).password, "typed");
}

// A private file is read back after every save below.
TEST(FileSettingsTest, OnlyAFileNoOneElseCouldHaveWrittenIsRead) {
  const struct {
    const char* name;
    unsigned mode;
    uid_t owner;
    bool read;
  } cases[] = {
      {"readable by others", 0644, 0, true},
      {"writable by the group", 0620, 0, false},
      {"writable by anyone", 0602, 0, false},
      {"another user's", 0600, 4321, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.owner != 0 && ::geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
    ConfigDir dir;
    dir.Write("Pass=pw\n");
    ASSERT_EQ(::chmod(dir.File().c_str(), c.mode), 0);
    if (c.owner != 0) {
      ASSERT_EQ(::chown(dir.File().c_str(), c.owner, c.owner), 0);
    }
    EXPECT_EQ(Loaded(dir.File()).password, c.read ? "pw" : "typed");
  }
}

TEST(FileSettingsTest, SaveKeepsTheUsersLinkAndReplacesWhatItPointsTo) {
  ConfigDir dir;
  fs::create_directories(dir.Dir() / "real");
  const fs::path target = dir.Dir() / "real" / "settings";
  std::ofstream(target) << "Pass=old\n";
  fs::create_symlink("real/settings", dir.File());
  FakeWindowControls window;
  window.password = "new";
  FileSettings(dir.File()).SaveSettings(window);
  EXPECT_TRUE(fs::is_symlink(dir.File()));
  EXPECT_EQ(dir.Read(), "Pass=new\nStartupRun=0\n");
  EXPECT_EQ(fs::directory_iterator(dir.Dir() / "real")->path().filename(), "settings");  // no temporary left
  // A link to where nothing is yet gets its file made there.
  fs::remove(target);
  FileSettings(dir.File()).SaveSettings(window);
  EXPECT_TRUE(fs::is_symlink(dir.File()));
  EXPECT_TRUE(fs::is_regular_file(target));
}

TEST(FileSettingsTest, SaveWritesBothLinesPrivatelyAndLoadsBack) {
  const struct {
    std::string password;
    bool checked;
    const char* text;
  } cases[] = {
      {"s3cret", true, "Pass=s3cret\nStartupRun=1\n"},
      {"abcdefghijklmno", false, "Pass=abcdefghijklmno\nStartupRun=0\n"},
      {"", true, "Pass=\nStartupRun=1\n"},
      {"a b=c", false, "Pass=a b=c\nStartupRun=0\n"},
      {"\xe9t\xe9", false, "Pass=\xc3\xa9t\xc3\xa9\nStartupRun=0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.password);
    ConfigDir dir;
    dir.Write("Pass=old\nStartupRun=1\n");
    fs::permissions(dir.File(), fs::perms(0644));
    FakeWindowControls before;
    before.password = c.password;
    before.run_on_startup = c.checked;
    FileSettings(dir.File()).SaveSettings(before);
    EXPECT_EQ(dir.Read(), c.text);
    EXPECT_EQ(Mode(dir.File()), 0600u);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"settings"});  // no temporary file left
    const FakeWindowControls after = Loaded(dir.File());
    EXPECT_EQ(after.password, c.password);
    EXPECT_EQ(after.run_on_startup, c.checked);
  }
}

TEST(FileSettingsTest, SaveMakesTheMissingDirectoriesPrivate) {
  ConfigDir dir;
  std::string path = (dir.Dir() / "deeper" / "settings").string();
  FakeWindowControls window;
  window.password = "pw";
  FileSettings(path).SaveSettings(window);
  EXPECT_EQ(Mode(dir.Dir()), 0700u);
  EXPECT_EQ(Mode(dir.Dir() / "deeper"), 0700u);
  EXPECT_EQ(Mode(path), 0600u);
}

TEST(FileSettingsTest, AFailedSaveLeavesTheOldFileWhole) {
  const struct {
    const char* name;
    std::function<void(const ConfigDir&)> arrange;
    std::vector<std::string> left;  // what the directory holds afterwards
  } cases[] = {
      // The rename cannot replace a directory that holds something.
      {"settings is a directory",
       [](const ConfigDir& d) {
         fs::create_directories(fs::path(d.File()) / "x");
       },
       {"settings"}},
      // Running as root, a full disk is the failure left to make: a file size limit.
      {"the write stops short",
       [](const ConfigDir& d) {
         d.Write("Pass=old\nStartupRun=1\n");
         struct rlimit limit = {10, RLIM_INFINITY};
         ::setrlimit(RLIMIT_FSIZE, &limit);
       },
       {"settings"}},
  };
  std::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of ending the process
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConfigDir dir;
    fs::create_directories(dir.Dir());
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    c.arrange(dir);
    bool written = WriteFileAtomically(dir.File(), FormatSettings("abcdefghijklmno", false));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written);
    EXPECT_EQ(dir.Names(), c.left);
    if (fs::is_regular_file(dir.File())) {
      EXPECT_EQ(dir.Read(), "Pass=old\nStartupRun=1\n");
    }
  }
  std::signal(SIGXFSZ, SIG_DFL);

  // A file where the directory should be: nothing is written, and nothing is raised.
  ConfigDir dir;
  std::ofstream(dir.Dir().string()) << "not a directory";
  FakeWindowControls window;
  FileSettings(dir.File()).SaveSettings(window);
  EXPECT_TRUE(fs::is_regular_file(dir.Dir()));
}

TEST(FileSettingsTest, WhereTheFileIs) {
  const struct {
    const char* xdg;
    const char* home;
    const char* path;
  } cases[] = {
      {"/cfg", "/home/u", "/cfg/ravelo/settings"},
      {nullptr, "/home/u", "/home/u/.config/ravelo/settings"},
      {"", "/home/u", "/home/u/.config/ravelo/settings"},
      {"relative/cfg", "/home/u", "/home/u/.config/ravelo/settings"},  // not absolute: ignored
      {"/cfg", nullptr, "/cfg/ravelo/settings"},
      {nullptr, nullptr, ""},
      {nullptr, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.xdg ? c.xdg : "(unset)") + " " + (c.home ? c.home : "(unset)"));
    EXPECT_EQ(SettingsFilePath(c.xdg, c.home), c.path);
  }
}

// The runtime directory's own case the e2e tests use (their pictures are read from there).
TEST(PictureDirectoryTest, APrivateDirectoryOfTheUsers) {
  const struct {
    const char* name;
    std::function<void(const fs::path& run, const fs::path& tmp)> arrange;
    bool runtime;          // $XDG_RUNTIME_DIR is set
    const char* expected;  // "run/ravelo", "tmp/ravelo-UID", or "fresh": another name under tmp
  } cases[] = {
      {"made private again", [](const fs::path& run, const fs::path&) { fs::create_directory(run / "ravelo");
                                                                       fs::permissions(run / "ravelo", fs::perms(0755)); },
       true, "run/ravelo"},
      {"not through a link", [](const fs::path& run, const fs::path& tmp) { fs::create_directory_symlink(tmp, run / "ravelo"); },
       true, "tmp/ravelo-UID"},
      {"no runtime directory", [](const fs::path&, const fs::path&) {}, false, "tmp/ravelo-UID"},
      {"the shared name is a file", [](const fs::path&, const fs::path& tmp) {
         std::ofstream((tmp / "ravelo-").string() + std::to_string(::geteuid())) << "x"; },
       false, "fresh"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ConfigDir root;
    const fs::path run = root.Dir() / "run", tmp = root.Dir() / "tmp";
    const std::string shared = (tmp / ("ravelo-" + std::to_string(::geteuid()))).string();
    fs::create_directories(run);
    fs::create_directories(tmp);
    c.arrange(run, tmp);
    const std::string dir = PrivatePictureDirectory(c.runtime ? run.c_str() : nullptr, tmp.c_str());
    if (std::string(c.expected) == "fresh") {
      EXPECT_EQ(dir.rfind((tmp / "ravelo-").string(), 0), 0u) << dir;
      EXPECT_NE(dir, shared);
    } else {
      EXPECT_EQ(dir, std::string(c.expected) == "run/ravelo" ? (run / "ravelo").string() : shared);
    }
    EXPECT_FALSE(fs::is_symlink(dir));
    EXPECT_EQ(Mode(dir), 0700u);
  }
}

}  // namespace
}  // namespace ravelo
