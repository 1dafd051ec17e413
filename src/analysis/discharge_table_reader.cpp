#include "analysis/discharge_table_reader.h"

#include <cerrno>
#include <cstdio>
#include <optional>

#include "panel/error.h"
#include "panel/number_text.h"
#include "recording/file_layer.h"

namespace ictalscope {

namespace {

// A text file read character by character with one character of look-ahead.
class TextStream {
 public:
  explicit TextStream(const std::string& path) {
    if (!FileExists(path)) ThrowFileError(ENOENT);
    errno = 0;
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) ThrowFileError(errno);
    Advance();
  }
  ~TextStream() { std::fclose(file_); }
  TextStream(const TextStream&) = delete;
  TextStream& operator=(const TextStream&) = delete;

  // Past the next line end: LF, CR LF or a CR alone; at the end of the file, nothing.
  void SkipLine() {
    while (next_ != EOF && next_ != '\n' && next_ != '\r') Advance();
    if (next_ == '\r') {
      Advance();
      if (next_ == '\n') Advance();
    } else if (next_ == '\n') {
      Advance();
    }
  }

  // Past every character of code 32 or below; false when the end of the file is reached.
  bool SkipSeparators() {
    while (next_ != EOF && IsSeparator(next_)) Advance();
    return next_ != EOF;
  }

  // The next number of the stream; the character that ends it is left unread.
  double ReadReal() {
    if (!SkipSeparators()) throw Error(messages::kInvalidNumericInput);
    std::string token;
    while (next_ != EOF && !IsSeparator(next_)) {
      token.push_back(static_cast<char>(next_));
      Advance();
    }
    std::optional<double> value = ParseDecimal(token, false);
    if (!value) throw Error(messages::kInvalidNumericInput);
    return *value;
  }

 private:
  static bool IsSeparator(int c) { return c <= 32; }

  void Advance() {
    next_ = std::getc(file_);
    if (next_ == EOF && std::ferror(file_)) ThrowFileError(errno);
  }

  std::FILE* file_ = nullptr;
  int next_ = EOF;  // the character at the read position, as unsigned char, or EOF
};

Discharge ReadDischarge(TextStream& in) {
  Discharge d;
  for (double* column : {&d.tr, &d.number, &d.tIID, &d.ISImean, &d.Duration, &d.Nsp}) {
    *column = in.ReadReal();
  }
  return d;
}

}  // namespace

std::vector<Discharge> ReadDischargeTable(const std::string& path) {
  TextStream in(path);
  in.SkipLine();
  std::vector<Discharge> discharges;
  while (in.SkipSeparators()) {
    if (discharges.size() == kMaxDischarges) throw Error(kTooManyDischarges);
    discharges.push_back(ReadDischarge(in));
    in.SkipLine();
  }
  return discharges;
}

}  // namespace ictalscope
