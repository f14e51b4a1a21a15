#include "imaging/imaging_startup.h"

namespace ravelo {

CImagingStartup::CImagingStartup(GdiplusApi& library) : library_(library) {}

CImagingStartup::~CImagingStartup() { Shutdown(); }

CImagingStartup& CImagingStartup::Instance() {
  static CImagingStartup startup(DefaultGdiplus());
  return startup;
}

bool CImagingStartup::Startup() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (token_ == 0) {
    GdiplusToken token = 0;
    if (library_.Startup(&token) != kGpOk) return false;
    token_ = token;
  }
  return true;
}

void CImagingStartup::Shutdown() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (token_ != 0) library_.Shutdown(token_);
  token_ = 0;
}

void CImagingStartup::IncreaseImageCount() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  ++live_images_;
}

void CImagingStartup::DecreaseImageCount() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (--live_images_ == 0) Shutdown();
}

bool CImagingStartup::IsStarted() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return token_ != 0;
}

int32_t CImagingStartup::LiveImages() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return live_images_;
}

}  // namespace ravelo
