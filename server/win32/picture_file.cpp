#include "server/picture_file.h"

#include <windows.h>

namespace ravelo {

PictureFileRead ReadPictureFile(const char* path, std::uint8_t* data, std::size_t capacity,
                                std::size_t* length) {
  *length = 0;
  // FILE_FLAG_OPEN_REPARSE_POINT: a link is opened as itself, and then refused below.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return PictureFileRead::kFailed;
  PictureFileRead result = PictureFileRead::kRead;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) {
    result = PictureFileRead::kFailed;
  } else if (GetFileType(file) != FILE_TYPE_DISK ||
             (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    result = PictureFileRead::kNotRegular;
  } else {
    while (*length < capacity) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(capacity - *length);
      if (!ReadFile(file, data + *length, want, &n, nullptr)) {
        result = PictureFileRead::kFailed;
        break;
      }
      if (n == 0) break;
      *length += n;
    }
  }
  CloseHandle(file);
  return result;
}

bool IsSpecialFile(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0;
}

}  // namespace ravelo
