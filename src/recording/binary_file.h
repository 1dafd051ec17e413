#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ictalscope {

// A recording file opened for reading only, read at given positions. The header readers take
// their few bytes through it and the record readers their blocks, so that a load reads the
// header and the one record it needs, never the whole file. Closed by the destructor.
class BinaryFile {
 public:
  // Fails with the file layer's message ("File not found", "File access denied", ...).
  explicit BinaryFile(const std::string& path);
  ~BinaryFile();
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  const std::string& path() const { return path_; }
  int64_t size() const { return size_; }

  // Reads up to `count` bytes at `offset` into `out` and returns how many it read: fewer only
  // at the end of the file, 0 for an offset at or past the end (or negative). A failing read
  // throws the file layer's message.
  size_t ReadAt(int64_t offset, void* out, size_t count) const;

  // The bytes at `offset`, as many as the file holds of them (the string may be shorter).
  std::string BytesAt(int64_t offset, size_t count) const;

  // Closes the file; a failing close throws the file layer's message. Idempotent.
  void Close();

 private:
  std::string path_;
  int fd_ = -1;
  int64_t size_ = 0;
};

}  // namespace ictalscope
