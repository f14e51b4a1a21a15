#include "app/settings_store.h"

#include <string>

#include "wire/protocol.h"

namespace ravelo {
namespace {

bool WriteFlag(RegistryKey& key, const char* name, bool on) {
  const std::uint8_t flag[4] = {static_cast<std::uint8_t>(on ? 1 : 0), 0, 0, 0};
  return key.SetValue(name, regtype::kDword, flag, sizeof flag);
}

bool ReadFlag(RegistryKey& key, const char* name) {
  std::uint8_t flag[4] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof flag;
  return key.QueryValue(name, &type, flag, &size) && type == regtype::kDword &&
         (flag[0] | flag[1] << 8 | flag[2] << 16 | static_cast<std::uint32_t>(flag[3]) << 24) == 1;
}

bool WriteSettings(RegistryKey& key, WindowControls& window) {
  // The text is stored with its NUL, as a string value should be.
  const std::string password = window.PasswordText();
  bool ok = key.SetValue(kPasswordValue, regtype::kString,
                         reinterpret_cast<const std::uint8_t*>(password.c_str()),
                         static_cast<std::uint32_t>(password.size() + 1));
  ok = WriteFlag(key, kRunOnStartupValue, window.RunOnStartupChecked()) && ok;
  // Written once it has been turned on, so that the settings of those who never do stay as they were.
  const bool fast = window.FastAnswersChecked();
  if (fast || key.HasValue(kFastAnswersValue)) ok = WriteFlag(key, kFastAnswersValue, fast) && ok;
  return ok;
}

}  // namespace

std::optional<std::string> AcceptStoredPassword(const std::uint8_t* bytes, std::uint32_t size) {
  // A value that does not fit the buffer with its NUL (16 characters or more) is not loaded.
  if (size > RegistrySettings::kPasswordReadBytes || (size != 0 && bytes[size - 1] != 0)) return std::nullopt;
  std::size_t length = 0;
  while (length < size && length < static_cast<std::size_t>(wire::kMaxPassword) && bytes[length] != 0) {
    ++length;
  }
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

std::unique_ptr<RegistryKey> RegistrySettings::OpenSettings(RegistryHive hive, RegistryAccess access) {
  std::unique_ptr<RegistryKey> software = registry_.OpenKey(hive, kSoftwareKey);
  if (!software) return nullptr;
  return software->OpenSubKey(kSettingsKey, access);
}

std::unique_ptr<RegistryKey> RegistrySettings::CreateSettings(RegistryHive hive) {
  std::unique_ptr<RegistryKey> software = registry_.OpenKey(hive, kSoftwareKey);
  if (!software) return nullptr;
  return software->CreateSubKey(kSettingsKey);
}

StoredPassword RegistrySettings::LoadSettings(WindowControls& window) {
  // Reading only: a user who may not write the machine's key can still load from it.
  std::unique_ptr<RegistryKey> key = OpenSettings(RegistryHive::kCurrentUser, RegistryAccess::kRead);
  if (!key) key = OpenSettings(RegistryHive::kLocalMachine, RegistryAccess::kRead);
  if (!key) return StoredPassword::kNone;

  if (ReadFlag(*key, kRunOnStartupValue)) window.SetRunOnStartup(true);
  if (ReadFlag(*key, kFastAnswersValue)) window.SetFastAnswers(true);

  if (!key->HasValue(kPasswordValue)) return StoredPassword::kNone;
  std::uint8_t text[kPasswordReadBytes] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof text;
  if (key->QueryValue(kPasswordValue, &type, text, &size) &&
      (type == regtype::kString || type == regtype::kExpandString)) {
    if (std::optional<std::string> password = AcceptStoredPassword(text, size)) {
      window.SetPasswordText(*password);
      return StoredPassword::kLoaded;
    }
  }
  return StoredPassword::kRejected;
}

void RegistrySettings::SaveSettings(WindowControls& window) {
  bool saved = false;
  if (std::unique_ptr<RegistryKey> machine = CreateSettings(RegistryHive::kLocalMachine)) {
    saved = WriteSettings(*machine, window);
  }
  // An ordinary user may not write the machine's key; the user's key then holds the
  // settings, and once it exists it is the one loaded, so it is never left stale.
  std::unique_ptr<RegistryKey> user =
      saved ? OpenSettings(RegistryHive::kCurrentUser, RegistryAccess::kReadWrite)
            : CreateSettings(RegistryHive::kCurrentUser);
  if (user) WriteSettings(*user, window);
}

}  // namespace ravelo
