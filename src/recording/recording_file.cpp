#include "recording/recording_file.h"

#include <algorithm>
#include <optional>
#include <variant>

#include "panel/memory_panel.h"
#include "recording/header_scan.h"
#include "recording/record_formats.h"
#include "recording/record_length.h"
#include "recording/recording_lookup.h"
#include "recording/text_trace_reader.h"
#include "recording/trace.h"
#include "recording/wcp_record_reader.h"

namespace ictalscope {

namespace {

// A .wcp file of the classic rig, scanned as a fresh panel would scan it.
struct ClassicState {
  std::string first_bytes;
  HeaderScanResult scan;
};
struct HeaderState {
  std::string first_bytes;
  WcpLayout layout;
};
struct AbfState {
  AbfHeader header;
};
struct TextState {
  TextSamples samples;
};

std::string HeaderTextOf(const std::string& first_bytes) {
  std::string text = first_bytes.substr(0, kWcpBlockBytes);
  text.resize(kWcpBlockBytes, '\0');
  return text;
}

void CheckRecord(const RecordingInfo& info, int64_t record) {
  if (record < 1 || record > info.records) {
    throw Error(RecordMissingMessage(record, info.file, info.records));
  }
}

RecordData ReadClassic(const Recording& recording, const ClassicState& state, int32_t record) {
  const int64_t n = state.scan.SamplesPerRecord;
  CheckRecordLength(n);
  CheckRecord(recording.info(), record);
  WcpRecordReader reader(recording.info().file);
  reader.SeekRecord(record, n);
  reader.SkipLeadingBlock();
  RecordData data;
  data.v.resize(static_cast<size_t>(std::max<int64_t>(int64_t{LastIndexFor(n)} + 1, 0)));
  reader.ReadSamples(data.v.data(), static_cast<int64_t>(data.v.size()), state.scan.CalibV);
  data.acq_ms = recording.info().interval_ms;
  data.record = record;
  data.calib_v = state.scan.CalibV;
  data.calib_i = state.scan.CalibI;
  return data;
}

RecordData ReadByHeader(const Recording& recording, const std::string& first_bytes, int32_t record,
                        int channel) {
  const std::string& path = recording.info().file;
  BinaryFile file(path);
  const WcpHeaderLines lines(first_bytes);
  const WcpLayout layout = ReadWcpLayout(lines, file.size());
  const ChannelChoice choice = ChooseChannel(layout.channel_list, channel, path);
  const WcpChannelScale scale = ReadChannelScale(lines, layout, choice.index);
  const int current = FirstCurrentChannel(layout.channel_list);
  std::optional<WcpChannelScale> current_scale;
  if (current >= 0) current_scale = ReadChannelScale(lines, layout, current);
  if (layout.samples > kTraceCapacity) throw RecordTooLong(layout.samples);
  if (record < 1 || record > layout.records) {
    throw Error(RecordMissingMessage(record, path, layout.records));
  }
  const std::string block = WcpAnalysisBlock(file, layout, record);
  RecordData data;
  data.calib_v = ChannelFactor(layout, scale, choice.index, block,
                               MillivoltsPerUnit(layout.channel_list[choice.index].unit));
  data.calib_i = current_scale ? ChannelFactor(layout, *current_scale, current, block, 1) : 0;
  data.v.resize(static_cast<size_t>(layout.samples));
  ChannelReader reader(file, WcpFrames(layout, scale, record),
                       WcpConversion(scale.zero, data.calib_v));
  reader.Read(data.v.data(), layout.samples);
  data.acq_ms = WcpIntervalMs(layout);
  data.record = record;
  data.channel = choice.index;
  return data;
}

RecordData ReadAbfRecord(const Recording& recording, const AbfHeader& header, int32_t record,
                         int channel) {
  const std::string& path = recording.info().file;
  const std::vector<ChannelInfo> channels = AbfChannelInfos(header);
  const ChannelChoice choice = ChooseChannel(channels, channel, path);
  CheckRecord(recording.info(), record);
  const AbfRecord& frames = header.records[static_cast<size_t>(record - 1)];
  if (frames.frames > kTraceCapacity) throw RecordTooLong(frames.frames);
  const AbfChannel& analysed = header.channels[static_cast<size_t>(choice.index)];
  RecordData data;
  data.v.resize(static_cast<size_t>(frames.frames));
  const BinaryFile file(path);
  ChannelReader reader(file, AbfFrames(header, frames, choice.index),
                       AbfConversion(header, analysed));
  reader.Read(data.v.data(), frames.frames);
  data.acq_ms = header.AcqTimeMs();
  data.record = record;
  data.channel = choice.index;
  data.calib_v = AbfCountFactor(header, choice.index, MillivoltsPerUnit(analysed.unit));
  data.calib_i = AbfCountFactor(header, FirstCurrentChannel(channels), 1);
  return data;
}

RecordData ReadTextRecord(const Recording& recording, const TextSamples& samples, int32_t record,
                          int channel) {
  ChooseChannel(recording.info().channels, channel, recording.info().file);
  CheckRecord(recording.info(), record);
  RecordData data;
  data.v.assign(samples.v.begin(), samples.v.end());
  data.acq_ms = samples.interval_ms.value_or(0);
  data.record = 1;
  return data;
}

}  // namespace

struct Recording::State {
  std::variant<ClassicState, HeaderState, AbfState, TextState> format;
};

Recording::Recording() : state_(std::make_unique<State>()) {}
Recording::~Recording() = default;
Recording::Recording(Recording&&) noexcept = default;
Recording& Recording::operator=(Recording&&) noexcept = default;

Recording OpenRecording(const std::string& path) {
  Recording recording;
  std::string first_bytes;
  int64_t size = 0;
  {
    const BinaryFile file(path);
    first_bytes = file.BytesAt(0, kWcpFullHeaderBytes);
    size = file.size();
  }
  switch (SniffFormat(first_bytes)) {
    case RecordingFormat::kAbf: {
      const BinaryFile file(path);
      AbfHeader header = ReadAbfHeader(file);
      recording.info_ =
          AbfRecordingInfo(path, header, ChooseChannel(AbfChannelInfos(header), 0, path));
      recording.state_->format = AbfState{std::move(header)};
      break;
    }
    case RecordingFormat::kWcp: {
      recording.header_text_ = HeaderTextOf(first_bytes);
      const WcpHeaderLines lines(first_bytes);
      if (FitsClassicLayout(lines)) {
        MemoryPanel panel;
        Trace trace;
        const HeaderScanResult scan = ScanWcpHeader(recording.header_text_, panel, trace);
        recording.info_ = ClassicRecordingInfo(
            path, lines, ClassicRecordCount(size, scan.SamplesPerRecord), trace.AcqTime);
        recording.state_->format = ClassicState{first_bytes, scan};
      } else {
        WcpLayout layout = ReadWcpLayout(lines, size);
        recording.info_ =
            WcpHeaderRecordingInfo(path, lines, layout, ChooseChannel(layout.channel_list, 0, path),
                                   WcpIntervalMs(layout));
        recording.state_->format = HeaderState{first_bytes, std::move(layout)};
      }
      break;
    }
    case RecordingFormat::kText: {
      TextSamples samples = ReadTextSamples(path);
      recording.info_ = TextRecordingInfo(path, samples.interval_ms.value_or(0));
      recording.state_->format = TextState{std::move(samples)};
      break;
    }
  }
  return recording;
}

RecordData ReadRecord(const Recording& recording, int32_t record, int channel) {
  const auto& format = recording.state_->format;
  if (const auto* classic = std::get_if<ClassicState>(&format)) {
    if (channel < 1) return ReadClassic(recording, *classic, record);
    return ReadByHeader(recording, classic->first_bytes, record, channel);
  }
  if (const auto* header = std::get_if<HeaderState>(&format)) {
    return ReadByHeader(recording, header->first_bytes, record, channel);
  }
  if (const auto* abf = std::get_if<AbfState>(&format)) {
    return ReadAbfRecord(recording, abf->header, record, channel);
  }
  return ReadTextRecord(recording, std::get<TextState>(format).samples, record, channel);
}

std::vector<double> SampleTimes(int64_t count, double acq_ms) {
  std::vector<double> t(static_cast<size_t>(std::max<int64_t>(count, 0)));
  for (size_t k = 0; k < t.size(); ++k) {
    t[k] = static_cast<double>(static_cast<long double>(k) * acq_ms / 1000);
  }
  return t;
}

std::vector<double> SampleTimes(const RecordData& data) {
  return SampleTimes(static_cast<int64_t>(data.v.size()), data.acq_ms);
}

}  // namespace ictalscope
