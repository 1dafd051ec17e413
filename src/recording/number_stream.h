#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ictalscope {

// A text file read as a stream of numbers and lines, as the text traces and the discharge
// tables are read: any character of code 32 or below separates numbers (so numbers run on
// across line ends), "." is the decimal point, and a line ends at CR LF, LF or a CR alone.
// The file is read in large blocks and closed by the destructor.
class NumberStream {
 public:
  // A missing file, or a directory, fails with "File not found".
  explicit NumberStream(const std::string& path);

  // Past the rest of the current line and its end; at the end of the file, nothing.
  void SkipLine();
  // The next number; nullopt at the end of the file. A token that is no number throws
  // "Invalid numeric input".
  std::optional<double> NextNumber();
  // The next number; the end of the file throws "Invalid numeric input" too.
  double RequiredNumber();

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  int Peek() { return pos_ < end_ || Refill() ? buffer_[pos_] : -1; }
  void Advance() { ++pos_; }
  bool Refill();

  std::string path_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  std::vector<unsigned char> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  std::string token_;
};

}  // namespace ictalscope
