#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/channel_choice.h"

namespace ictalscope {

// Bytes of the header of a .wcp recording read by its header (the classic loader reads 512).
inline constexpr int64_t kWcpFullHeaderBytes = 1024;
inline constexpr int64_t kWcpBlockBytes = 512;

// The KEY=VALUE lines of a .wcp header: the bytes up to the first NUL, Latin-1, lines ended by
// CR LF, LF or CR. Blanks around a value are dropped; a later line replaces an earlier one of
// the same key; a line without "=" is no key.
class WcpHeaderLines {
 public:
  explicit WcpHeaderLines(std::string_view bytes);
  // The value of KEY (given without its "="), or nullopt when no line holds it.
  std::optional<std::string> Value(const std::string& key) const;

 private:
  std::map<std::string, std::string> values_;
};

// Whether the start of a file is a .wcp header: KEY=value lines, among them "NC=" and "NBD=",
// within its first 512 bytes.
bool LooksLikeWcpHeader(std::string_view first_bytes);

// A header number: the value with "," read as ".", read as a field's text is read (empty reads
// as 0); a value that is no number throws "'VALUE' is not a valid floating point value".
double HeaderReal(const std::string& value);
// The same for keys that must be whole numbers: "'VALUE' is not a valid integer value".
int64_t HeaderWhole(const std::string& value);

// Whether the classic loader reads the file: "NC=" 2 or absent, "NBA=" 2 or absent, "YU0="
// absent or a voltage unit, "YO0=" 0 or absent, and "DT=" absent or 0.06250 once multiplied by
// 1000 and rounded to 5 decimals (values that are no numbers do not fit).
bool FitsClassicLayout(const WcpHeaderLines& lines);

// A .wcp file read by its header. Record r (from 1) starts at 1024 + (r - 1) (NBA + NBD) 512;
// its analysis block of NBA x 512 bytes comes first, then S frames of NC int16 samples, channel
// c at frame position YOc, S = NBD x 512 div (2 NC).
struct WcpLayout {
  int64_t channels = 0;                   // NC, at least 1
  int64_t analysis_blocks = 2;            // NBA
  int64_t data_blocks = 0;                // NBD, at least 1
  std::optional<int64_t> stated_records;  // NR
  int64_t adc_max = 0;                    // ADCMAX, above 0
  std::optional<double> ad_volts;         // AD
  std::string dt_text;                    // "DT=" as written, its comma read as a point
  int64_t samples = 0;                    // S, per channel and record
  int32_t records = 0;  // M: the records whose samples lie wholly in the file, at most NR
  std::vector<ChannelInfo> channel_list;  // "YNc=" and "YUc=", c from 0

  int64_t RecordStart(int64_t record) const;
  int64_t SamplesStart(int64_t record) const {
    return RecordStart(record) + analysis_blocks * kWcpBlockBytes;
  }
  int64_t SampleBytes() const { return samples * channels * 2; }
};

// Reads and checks NC, NBA, NBD, NR, ADCMAX, DT, AD and the channel names and units, in this
// order. A value that does not convert throws the conversion message; a required key that is
// missing or out of range throws "The header has no valid KEY=" (NC and NBD at least 1, DT and
// ADCMAX above 0, NBA and NR not negative).
WcpLayout ReadWcpLayout(const WcpHeaderLines& lines, int64_t file_size);

// How the samples of channel c become mV: (raw - YZc) x f with
// f = VMax[c] x u / (ADCMAX x YGc), stored as a double.
struct WcpChannelScale {
  int position = 0;      // YOc
  long double zero = 0;  // YZc
  long double gain = 0;  // YGc
};

// Reads YOc (default c, within the frame), YZc (default 0) and YGc (required, not 0).
WcpChannelScale ReadChannelScale(const WcpHeaderLines& lines, const WcpLayout& layout, int c);

// f of channel c in record r: VMax[c] is the float32 at byte 24 + 4c of the record's analysis
// block, replaced by "AD=" when it is no number from 0.001 to 1000 (volts); without a usable AD
// throws "The header has no valid AD=". `analysis_block` holds the bytes of that block.
double ChannelFactor(const WcpLayout& layout, const WcpChannelScale& scale, int c,
                     std::string_view analysis_block, long double millivolts_per_unit);

}  // namespace ictalscope
