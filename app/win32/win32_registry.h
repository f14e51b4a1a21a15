// The registry through the Win32 API.
#pragma once

#include "app/settings_store.h"

namespace ravelo {

class Win32Registry : public Registry {
 public:
  std::unique_ptr<RegistryKey> OpenKey(RegistryHive hive, const char* path) override;
};

}  // namespace ravelo
