#include "app/win32/win32_registry.h"

#include <windows.h>

namespace ravelo {
namespace {

class Win32RegistryKey : public RegistryKey {
 public:
  explicit Win32RegistryKey(HKEY key) : key_(key) {}
  ~Win32RegistryKey() override { RegCloseKey(key_); }
  Win32RegistryKey(const Win32RegistryKey&) = delete;
  Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

  std::unique_ptr<RegistryKey> OpenSubKey(const char* name, RegistryAccess access) override {
    REGSAM sam = access == RegistryAccess::kRead ? KEY_READ : KEY_READ | KEY_WRITE;
    HKEY sub = nullptr;
    if (RegOpenKeyExA(key_, name, 0, sam, &sub) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32RegistryKey>(sub);
  }

  std::unique_ptr<RegistryKey> CreateSubKey(const char* name) override {
    HKEY sub = nullptr;
    if (RegCreateKeyExA(key_, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                        &sub, nullptr) != ERROR_SUCCESS) {
      return nullptr;
    }
    return std::make_unique<Win32RegistryKey>(sub);
  }

  bool QueryValue(const char* name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override {
    DWORD t = 0;
    DWORD n = *size;
    if (RegQueryValueExA(key_, name, nullptr, &t, data, &n) != ERROR_SUCCESS) return false;
    *type = t;
    *size = n;
    return true;
  }

  bool SetValue(const char* name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size) override {
    return RegSetValueExA(key_, name, 0, type, data, size) == ERROR_SUCCESS;
  }

  bool HasValue(const char* name) override {
    return RegQueryValueExA(key_, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }

  bool DeleteValue(const char* name) override {
    LONG status = RegDeleteValueA(key_, name);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }

 private:
  HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::OpenKey(RegistryHive hive, const char* path) {
  HKEY root = hive == RegistryHive::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  HKEY key = nullptr;
  // RegOpenKeyA asks for no particular access, so a reader may open it too.
  if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS) return nullptr;
  return std::make_unique<Win32RegistryKey>(key);
}

}  // namespace ravelo
