#include "imaging/imaging_startup.h"

namespace ravelo {

CImagingStartup::CImagingStartup(GdiplusApi& library) : m_library(library) {}

CImagingStartup::~CImagingStartup() { Shutdown(); }

CImagingStartup& CImagingStartup::Instance() {
  static CImagingStartup startup(DefaultGdiplus());
  return startup;
}

bool CImagingStartup::Startup() {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_token == 0) {
    GdiplusToken token = 0;
    if (m_library.Startup(&token) != kGpOk) return false;
    m_token = token;
  }
  return true;
}

void CImagingStartup::Shutdown() {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_token != 0) m_library.Shutdown(m_token);
  m_token = 0;
}

void CImagingStartup::IncreaseImageCount() {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  ++m_liveImages;
}

void CImagingStartup::DecreaseImageCount() {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (--m_liveImages == 0) Shutdown();
}

bool CImagingStartup::IsStarted() const {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  return m_token != 0;
}

int32_t CImagingStartup::LiveImages() const {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  return m_liveImages;
}

}  // namespace ravelo
