#include "base/file_layer.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/error.h"

namespace ictalscope {

namespace {

std::string Message(int error_number) {
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

}  // namespace

std::string NamingFile(const std::string& message, const std::string& path) {
  return message + ": " + path;
}

std::string FileErrorMessage(int error_number, const std::string& path) {
  return NamingFile(Message(error_number), path);
}

void ThrowFileError(int error_number, const std::string& path) {
  throw Error(FileErrorMessage(error_number, path));
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

}  // namespace ictalscope
