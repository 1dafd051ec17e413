#include "recording/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "base/file_layer.h"

namespace ictalscope {

BinaryFile::BinaryFile(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) ThrowFileError(errno, path_);
  struct stat info;
  if (::fstat(fd_, &info) != 0) {
    const int error = errno;
    ::close(fd_);
    fd_ = -1;
    ThrowFileError(error, path_);
  }
  size_ = info.st_size;
}

BinaryFile::~BinaryFile() {
  if (fd_ >= 0) ::close(fd_);
}

size_t BinaryFile::ReadAt(int64_t offset, void* out, size_t count) const {
  if (offset < 0 || offset >= size_) return 0;
  auto* bytes = static_cast<unsigned char*>(out);
  size_t got = 0;
  while (got < count) {
    const int64_t at = offset + static_cast<int64_t>(got);
    if (at > std::numeric_limits<off_t>::max()) break;
    const ssize_t n = ::pread(fd_, bytes + got, count - got, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowFileError(errno, path_);
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

std::string BinaryFile::BytesAt(int64_t offset, size_t count) const {
  std::string bytes(count, '\0');
  bytes.resize(ReadAt(offset, bytes.data(), count));
  return bytes;
}

void BinaryFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) ThrowFileError(errno, path_);
}

}  // namespace ictalscope
