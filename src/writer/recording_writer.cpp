#include "writer/recording_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace ictalscope::writer {

namespace {

constexpr size_t kHeaderBytes = 512;
constexpr size_t kLeadingBlockBytes = 1024;

// Shortest text that reads back as the same double ("64", "6.25e-05").
std::string Number(double value) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

void AppendLine(std::string& text, const std::string& key, const std::string& value) {
  text += key + "=" + value + "\r\n";
}

void AppendChannel(std::string& text, int channel, const std::string& name, const std::string& unit,
                   double gain) {
  const std::string c = std::to_string(channel);
  AppendLine(text, "YN" + c, name);
  AppendLine(text, "YU" + c, unit);
  AppendLine(text, "YG" + c, Number(gain));
  AppendLine(text, "YZ" + c, "0");
  AppendLine(text, "YO" + c, std::to_string(channel));
  AppendLine(text, "YR" + c, "2");
}

void PutInt16(std::string& out, int16_t value) {
  const auto bits = static_cast<uint16_t>(value);
  out.push_back(static_cast<char>(bits & 0xFF));
  out.push_back(static_cast<char>(bits >> 8));
}

}  // namespace

std::string WcpHeaderText(const WcpHeader& header) {
  std::string text;
  AppendLine(text, "VER", "9");
  AppendLine(text, "CTIME", "12:00:00");
  AppendLine(text, "NC", "2");
  AppendLine(text, "NR", std::to_string(header.nr));
  AppendLine(text, "NBH", "2");
  AppendLine(text, "NBA", "2");
  AppendLine(text, "NBD", Number(header.nbd));
  AppendLine(text, "AD", Number(header.ad));
  AppendLine(text, "ADCMAX", "32767");
  AppendLine(text, "NP", "0");
  AppendLine(text, "DT", Number(header.dt_s));
  AppendChannel(text, 0, "Vm", "mV", header.yg0);
  AppendChannel(text, 1, "Im", "pA", header.yg1);
  for (const auto& [key, value] : header.extra) AppendLine(text, key, value);
  if (text.size() < kHeaderBytes) text.append(kHeaderBytes - text.size(), ' ');
  return text;
}

std::string WcpFileBytes(const std::string& header_text, const std::vector<WcpRecord>& records) {
  std::string bytes = header_text.substr(0, kHeaderBytes);
  bytes.resize(2 * kHeaderBytes, '\0');
  for (const WcpRecord& record : records) {
    for (size_t i = 0; i < kLeadingBlockBytes / 2; ++i) PutInt16(bytes, record.leading_fill);
    for (size_t k = 0; k < record.ch0.size(); ++k) {
      PutInt16(bytes, record.ch0[k]);
      PutInt16(bytes, k < record.ch1.size() ? record.ch1[k] : int16_t{0});
    }
  }
  return bytes;
}

void WriteWcpFile(const std::string& path, const std::string& header_text,
                  const std::vector<WcpRecord>& records) {
  const std::string bytes = WcpFileBytes(header_text, records);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

int16_t CountsForMillivolts(double mv, const WcpHeader& header) {
  const double mv_per_count = header.ad * 0.001 / (header.yg0 * 32767);
  const double counts = std::round(mv / mv_per_count);
  return static_cast<int16_t>(std::clamp(counts, -32768.0, 32767.0));
}

void WriteTextTrace(const std::string& path, const std::vector<std::string>& header_lines,
                    const std::vector<std::string>& data_lines, const std::string& line_end) {
  std::string text;
  for (const std::string& line : header_lines) text += line + line_end;
  for (const std::string& line : data_lines) text += line + line_end;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace ictalscope::writer
