#include "python_values.h"

#include <memory>

namespace ictalscope::python {

py::str Text(const std::string& bytes) {
  const auto size = static_cast<Py_ssize_t>(bytes.size());
  PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), size, "strict");
  if (text == nullptr) {
    PyErr_Clear();
    text = PyUnicode_DecodeLatin1(bytes.data(), size, "strict");
  }
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

std::span<const double> SamplesOf(const SampleArray& array, const char* what) {
  if (array.ndim() != 1) {
    throw py::value_error(std::string(what) + " must be one-dimensional, not of " +
                          std::to_string(array.ndim()) + " dimensions");
  }
  return {array.data(), static_cast<size_t>(array.shape(0))};
}

namespace {

// The array owns the vector: its samples are not copied.
template <typename Vector>
py::array_t<double> OwningArray(Vector&& values) {
  if (values.empty()) return py::array_t<double>(0);
  auto owned = std::make_unique<Vector>(std::move(values));
  const py::capsule owner(owned.get(), [](void* p) { delete static_cast<Vector*>(p); });
  const Vector& stored = *owned.release();
  return py::array_t<double>(static_cast<py::ssize_t>(stored.size()), stored.data(), owner);
}

}  // namespace

py::array_t<double> ToArray(std::vector<double>&& values) { return OwningArray(std::move(values)); }

py::array_t<double> ToArray(SampleVector&& values) { return OwningArray(std::move(values)); }

py::array_t<double> PointsArray(const std::vector<ChartPoint>& points) {
  py::array_t<double> array({static_cast<py::ssize_t>(points.size()), py::ssize_t{2}});
  auto out = array.mutable_unchecked<2>();
  for (size_t i = 0; i < points.size(); ++i) {
    out(static_cast<py::ssize_t>(i), 0) = points[i].x;
    out(static_cast<py::ssize_t>(i), 1) = points[i].y;
  }
  return array;
}

}  // namespace ictalscope::python
