// A .wcp file read by its header: the channel count, the record layout, the frame position,
// zero and gain of each channel and the voltage range of every record are taken from the file
// itself, so that files of any set-up give the voltage of the cell.

#include <optional>

#include "base/number_text.h"
#include "recording/binary_file.h"
#include "recording/channel_reader.h"
#include "recording/record_formats.h"
#include "recording/record_length.h"
#include "recording/record_reading.h"
#include "recording/recording_lookup.h"
#include "recording/trace.h"
#include "recording/wcp_header.h"

namespace ictalscope {

RecordingInfo WcpHeaderRecordingInfo(const std::string& path, const WcpHeaderLines& lines,
                                     const WcpLayout& layout, const ChannelChoice& choice,
                                     double interval_ms) {
  RecordingInfo info;
  info.format = RecordingFormat::kWcp;
  info.file = path;
  info.version = lines.Value("VER").value_or("");
  info.layout = "header";
  info.records = layout.records;
  info.channels = layout.channel_list;
  info.analysed_channel = choice.index;
  info.voltage_found = choice.voltage_found;
  info.channel_requested = choice.requested;
  info.interval_ms = interval_ms;
  return info;
}

double WcpIntervalMs(const WcpLayout& layout) {
  return ParseScaledDecimal(layout.dt_text, true, 3).value_or(0);
}

std::string WcpAnalysisBlock(const BinaryFile& file, const WcpLayout& layout, int64_t record) {
  const int64_t wanted =
      std::min<int64_t>(layout.analysis_blocks * kWcpBlockBytes, 24 + 4 * layout.channels);
  return file.BytesAt(layout.RecordStart(record), static_cast<size_t>(wanted));
}

SampleConversion WcpConversion(long double zero, double factor) {
  return SampleConversion::Int16([=](long double count) { return (count - zero) * factor; });
}

FrameRun WcpFrames(const WcpLayout& layout, const WcpChannelScale& scale, int64_t record) {
  return {layout.SamplesStart(record), layout.samples, static_cast<int>(layout.channels),
          scale.position};
}

namespace {

// "AD=", "YG0=" and "YG1=" are shown as the header states them.
void ShowStatedValues(Panel& panel, const WcpHeaderLines& lines) {
  const std::pair<const char*, Field> keys[] = {
      {"AD", Field::AD}, {"YG0", Field::YG0}, {"YG1", Field::YG1}};
  for (const auto& [key, field] : keys) {
    if (const std::optional<std::string> value = lines.Value(key)) {
      WriteFieldValue(panel, field, HeaderReal(*value));
    }
  }
}

}  // namespace

void ReadHeaderWcp(Workspace& ws, const std::string& path, const RecordReading& reading) {
  Panel& panel = ws.panel;
  Trace& trace = ws.trace;
  BinaryFile file(path);
  const std::string first_bytes = file.BytesAt(0, kWcpFullHeaderBytes);
  std::string header_text = first_bytes.substr(0, kWcpBlockBytes);
  header_text.resize(kWcpBlockBytes, '\0');
  panel.SetHeaderLabel(header_text);
  panel.ProcessEvents();

  const WcpHeaderLines lines(first_bytes);
  const WcpLayout layout = ReadWcpLayout(lines, file.size());
  std::optional<ChannelChoice> choice;
  try {
    choice = ChooseChannel(layout.channel_list, FieldValue(panel, Field::Channel), path);
  } catch (const Error& error) {
    ThrowNoRecord(trace, error.message());
  }
  const WcpChannelScale scale = ReadChannelScale(lines, layout, choice->index);
  const int current = FirstCurrentChannel(layout.channel_list);
  std::optional<WcpChannelScale> current_scale;
  if (current >= 0) current_scale = ReadChannelScale(lines, layout, current);

  trace.AcqTime = WcpIntervalMs(layout);
  trace.NR = layout.records;
  ws.recording = WcpHeaderRecordingInfo(path, lines, layout, *choice, trace.AcqTime);
  ShowRecordingInLabel(ws, header_text);
  WriteFieldValue(panel, Field::AcqTime, trace.AcqTime);
  WriteFieldValue(panel, Field::NR, layout.records);
  WriteFieldValue(panel, Field::Duration,
                  static_cast<double>(static_cast<long double>(layout.samples) * trace.AcqTime));
  ShowStatedValues(panel, lines);
  if (layout.samples > kTraceCapacity) throw RecordTooLong(layout.samples);
  trace.RecordNo = reading.record_number(panel);
  CheckRecordExists(ws, trace.RecordNo, layout.records);
  ws.recording->record = trace.RecordNo;

  const std::string block = WcpAnalysisBlock(file, layout, trace.RecordNo);
  const double factor = ChannelFactor(layout, scale, choice->index, block,
                                      MillivoltsPerUnit(layout.channel_list[choice->index].unit));
  const double current_factor =
      current_scale ? ChannelFactor(layout, *current_scale, current, block, 1) : 0;
  ShowFactors(panel, factor, current_factor);

  trace.LastIndex = static_cast<int32_t>(layout.samples - 1);
  reading.before_samples();
  ChannelReader reader(file, WcpFrames(layout, scale, trace.RecordNo),
                       WcpConversion(scale.zero, factor));
  reader.ReadRecord(trace.V.data(), trace.LastIndex, reading.after_chunk);
  panel.ProcessEvents();
  file.Close();
}

}  // namespace ictalscope
