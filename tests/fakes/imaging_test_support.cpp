#include "imaging_test_support.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <system_error>

namespace ravelo::testing {

ScratchDir::ScratchDir() {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  static int serial = 0;
  path_ = std::filesystem::temp_directory_path() /
           ("ravelo-imaging-" + std::to_string(stamp) + "-" + std::to_string(++serial));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace ravelo::testing
