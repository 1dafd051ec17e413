#include "base/number_text.h"

#include <charconv>
#include <limits>
#include <string>

namespace ictalscope {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The parts of a decimal number, as the grammar of ParseDecimal takes them.
struct DecimalParts {
  bool negative = false;
  std::string digits;  // integer and fraction digits, leading zeros removed
  long exponent = 0;   // power of ten that scales `digits`
};

class DecimalScanner {
 public:
  DecimalScanner(std::string_view text, bool blanks) : text_(text), blanks_(blanks) {}

  std::optional<DecimalParts> Scan() {
    SkipBlanks();
    DecimalParts parts;
    if (Peek() == '+' || Peek() == '-') parts.negative = (text_[pos_++] == '-');
    const size_t mantissa_start = pos_;
    TakeDigits(parts.digits);
    long fraction_digits = 0;
    if (Peek() == '.') {
      ++pos_;
      fraction_digits = static_cast<long>(TakeDigits(parts.digits));
    }
    if (pos_ == mantissa_start) return std::nullopt;  // neither a digit nor "."
    parts.exponent = TakeExponent() - fraction_digits;
    SkipBlanks();
    if (pos_ != text_.size()) return std::nullopt;
    const size_t first = parts.digits.find_first_not_of('0');
    parts.digits.erase(0, first == std::string::npos ? parts.digits.size() : first);
    return parts;
  }

 private:
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

  void SkipBlanks() {
    while (blanks_ && Peek() == ' ') ++pos_;
  }

  size_t TakeDigits(std::string& out) {
    const size_t start = pos_;
    while (IsDigit(Peek())) out.push_back(text_[pos_++]);
    return pos_ - start;
  }

  // "E" or "e", an optional sign and digits; no digits mean 0. Saturates far beyond any range.
  long TakeExponent() {
    if (Peek() != 'E' && Peek() != 'e') return 0;
    ++pos_;
    bool negative = false;
    if (Peek() == '+' || Peek() == '-') negative = (text_[pos_++] == '-');
    long value = 0;
    while (IsDigit(Peek())) {
      if (value < 1'000'000) value = value * 10 + (text_[pos_] - '0');
      ++pos_;
    }
    return negative ? -value : value;
  }

  std::string_view text_;
  bool blanks_;
  size_t pos_ = 0;
};

std::optional<double> ToDouble(const DecimalParts& parts) {
  const double zero = parts.negative ? -0.0 : 0.0;
  if (parts.digits.empty()) return zero;
  const long magnitude = static_cast<long>(parts.digits.size()) + parts.exponent;
  if (magnitude > 310) return std::nullopt;
  if (magnitude < -330) return zero;
  const std::string normalized = parts.digits + "e" + std::to_string(parts.exponent);
  double value = 0;
  const auto [end, error] =
      std::from_chars(normalized.data(), normalized.data() + normalized.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (magnitude > 0) return std::nullopt;
    return zero;
  }
  if (error != std::errc() || end != normalized.data() + normalized.size()) return std::nullopt;
  return parts.negative ? -value : value;
}

}  // namespace

std::optional<double> ParseDecimal(std::string_view text, bool blanks) {
  const std::optional<DecimalParts> parts = DecimalScanner(text, blanks).Scan();
  if (!parts) return std::nullopt;
  return ToDouble(*parts);
}

std::optional<double> ParseScaledDecimal(std::string_view text, bool blanks, int power_of_ten) {
  std::optional<DecimalParts> parts = DecimalScanner(text, blanks).Scan();
  if (!parts) return std::nullopt;
  parts->exponent += power_of_ten;
  return ToDouble(*parts);
}

std::optional<int32_t> ParseInteger(std::string_view text) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  if (pos == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    if (!IsDigit(text[pos])) return std::nullopt;
    value = value * 10 + (text[pos] - '0');
    if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

double ReadFieldValue(std::string_view text, double min_value) {
  if (text.empty() || text == " ") return min_value;
  return ParseDecimal(text, true).value_or(min_value);
}

}  // namespace ictalscope
