#pragma once

// Conversions between the core's plain data and Python values, shared by the bindings.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <span>
#include <string>
#include <vector>

#include "recording/chart.h"
#include "recording/sample_vector.h"

namespace ictalscope::python {

namespace py = pybind11;

// A 1-D array of float64 from any sequence of numbers, converted (and copied) only when needed.
using SampleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Text of the core (file names, units, messages, printed output): UTF-8 when it decodes as such,
// else Latin-1, byte for byte, as the header label shows it.
py::str Text(const std::string& bytes);

// The samples of a 1-D array; ValueError names `what` when the array has another shape.
std::span<const double> SamplesOf(const SampleArray& array, const char* what);

// A NumPy array that takes over the vector's storage.
py::array_t<double> ToArray(std::vector<double>&& values);
py::array_t<double> ToArray(SampleVector&& values);

// Marker points as an array of shape (n, 2): x in s, y in mV.
py::array_t<double> PointsArray(const std::vector<ChartPoint>& points);

}  // namespace ictalscope::python
