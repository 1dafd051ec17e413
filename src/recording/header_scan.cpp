#include "recording/header_scan.h"

#include <array>
#include <limits>
#include <string>

#include "base/error.h"
#include "base/number_text.h"
#include "recording/float_ops.h"
#include "recording/record_length.h"

namespace ictalscope {

namespace {

enum class Key { NBD, DT, AD, NR, YG0, YG1 };

struct KeyRule {
  Key key;
  std::string_view text;
  size_t max_chars;
  bool comma_to_point;
  bool keep_first_comma;  // "DT=" converts commas in every character but the first
};

// In the order in which they are tested at each position.
constexpr std::array<KeyRule, 6> kKeys = {{
    {Key::NBD, "NBD=", 10, false, false},
    {Key::DT, "DT=", 23, true, true},
    {Key::AD, "AD=", 11, false, false},
    {Key::NR, "NR=", 8, false, false},
    {Key::YG0, "YG0=", 28, true, false},
    {Key::YG1, "YG1=", 28, true, false},
}};

class HeaderScan {
 public:
  HeaderScan(std::string_view text, Panel& panel, Trace& trace)
      : text_(text), panel_(panel), trace_(trace) {}

  HeaderScanResult Run() {
    for (size_t p = 0; p < text_.size(); ++p) {
      for (const KeyRule& rule : kKeys) {
        if (text_.compare(p, rule.text.size(), rule.text) == 0) {
          TakeValue(rule, p + rule.text.size());
          Apply(rule.key);
        }
      }
      RecomputeFactors();
    }
    return result_;
  }

 private:
  // Appends the key's value (up to the first CR, the character limit or the end of the text).
  void TakeValue(const KeyRule& rule, size_t from) {
    std::string& buffer = buffers_[static_cast<int>(rule.key)];
    for (size_t i = 0; i < rule.max_chars && from + i < text_.size(); ++i) {
      char c = text_[from + i];
      if (c == '\r') break;
      if (c == ',' && rule.comma_to_point && !(rule.keep_first_comma && i == 0)) c = '.';
      buffer.push_back(c);
    }
  }

  double Decimal(Key key) const {
    const std::string& buffer = buffers_[static_cast<int>(key)];
    std::optional<double> value = ParseDecimal(buffer, true);
    if (!value) throw Error(messages::NotAValidFloat(buffer));
    return *value;
  }

  void Apply(Key key) {
    switch (key) {
      case Key::NBD: {
        long double ms = static_cast<long double>(Decimal(key)) * 8;
        WriteFieldValue(panel_, Field::Duration, static_cast<double>(ms));
        result_.RecordDurationMs = TruncToInt64(ms);
        break;
      }
      case Key::DT: {
        long double ms = static_cast<long double>(Decimal(key)) * 1000;
        WriteFieldValue(panel_, Field::AcqTime, static_cast<double>(ms));
        trace_.AcqTime = FieldValue(panel_, Field::AcqTime);
        result_.SamplesPerRecord = TruncToInt64(
            Divide(static_cast<long double>(result_.RecordDurationMs), trace_.AcqTime));
        break;
      }
      case Key::AD:
        WriteFieldValue(panel_, Field::AD, Decimal(key));
        break;
      case Key::NR: {
        const std::string& buffer = buffers_[static_cast<int>(key)];
        std::optional<int32_t> value = ParseInteger(buffer);
        if (!value) throw Error(messages::NotAValidInteger(buffer));
        WriteFieldValue(panel_, Field::NR, *value);
        trace_.NR = TruncToInt32(FieldValue(panel_, Field::NR));
        break;
      }
      case Key::YG0:
        WriteFieldValue(panel_, Field::YG0, Decimal(key));
        break;
      case Key::YG1:
        WriteFieldValue(panel_, Field::YG1, Decimal(key));
        panel_.ProcessEvents();
        break;
    }
  }

  // 0.001 is taken in long double, as a real constant of the loader's extended arithmetic.
  void RecomputeFactors() {
    long double ad = FieldValue(panel_, Field::AD);
    long double yg0 = FieldValue(panel_, Field::YG0);
    result_.CalibV = static_cast<double>(Divide(ad * 0.001L, yg0 * 32767));
    long double yg1 = FieldValue(panel_, Field::YG1);
    result_.CalibI = static_cast<double>(Divide(ad, yg1 * 32767));
  }

  std::string_view text_;
  Panel& panel_;
  Trace& trace_;
  std::array<std::string, kKeys.size()> buffers_;
  HeaderScanResult result_;
};

}  // namespace

HeaderScanResult ScanWcpHeader(std::string_view header_text, Panel& panel, Trace& trace) {
  return HeaderScan(header_text, panel, trace).Run();
}

void CheckRecordLength(int64_t samples_per_record) {
  if (samples_per_record > int64_t{kTraceCapacity} + 1023) {
    throw RecordTooLong(samples_per_record - 1023);
  }
}

int32_t LastIndexFor(int64_t samples_per_record) {
  constexpr int64_t kLowest = std::numeric_limits<int32_t>::min();
  // Compared before subtracting: N - 1024 would wrap for an N near the int64 minimum.
  if (samples_per_record < kLowest + 1024) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(samples_per_record - 1024);
}

}  // namespace ictalscope
