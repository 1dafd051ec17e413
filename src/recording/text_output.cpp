#include "recording/text_output.h"

#include <cerrno>

#include "recording/file_layer.h"

namespace ictalscope {

namespace {

std::FILE* OpenForMode(const std::string& path, TextOutput::Mode mode) {
  if (mode == TextOutput::Mode::kAppend && !FileExists(path)) {
    ThrowFileError(ENOENT);
  }
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), mode == TextOutput::Mode::kCreate ? "wb" : "ab");
  if (file == nullptr) ThrowFileError(errno);
  return file;
}

}  // namespace

TextOutput::TextOutput(const std::string& path, Mode mode) : file_(OpenForMode(path, mode)) {}

TextOutput::~TextOutput() {
  if (file_ != nullptr) std::fclose(file_);
}

void TextOutput::WriteLine(std::string_view line) {
  errno = 0;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2) {
    ThrowFileError(errno);
  }
}

void TextOutput::Close() {
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(file) != 0) ThrowFileError(errno);
}

}  // namespace ictalscope
