#pragma once

#include <string>

#include "batch/batch_session.h"

namespace ictalscope {

// The chart held in memory as the window's chart would show it, into `path`, as a picture of
// the kind `extension` names ("wmf", "svg", "png"). The picture plugin beside the program draws
// it; it is loaded at the first picture, so that a run without pictures loads no Qt. Throws
// Error with the file layer's message naming `path` when the file cannot be written, or saying
// that the plugin cannot be loaded.
void SaveChartPicture(const MemoryChart& chart, const std::string& extension,
                      const std::string& path);

// The actions wmf, svg and png: the chart into ResultBaseName + "." + extension in the working
// directory (".wmf" before any "IID"), as from the window; the status line
// "wmf: the chart into 1.wmf".
std::string RunPictureAction(BatchSession& session, const std::string& extension);

}  // namespace ictalscope
