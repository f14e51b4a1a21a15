// Reading a picture file back, without being led astray by whatever else someone may have put
// under its name: a link is not followed and a pipe or device is not waited on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ravelo {

enum class PictureFileRead { kRead, kFailed, kNotRegular };

// Reads at most `capacity` bytes of the regular file `path` into `data`.
PictureFileRead ReadPictureFile(const char* path, std::uint8_t* data, std::size_t capacity,
                                std::size_t* length);

// Whether something other than a regular file (a link, a pipe, a directory) has the name `path`.
bool IsSpecialFile(const char* path);

}  // namespace ravelo
