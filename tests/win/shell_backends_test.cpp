// The registry and notification-area backends against the real Win32 calls.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "app/win32/shell_notification_area.h"
#include "app/win32/win32_registry.h"
#include "fake_window.h"

namespace ravelo {
namespace {

// Points both hives at scratch keys for the test's lifetime, so the settings stored in this
// Wine prefix are left alone.
class ScratchHives : public ::testing::Test {
 protected:
  static constexpr const char* kRoot = "Software\\RaveloBackendTest";
  HKEY machine_ = nullptr;
  HKEY user_ = nullptr;

  void SetUp() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);
    machine_ = Create(std::string(kRoot) + "\\machine\\Software");
    user_ = Create(std::string(kRoot) + "\\user\\Software");
    HKEY machineRoot = Create(std::string(kRoot) + "\\machine");
    HKEY userRoot = Create(std::string(kRoot) + "\\user");
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machineRoot), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, userRoot), ERROR_SUCCESS);
    RegCloseKey(machineRoot);
    RegCloseKey(userRoot);
  }
  void TearDown() override {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(machine_);
    RegCloseKey(user_);
    RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);
  }
  static HKEY Create(const std::string& path) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
  }
  // What is stored under "Software\Ravelo" of a hive, as type and bytes; type 0 when missing.
  static std::pair<DWORD, std::string> Stored(HKEY software, const char* name) {
    char data[64] = {};
    DWORD type = 0;
    DWORD size = sizeof data;
    HKEY key = nullptr;
    if (RegOpenKeyExA(software, "Ravelo", 0, KEY_READ, &key) != ERROR_SUCCESS) return {0, ""};
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return {0, ""};
    return {type, std::string(data, size)};
  }
};

TEST_F(ScratchHives, LoadsWhatTheRegistryHands) {
  const std::string nul(1, '\0');
  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
    std::string password;  // the box held "typed"
    bool checked;
  } cases[] = {
      {"StartupRun", REG_DWORD, std::string("\1\0\0\0", 4), "typed", true},
      {"Pass", REG_SZ, "abcdefghijklmno" + nul, "abcdefghijklmno", false},
      {"Pass", REG_EXPAND_SZ, "%TEMP%" + nul, "%TEMP%", false},
      {"Pass", REG_SZ, nul, "", false},
      {"Pass", REG_SZ, "pw", "typed", false},  // the API may add a NUL past the stored bytes
      // What the settings take of what was read is settings_store_test's.
  };
  Win32Registry registry;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.bytes);
    RegDeleteTreeA(machine_, "Ravelo");
    // Not a NUL after the bytes: the API would store a forgotten NUL it finds there.
    const std::string guarded = c.bytes + "!";
    ASSERT_EQ(RegSetKeyValueA(machine_, "Ravelo", c.name, c.type, guarded.data(),
                              static_cast<DWORD>(c.bytes.size())),
              ERROR_SUCCESS);
    FakeWindowControls window;
    window.password = "typed";
    RegistrySettings(registry).LoadSettings(window);
    EXPECT_EQ(window.password, c.password);
    EXPECT_EQ(window.run_on_startup, c.checked);
  }
}

