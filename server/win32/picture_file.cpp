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
  // Opened for no access at all, which neither reads nor waits: a pipe answers as what it is.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool special = GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
                       (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0;
  CloseHandle(file);
  return special;
}

}  // namespace ravelo
