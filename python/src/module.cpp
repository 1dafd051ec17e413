// The compiled part of the package `ictalscope`: plain values in, plain values out. The package's
// Python modules give them their classes and defaults.

#include "base/error.h"
#include "bindings.h"
#include "python_values.h"

namespace ictalscope::python {

// ictalscope.Error carries the core's message whole (also bytes that are no UTF-8).
void BindError(py::module_& m) {
  static py::exception<Error> error(m, "Error", PyExc_RuntimeError);
  error.attr("__module__") = "ictalscope";
  error.doc() = "A failure of ictalscope, with the program's own message.";
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const Error& failure) {
      PyErr_SetObject(error.ptr(), Text(failure.message()).ptr());
    }
  });
}

}  // namespace ictalscope::python

PYBIND11_MODULE(_core, m) {
  using namespace ictalscope::python;
  m.doc() = "ictalscope's core functions over plain values (use the package ictalscope)";
  BindError(m);
  BindRecording(m);
  BindAnalysis(m);
  BindSession(m);
}
