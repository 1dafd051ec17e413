#include "recording/file_layer.h"

#include <sys/stat.h>

#include <cerrno>

#include "panel/error.h"

namespace ictalscope {

std::string FileErrorMessage(int error_number) {
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
      return messages::kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return messages::kFileAccessDenied;
    case ENOSPC:
    case EDQUOT:
      return messages::kDiskFull;
    default:
      return messages::IoError(error_number);
  }
}

void ThrowFileError(int error_number) { throw Error(FileErrorMessage(error_number)); }

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace ictalscope
