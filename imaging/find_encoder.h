// Picks an encoder from the library's list by file-name extension or by format.
#pragma once

#include <cstdint>

#include "imaging/gdiplus_api.h"

namespace ravelo {

// `extension` is narrow text such as ".jpg" (null or "" for none). Matches, ignoring case,
// against the extension of every ';'-separated pattern of every encoder, in list order.
// Returns the encoder's class identifier, or kNullGuid. Raises CAtlException when the
// extension cannot be converted or scratch text cannot be allocated.
Guid FindEncoderForExtension(GdiplusApi& library, const char* extension,
                             const CodecInfo* encoders, uint32_t count);

Guid FindEncoderForFileType(const Guid& fileType, const CodecInfo* encoders, uint32_t count);

}  // namespace ravelo
