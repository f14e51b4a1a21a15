// Drawing calls and desktop calls written into one shared log, so that a test can read
// the order of a whole capture; each forwards to a real backend and can be told to refuse.
#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "imaging/desktop_source.h"
#include "imaging/gdi_api.h"
#include "imaging_recording_gdiplus.h"

namespace ravelo::testing {

using CallLog = std::vector<std::string>;

inline std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

// Names bitmaps by their size ("256x192") and contexts by the bitmap selected into them
// ("dc:256x192"); a test names foreign handles such as the screen's itself.
class RecordingGdi : public GdiApi {
 public:
  RecordingGdi(GdiApi& real, CallLog& log) : real_(real), log_(log) {}

  std::map<const void*, std::string> names;
  std::set<std::string> refuseSections;  // sizes "WxH" whose CreateSection fails
  int contextBudget = -1;                // new memory drawing contexts allowed; -1: any
  bool refuseDescribeIcon = false;

  BitmapHandle CreateSection(const BitmapInfoBlock& info, void** bits) override {
    const std::string size = std::to_string(info.header.width) + "x" + std::to_string(info.header.height);
    log_.push_back("CreateSection " + size);
    if (refuseSections.count(size) != 0) return nullptr;
    BitmapHandle b = real_.CreateSection(info, bits);
    if (b != nullptr) names[b] = size;
    return b;
  }
  bool DescribeBitmap(BitmapHandle bitmap, BitmapDescription* out) override {
    return real_.DescribeBitmap(bitmap, out);
  }
  bool FreeBitmap(BitmapHandle bitmap) override {
    log_.push_back("FreeBitmap " + Name(bitmap));
    return real_.FreeBitmap(bitmap);
  }
  DcHandle CreateMemoryContext() override {
    if (contextBudget == 0) return nullptr;
    if (contextBudget > 0) --contextBudget;
    return real_.CreateMemoryContext();
  }
  bool DeleteContext(DcHandle dc) override { return real_.DeleteContext(dc); }
  BitmapHandle SelectInto(DcHandle dc, BitmapHandle bitmap) override {
    const auto it = names.find(bitmap);
    if (it != names.end()) {
      log_.push_back("Select " + it->second);
      names[dc] = "dc:" + it->second;
    } else {
      log_.push_back("Deselect " + Name(dc));
      names[dc] = "dc";
    }
    return real_.SelectInto(dc, bitmap);
  }
  bool Blit(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height, DcHandle src,
            int32_t srcX, int32_t srcY, uint32_t rop) override {
    log_.push_back("Blit " + Name(dst) + " " + Rect(x, y, width, height) + " <- " + Name(src) + " " +
                    std::to_string(srcX) + "," + std::to_string(srcY) + " " + Hex(rop));
    return real_.Blit(dst, x, y, width, height, src, srcX, srcY, rop);
  }
  bool StretchBlit(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height, DcHandle src,
                   int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight, uint32_t rop) override {
    log_.push_back("StretchBlit " + Name(dst) + " " + Rect(x, y, width, height) + " <- " + Name(src) +
                    " " + Rect(srcX, srcY, srcWidth, srcHeight) + " " + Hex(rop));
    return real_.StretchBlit(dst, x, y, width, height, src, srcX, srcY, srcWidth, srcHeight, rop);
  }
  int SetStretchMode(DcHandle dc, int mode) override {
    log_.push_back("SetStretchMode " + Name(dc) + " " + std::to_string(mode));
    return real_.SetStretchMode(dc, mode);
  }
  IconHandle CreateIconFromPixels(const IconPixels& pixels) override {
    return real_.CreateIconFromPixels(pixels);
  }
  IconHandle CopyIconHandle(IconHandle icon) override {
    log_.push_back("CopyIcon " + Name(icon));
    IconHandle copy = real_.CopyIconHandle(icon);
    if (copy != nullptr) names[copy] = "copy";
    return copy;
  }
  bool DescribeIcon(IconHandle icon, IconDescription* out) override {
    log_.push_back("DescribeIcon " + Name(icon));
    if (refuseDescribeIcon) return false;
    if (!real_.DescribeIcon(icon, out)) return false;
    names[out->mask] = "mask";
    names[out->color] = "color";
    return true;
  }
  bool DrawIconAt(DcHandle dc, int32_t x, int32_t y, IconHandle icon) override {
    log_.push_back("DrawIcon " + Name(dc) + " " + std::to_string(x) + "," + std::to_string(y) + " " +
                    Name(icon));
    return real_.DrawIconAt(dc, x, y, icon);
  }
  bool FreeIcon(IconHandle icon) override {
    log_.push_back("FreeIcon " + Name(icon));
    return real_.FreeIcon(icon);
  }

 private:
  std::string Name(const void* handle) const {
    if (handle == nullptr) return "null";
    const auto it = names.find(handle);
    return it != names.end() ? it->second : "?";
  }
  static std::string Rect(int32_t x, int32_t y, int32_t w, int32_t h) {
    return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "x" + std::to_string(h);
  }

  GdiApi& real_;
  CallLog& log_;
};

class RecordingDesktop : public DesktopSource {
 public:
  RecordingDesktop(DesktopSource& real, CallLog& log) : real_(real), log_(log) {}

  WindowHandle DesktopWindow() override {
    log_.push_back("DesktopWindow");
    return real_.DesktopWindow();
  }
  bool WindowRect(WindowHandle window, DesktopRect* out) override {
    log_.push_back("WindowRect");
    return real_.WindowRect(window, out);
  }
  DcHandle AcquireScreenContext(WindowHandle window) override {
    log_.push_back("GetDC");
    return real_.AcquireScreenContext(window);
  }
  void ReleaseScreenContext(WindowHandle window, DcHandle dc) override {
    log_.push_back("ReleaseDC");
    real_.ReleaseScreenContext(window, dc);
  }
  bool ReadCursor(CursorRecord* out) override {
    log_.push_back("ReadCursor");
    return real_.ReadCursor(out);
  }

 private:
  DesktopSource& real_;
  CallLog& log_;
};

// The imaging library, with the file writes in the shared log.
class LoggingGdiplus : public RecordingGdiplus {
 public:
  LoggingGdiplus(GdiplusApi& real, CallLog& log) : RecordingGdiplus(real), log_(log) {}
  GpStatus SaveImageToFile(NativeImage image, const char16_t* path, const Guid& encoder) override {
    std::string narrow;
    for (const char16_t* c = path; c != nullptr && *c != 0; ++c) narrow += static_cast<char>(*c);
    log_.push_back("Save " + narrow);
    return RecordingGdiplus::SaveImageToFile(image, path, encoder);
  }

 private:
  CallLog& log_;
};

}  // namespace ravelo::testing