TEST_F(ScratchHives, SavesToTheMachineAndRefreshesAnExistingUserKey) {
  Win32Registry registry;
  RegistrySettings settings(registry);
  FakeWindowControls window;
  window.password = "abcdefghijklmno";
  window.run_on_startup = true;
  settings.SaveSettings(window);
  EXPECT_EQ(Stored(machine_, "Pass"), std::make_pair(DWORD{REG_SZ}, std::string("abcdefghijklmno\0", 16)));
  EXPECT_EQ(Stored(machine_, "StartupRun"), std::make_pair(DWORD{REG_DWORD}, std::string("\1\0\0\0", 4)));
  HKEY probe = nullptr;
  EXPECT_NE(RegOpenKeyExA(user_, "Ravelo", 0, KEY_READ, &probe), ERROR_SUCCESS) << "no user key is made";

  // Once the user's key exists it is the one loaded, and a save keeps it current.
  ASSERT_EQ(RegSetKeyValueA(user_, "Ravelo", "Pass", REG_SZ, "old", 4), ERROR_SUCCESS);
  FakeWindowControls loaded;
  settings.LoadSettings(loaded);
  EXPECT_EQ(loaded.password, "old");
  EXPECT_FALSE(loaded.run_on_startup);
  window.password = "";
  window.run_on_startup = false;
  settings.SaveSettings(window);
  for (HKEY software : {machine_, user_}) {
    EXPECT_EQ(Stored(software, "Pass"), std::make_pair(DWORD{REG_SZ}, std::string(1, '\0')));
    EXPECT_EQ(Stored(software, "StartupRun"), std::make_pair(DWORD{REG_DWORD}, std::string(4, '\0')));
  }
}

TEST(ShellNotificationAreaTest, TheRecordTheShellGets) {
  HWND owner = CreateWindowA("STATIC", "owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  std::vector<std::pair<DWORD, std::string>> records;  // as much of the record as its size claims
  // The test carries the program's resources, so the icon is the program's 16 x 16 one.
  ShellNotificationArea area(GetModuleHandleA(nullptr), owner, [&](DWORD message, NOTIFYICONDATAA* record) {
    ICONINFO info = {};
    BITMAP bitmap = {};
    EXPECT_TRUE(GetIconInfo(record->hIcon, &info));
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 16);
    EXPECT_EQ(bitmap.bmHeight, 16);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    records.emplace_back(message, std::string(reinterpret_cast<const char*>(record), record->cbSize));
    return message == NIM_ADD;
  });
  EXPECT_TRUE(area.AddIcon());
  EXPECT_FALSE(area.DeleteIcon());  // the shell's answer is passed on
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].first, DWORD{NIM_ADD});
  EXPECT_EQ(records[1].first, DWORD{NIM_DELETE});
  for (const auto& r : records) {
    ASSERT_EQ(r.second.size(), 508u);
    NOTIFYICONDATAA n;
    std::memset(&n, 0, sizeof n);
    std::memcpy(&n, r.second.data(), r.second.size());
    EXPECT_EQ(n.hWnd, owner);
    EXPECT_EQ(n.uID, 133u);
    EXPECT_EQ(n.uFlags, UINT{NIF_MESSAGE | NIF_ICON | NIF_TIP});
    EXPECT_EQ(n.uCallbackMessage, 100u);
    EXPECT_EQ(n.dwState, DWORD{NIS_SHAREDICON});
    EXPECT_EQ(n.dwStateMask, DWORD{NIS_SHAREDICON});
    EXPECT_EQ(n.uTimeout, 3u);
    EXPECT_NE(n.hIcon, nullptr);  // the program's small icon, gone again once the call returned
    EXPECT_FALSE(DestroyIcon(n.hIcon));
    // Every other byte is zero: the rest of the tip, both balloon texts and the balloon flags.
    n.hWnd = nullptr;
    n.hIcon = nullptr;
    n.uID = n.uFlags = n.uCallbackMessage = 0;
    n.cbSize = n.dwState = n.dwStateMask = n.uTimeout = 0;
    EXPECT_STREQ(n.szTip, "Ravelo");
    std::memset(n.szTip, 0, 7);
    const std::string rest(reinterpret_cast<const char*>(&n), 508);
    EXPECT_EQ(rest, std::string(508, '\0'));
  }
  // And the shell itself takes the icon and gives it back once.
  ShellNotificationArea shell(GetModuleHandleA(nullptr), owner);
  EXPECT_TRUE(shell.AddIcon());
  EXPECT_TRUE(shell.DeleteIcon());
  EXPECT_FALSE(shell.DeleteIcon());
  DestroyWindow(owner);
}

}  // namespace
}  // namespace ravelo
