#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ictalscope::writer {

// A .wcp recording as acquisition set-ups other than the classic rig write it: any channel
// count, channel order, analysis-block size and sampling interval. Values are written as given
// (texts, so that a test can write "6,005E-005" or a bad value).
struct WcpSetup {
  struct Channel {
    std::string name = "Vm";      // "YNc="
    std::string unit = "mV";      // "YUc="
    std::string gain = "0.01";    // "YGc=": volts at the ADC per unit; empty: no line
    std::string zero = "0";       // "YZc="; empty: no line
    std::optional<int> position;  // "YOc="; nullopt: c
  };
  int nc = 2;
  int nba = 2;
  int nbd = 16;               // data blocks per record: NBD x 512 / (2 NC) samples per channel
  std::string dt = "0.0001";  // "DT=" in seconds
  std::string ad = "10";      // "AD="; empty: no line
  std::string adcmax = "32767";
  std::optional<int> nr;  // "NR="; nullopt: the number of records written
  std::vector<Channel> channels{{"Im", "pA", "0.0005", "0", std::nullopt},
                                {"Vm", "mV", "0.01", "0", std::nullopt}};
  std::vector<std::pair<std::string, std::string>> extra;  // further lines, after the others
  std::vector<std::string> dropped;  // keys whose standard lines are left out ("NC", "DT", ...)
};

// One record: samples[c] are the int16 counts of channel c (shorter: padded with 0), vmax[c] the
// float32 voltage range of its analysis-block entry (missing entries: 0).
struct WcpSetupRecord {
  std::vector<std::vector<int16_t>> samples;
  std::vector<float> vmax;
};

// Samples per channel and record: NBD x 512 div (2 NC).
int64_t WcpSetupSamples(const WcpSetup& setup);

// The 1024 header bytes: "VER=", "NC=", "NR=", "NBH=1024", "NBA=", "NBD=", "AD=", "ADCMAX=",
// "DT=", then per channel "YNc=", "YUc=", "YGc=", "YZc=", "YOc=", then `extra`; lines ended by
// CR LF, padded with NUL.
std::string WcpSetupHeader(const WcpSetup& setup, int records);

// The whole file: the header, then per record an analysis block of NBA x 512 bytes (record
// status, type, group, time, interval, then VMax[c] as float32 from byte 24) and NBD x 512
// bytes of frames of NC int16, channel c at its position.
std::string WcpSetupFileBytes(const WcpSetup& setup, const std::vector<WcpSetupRecord>& records);

}  // namespace ictalscope::writer
