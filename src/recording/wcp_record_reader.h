#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace ictalscope {

// Reads records of a .wcp recording as the loader and "two traces" do. The file is opened for
// reading only and closed by the destructor (a load that stops on a failure leaves it closed).
//
// Layout: HeaderText at byte 0 (512 bytes); record r (from 1) has its 1024-byte leading block
// at 1024 + (r - 1) * (4N + 1024), followed by N pairs of little-endian int16 (channel 0, the
// voltage, then channel 1, discarded).
//
// The record is read in large blocks, but the result is that of reading it two bytes at a time
// where the end of the file is no error: a 2-byte read that finds no data leaves its value
// unchanged, and a read that finds one byte replaces the low byte only. The leading block (512
// reads) and channel 0 share one value, 0 when the reader is created; channel 1 has its own. A
// record at or after the end of the file therefore gives zeros, and a file ending inside a
// record repeats its last channel-0 value.
//
// Typical use (one reader per load / per "two traces" run):
//   WcpRecordReader reader(path);                 // throws the file layer's message
//   std::string header = reader.ReadHeaderText();
//   ... ScanWcpHeader, CheckRecordLength ...
//   reader.SeekRecord(record_no, n);              // "I/O error 131" for a negative position
//   reader.SkipLeadingBlock();
//   reader.ReadRecord(trace.V.data(), LastIndexFor(n), calib_v, after_each_chunk);
//   reader.Close();
class WcpRecordReader {
 public:
  explicit WcpRecordReader(const std::string& path);
  ~WcpRecordReader();
  WcpRecordReader(const WcpRecordReader&) = delete;
  WcpRecordReader& operator=(const WcpRecordReader&) = delete;

  int64_t FileSize() const { return file_size_; }

  // The first 512 bytes, one character per byte; bytes missing in a shorter file are NUL.
  std::string ReadHeaderText();

  // Moves to the leading block of record `record_no`: byte 1024 + (record_no - 1) * (4N + 1024),
  // computed without overflow. A negative position throws Error("I/O error 131"); a position
  // at or past the end of the file is no error (later reads find no data).
  void SeekRecord(int32_t record_no, int64_t samples_per_record);

  // Reads and discards the 1024-byte leading block (512 two-byte reads into the channel-0 value).
  void SkipLeadingBlock();

  // Reads the next `count` sample pairs: out[i] := channel-0 count * calib_v, the product rounded
  // to a 64-bit significand and then stored as double (as the loader's arithmetic does).
  void ReadSamples(double* out, int64_t count, double calib_v);

  // Reads samples 0..last of the record into `v` a chunk at a time, calling
  // after_chunk(first, last) after each chunk. The first chunk ends at sample 3, the first that
  // may be drawn, so that a drawing step that fails there leaves V[0..3] stored and the later
  // samples untouched.
  template <typename AfterChunk>
  void ReadRecord(double* v, int32_t last, double calib_v, AfterChunk&& after_chunk) {
    constexpr int32_t kChunkSamples = 1 << 14;  // small enough to stay in the cache
    for (int32_t first = 0; first <= last;) {
      const int32_t chunk_last = std::min(first == 0 ? 3 : first + kChunkSamples - 1, last);
      ReadSamples(v + first, chunk_last - first + 1, calib_v);
      after_chunk(first, chunk_last);
      first = chunk_last + 1;
    }
  }

  // Closes the file; a failing close throws the file layer's message. Idempotent.
  void Close();

 private:
  bool Refill();
  void ReadTwoBytes(int16_t& value);
  void BuildTable(double calib_v);
  size_t Available() const { return end_ - begin_; }

  std::string path_;
  int fd_ = -1;
  int64_t file_size_ = 0;
  bool at_end_ = false;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  int16_t channel0_ = 0;
  int16_t channel1_ = 0;
  // Millivolts of each channel-0 count, indexed by the count's 16 bits as unsigned.
  std::unique_ptr<std::array<double, 65536>> table_;
  double table_calib_ = 0;
};

}  // namespace ictalscope
