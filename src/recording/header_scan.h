#pragma once

#include <cstdint>
#include <string_view>

#include "panel/panel.h"
#include "recording/trace.h"

namespace ictalscope {

// Bytes of HeaderText at the start of a .wcp recording.
inline constexpr int kWcpHeaderSize = 512;

// What the header scan leaves for the reading of a record.
struct HeaderScanResult {
  int64_t RecordDurationMs = 0;  // Trunc(NBD value * 8); 0 when the header has no "NBD="
  // N = Trunc(RecordDurationMs / Trace.AcqTime) at the last "DT="; 0 without "DT=", and 0 when
  // "DT=" stands before "NBD=". A record holds N sample pairs, of which N - 1023 are loaded.
  int64_t SamplesPerRecord = 0;
  double CalibV = 0;  // mV per count of channel 0, as recomputed at position 512
  double CalibI = 0;  // the same for channel 1
};

// The header scan of a .wcp recording, shared by the loader and "two traces". For each position
// p = 1 .. header_text.size() (512 as WcpRecordReader::ReadHeaderText gives it), in order:
//   1.-6. each key "NBD=", "DT=", "AD=", "NR=", "YG0=", "YG1=" that starts at p appends its value
//         (the characters after the key up to the first CR, at most 10, 23, 11, 8, 28, 28 of
//         them, and never past the end of the text; a comma becomes "." in "YG0=" and "YG1="
//         values and in "DT=" values but for the first character taken at that occurrence) to
//         its buffer and converts the whole buffer (buffers start empty and are never emptied
//         during the scan, so a repeated key concatenates). Effects:
//           NBD=  Duration field := v * 8; RecordDurationMs := Trunc(v * 8)
//           DT=   AcqTime field := v * 1000; trace.AcqTime := the field read back;
//                 SamplesPerRecord := Trunc(RecordDurationMs / trace.AcqTime)
//           AD=   AD field := v
//           NR=   NR field := v (integer); trace.NR := Trunc(the field read back)
//           YG0=  YG0 field := v
//           YG1=  YG1 field := v, then panel.ProcessEvents()
//   7. CalibV := AD * 0.001 / (YG0 * 32767); CalibI := AD / (YG1 * 32767), from the fields as
//      they read now.
// Arithmetic is done in long double (64-bit significand), results stored as double; counts are
// 64-bit, so nothing wraps. The calibration fields are NOT written here (the caller shows the
// returned factors).
// Throws Error: "'%s' is not a valid floating point value" / "'%s' is not a valid integer value"
// (the buffer) for a value that does not convert; "Floating point division by zero" for a zero
// divisor ("Invalid floating point operation" when the dividend is 0 too); "Invalid floating
// point operation" for a Trunc outside the int64 range. Fields written before stay written.
HeaderScanResult ScanWcpHeader(std::string_view header_text, Panel& panel, Trace& trace);

// Refuses a record that does not fit the trace: when N - 1024 > 10,000,000 throws
// Error("Record too long: M samples (at most 10000001)") with M = N - 1023. The loader and "two
// traces" call it right after ScanWcpHeader, before the factors are shown.
void CheckRecordLength(int64_t samples_per_record);

// Trace.LastIndex for a record of N sample pairs: N - 1024 (negative: no sample), held to the
// int32 range (a hugely negative N gives INT32_MIN). Call CheckRecordLength first.
int32_t LastIndexFor(int64_t samples_per_record);

}  // namespace ictalscope
