#include "recording/number_stream.h"

#include <cerrno>

#include "base/error.h"
#include "base/file_layer.h"
#include "base/number_text.h"

namespace ictalscope {

namespace {

constexpr size_t kBlockBytes = size_t{1} << 20;

bool IsSeparator(int c) { return c >= 0 && c <= 32; }

}  // namespace

NumberStream::NumberStream(const std::string& path) : path_(path), buffer_(kBlockBytes) {
  if (!FileExists(path)) ThrowFileError(ENOENT, path);
  errno = 0;
  file_.reset(std::fopen(path.c_str(), "rb"));
  if (!file_) ThrowFileError(errno, path);
}

bool NumberStream::Refill() {
  errno = 0;
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
  pos_ = 0;
  if (end_ == 0 && std::ferror(file_.get())) ThrowFileError(errno, path_);
  return end_ > 0;
}

void NumberStream::SkipLine() {
  for (int c = Peek(); c >= 0; c = Peek()) {
    Advance();
    if (c == '\n') return;
    if (c == '\r') {
      if (Peek() == '\n') Advance();
      return;
    }
  }
}

std::optional<double> NumberStream::NextNumber() {
  int c = Peek();
  while (IsSeparator(c)) {
    Advance();
    c = Peek();
  }
  if (c < 0) return std::nullopt;
  token_.clear();
  for (; c > 32; c = Peek()) {
    token_.push_back(static_cast<char>(c));
    Advance();
  }
  std::optional<double> value = ParseDecimal(token_, false);
  if (!value) throw Error(NamingFile(messages::kInvalidNumericInput, path_));
  return value;
}

double NumberStream::RequiredNumber() {
  std::optional<double> value = NextNumber();
  if (!value) throw Error(NamingFile(messages::kInvalidNumericInput, path_));
  return *value;
}

}  // namespace ictalscope
