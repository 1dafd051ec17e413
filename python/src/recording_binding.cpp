// Recordings opened and read as plain data: what a load in a fresh window reads.

#include <memory>
#include <string>

#include "bindings.h"
#include "python_values.h"
#include "recording/recording_file.h"

namespace ictalscope::python {

namespace {

py::list ChannelList(const RecordingInfo& info) {
  py::list channels;
  for (const ChannelInfo& channel : info.channels) {
    channels.append(py::make_tuple(Text(channel.name), Text(channel.unit)));
  }
  return channels;
}

// Channels and the analysed channel counted from 1, as the Channel field counts them.
py::dict InfoDict(const Recording& recording) {
  const RecordingInfo& info = recording.info();
  py::dict d;
  d["format"] = py::str(std::string(FormatName(info.format)));
  d["file"] = Text(info.file);
  d["version"] = Text(info.version);
  d["mode"] = Text(info.mode);
  d["layout"] = Text(info.layout);
  d["records"] = info.records;
  d["channels"] = ChannelList(info);
  d["analysed_channel"] = info.analysed_channel + 1;
  d["voltage_found"] = info.voltage_found;
  d["sampling_interval_ms"] = info.interval_ms;
  d["summary"] = Text(RecordingSummary(info));
  // Latin-1 keeps every byte of the header as one character.
  const std::string& header = recording.header_text();
  d["header_text"] = py::reinterpret_steal<py::str>(
      PyUnicode_DecodeLatin1(header.data(), static_cast<Py_ssize_t>(header.size()), "strict"));
  return d;
}

py::dict RecordDict(RecordData&& data) {
  py::dict d;
  d["record"] = data.record;
  d["channel"] = data.channel + 1;
  d["acq_ms"] = data.acq_ms;
  d["calib_v"] = data.calib_v;
  d["calib_i"] = data.calib_i;
  d["v"] = ToArray(std::move(data.v));
  return d;
}

py::array_t<double> Times(py::ssize_t count, double acq_ms) {
  if (count < 0) throw py::value_error("the sample count must not be negative");
  return ToArray(SampleTimes(count, acq_ms));
}

}  // namespace

void BindRecording(py::module_& m) {
  py::class_<Recording>(m, "RecordingHandle", "A recording file opened by open_recording.")
      .def("info", &InfoDict, "What the recording's header says, as a dict.")
      .def(
          "read",
          [](const Recording& recording, int32_t record, int channel) {
            return RecordDict(ReadRecord(recording, record, channel));
          },
          py::arg("record"), py::arg("channel") = 0,
          "Record `record` (from 1) of channel `channel` (from 1; 0: the first voltage channel), "
          "as a dict: v (mV), acq_ms, record, channel (from 1), calib_v, calib_i.");
  m.def(
      "open_recording",
      [](const std::string& path) { return std::make_unique<Recording>(OpenRecording(path)); },
      py::arg("path"), "Opens a recording file (ABF, .wcp or text trace) by its content.");
  m.def("sample_times", &Times, py::arg("count"), py::arg("acq_ms"),
        "The time in s of each of `count` samples, acq_ms apart.");
}

}  // namespace ictalscope::python
