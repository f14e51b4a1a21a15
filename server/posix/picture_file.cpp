#include "server/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "linux/posix_file.h"

namespace ravelo {

PictureFileRead ReadPictureFile(const char* path, std::uint8_t* data, std::size_t capacity,
                                std::size_t* length) {
  UniqueFd fd(::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return errno == ELOOP ? PictureFileRead::kNotRegular : PictureFileRead::kFailed;
  struct stat st;
  PictureFileRead result = PictureFileRead::kRead;
  std::size_t done = 0;
  if (::fstat(fd.get(), &st) != 0) {
    result = PictureFileRead::kFailed;
  } else if (!S_ISREG(st.st_mode)) {
    result = PictureFileRead::kNotRegular;
  } else {
    while (done < capacity) {
      const ssize_t n = ::read(fd.get(), data + done, capacity - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) result = PictureFileRead::kFailed;
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
  }
  *length = done;
  return result;
}

bool IsSpecialFile(const char* path) {
  struct stat st;
  return ::lstat(path, &st) == 0 && !S_ISREG(st.st_mode);
}

}  // namespace ravelo
