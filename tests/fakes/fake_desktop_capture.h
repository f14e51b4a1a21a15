// A desktop whose "capture" writes a scripted picture file and records the request.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/capture.h"

namespace ravelo {

class FakeDesktopCapture : public DesktopCapture {
 public:
  bool size_ok = true;
  std::uint16_t width = 1024;
  std::uint16_t height = 768;
  bool capture_ok = true;
  bool write_file = true;
  std::size_t file_bytes = 2500;
  std::uint8_t seed = 0;  // changes the file's contents from one capture to the next
  std::vector<std::string> requests;

  bool DesktopSize(std::uint16_t& w, std::uint16_t& h) override {
    if (!size_ok) return false;
    w = width;
    h = height;
    return true;
  }

  bool CaptureDesktop(bool full, std::uint16_t x, std::uint16_t y) override {
    requests.push_back(full ? "full" : "region " + std::to_string(x) + " " + std::to_string(y));
    if (!capture_ok) return false;
    if (write_file) {
      std::FILE* f = std::fopen(full ? kFullViewFile : kRegionViewFile, "wb");
      if (f == nullptr) return false;
      for (std::size_t i = 0; i < file_bytes; ++i) std::fputc(static_cast<int>(Byte(i)), f);
      std::fclose(f);
    }
    return true;
  }

  // The byte at `offset` of the file the current seed writes.
  std::uint8_t Byte(std::size_t offset) const {
    return static_cast<std::uint8_t>((offset * 7 + offset / 251 + seed) & 0xFF);
  }
};

}  // namespace ravelo
