#include "recording/wcp_header.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/error.h"
#include "base/format_fixed.h"
#include "base/number_text.h"

namespace ictalscope {

namespace {

// Counts beyond these describe no file that can exist; they are refused as invalid rather than
// carried into offsets that would overflow.
constexpr int64_t kMaxChannels = 1024;
constexpr int64_t kMaxBlocks = int64_t{1} << 50;

std::string_view UpToNul(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Calls `line(text)` for each line; CR LF, LF and a CR alone end a line.
template <typename Line>
void ForEachLine(std::string_view text, Line&& line) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      line(text.substr(start));
      return;
    }
    line(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
}

std::optional<double> TryReal(const std::string& value) {
  std::string text = value;
  std::replace(text.begin(), text.end(), ',', '.');
  if (text.empty()) return 0.0;
  return ParseDecimal(text, true);
}

Error NoValid(const std::string& key) { return Error("The header has no valid " + key + "="); }

int64_t RequiredWhole(const WcpHeaderLines& lines, const std::string& key, int64_t lowest,
                      int64_t highest) {
  const std::optional<std::string> value = lines.Value(key);
  if (!value) throw NoValid(key);
  const int64_t number = HeaderWhole(*value);
  if (number < lowest || number > highest) throw NoValid(key);
  return number;
}

int64_t OptionalWhole(const WcpHeaderLines& lines, const std::string& key, int64_t fallback,
                      int64_t lowest, int64_t highest) {
  if (!lines.Value(key)) return fallback;
  return RequiredWhole(lines, key, lowest, highest);
}

int32_t CountRecords(const WcpLayout& layout, int64_t file_size) {
  const __int128 first_end = static_cast<__int128>(layout.SamplesStart(1)) + layout.SampleBytes();
  if (first_end > file_size) return 0;
  const __int128 stride =
      static_cast<__int128>(layout.analysis_blocks + layout.data_blocks) * kWcpBlockBytes;
  __int128 count = (file_size - first_end) / stride + 1;
  if (layout.stated_records) count = std::min<__int128>(count, *layout.stated_records);
  return static_cast<int32_t>(std::min<__int128>(count, std::numeric_limits<int32_t>::max()));
}

float LoadFloat32(std::string_view bytes, size_t at) {
  uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(bytes[at + i]);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

WcpHeaderLines::WcpHeaderLines(std::string_view bytes) {
  ForEachLine(UpToNul(bytes.substr(0, kWcpFullHeaderBytes)), [this](std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    values_[std::string(line.substr(0, equals))] = std::string(TrimBlanks(line.substr(equals + 1)));
  });
}

std::optional<std::string> WcpHeaderLines::Value(const std::string& key) const {
  const auto found = values_.find(key);
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

bool LooksLikeWcpHeader(std::string_view first_bytes) {
  bool nc = false;
  bool nbd = false;
  ForEachLine(UpToNul(first_bytes.substr(0, kWcpBlockBytes)), [&](std::string_view line) {
    nc = nc || line.starts_with("NC=");
    nbd = nbd || line.starts_with("NBD=");
  });
  return nc && nbd;
}

double HeaderReal(const std::string& value) {
  const std::optional<double> number = TryReal(value);
  if (!number) throw Error(messages::NotAValidFloat(value));
  return *number;
}

int64_t HeaderWhole(const std::string& value) {
  const std::optional<double> number = TryReal(value);
  constexpr double kLimit = 4611686018427387904.0;  // 2^62
  if (!number || std::trunc(*number) != *number || std::fabs(*number) >= kLimit) {
    throw Error(messages::NotAValidInteger(value));
  }
  return static_cast<int64_t>(*number);
}

bool FitsClassicLayout(const WcpHeaderLines& lines) {
  auto absent_or = [&lines](const std::string& key, double expected) {
    const std::optional<std::string> value = lines.Value(key);
    if (!value) return true;
    const std::optional<double> number = TryReal(*value);
    return number && *number == expected;
  };
  const std::optional<std::string> unit = lines.Value("YU0");
  const std::optional<std::string> dt = lines.Value("DT");
  bool dt_fits = !dt;
  if (dt) {
    const std::optional<double> seconds = TryReal(*dt);
    dt_fits = seconds && FormatFixed(*seconds * 1000.0L, 0, 5) == "0.06250";
  }
  return absent_or("NC", 2) && absent_or("NBA", 2) && (!unit || IsVoltageUnit(*unit)) &&
         absent_or("YO0", 0) && dt_fits;
}

int64_t WcpLayout::RecordStart(int64_t record) const {
  const __int128 start = kWcpFullHeaderBytes + static_cast<__int128>(record - 1) *
                                                   (analysis_blocks + data_blocks) * kWcpBlockBytes;
  return static_cast<int64_t>(std::min<__int128>(start, std::numeric_limits<int64_t>::max()));
}

WcpLayout ReadWcpLayout(const WcpHeaderLines& lines, int64_t file_size) {
  WcpLayout layout;
  layout.channels = RequiredWhole(lines, "NC", 1, kMaxChannels);
  layout.analysis_blocks = OptionalWhole(lines, "NBA", 2, 0, kMaxBlocks);
  layout.data_blocks = RequiredWhole(lines, "NBD", 1, kMaxBlocks);
  if (lines.Value("NR")) {
    layout.stated_records = RequiredWhole(lines, "NR", 0, std::numeric_limits<int64_t>::max());
  }
  layout.adc_max = RequiredWhole(lines, "ADCMAX", 1, std::numeric_limits<int64_t>::max());
  const std::optional<std::string> dt = lines.Value("DT");
  if (!dt || !(HeaderReal(*dt) > 0)) throw NoValid("DT");
  layout.dt_text = *dt;
  std::replace(layout.dt_text.begin(), layout.dt_text.end(), ',', '.');
  if (const std::optional<std::string> ad = lines.Value("AD")) layout.ad_volts = HeaderReal(*ad);
  for (int64_t c = 0; c < layout.channels; ++c) {
    const std::string n = std::to_string(c);
    layout.channel_list.push_back(
        {lines.Value("YN" + n).value_or(""), lines.Value("YU" + n).value_or("")});
  }
  layout.samples = layout.data_blocks * kWcpBlockBytes / (2 * layout.channels);
  layout.records = CountRecords(layout, file_size);
  return layout;
}

WcpChannelScale ReadChannelScale(const WcpHeaderLines& lines, const WcpLayout& layout, int c) {
  const std::string n = std::to_string(c);
  WcpChannelScale scale;
  scale.position = static_cast<int>(OptionalWhole(lines, "YO" + n, c, 0, layout.channels - 1));
  if (const std::optional<std::string> zero = lines.Value("YZ" + n)) scale.zero = HeaderReal(*zero);
  const std::optional<std::string> gain = lines.Value("YG" + n);
  if (!gain) throw NoValid("YG" + n);
  scale.gain = HeaderReal(*gain);
  if (scale.gain == 0) throw NoValid("YG" + n);
  return scale;
}

double ChannelFactor(const WcpLayout& layout, const WcpChannelScale& scale, int c,
                     std::string_view analysis_block, long double millivolts_per_unit) {
  const size_t at = 24 + 4 * static_cast<size_t>(c);
  long double vmax = 0;
  if (at + 4 <= analysis_block.size()) vmax = LoadFloat32(analysis_block, at);
  if (!(vmax >= 0.001L && vmax <= 1000)) {
    if (!layout.ad_volts || !(*layout.ad_volts > 0)) throw NoValid("AD");
    vmax = *layout.ad_volts;
  }
  return static_cast<double>(vmax * millivolts_per_unit /
                             (static_cast<long double>(layout.adc_max) * scale.gain));
}

}  // namespace ictalscope
