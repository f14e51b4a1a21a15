// Starts the imaging library when a picture is first saved and shuts it down when
// the last living image goes away.
#pragma once

#include <cstdint>
#include <mutex>

#include "imaging/gdiplus_api.h"

namespace ravelo {

class CImagingStartup {
 public:
  explicit CImagingStartup(GdiplusApi& library);
  ~CImagingStartup();  // shuts the library down if it is still started
  CImagingStartup(const CImagingStartup&) = delete;
  CImagingStartup& operator=(const CImagingStartup&) = delete;

  // The process-wide guard over DefaultGdiplus().
  static CImagingStartup& Instance();

  // Starts the library unless it runs already. False when it cannot be started.
  bool Startup();
  void Shutdown();
  void IncreaseImageCount();
  // Shuts the library down when the count reaches zero.
  void DecreaseImageCount();

  bool IsStarted() const;
  int32_t LiveImages() const;
  GdiplusApi& Library() const { return library_; }

 private:
  GdiplusApi& library_;
  GdiplusToken token_ = 0;
  mutable std::recursive_mutex lock_;
  int32_t live_images_ = 0;
};

}  // namespace ravelo
