#include <gtest/gtest.h>

#include "app/settings_store.h"
#include "fake_registry.h"
#include "fake_window.h"

namespace ravelo {
namespace {

constexpr RegistryHive kMachine = RegistryHive::kLocalMachine;
constexpr RegistryHive kUser = RegistryHive::kCurrentUser;
const std::string kNul(1, '\0');
const std::string kOne("\1\0\0\0", 4);

TEST(SettingsStoreTest, WhatTheWindowShowsAfterLoading) {
  const struct {
    const char* name;
    std::uint32_t type;   // 0: the value is not stored
    const char* value;    // "StartupRun" or "Pass"
    std::string bytes;
    std::string password;  // the box held "typed" before
    bool checked;
    StoredPassword stored = StoredPassword::kNone;
  } cases[] = {
      {"no key", 0, "", "", "typed", false},
      {"StartupRun 1", regtype::kDword, "StartupRun", kOne, "typed", true},
      {"StartupRun 0", regtype::kDword, "StartupRun", std::string(4, '\0'), "typed", false},
      {"StartupRun 2", regtype::kDword, "StartupRun", std::string("\2\0\0\0", 4), "typed", false},
      {"StartupRun as text", regtype::kString, "StartupRun", "1" + kNul, "typed", false},
      {"StartupRun too long", regtype::kDword, "StartupRun", kOne + kOne, "typed", false},
      {"Pass", regtype::kString, "Pass", "pw" + kNul, "pw", false, StoredPassword::kLoaded},
      {"Pass expandable", regtype::kExpandString, "Pass", "pw" + kNul, "pw", false, StoredPassword::kLoaded},
      {"Pass 15 characters", regtype::kString, "Pass", "abcdefghijklmno" + kNul, "abcdefghijklmno", false, StoredPassword::kLoaded},
      {"Pass 16 characters", regtype::kString, "Pass", "abcdefghijklmnop" + kNul, "typed", false, StoredPassword::kRejected},
      {"Pass empty", regtype::kString, "Pass", kNul, "", false, StoredPassword::kLoaded},
      {"Pass of no bytes", regtype::kString, "Pass", "", "", false, StoredPassword::kLoaded},
      {"Pass without NUL", regtype::kString, "Pass", "pw", "typed", false, StoredPassword::kRejected},
      {"Pass 16 without NUL", regtype::kString, "Pass", "abcdefghijklmnop", "typed", false, StoredPassword::kRejected},
      {"Pass as number", regtype::kDword, "Pass", kOne, "typed", false, StoredPassword::kRejected},
      {"Pass with inner NUL", regtype::kString, "Pass", "ab" + kNul + "cd" + kNul, "ab", false, StoredPassword::kLoaded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRegistry registry;
    if (c.type != 0) registry.Put(kMachine, c.value, c.type, c.bytes);
    FakeWindowControls window;
    window.password = "typed";
    EXPECT_EQ(RegistrySettings(registry).LoadSettings(window), c.stored);
    EXPECT_EQ(window.password, c.password);
    EXPECT_EQ(window.run_on_startup, c.checked);
  }
}

// Loading what is saved here is a row of the table above.
TEST(SettingsStoreTest, SaveWritesTheMachinesKey) {
  const struct {
    std::string password;
    bool checked;
  } cases[] = {{"s3cret", true}, {"abcdefghijklmno", false}, {"", true}, {"", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.password);
    FakeRegistry registry;
    FakeWindowControls before;
    before.password = c.password;
    before.run_on_startup = c.checked;
    RegistrySettings(registry).SaveSettings(before);
    // The machine's key holds the text with its NUL and a four-byte flag; the user's has nothing.
    FakeRegistry::Values expected{
        {"Pass", {regtype::kString, std::vector<std::uint8_t>(c.password.begin(), c.password.end() + 1)}},
        {"StartupRun", {regtype::kDword, {c.checked ? std::uint8_t{1} : std::uint8_t{0}, 0, 0, 0}}}};
    ASSERT_NE(registry.Settings(kMachine), nullptr);
    EXPECT_EQ(*registry.Settings(kMachine), expected);
    EXPECT_EQ(registry.Settings(kUser), nullptr);
  }
}

TEST(SettingsStoreTest, WhereTheMachineKeyMayNotBeWrittenTheUserKeyHoldsTheSettings) {
  const struct {
    const char* name;
    bool machine_writable;
    bool user_key_exists;
    bool machine_saved;
    bool user_saved;
  } cases[] = {
      {"writable machine key, no user key", true, false, true, false},
      {"writable machine key, stale user key", true, true, true, true},
      {"refused machine key, no user key", false, false, false, true},
      {"refused machine key, stale user key", false, true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRegistry registry;
    registry.Put(kMachine, "Pass", regtype::kString, "machine" + kNul);
    registry.machine.writable = c.machine_writable;
    if (c.user_key_exists) registry.Put(kUser, "Pass", regtype::kString, "old" + kNul);
    FakeWindowControls window;
    window.password = "new";
    window.run_on_startup = true;
    RegistrySettings settings(registry);
    settings.SaveSettings(window);

    EXPECT_EQ(registry.Settings(kMachine)->at("Pass").bytes.size(), c.machine_saved ? 4u : 8u);
    ASSERT_EQ(registry.Settings(kUser) != nullptr, c.user_saved);
    if (c.user_saved) {
      EXPECT_EQ(registry.Settings(kUser)->at("Pass").bytes, (std::vector<std::uint8_t>{'n', 'e', 'w', 0}));
      EXPECT_EQ(registry.Settings(kUser)->at("StartupRun").bytes, (std::vector<std::uint8_t>{1, 0, 0, 0}));
    }

    // A reader of the machine's key (write refused or not) loads what was just saved.
    registry.machine.writable = false;
    FakeWindowControls loaded;
    registry.calls.clear();
    settings.LoadSettings(loaded);
    EXPECT_EQ(loaded.password, "new");
    EXPECT_TRUE(loaded.run_on_startup);
    EXPECT_EQ(registry.calls.back(), c.user_saved ? "HKCU open Ravelo read" : "HKLM open Ravelo read");
  }
}

}  // namespace
}  // namespace ravelo
