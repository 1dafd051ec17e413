#pragma once

#include <string>

#include "base/error.h"
#include "recording/recording_info.h"
#include "recording/trace.h"

namespace ictalscope {

// A failed lookup of a recording, a record or a channel. Whoever throws it has left the trace
// without a record (LastIndex -1), so that no analysis runs on an earlier record under the new
// name; the commands also forget the spikes of that record.
class NoRecordError : public Error {
 public:
  using Error::Error;
};

// Empties the trace and throws NoRecordError(message).
[[noreturn]] void ThrowNoRecord(Trace& trace, const std::string& message);

// "Record N does not exist: FILE holds M records".
std::string RecordMissingMessage(int64_t record, const std::string& file, int64_t records);

// The file that a name typed into the recording-name box names: its alias, else the name as
// typed, else with ".wcp", else with ".abf" appended, the first that exists as a file. Neither:
// throws NoRecordError("File not found: NAME (nor NAME.wcp, NAME.abf)") after emptying the trace.
std::string FindRecordingFile(const std::string& name, Trace& trace);

// A name that stands for a file elsewhere: the lookup of `name` gives `path` while that file
// exists (an experiment run gives each recording's name its real path, so that the recording
// is read where it is). Aliases are process-wide; ClearRecordingAliases drops them all.
void SetRecordingAlias(const std::string& name, const std::string& path);
void ClearRecordingAliases();

// The format of a file by its first bytes: an ABF signature, else a .wcp header (KEY=value
// lines holding "NC=" and "NBD=" within the first 512 bytes), else a text trace.
RecordingFormat SniffFormat(const std::string& first_bytes);

}  // namespace ictalscope
