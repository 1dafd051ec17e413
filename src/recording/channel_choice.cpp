#include "recording/channel_choice.h"

#include <cmath>

#include "base/error.h"
#include "base/format_fixed.h"

namespace ictalscope {

namespace {

constexpr std::string_view kMicroLatin1 = "\xB5V";
constexpr std::string_view kMicroUtf8 = "\xC2\xB5V";

std::string ChannelMissing(long double channel, const std::string& file, size_t count) {
  return "Channel " + FormatFixed(channel, 0, 0) + " does not exist: " + file + " has " +
         std::to_string(count) + " channels";
}

}  // namespace

UnitKind ClassifyUnit(std::string_view unit) {
  if (unit == "mV") return UnitKind::kMillivolt;
  if (unit == "V") return UnitKind::kVolt;
  if (unit == kMicroLatin1 || unit == kMicroUtf8 || unit == "uV") return UnitKind::kMicrovolt;
  if (!unit.empty() && unit.back() == 'A') return UnitKind::kCurrent;
  return UnitKind::kOther;
}

bool IsVoltageUnit(std::string_view unit) {
  const UnitKind kind = ClassifyUnit(unit);
  return kind == UnitKind::kMillivolt || kind == UnitKind::kVolt || kind == UnitKind::kMicrovolt;
}

long double MillivoltsPerUnit(std::string_view unit) {
  switch (ClassifyUnit(unit)) {
    case UnitKind::kVolt:
      return 1000;
    case UnitKind::kMicrovolt:
      return 0.001L;
    default:
      return 1;
  }
}

ChannelChoice ChooseChannel(const std::vector<ChannelInfo>& channels, double requested,
                            const std::string& file) {
  if (requested >= 1) {
    const long double whole = std::trunc(static_cast<long double>(requested));
    if (whole > static_cast<long double>(channels.size())) {
      throw Error(ChannelMissing(whole, file, channels.size()));
    }
    const int c = static_cast<int>(whole) - 1;
    return {c, IsVoltageUnit(channels[c].unit), true};
  }
  for (size_t c = 0; c < channels.size(); ++c) {
    if (ClassifyUnit(channels[c].unit) == UnitKind::kMillivolt) return {static_cast<int>(c), true};
  }
  for (size_t c = 0; c < channels.size(); ++c) {
    if (IsVoltageUnit(channels[c].unit)) return {static_cast<int>(c), true};
  }
  return {0, false};
}

int FirstCurrentChannel(const std::vector<ChannelInfo>& channels) {
  for (size_t c = 0; c < channels.size(); ++c) {
    if (ClassifyUnit(channels[c].unit) == UnitKind::kCurrent) return static_cast<int>(c);
  }
  return -1;
}

}  // namespace ictalscope
