#include "recording/recording_lookup.h"

#include <map>

#include "base/file_layer.h"
#include "recording/abf_header.h"
#include "recording/wcp_header.h"

namespace ictalscope {

namespace {

std::map<std::string, std::string>& Aliases() {
  static std::map<std::string, std::string> aliases;
  return aliases;
}

}  // namespace

void SetRecordingAlias(const std::string& name, const std::string& path) { Aliases()[name] = path; }

void ClearRecordingAliases() { Aliases().clear(); }

void ThrowNoRecord(Trace& trace, const std::string& message) {
  trace.LastIndex = -1;
  throw NoRecordError(message);
}

std::string RecordMissingMessage(int64_t record, const std::string& file, int64_t records) {
  return "Record " + std::to_string(record) + " does not exist: " + file + " holds " +
         std::to_string(records) + " records";
}

std::string FindRecordingFile(const std::string& name, Trace& trace) {
  if (const auto alias = Aliases().find(name); alias != Aliases().end()) {
    if (FileExists(alias->second)) return alias->second;
  }
  for (const std::string& path : {name, name + ".wcp", name + ".abf"}) {
    if (FileExists(path)) return path;
  }
  ThrowNoRecord(trace, std::string(messages::kFileNotFound) + ": " + name + " (nor " + name +
                           ".wcp, " + name + ".abf)");
}

RecordingFormat SniffFormat(const std::string& first_bytes) {
  if (HasAbfSignature(first_bytes)) return RecordingFormat::kAbf;
  if (LooksLikeWcpHeader(first_bytes)) return RecordingFormat::kWcp;
  return RecordingFormat::kText;
}

}  // namespace ictalscope
