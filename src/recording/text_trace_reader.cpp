#include "recording/text_trace_reader.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "panel/error.h"
#include "panel/number_text.h"
#include "recording/file_layer.h"
#include "recording/record_length.h"

namespace ictalscope {

namespace {

constexpr int kHeaderLines = 10;
constexpr size_t kBlockBytes = size_t{1} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The bytes of a file, read in large blocks; -1 at the end.
class ByteStream {
 public:
  explicit ByteStream(const std::string& path) : buffer_(kBlockBytes) {
    errno = 0;
    file_.reset(std::fopen(path.c_str(), "rb"));
    if (!file_) ThrowFileError(errno);
  }

  int Peek() { return pos_ < end_ || Refill() ? buffer_[pos_] : -1; }
  void Advance() { ++pos_; }

 private:
  bool Refill() {
    errno = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
    pos_ = 0;
    if (end_ == 0 && std::ferror(file_.get())) ThrowFileError(errno);
    return end_ > 0;
  }

  std::unique_ptr<std::FILE, FileCloser> file_;
  std::vector<unsigned char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
};

bool IsSeparator(int c) { return c >= 0 && c <= 32; }

class TextTraceParser {
 public:
  explicit TextTraceParser(const std::string& path) : in_(path) {}

  // Skips the current line up to and including its end (CR LF, LF or CR).
  void SkipLine() {
    for (int c = in_.Peek(); c >= 0; c = in_.Peek()) {
      in_.Advance();
      if (c == '\n') return;
      if (c == '\r') {
        if (in_.Peek() == '\n') in_.Advance();
        return;
      }
    }
  }

  // The next number; nothing at the end of the data. A token that is no number throws.
  std::optional<double> NextNumber() {
    int c = in_.Peek();
    while (IsSeparator(c)) {
      in_.Advance();
      c = in_.Peek();
    }
    if (c < 0) return std::nullopt;
    token_.clear();
    for (; c > 32; c = in_.Peek()) {
      token_.push_back(static_cast<char>(c));
      in_.Advance();
    }
    std::optional<double> value = ParseDecimal(token_, false);
    if (!value) throw Error(messages::kInvalidNumericInput);
    return value;
  }

  double RequiredNumber() {
    std::optional<double> value = NextNumber();
    if (!value) throw Error(messages::kInvalidNumericInput);
    return *value;
  }

 private:
  ByteStream in_;
  std::string token_;
};

}  // namespace

void ReadTextTrace(const std::string& path, Trace& trace) {
  TextTraceParser parser(path);
  for (int i = 0; i < kHeaderLines; ++i) parser.SkipLine();
  int64_t k = 0;
  double previous_time = 0;
  while (std::optional<double> time = parser.NextNumber()) {
    parser.RequiredNumber();
    double v = parser.RequiredNumber();
    parser.SkipLine();
    if (k < kTraceCapacity) trace.V[static_cast<int32_t>(k)] = v;
    if (k == 3) {
      trace.AcqTime = static_cast<double>(static_cast<long double>(*time) - previous_time);
    }
    previous_time = *time;
    ++k;
  }
  if (k > kTraceCapacity) throw RecordTooLong(k);
  trace.LastIndex = static_cast<int32_t>(k - 1);
}

}  // namespace ictalscope
