// An in-memory registry with two hives; a hive may refuse writing, as the machine's does
// for an ordinary user. Records the settings keys it is asked to open.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/settings_store.h"

namespace ravelo {

class FakeRegistry : public Registry {
 public:
  struct Value {
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
    bool operator==(const Value& o) const { return type == o.type && bytes == o.bytes; }
  };
  using Values = std::map<std::string, Value>;
  struct Hive {
    std::map<std::string, Values> keys{{"Software\\", {}}};
    bool writable = true;
  };
  Hive machine, user;
  std::vector<std::string> calls;

  Hive& Of(RegistryHive h) { return h == RegistryHive::kLocalMachine ? machine : user; }
  // The settings key's values, or null when the key does not exist.
  Values* Settings(RegistryHive h) {
    auto it = Of(h).keys.find("Software\\Ravelo");
    return it == Of(h).keys.end() ? nullptr : &it->second;
  }
  void Put(RegistryHive h, const std::string& name, std::uint32_t type, const std::string& bytes) {
    Of(h).keys["Software\\Ravelo"][name] = {type, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
  }

  std::unique_ptr<RegistryKey> OpenKey(RegistryHive h, const char* path) override {
    if (!Of(h).keys.count(path)) return nullptr;
    return std::make_unique<Key>(*this, h, path, Of(h).writable);
  }

 private:
  static std::string Name(RegistryHive h) { return h == RegistryHive::kLocalMachine ? "HKLM" : "HKCU"; }

  class Key : public RegistryKey {
   public:
    Key(FakeRegistry& r, RegistryHive h, std::string path, bool write)
        : r_(r), h_(h), path_(std::move(path)), write_(write) {}
    std::unique_ptr<RegistryKey> OpenSubKey(const char* name, RegistryAccess access) override {
      bool write = access == RegistryAccess::kReadWrite;
      r_.calls.push_back(Name(h_) + " open " + name + (write ? " read-write" : " read"));
      if ((write && !r_.Of(h_).writable) || !r_.Of(h_).keys.count(path_ + name)) return nullptr;
      return std::make_unique<Key>(r_, h_, path_ + name, write);
    }
    std::unique_ptr<RegistryKey> CreateSubKey(const char* name) override {
      if (!r_.Of(h_).writable) return nullptr;
      r_.Of(h_).keys[path_ + name];
      return std::make_unique<Key>(r_, h_, path_ + name, true);
    }
    bool QueryValue(const char* name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override {
      const Values& values = r_.Of(h_).keys[path_];
      auto it = values.find(name);
      if (it == values.end()) return false;
      std::uint32_t n = static_cast<std::uint32_t>(it->second.bytes.size());
      bool fits = n <= *size;
      if (fits && n > 0) std::memcpy(data, it->second.bytes.data(), n);
      *type = it->second.type;
      *size = n;
      return fits;
    }
    bool HasValue(const char* name) override { return r_.Of(h_).keys[path_].count(name) != 0; }
    bool SetValue(const char* name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override {
      if (!write_ || !r_.Of(h_).writable) return false;
      r_.Of(h_).keys[path_][name] = {type, std::vector<std::uint8_t>(data, data + size)};
      return true;
    }
    bool DeleteValue(const char* name) override {
      if (!write_ || !r_.Of(h_).writable) return false;
      r_.Of(h_).keys[path_].erase(name);
      return true;
    }

   private:
    FakeRegistry& r_;
    RegistryHive h_;
    std::string path_;
    bool write_;
  };
};

}  // namespace ravelo
