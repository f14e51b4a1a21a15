// The settings store: the password and the "Run on Startup" choice kept in the registry,
// read into the window's controls at start-up and written from them on close.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/shell.h"

namespace ravelo {

// Registry value types, as the platform numbers them.
namespace regtype {
constexpr std::uint32_t kString = 1;        // REG_SZ
constexpr std::uint32_t kExpandString = 2;  // REG_EXPAND_SZ
constexpr std::uint32_t kDword = 4;         // REG_DWORD
}  // namespace regtype

enum class RegistryHive { kLocalMachine, kCurrentUser };
enum class RegistryAccess { kRead, kReadWrite };

// One open registry key; closed when the object goes.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  virtual std::unique_ptr<RegistryKey> OpenSubKey(const char* name, RegistryAccess access) = 0;
  // Creates the subkey, or opens it when it exists: non-volatile, read and write access.
  virtual std::unique_ptr<RegistryKey> CreateSubKey(const char* name) = 0;
  // Reads at most `*size` bytes. False when the value is missing or does not fit; on
  // success `*type` and `*size` describe what was stored.
  virtual bool QueryValue(const char* name, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) = 0;
  virtual bool SetValue(const char* name, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) = 0;
  // Whether a value of that name exists, whatever its type and size.
  virtual bool HasValue(const char* name) = 0;
  // True once the value is gone, also when there was none.
  virtual bool DeleteValue(const char* name) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens `path` under the hive with whatever access the user has.
  virtual std::unique_ptr<RegistryKey> OpenKey(RegistryHive hive, const char* path) = 0;
};

constexpr const char kSoftwareKey[] = "Software\\";
constexpr const char kSettingsKey[] = "Ravelo";
constexpr const char kPasswordValue[] = "Pass";
constexpr const char kRunOnStartupValue[] = "StartupRun";
constexpr const char kFastAnswersValue[] = "FastAnswers";

// Keeps the settings in the machine's key. Where the machine's key may not be written, they
// go to the current user's key instead, which is then read first and kept up to date.
class RegistrySettings : public SettingsStore {
 public:
  explicit RegistrySettings(Registry& registry) : registry_(registry) {}
  StoredPassword LoadSettings(WindowControls& window) override;
  void SaveSettings(WindowControls& window) override;

  static constexpr std::uint32_t kPasswordReadBytes = 16;

 private:
  std::unique_ptr<RegistryKey> OpenSettings(RegistryHive hive, RegistryAccess access);
  std::unique_ptr<RegistryKey> CreateSettings(RegistryHive hive);

  Registry& registry_;
};

// The password a stored value gives the box: `size` bytes as stored, NUL included. Only a
// value that fits the 16-byte read with its NUL last (or no bytes at all) is taken, cut at its
// first NUL; anything else leaves the box as it is. Every settings store reads by this rule.
std::optional<std::string> AcceptStoredPassword(const std::uint8_t* bytes, std::uint32_t size);

}  // namespace ravelo
