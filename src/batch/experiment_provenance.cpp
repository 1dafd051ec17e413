#include "batch/experiment_provenance.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/error.h"
#include "batch/experiment_json.h"
#include "batch/sha256.h"

#if __has_include("ictalscope_build_info.h")
#include "ictalscope_build_info.h"
#endif
#ifndef ICTALSCOPE_VERSION
#define ICTALSCOPE_VERSION "unknown"
#endif
#ifndef ICTALSCOPE_REVISION
#define ICTALSCOPE_REVISION "unknown"
#endif
#ifndef ICTALSCOPE_BUILD_TYPE
#define ICTALSCOPE_BUILD_TYPE "unknown"
#endif

namespace ictalscope {

namespace fs = std::filesystem;

namespace {

void WriteFiles(JsonWriter& json, const std::vector<OutputFile>& files) {
  json.BeginArray();
  for (const OutputFile& file : files) {
    json.Inline();
    json.BeginObject();
    json.Key("file");
    json.String(file.file);
    json.Key("size");
    json.Integer(static_cast<long long>(file.size));
    json.Key("sha256");
    json.String(file.sha256);
    json.EndObject();
  }
  json.EndArray();
}

template <typename T>
void OptionalInteger(JsonWriter& json, const char* key, const std::optional<T>& value) {
  if (!value) return;
  json.Key(key);
  json.Integer(static_cast<long long>(*value));
}

void OptionalNumber(JsonWriter& json, const char* key, const std::optional<double>& value) {
  if (!value) return;
  json.Key(key);
  json.Number(*value);
}

void WriteRecords(JsonWriter& json, const std::vector<RecordFigures>& records) {
  json.BeginArray();
  for (const RecordFigures& r : records) {
    json.Inline();
    json.BeginObject();
    json.Key("record");
    json.Integer(r.record);
    OptionalInteger(json, "samples", r.samples);
    OptionalNumber(json, "samplingIntervalMs", r.interval_ms);
    OptionalInteger(json, "spikes", r.spikes);
    OptionalInteger(json, "iidDischarges", r.iid_discharges);
    OptionalInteger(json, "idDischarges", r.id_discharges);
    OptionalNumber(json, "meanIsiS", r.mean_isi_s);
    json.EndObject();
  }
  json.EndArray();
}

void WriteAction(JsonWriter& json, const ActionProvenance& action) {
  json.BeginObject();
  json.Key("action");
  json.String(action.action);
  json.Key("panel");
  json.Inline();
  json.BeginObject();
  for (const auto& [name, text] : action.panel) {
    json.Key(name);
    json.String(text);
  }
  json.EndObject();
  json.Key("checks");
  json.Inline();
  json.BeginObject();
  for (const auto& [name, ticked] : action.checks) {
    json.Key(name);
    json.Bool(ticked);
  }
  json.EndObject();
  json.Key("nameBox");
  json.String(action.name_box);
  json.Key("wrote");
  WriteFiles(json, action.wrote);
  json.Key("failed");
  json.Bool(action.failed);
  if (action.failed) {
    json.Key("message");
    json.String(action.message);
  }
  if (!action.records.empty()) {
    json.Key("records");
    WriteRecords(json, action.records);
  }
  if (!action.stat.empty()) {
    json.Key("stat");
    json.Inline();
    json.BeginObject();
    for (const auto& [name, value] : action.stat) {
      json.Key(name);
      json.String(value);
    }
    json.EndObject();
  }
  json.EndObject();
}

std::optional<OutputFile> ParseFile(const JsonValue& value) {
  const JsonValue* size = value.Find("size");
  if (size == nullptr || size->type != JsonValue::Type::kNumber || size->number < 0) {
    return std::nullopt;
  }
  OutputFile file{value.StringOr("file"), static_cast<uint64_t>(size->number),
                  value.StringOr("sha256")};
  if (file.file.empty() || file.sha256.size() != 64) return std::nullopt;
  return file;
}

std::optional<std::vector<OutputFile>> ParseFiles(const JsonValue* value) {
  if (value == nullptr || value->type != JsonValue::Type::kArray) return std::nullopt;
  std::vector<OutputFile> files;
  for (const JsonValue& item : value->items) {
    std::optional<OutputFile> file = ParseFile(item);
    if (!file) return std::nullopt;
    files.push_back(std::move(*file));
  }
  return files;
}

template <typename T>
std::optional<T> OptionalMember(const JsonValue& value, std::string_view key) {
  const JsonValue* member = value.Find(key);
  if (member == nullptr || member->type != JsonValue::Type::kNumber) return std::nullopt;
  return static_cast<T>(member->number);
}

RecordFigures ParseRecord(const JsonValue& value) {
  RecordFigures r;
  r.record = static_cast<int32_t>(value.NumberOr("record", 0));
  r.samples = OptionalMember<int64_t>(value, "samples");
  r.interval_ms = OptionalMember<double>(value, "samplingIntervalMs");
  r.spikes = OptionalMember<int64_t>(value, "spikes");
  r.iid_discharges = OptionalMember<int64_t>(value, "iidDischarges");
  r.id_discharges = OptionalMember<int64_t>(value, "idDischarges");
  r.mean_isi_s = OptionalMember<double>(value, "meanIsiS");
  return r;
}

std::optional<ActionProvenance> ParseAction(const JsonValue& value) {
  ActionProvenance action;
  const JsonValue* name = value.Find("action");
  if (name == nullptr || name->type != JsonValue::Type::kString) return std::nullopt;
  action.action = name->text;
  if (const JsonValue* panel = value.Find("panel")) {
    for (const auto& [key, text] : panel->members) action.panel.emplace_back(key, text.text);
  }
  if (const JsonValue* checks = value.Find("checks")) {
    for (const auto& [key, ticked] : checks->members)
      action.checks.emplace_back(key, ticked.boolean);
  }
  action.name_box = value.StringOr("nameBox");
  std::optional<std::vector<OutputFile>> wrote = ParseFiles(value.Find("wrote"));
  if (!wrote) return std::nullopt;
  action.wrote = std::move(*wrote);
  action.failed = value.BoolOr("failed", true);
  action.message = value.StringOr("message");
  if (const JsonValue* records = value.Find("records")) {
    for (const JsonValue& record : records->items) action.records.push_back(ParseRecord(record));
  }
  if (const JsonValue* stat = value.Find("stat")) {
    for (const auto& [key, text] : stat->members) action.stat.emplace_back(key, text.text);
  }
  return action;
}

}  // namespace

BuildInfo ThisBuild() {
  return {"ictalscope-batch", ICTALSCOPE_VERSION, ICTALSCOPE_REVISION, ICTALSCOPE_BUILD_TYPE};
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  ::gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string ProvenanceJson(const Provenance& p) {
  JsonWriter json;
  json.BeginObject();
  json.Key("program");
  json.String(p.program);
  json.Key("version");
  json.String(p.version);
  json.Key("revision");
  json.String(p.revision);
  json.Key("buildType");
  json.String(p.build_type);
  json.Key("date");
  json.String(p.date);
  json.Key("commandLine");
  json.String(p.command_line);
  json.Key("recording");
  json.BeginObject();
  json.Key("path");
  json.String(p.recording.path);
  json.Key("size");
  json.Integer(static_cast<long long>(p.recording.size));
  json.Key("sha256");
  json.String(p.recording.sha256);
  json.Key("format");
  json.String(p.recording.format);
  json.Key("layout");
  json.String(p.recording.layout);
  json.Key("mode");
  json.String(p.recording.mode);
  json.Key("version");
  json.String(p.recording.version);
  json.Key("records");
  json.Integer(p.recording.records);
  json.EndObject();
  json.Key("failed");
  json.Bool(p.failed);
  json.Key("actions");
  json.BeginArray();
  for (const ActionProvenance& action : p.actions) WriteAction(json, action);
  json.EndArray();
  json.Key("outputs");
  WriteFiles(json, p.outputs);
  json.EndObject();
  return json.text();
}

std::optional<Provenance> ParseProvenance(std::string_view text) {
  const std::optional<JsonValue> json = ParseJson(text);
  if (!json || json->type != JsonValue::Type::kObject) return std::nullopt;
  Provenance p;
  p.program = json->StringOr("program");
  p.version = json->StringOr("version");
  p.revision = json->StringOr("revision");
  p.build_type = json->StringOr("buildType");
  p.date = json->StringOr("date");
  p.command_line = json->StringOr("commandLine");
  const JsonValue* recording = json->Find("recording");
  if (recording == nullptr || recording->type != JsonValue::Type::kObject) return std::nullopt;
  p.recording.path = recording->StringOr("path");
  p.recording.size = static_cast<uint64_t>(recording->NumberOr("size", 0));
  p.recording.sha256 = recording->StringOr("sha256");
  p.recording.format = recording->StringOr("format");
  p.recording.layout = recording->StringOr("layout");
  p.recording.mode = recording->StringOr("mode");
  p.recording.version = recording->StringOr("version");
  p.recording.records = static_cast<int64_t>(recording->NumberOr("records", 0));
  p.failed = json->BoolOr("failed", true);
  const JsonValue* actions = json->Find("actions");
  if (actions == nullptr || actions->type != JsonValue::Type::kArray) return std::nullopt;
  for (const JsonValue& item : actions->items) {
    std::optional<ActionProvenance> action = ParseAction(item);
    if (!action) return std::nullopt;
    p.actions.push_back(std::move(*action));
  }
  std::optional<std::vector<OutputFile>> outputs = ParseFiles(json->Find("outputs"));
  if (!outputs || p.recording.sha256.empty() || p.version.empty()) return std::nullopt;
  p.outputs = std::move(*outputs);
  return p;
}

std::optional<Provenance> ReadProvenance(const fs::path& folder) {
  std::ifstream in(folder / kProvenanceFile, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseProvenance(text);
}

bool IsDone(const Provenance& p, const std::string& sha256, const std::vector<std::string>& actions,
            const fs::path& folder) {
  if (p.failed || p.recording.sha256 != sha256 || p.version != ThisBuild().version) return false;
  if (p.actions.size() != actions.size()) return false;
  for (size_t i = 0; i < actions.size(); ++i) {
    if (p.actions[i].action != actions[i] || p.actions[i].failed) return false;
  }
  return FilesOf(folder) == p.outputs;
}

std::vector<OutputFile> FilesOf(const fs::path& folder) {
  std::vector<OutputFile> files;
  std::error_code error;
  fs::recursive_directory_iterator it(folder, error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const fs::path relative = it->path().lexically_relative(folder);
    if (relative == kProvenanceFile) continue;
    try {
      const FileDigest digest = DigestFile(it->path().string());
      files.push_back({relative.generic_string(), digest.size, digest.sha256});
    } catch (const Error&) {
      files.push_back({relative.generic_string(), 0, ""});
    }
  }
  std::sort(files.begin(), files.end(),
            [](const OutputFile& a, const OutputFile& b) { return a.file < b.file; });
  return files;
}

}  // namespace ictalscope
