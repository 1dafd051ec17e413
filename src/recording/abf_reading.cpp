// An ABF 1 or ABF 2 file: its sweeps (or, gap-free, 300-s pieces of its stream) are the
// records, the analysed channel is chosen by its unit, and each sample is scaled by the gains
// and offsets of its channel.

#include <optional>

#include "recording/abf_header.h"
#include "recording/binary_file.h"
#include "recording/channel_reader.h"
#include "recording/record_formats.h"
#include "recording/record_length.h"
#include "recording/record_reading.h"
#include "recording/recording_lookup.h"
#include "recording/trace.h"

namespace ictalscope {

std::vector<ChannelInfo> AbfChannelInfos(const AbfHeader& header) {
  std::vector<ChannelInfo> channels;
  for (const AbfChannel& channel : header.channels)
    channels.push_back({channel.name, channel.unit});
  return channels;
}

RecordingInfo AbfRecordingInfo(const std::string& path, const AbfHeader& header,
                               const ChannelChoice& choice) {
  RecordingInfo info;
  info.format = RecordingFormat::kAbf;
  info.file = path;
  info.version = header.version;
  info.mode = AbfModeName(header.operation_mode);
  info.records = static_cast<int32_t>(header.records.size());
  info.channels = AbfChannelInfos(header);
  info.analysed_channel = choice.index;
  info.voltage_found = choice.voltage_found;
  info.channel_requested = choice.requested;
  info.interval_ms = header.AcqTimeMs();
  return info;
}

namespace {

// Units per count of an int16 channel: adc_range / (adc_resolution x the channel's gains).
long double UnitsPerCount(const AbfHeader& header, const AbfChannel& channel) {
  const long double gains = static_cast<long double>(channel.instrument_scale) *
                            channel.signal_gain * channel.programmable_gain *
                            channel.telegraph_gain;
  return static_cast<long double>(header.adc_range_v) / (header.adc_resolution * gains);
}

}  // namespace

// CalibV and CalibI show the factor of a channel's counts; float32 samples have none.
double AbfCountFactor(const AbfHeader& header, int c, long double millivolts_per_unit) {
  if (c < 0 || header.float_samples) return 0;
  return static_cast<double>(UnitsPerCount(header, header.channels[c]) * millivolts_per_unit);
}

// value = raw / (gains) x adc_range / adc_resolution + instrument_offset - signal_offset, in the
// channel's units, then in mV.
SampleConversion AbfConversion(const AbfHeader& header, const AbfChannel& channel) {
  const long double mv = MillivoltsPerUnit(channel.unit);
  if (header.float_samples) return SampleConversion::Float32(mv);
  const long double gains = static_cast<long double>(channel.instrument_scale) *
                            channel.signal_gain * channel.programmable_gain *
                            channel.telegraph_gain;
  const long double range = header.adc_range_v;
  const long double resolution = header.adc_resolution;
  const long double offset =
      static_cast<long double>(channel.instrument_offset) - channel.signal_offset;
  return SampleConversion::Int16(
      [=](long double count) { return (count / gains * range / resolution + offset) * mv; });
}

FrameRun AbfFrames(const AbfHeader& header, const AbfRecord& record, int channel) {
  const int channels = static_cast<int>(header.channels.size());
  return {header.data_offset + record.first_frame * channels * header.BytesPerSample(),
          record.frames, channels, channel};
}

void ReadAbf(Workspace& ws, const std::string& path, const RecordReading& reading) {
  Panel& panel = ws.panel;
  Trace& trace = ws.trace;
  BinaryFile file(path);
  const AbfHeader header = ReadAbfHeader(file);
  std::optional<ChannelChoice> choice;
  try {
    choice = ChooseChannel(AbfChannelInfos(header), FieldValue(panel, Field::Channel), path);
  } catch (const Error& error) {
    ThrowNoRecord(trace, error.message());
  }
  const AbfChannel& channel = header.channels[choice->index];
  const int32_t records = static_cast<int32_t>(header.records.size());
  trace.AcqTime = header.AcqTimeMs();
  trace.NR = records;
  ws.recording = AbfRecordingInfo(path, header, *choice);
  ShowRecordingInLabel(ws, "");
  panel.ProcessEvents();
  WriteFieldValue(panel, Field::AcqTime, trace.AcqTime);
  WriteFieldValue(panel, Field::NR, records);
  trace.RecordNo = reading.record_number(panel);
  CheckRecordExists(ws, trace.RecordNo, records);
  const AbfRecord& record = header.records[trace.RecordNo - 1];
  WriteFieldValue(panel, Field::Duration,
                  static_cast<double>(static_cast<long double>(record.frames) * trace.AcqTime));
  if (record.frames > kTraceCapacity) throw RecordTooLong(record.frames);
  ws.recording->record = trace.RecordNo;
  ShowFactors(panel, AbfCountFactor(header, choice->index, MillivoltsPerUnit(channel.unit)),
              AbfCountFactor(header, FirstCurrentChannel(AbfChannelInfos(header)), 1));

  trace.LastIndex = static_cast<int32_t>(record.frames - 1);
  reading.before_samples();
  ChannelReader reader(file, AbfFrames(header, record, choice->index),
                       AbfConversion(header, channel));
  reader.ReadRecord(trace.V.data(), trace.LastIndex, reading.after_chunk);
  panel.ProcessEvents();
  file.Close();
}

}  // namespace ictalscope
