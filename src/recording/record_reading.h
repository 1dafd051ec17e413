#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "recording/workspace.h"

namespace ictalscope {

// What a load and "two traces" do differently while they read one record of a recording;
// everything else (the header applied to the panel and the trace, the checks, the samples read
// into Trace.V) they share.
struct RecordReading {
  // The record to read, taken from the panel when the reading gets to it: Trunc(Analyse) for a
  // load, Trunc(Analyse) + 1 for "two traces".
  std::function<int32_t(const Panel&)> record_number;
  // A text trace holds one record. A load ignores Analyse for it; "two traces" checks the
  // record number against it.
  bool text_checks_record = false;
  // Called once every check has passed and Trace.LastIndex is set, before the first sample.
  std::function<void()> before_samples = [] {};
  // Called after Trace.V[first..last] are stored, in consecutive chunks from 0; the first
  // chunk ends at sample 3.
  std::function<void(int32_t first, int32_t last)> after_chunk;
};

// Reads the record of the recording file `path` by its format: an ABF file, a .wcp file by
// the classic layout or by its header, or a text trace. Sets ws.recording and the header label,
// writes the header's values into the panel, processes pending events where a load does, and
// closes the file before it returns. A record or channel that does not exist throws
// NoRecordError after emptying the trace; other failures throw Error.
void ReadRecordOf(Workspace& ws, const std::string& path, const RecordReading& reading);

// The format readers behind ReadRecordOf. `first_bytes` are the first 1024 bytes of the file
// (fewer in a shorter file).
void ReadClassicWcp(Workspace& ws, const std::string& path, const std::string& first_bytes,
                    const RecordReading& reading);
void ReadHeaderWcp(Workspace& ws, const std::string& path, const RecordReading& reading);
void ReadAbf(Workspace& ws, const std::string& path, const RecordReading& reading);
void ReadText(Workspace& ws, const std::string& path, const RecordReading& reading);

// Steps the readers share.
// Writes CalibV and CalibI and processes pending events.
void ShowFactors(Panel& panel, double calib_v, double calib_i);
// Throws NoRecordError("Record N does not exist: FILE holds M records") unless 1 <= N <= M.
void CheckRecordExists(Workspace& ws, int64_t record, int64_t records);
// Sets the header label to the summary of ws.recording, followed by `header_text` when given.
void ShowRecordingInLabel(Workspace& ws, const std::string& header_text);

}  // namespace ictalscope
