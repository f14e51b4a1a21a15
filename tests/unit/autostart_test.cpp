// Start at login over the fake registry: the Run value, the --autostart option and the menu item.
#include "app/autostart.h"

#include <gtest/gtest.h>

#include "fake_registry.h"
#include "recording_log.h"

namespace ravelo {
namespace {

constexpr char kRunPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kCommand[] = "\"C:\\Program Files\\Ravelo\\ravelo.exe\"";

FakeRegistry::Value Text(const std::string& s) {
  return {regtype::kString, std::vector<std::uint8_t>(s.c_str(), s.c_str() + s.size() + 1)};
}

// A user's registry as Windows has it: the Run key's parent always exists.
struct UserRegistry : FakeRegistry {
  UserRegistry() { user.keys[kRunKeyParent]; }
  FakeRegistry::Values* Run() {
    auto it = user.keys.find(kRunPath);
    return it == user.keys.end() ? nullptr : &it->second;
  }
};

TEST(RunKeyAutostartTest, WritesAndRemovesOnlyItsOwnValue) {
  const FakeRegistry::Value other = Text("\"C:\\Other\\tool.exe\" --quiet");
  const struct {
    const char* name;
    bool runKey;          // the Run key exists
    const char* stored;   // Ravelo's value before, or null
    bool writable;
    bool enable;
    bool done;
    bool enabledAfter;
  } cases[] = {
      {"first time on makes the Run key", false, nullptr, true, true, true, true},
      {"on replaces an old path", true, "\"D:\\old\\ravelo.exe\"", true, true, true, true},
      {"off removes the value", true, kCommand, true, false, true, false},
      {"off with nothing there", true, nullptr, true, false, true, false},
      {"on in a hive that refuses writing", true, nullptr, false, true, false, false},
      {"off in a hive that refuses writing", true, kCommand, false, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UserRegistry registry;
    if (c.runKey) registry.user.keys[kRunPath]["Other"] = other;
    if (c.stored) registry.user.keys[kRunPath][kRunValue] = Text(c.stored);
    registry.user.writable = c.writable;
    RunKeyAutostart autostart(registry, kCommand);
    EXPECT_EQ(autostart.IsEnabled(), c.stored != nullptr);

    std::string problem;
    EXPECT_EQ(autostart.SetEnabled(c.enable, &problem), c.done);
    EXPECT_EQ(autostart.IsEnabled(), c.enabledAfter);
    EXPECT_EQ(problem.empty(), c.done) << problem;
    if (c.done && c.enable) {
      EXPECT_EQ(registry.Run()->at(kRunValue), Text(kCommand));
    }
    if (c.runKey) {
      EXPECT_EQ(registry.Run()->at("Other"), other) << "another program's entry was touched";
    }
    EXPECT_EQ(registry.Settings(RegistryHive::kCurrentUser), nullptr);
    EXPECT_TRUE(registry.machine.keys.size() == 1) << "only the user's hive is written";
  }
}

TEST(RunKeyAutostartTest, OnlyAStringValueStartsAnything) {
  UserRegistry registry;
  registry.user.keys[kRunPath][kRunValue] = {regtype::kDword, {1, 0, 0, 0}};
  EXPECT_FALSE(RunKeyAutostart(registry, kCommand).IsEnabled());
  registry.user.keys[kRunPath][kRunValue] = {regtype::kExpandString, Text("%ProgramFiles%\\Ravelo\\ravelo.exe").bytes};
  EXPECT_TRUE(RunKeyAutostart(registry, kCommand).IsEnabled());
}

TEST(AutostartOptionTest, AFailureExitsWithOneAndSaysWhy) {
  UserRegistry registry;
  registry.user.keys[kRunPath][kRunValue] = Text(kCommand);
  registry.user.writable = false;
  RunKeyAutostart autostart(registry, kCommand);
  std::string error;
  EXPECT_EQ(ApplyAutostartOption(autostart, false, "ravelo.exe", &error), 1);
  EXPECT_EQ(error, "ravelo.exe: could not turn start at login off: cannot remove the value Ravelo under "
                   "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\n");
}

// The item showing what another tool did, and clicks turning it over, the package tests show.
TEST(StartAtLoginItemTest, AFailedClickIsLogged) {
  UserRegistry registry;
  RunKeyAutostart autostart(registry, kCommand);
  RecordingLog log;
  StartAtLoginItem item(autostart, log);
  registry.user.writable = false;
  item.Toggle();
  EXPECT_FALSE(item.Checked());
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "Could not turn start at login on: cannot write the value Ravelo under "
                          "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

}  // namespace
}  // namespace ravelo
