#include "batch/state_json.h"

#include <cmath>
#include <cstdio>

#include "panel/field.h"

namespace ictalscope {

namespace {

class JsonWriter {
 public:
  std::string& out() { return out_; }

  void Number(double x) {
    if (!std::isfinite(x)) {
      out_ += "null";
      return;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", x);
    out_ += buffer;
  }

  void Integer(long long n) { out_ += std::to_string(n); }

  // Bytes of 128 and above are taken as Latin-1 characters, as the header label shows them.
  void String(const std::string& text) {
    out_ += '"';
    for (unsigned char c : text) {
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += static_cast<char>(c);
      } else if (c == '\n') {
        out_ += "\\n";
      } else if (c == '\r') {
        out_ += "\\r";
      } else if (c == '\t') {
        out_ += "\\t";
      } else if (c < 0x20 || c >= 0x7f) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
        out_ += buffer;
      } else {
        out_ += static_cast<char>(c);
      }
    }
    out_ += '"';
  }

  // Opens a member: a separator unless it is the first of its object, then the key.
  void Key(const std::string& key, bool first) {
    if (!first) out_ += ", ";
    String(key);
    out_ += ": ";
  }

 private:
  std::string out_;
};

void WritePanel(JsonWriter& json, const BatchSession& s) {
  json.out() += "{";
  for (int i = 0; i < kFieldCount; ++i) {
    const FieldInfo& info = InfoOf(static_cast<Field>(i));
    json.Key(std::string(info.name), i == 0);
    json.String(s.panel.Text(info.field));
  }
  json.out() += "}";
}

void WriteChecks(JsonWriter& json, const BatchSession& s) {
  json.out() += "{";
  for (int i = 0; i < kCheckCount; ++i) {
    const CheckInfo& info = InfoOf(static_cast<Check>(i));
    json.Key(std::string(info.name), i == 0);
    json.out() += s.panel.IsChecked(info.check) ? "true" : "false";
  }
  json.out() += "}";
}

void WriteTrace(JsonWriter& json, const Trace& trace, bool brief) {
  json.out() += "{";
  json.Key("lastIndex", true);
  json.Integer(trace.LastIndex);
  json.Key("acqTime", false);
  json.Number(trace.AcqTime);
  json.Key("recordNo", false);
  json.Integer(trace.RecordNo);
  json.Key("nr", false);
  json.Integer(trace.NR);
  json.Key("v", false);
  const int32_t count = trace.LastIndex < 0 ? 0 : trace.LastIndex + 1;
  if (brief) {
    json.Integer(count);
  } else {
    json.out() += "[";
    for (int32_t k = 0; k < count; ++k) {
      if (k > 0) json.out() += ", ";
      json.Number(trace.V[k]);
    }
    json.out() += "]";
  }
  json.out() += "}";
}

void WriteStimTiming(JsonWriter& json, const StimTiming& stim) {
  json.out() += "{";
  json.Key("intervalMs", true);
  json.Number(stim.IntervalMs);
  json.Key("delayMs", false);
  json.Number(stim.DelayMs);
  json.Key("durationMs", false);
  json.Number(stim.DurationMs);
  json.out() += "}";
}

void WriteColumn(JsonWriter& json, const std::string& name, const SpikeTable::Column& column,
                 int32_t count) {
  json.Key(name, false);
  json.out() += "[";
  for (int32_t k = 1; k <= count; ++k) {
    if (k > 1) json.out() += ", ";
    json.Number(column[k]);
  }
  json.out() += "]";
}

void WriteSpikes(JsonWriter& json, const SpikeTable& spikes) {
  const int32_t count = std::min(spikes.SpikeCount, SpikeTable::kCapacity);
  json.out() += "{";
  json.Key("count", true);
  json.Integer(spikes.SpikeCount);
  WriteColumn(json, "VT", spikes.VT, count);
  WriteColumn(json, "tsp", spikes.tsp, count);
  WriteColumn(json, "Vpeak", spikes.Vpeak, count);
  WriteColumn(json, "tpeak", spikes.tpeak, count);
  WriteColumn(json, "Vrest", spikes.Vrest, count);
  WriteColumn(json, "Vmin", spikes.Vmin, count);
  WriteColumn(json, "AHP", spikes.AHP, count);
  json.out() += "}";
}

void WriteSeries(JsonWriter& json, const MemoryChart& chart, bool brief) {
  json.out() += "{";
  for (int i = 0; i < kSeriesCount; ++i) {
    const Series series = static_cast<Series>(i);
    json.Key(std::string(SeriesTitle(series)), i == 0);
    if (brief) {
      json.Integer(static_cast<long long>(chart.PointCount(series)));
      continue;
    }
    const std::vector<ChartPoint>& points = chart.Points(series);
    json.out() += "[";
    for (size_t k = 0; k < points.size(); ++k) {
      json.out() += k > 0 ? ", [" : "[";
      json.Number(points[k].x);
      json.out() += ", ";
      json.Number(points[k].y);
      json.out() += "]";
    }
    json.out() += "]";
  }
  json.out() += "}";
}

void WriteChannels(JsonWriter& json, const std::vector<ChannelInfo>& channels) {
  json.out() += "[";
  for (size_t c = 0; c < channels.size(); ++c) {
    json.out() += c > 0 ? ", {" : "{";
    json.Key("name", true);
    json.String(channels[c].name);
    json.Key("unit", false);
    json.String(channels[c].unit);
    json.out() += "}";
  }
  json.out() += "]";
}

// null until a load has found its recording. Channels are counted from 1, as the Channel field
// counts them.
void WriteRecording(JsonWriter& json, const std::optional<RecordingInfo>& recording) {
  if (!recording) {
    json.out() += "null";
    return;
  }
  json.out() += "{";
  json.Key("format", true);
  json.String(std::string(FormatName(recording->format)));
  json.Key("file", false);
  json.String(recording->file);
  json.Key("version", false);
  json.String(recording->version);
  json.Key("mode", false);
  json.String(recording->mode);
  json.Key("layout", false);
  json.String(recording->layout);
  json.Key("records", false);
  json.Integer(recording->records);
  json.Key("channels", false);
  WriteChannels(json, recording->channels);
  json.Key("analysedChannel", false);
  json.Integer(recording->analysed_channel + 1);
  json.Key("voltageChannelFound", false);
  json.out() += recording->voltage_found ? "true" : "false";
  json.Key("samplingIntervalMs", false);
  json.Number(recording->interval_ms);
  json.Key("record", false);
  json.Integer(recording->record);
  json.out() += "}";
}

}  // namespace

std::string StateJson(const BatchSession& s, bool brief) {
  JsonWriter json;
  json.out() += "{";
  json.Key("panel", true);
  WritePanel(json, s);
  json.Key("checks", false);
  WriteChecks(json, s);
  json.Key("nameBox", false);
  json.String(s.panel.NameBoxText());
  json.Key("recordingName", false);
  json.String(s.ws.RecordingName);
  json.Key("resultBaseName", false);
  json.String(s.analysis.ResultBaseName);
  json.Key("headerLabel", false);
  json.String(s.panel.HeaderLabel());
  json.Key("trace", false);
  WriteTrace(json, s.ws.trace, brief);
  json.Key("plotStep", false);
  json.Integer(s.ws.PlotStep);
  json.Key("filterCoef", false);
  json.Number(s.ws.FilterCoef);
  json.Key("stimTiming", false);
  WriteStimTiming(json, s.ws.stim);
  json.Key("spikes", false);
  WriteSpikes(json, s.analysis.spikes);
  json.Key("series", false);
  WriteSeries(json, s.chart, brief);
  json.Key("recording", false);
  WriteRecording(json, s.ws.recording);
  json.out() += "}";
  return std::move(json.out());
}

}  // namespace ictalscope
