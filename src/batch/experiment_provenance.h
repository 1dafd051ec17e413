#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ictalscope {

// What one recording's run of an experiment did, as its output folder's provenance.json holds
// it: the program, the recording, every action with the panel it read, the files it wrote and
// the figures of each record it touched, and the files of the folder at the end.

inline constexpr const char* kProvenanceFile = "provenance.json";

struct OutputFile {
  std::string file;  // relative to the output folder
  uint64_t size = 0;
  std::string sha256;
  bool operator==(const OutputFile&) const = default;
};

// What the actions found in one record: the load's samples and interval, the spike count of
// "spikes", the discharges of "iid" and the mean of their mean intervals (ISImean, s; none
// without a discharge). Each is kept by the action that produced it.
struct RecordFigures {
  int32_t record = 0;
  std::optional<int64_t> samples;
  std::optional<double> interval_ms;
  std::optional<int64_t> spikes;
  std::optional<int64_t> iid_discharges;
  std::optional<int64_t> id_discharges;
  std::optional<double> mean_isi_s;
};

struct ActionProvenance {
  std::string action;  // as given: "load", "ISImax=500", "check:read"
  // The panel before the action: every field's text, every check box, the recording-name box.
  std::vector<std::pair<std::string, std::string>> panel;
  std::vector<std::pair<std::string, bool>> checks;
  std::string name_box;
  std::vector<OutputFile> wrote;  // the files it wrote, as it left them
  bool failed = false;
  std::string message;  // the first failure's message (each-record: of the step that failed)
  std::vector<RecordFigures> records;
  // "stat": the summary line of the file it wrote, by column name ("N_ID", "InterIDm", ...).
  std::vector<std::pair<std::string, std::string>> stat;
};

struct RecordingProvenance {
  std::string path;  // as the patterns named it
  uint64_t size = 0;
  std::string sha256;
  std::string format;  // "wcp", "abf" or "text"
  // As the last load read it (empty when no load read it): the .wcp layout ("classic",
  // "header"), the ABF acquisition mode, the format's version, the records it holds.
  std::string layout;
  std::string mode;
  std::string version;
  int64_t records = 0;
};

struct Provenance {
  std::string program;
  std::string version;
  std::string revision;
  std::string build_type;
  std::string date;  // UTC, "2025-06-01T12:00:00Z"
  std::string command_line;
  RecordingProvenance recording;
  std::vector<ActionProvenance> actions;
  std::vector<OutputFile> outputs;  // every file of the folder at the end, but this one
  bool failed = false;
};

// The program as it was built: name, CMake project version, source revision at configure time
// ("unknown" without git), build type.
struct BuildInfo {
  std::string program;
  std::string version;
  std::string revision;
  std::string build_type;
};
BuildInfo ThisBuild();

// The current time as provenance dates it.
std::string UtcNow();

std::string ProvenanceJson(const Provenance& provenance);
// nullopt when the text is no provenance (not JSON, or a required member missing).
std::optional<Provenance> ParseProvenance(std::string_view json);
// The folder's provenance.json; nullopt when it is missing or unreadable.
std::optional<Provenance> ReadProvenance(const std::filesystem::path& folder);

// Whether `folder` holds a finished run without failure of `actions` on the recording whose
// digest is `sha256` by this program version, with every output file as that run left it.
bool IsDone(const Provenance& provenance, const std::string& sha256,
            const std::vector<std::string>& actions, const std::filesystem::path& folder);

// Every regular file below `folder` but provenance.json, with its size and digest, sorted.
std::vector<OutputFile> FilesOf(const std::filesystem::path& folder);

}  // namespace ictalscope
