#pragma once

// The parts of the module ictalscope._core, each added to the module by its own function.

#include <pybind11/pybind11.h>

namespace ictalscope::python {

void BindError(pybind11::module_& m);      // ictalscope.Error
void BindRecording(pybind11::module_& m);  // open_recording, RecordingHandle, sample_times
void BindAnalysis(pybind11::module_& m);   // detect_spikes, group_discharges, ...
void BindSession(pybind11::module_& m);    // BatchSession

}  // namespace ictalscope::python
