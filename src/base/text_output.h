#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace ictalscope {

// A text file that the program writes: every line ends with CR LF. Failures throw Error with the
// file layer's message; the destructor closes the file (a handler that stops on a failure leaves
// no file open).
//
// Result tables write each line as it comes, so that a failing write (a full disk) stops the
// handler at that line, before its next step. The trace dumps, a line per drawn sample and
// millions of lines for a long record, are written a block at a time: a failure there shows
// at the write of the block, when the lines after the failing one may already be drawn.
class TextOutput {
 public:
  enum class Mode { kCreate, kAppend };  // kCreate empties an existing file; kAppend needs one
  enum class Writes { kEachLine, kBlocks };

  TextOutput(const std::string& path, Mode mode, Writes writes = Writes::kEachLine);
  ~TextOutput();
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;

  void WriteLine(std::string_view line);
  void Close();

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  std::string line_;  // the line being written, with its CR LF
};

}  // namespace ictalscope
