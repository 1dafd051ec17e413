#include "analysis/status_line.h"

#include <charconv>

#include "base/format_fixed.h"

namespace ictalscope {

namespace {

std::string Count(long long n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string Shortest(double x) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, x);
  return std::string(text, result.ptr);
}

std::string HowRead(const RecordingInfo& info) {
  switch (info.format) {
    case RecordingFormat::kText:
      return "text trace";
    case RecordingFormat::kWcp:
      return info.layout + " layout";
    case RecordingFormat::kAbf:
      return "ABF " + info.version + ", " + info.mode;
  }
  return "";
}

}  // namespace

std::string RecordStatus(const std::string& verb, const Workspace& ws) {
  if (!ws.recording) return verb + ": no recording";
  const RecordingInfo& info = *ws.recording;
  const long long samples = ws.trace.LastIndex < 0 ? 0 : ws.trace.LastIndex + 1LL;
  return verb + ": " + info.file + " record " + std::to_string(info.record) + " of " +
         std::to_string(info.records) + ", " + Count(samples, "sample") + " at " +
         Shortest(ws.trace.AcqTime) + " ms (" + HowRead(info) + ")";
}

std::string SpikesStatus(const SpikeTable& spikes) {
  return "spikes: " + Count(spikes.SpikeCount, "spike");
}

std::string IidStatus(const IidSummary& summary) {
  constexpr const char* kSuffixes[] = {"IID", "mean", "ID", "_sp", "_1sp"};
  std::string text = "iid: " + Count(summary.discharges, "discharge") + ", " +
                     std::to_string(summary.id_discharges) + " of them ID; rows written:";
  for (size_t i = 0; i < summary.rows.size(); ++i) {
    text += (i == 0 ? " " : ", ") + std::to_string(summary.rows[i]) + " to " + summary.base +
            kSuffixes[i];
  }
  return text;
}

std::string StatStatus(const StatSummary& summary, bool read) {
  return "stat: " +
         Count(static_cast<long long>(summary.discharges), read ? "discharge" : "ID discharge") +
         " from " + summary.input + " into " + summary.output;
}

std::string RinStatus(const RinSummary& summary) {
  return "rin: " + Count(static_cast<long long>(summary.steps), "step") + " into " + summary.file;
}

std::string TauStatus(const Workspace& ws) {
  return "tau: a = " + FormatFixed(ws.FilterCoef, 0, 2);
}

std::string StimulationStatus(const Workspace& ws) {
  return "stimulation: every " + FormatFixed(ws.stim.IntervalMs, 0, 1) + " ms from " +
         FormatFixed(ws.stim.DelayMs, 0, 1) + " ms, " + FormatFixed(ws.stim.DurationMs, 0, 1) +
         " ms blanked";
}

}  // namespace ictalscope
