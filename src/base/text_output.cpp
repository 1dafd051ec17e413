#include "base/text_output.h"

#include <cerrno>

#include "base/file_layer.h"

namespace ictalscope {

namespace {

std::FILE* OpenForMode(const std::string& path, TextOutput::Mode mode) {
  if (mode == TextOutput::Mode::kAppend && !FileExists(path)) {
    ThrowFileError(ENOENT, path);
  }
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), mode == TextOutput::Mode::kCreate ? "wb" : "ab");
  if (file == nullptr) ThrowFileError(errno, path);
  return file;
}

}  // namespace

TextOutput::TextOutput(const std::string& path, Mode mode, Writes writes)
    : path_(path), file_(OpenForMode(path, mode)) {
  if (writes == Writes::kEachLine) std::setvbuf(file_, nullptr, _IONBF, 0);
}

TextOutput::~TextOutput() {
  if (file_ != nullptr) std::fclose(file_);
}

// One write per line (unbuffered) or per block.
void TextOutput::WriteLine(std::string_view line) {
  line_.assign(line);
  line_ += "\r\n";
  errno = 0;
  if (std::fwrite(line_.data(), 1, line_.size(), file_) != line_.size()) {
    ThrowFileError(errno, path_);
  }
}

void TextOutput::Close() {
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(file) != 0) ThrowFileError(errno, path_);
}

}  // namespace ictalscope
