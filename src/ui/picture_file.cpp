#include "ui/picture_file.h"

#include <cerrno>
#include <cstdio>

#include "base/file_layer.h"

namespace ictalscope {

void WritePictureFile(const std::string& path, const QByteArray& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) ThrowFileError(errno, path);
  const auto size = static_cast<size_t>(bytes.size());
  const bool written = std::fwrite(bytes.constData(), 1, size, file) == size;
  const int write_error = errno;
  if (std::fclose(file) != 0) ThrowFileError(errno, path);
  if (!written) ThrowFileError(write_error, path);
}

}  // namespace ictalscope
