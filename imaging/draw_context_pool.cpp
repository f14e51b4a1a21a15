#include "imaging/draw_context_pool.h"

#include "imaging/imaging_startup.h"

namespace ravelo {

CDrawContextPool::CDrawContextPool(GdiApi& gdi) : m_gdi(gdi) {
  for (auto& slot : m_slots) slot.store(nullptr);
}

CDrawContextPool::~CDrawContextPool() {
  for (auto& slot : m_slots) {
    DcHandle dc = slot.exchange(nullptr);
    if (dc != nullptr) m_gdi.DeleteContext(dc);
  }
}

CDrawContextPool& CDrawContextPool::Instance() {
  // The guard is made first so that it is torn down after the pool's contexts are gone.
  CImagingStartup::Instance();
  static CDrawContextPool pool(DefaultGdi());
  return pool;
}

DcHandle CDrawContextPool::Take() {
  for (auto& slot : m_slots) {
    DcHandle dc = slot.exchange(nullptr);
    if (dc != nullptr) return dc;
  }
  return m_gdi.CreateMemoryContext();
}

void CDrawContextPool::Return(DcHandle dc) {
  DcHandle carry = dc;
  for (auto& slot : m_slots) {
    if (carry == nullptr) return;
    carry = slot.exchange(carry);
  }
  if (carry != nullptr) m_gdi.DeleteContext(carry);
}

}  // namespace ravelo
