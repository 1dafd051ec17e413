#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ictalscope::writer {

// The header of a .wcp recording as an acquisition program writes it: key=value lines, each
// ended by CR LF, padded to 512 bytes.
struct WcpHeader {
  double nbd = 64;        // "NBD="
  double dt_s = 6.25e-5;  // "DT=" in seconds
  double ad = 10;         // "AD="
  int nr = 1;             // "NR="
  double yg0 = 0.0001;    // "YG0="
  double yg1 = 0.0005;    // "YG1="
  // Further lines, written after the standard ones ("VER=", "NC=", ... are always written).
  std::vector<std::pair<std::string, std::string>> extra;
};

// The 512 header bytes: "VER=", "CTIME=", "NC=2", "NR=", "NBH=", "NBA=", "NBD=", "AD=",
// "ADCMAX=", "NP=", "DT=", "YN0=", "YU0=", "YG0=", "YZ0=", "YO0=", "YR0=", then the same for
// channel 1, then `extra`; each line ended by CR LF; the rest padded with blanks.
std::string WcpHeaderText(const WcpHeader& header);

// One record: per sample pair an int16 of channel 0 (voltage) and one of channel 1 (current).
struct WcpRecord {
  std::vector<int16_t> ch0;
  std::vector<int16_t> ch1;  // empty: zeros
  int16_t leading_fill = 0;  // every int16 of the 1024-byte leading block
};

// Writes header_text (cut or padded with NUL to 512 bytes), 512 bytes of zeros, then each record
// as a 1024-byte leading block followed by its interleaved pairs (all little-endian). Throws
// std::runtime_error when the file cannot be written.
void WriteWcpFile(const std::string& path, const std::string& header_text,
                  const std::vector<WcpRecord>& records);
// The bytes that WriteWcpFile writes.
std::string WcpFileBytes(const std::string& header_text, const std::vector<WcpRecord>& records);

// Counts for a voltage in mV with the calibration that the loader computes from the header:
// mV per count = AD * 0.001 / (YG0 * 32767); rounded to nearest and clamped to int16.
int16_t CountsForMillivolts(double mv, const WcpHeader& header);

// A text trace: `header_lines` lines (the loader skips 10), then one line per sample
// "t second v" with the numbers as given, lines ended by `line_end`.
void WriteTextTrace(const std::string& path, const std::vector<std::string>& header_lines,
                    const std::vector<std::string>& data_lines,
                    const std::string& line_end = "\r\n");

}  // namespace ictalscope::writer
