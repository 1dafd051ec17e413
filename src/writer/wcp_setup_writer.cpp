#include "writer/wcp_setup_writer.h"

#include <algorithm>
#include <cstring>

namespace ictalscope::writer {

namespace {

constexpr size_t kHeaderBytes = 1024;
constexpr size_t kBlockBytes = 512;

void PutInt16(std::string& out, size_t at, int16_t value) {
  const auto bits = static_cast<uint16_t>(value);
  out[at] = static_cast<char>(bits & 0xFF);
  out[at + 1] = static_cast<char>(bits >> 8);
}

void PutFloat32(std::string& out, size_t at, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

class HeaderText {
 public:
  explicit HeaderText(const WcpSetup& setup) : setup_(setup) {}
  // A standard line, left out when its key is dropped.
  void Line(const std::string& key, const std::string& value) {
    if (std::find(setup_.dropped.begin(), setup_.dropped.end(), key) != setup_.dropped.end())
      return;
    Extra(key, value);
  }
  void Extra(const std::string& key, const std::string& value) {
    text_ += key + "=" + value + "\r\n";
  }
  std::string Take() {
    text_.resize(kHeaderBytes, '\0');
    return text_;
  }

 private:
  const WcpSetup& setup_;
  std::string text_;
};

std::string AnalysisBlock(const WcpSetup& setup, const WcpSetupRecord& record) {
  std::string block(static_cast<size_t>(setup.nba) * kBlockBytes, '\0');
  if (block.size() >= 8) std::memcpy(block.data(), "ACCEPTED", 8);
  for (size_t c = 0; c < record.vmax.size(); ++c) {
    if (24 + 4 * c + 4 <= block.size()) PutFloat32(block, 24 + 4 * c, record.vmax[c]);
  }
  return block;
}

std::string DataBlocks(const WcpSetup& setup, const WcpSetupRecord& record) {
  std::string data(static_cast<size_t>(setup.nbd) * kBlockBytes, '\0');
  const int64_t samples = WcpSetupSamples(setup);
  for (size_t c = 0; c < record.samples.size() && c < setup.channels.size(); ++c) {
    const int position = setup.channels[c].position.value_or(static_cast<int>(c));
    // A position outside the frame (a test of a bad "YOc=") writes nothing of the channel.
    if (position < 0 || position >= setup.nc) continue;
    for (int64_t k = 0; k < samples && k < static_cast<int64_t>(record.samples[c].size()); ++k) {
      const int64_t at = (k * setup.nc + position) * 2;
      if (at + 2 <= static_cast<int64_t>(data.size())) {
        PutInt16(data, static_cast<size_t>(at), record.samples[c][static_cast<size_t>(k)]);
      }
    }
  }
  return data;
}

}  // namespace

int64_t WcpSetupSamples(const WcpSetup& setup) {
  return int64_t{setup.nbd} * 512 / (2 * int64_t{setup.nc});
}

std::string WcpSetupHeader(const WcpSetup& setup, int records) {
  HeaderText header(setup);
  header.Line("VER", "9");
  header.Line("NC", std::to_string(setup.nc));
  header.Line("NR", std::to_string(setup.nr.value_or(records)));
  header.Line("NBH", "1024");
  header.Line("NBA", std::to_string(setup.nba));
  header.Line("NBD", std::to_string(setup.nbd));
  if (!setup.ad.empty()) header.Line("AD", setup.ad);
  header.Line("ADCMAX", setup.adcmax);
  header.Line("DT", setup.dt);
  for (size_t c = 0; c < setup.channels.size(); ++c) {
    const WcpSetup::Channel& channel = setup.channels[c];
    const std::string n = std::to_string(c);
    header.Line("YN" + n, channel.name);
    header.Line("YU" + n, channel.unit);
    if (!channel.gain.empty()) header.Line("YG" + n, channel.gain);
    if (!channel.zero.empty()) header.Line("YZ" + n, channel.zero);
    header.Line("YO" + n, std::to_string(channel.position.value_or(static_cast<int>(c))));
  }
  for (const auto& [key, value] : setup.extra) header.Extra(key, value);
  return header.Take();
}

std::string WcpSetupFileBytes(const WcpSetup& setup, const std::vector<WcpSetupRecord>& records) {
  std::string bytes = WcpSetupHeader(setup, static_cast<int>(records.size()));
  for (const WcpSetupRecord& record : records) {
    bytes += AnalysisBlock(setup, record);
    bytes += DataBlocks(setup, record);
  }
  return bytes;
}

}  // namespace ictalscope::writer
