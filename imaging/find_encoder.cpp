#include "imaging/find_encoder.h"

#include <cstring>
#include <memory>
#include <new>

#include "imaging/status.h"

namespace ravelo {

bool operator==(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof(Guid)) == 0; }

namespace {

char16_t FoldCase(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

bool EqualIgnoringCase(const char16_t* a, const char16_t* b) {
  for (; *a != 0 && *b != 0; ++a, ++b)
    if (FoldCase(*a) != FoldCase(*b)) return false;
  return *a == *b;
}

size_t Length(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

template <typename T>
std::unique_ptr<T[]> ScratchText(size_t n) {
  std::unique_ptr<T[]> text(new (std::nothrow) T[n]);
  if (!text) throw CAtlException(kEOutOfMemory);
  return text;
}

std::unique_ptr<char16_t[]> Widen(GdiplusApi& library, const char* text) {
  int32_t n = library.NarrowToWide(text, -1, nullptr, 0);
  if (n <= 0) throw CAtlException(HResultFromError(library.LastError()));
  auto wide = ScratchText<char16_t>(static_cast<size_t>(n));
  if (library.NarrowToWide(text, -1, wide.get(), n) == 0)
    throw CAtlException(HResultFromError(library.LastError()));
  return wide;
}

}  // namespace

Guid FindEncoderForExtension(GdiplusApi& library, const char* extension,
                             const CodecInfo* encoders, uint32_t count) {
  const auto wanted = Widen(library, extension != nullptr ? extension : "");
  for (uint32_t i = 0; i < count; ++i) {
    const char16_t* list = encoders[i].filenameExtension;
    if (list == nullptr) continue;
    // One copy of the list, cut into tokens in place.
    const size_t length = Length(list);
    auto tokens = ScratchText<char16_t>(length + 1);
    std::memcpy(tokens.get(), list, (length + 1) * sizeof(char16_t));
    char16_t* p = tokens.get();
    while (*p != 0) {
      while (*p == u';') ++p;
      if (*p == 0) break;
      char16_t* token = p;
      while (*p != 0 && *p != u';') ++p;
      const bool last = *p == 0;
      *p = 0;
      if (EqualIgnoringCase(library.FindExtension(token), wanted.get())) return encoders[i].clsid;
      if (!last) ++p;
    }
  }
  return kNullGuid;
}

Guid FindEncoderForFileType(const Guid& fileType, const CodecInfo* encoders, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i)
    if (encoders[i].formatId == fileType) return encoders[i].clsid;
  return kNullGuid;
}

}  // namespace ravelo
