#pragma once

#include <string>

#include "batch/batch_session.h"

namespace ictalscope {

// The workspace as one JSON object: panel texts, check boxes, names, trace, conditioning values,
// spike table and chart series. Numbers carry 17 significant digits; NaN and infinities are null.
// `brief` replaces the samples and every series by their counts.
std::string StateJson(const BatchSession& session, bool brief);

}  // namespace ictalscope
