#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recording/abf_header.h"
#include "recording/binary_file.h"
#include "recording/channel_choice.h"
#include "recording/channel_reader.h"
#include "recording/recording_info.h"
#include "recording/wcp_header.h"

namespace ictalscope {

// The pieces of each format's reading that the loader and the recording interface share.

// ABF files.
std::vector<ChannelInfo> AbfChannelInfos(const AbfHeader& header);
RecordingInfo AbfRecordingInfo(const std::string& path, const AbfHeader& header,
                               const ChannelChoice& choice);
// The factor of a count of channel c times millivolts_per_unit (0 for float32 samples and
// for c = -1), as CalibV and CalibI show it.
double AbfCountFactor(const AbfHeader& header, int c, long double millivolts_per_unit);
// The channel's samples in mV.
SampleConversion AbfConversion(const AbfHeader& header, const AbfChannel& channel);
FrameRun AbfFrames(const AbfHeader& header, const AbfRecord& record, int channel);

// .wcp files read by their header.
RecordingInfo WcpHeaderRecordingInfo(const std::string& path, const WcpHeaderLines& lines,
                                     const WcpLayout& layout, const ChannelChoice& choice,
                                     double interval_ms);
// The double nearest to 1000 times the decimal number that "DT=" states.
double WcpIntervalMs(const WcpLayout& layout);
// The bytes of record r's analysis block that hold VMax of every channel.
std::string WcpAnalysisBlock(const BinaryFile& file, const WcpLayout& layout, int64_t record);
// (raw - zero) x factor, in extended precision.
SampleConversion WcpConversion(long double zero, double factor);
FrameRun WcpFrames(const WcpLayout& layout, const WcpChannelScale& scale, int64_t record);

// .wcp files of the classic layout.
int32_t ClassicRecordCount(int64_t file_size, int64_t samples_per_record);
RecordingInfo ClassicRecordingInfo(const std::string& path, const WcpHeaderLines& lines,
                                   int32_t records, double interval_ms);

// Text traces.
RecordingInfo TextRecordingInfo(const std::string& path, double interval_ms);

}  // namespace ictalscope
