#include "recording/recording_info.h"

#include <charconv>

namespace ictalscope {

namespace {

// The shortest text that reads back as the same double: 0.0625, 0.05.
std::string Shortest(double x) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, x);
  return std::string(text, result.ptr);
}

std::string Title(const RecordingInfo& info) {
  switch (info.format) {
    case RecordingFormat::kText:
      return "Text trace";
    case RecordingFormat::kWcp:
      return "WCP " + info.version + ", " + info.layout + " layout";
    case RecordingFormat::kAbf:
      return "ABF " + info.version + ", " + info.mode;
  }
  return "";
}

std::string Channels(const RecordingInfo& info) {
  std::string text = info.channels.size() == 1 ? "channel: " : "channels: ";
  for (size_t c = 0; c < info.channels.size(); ++c) {
    if (c > 0) text += ", ";
    text +=
        std::to_string(c + 1) + " " + info.channels[c].name + " (" + info.channels[c].unit + ")";
    if (static_cast<int>(c) == info.analysed_channel) text += " analysed";
  }
  return text;
}

}  // namespace

std::string_view FormatName(RecordingFormat format) {
  switch (format) {
    case RecordingFormat::kText:
      return "text";
    case RecordingFormat::kWcp:
      return "wcp";
    case RecordingFormat::kAbf:
      return "abf";
  }
  return "";
}

std::string RecordingSummary(const RecordingInfo& info) {
  const bool sweeps = info.format == RecordingFormat::kAbf && info.mode != AbfModeName(3);
  const std::string noun = sweeps ? " sweep" : " record";
  std::string text = Title(info) + ": " + std::to_string(info.records) + noun +
                     (info.records == 1 ? "" : "s") + " at " + Shortest(info.interval_ms) +
                     " ms; " + Channels(info);
  if (!info.voltage_found) {
    text += info.channel_requested ? "; channel " + std::to_string(info.analysed_channel + 1) +
                                         " is in no voltage unit"
                                   : "; no voltage channel found";
  }
  return text;
}

std::string RecordingTitle(const RecordingInfo& info) {
  if (info.record == 0) return info.file;
  return info.file + ", record " + std::to_string(info.record) + " of " +
         std::to_string(info.records);
}

std::string AbfModeName(int operation_mode) {
  switch (operation_mode) {
    case 1:
      return "event-driven";
    case 2:
      return "fixed-length events";
    case 3:
      return "gap-free";
    case 4:
      return "high-speed oscilloscope";
    case 5:
      return "episodic stimulation";
  }
  return "mode " + std::to_string(operation_mode);
}

}  // namespace ictalscope
