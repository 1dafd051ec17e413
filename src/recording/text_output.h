#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ictalscope {

// A text file that the program writes: every line ends with CR LF. Failures throw Error with the
// file layer's message; the destructor closes the file (a handler that stops on a failure leaves
// no file open).
class TextOutput {
 public:
  enum class Mode { kCreate, kAppend };  // kCreate empties an existing file; kAppend needs one

  TextOutput(const std::string& path, Mode mode);
  ~TextOutput();
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  void WriteLine(std::string_view line);
  void Close();

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace ictalscope
