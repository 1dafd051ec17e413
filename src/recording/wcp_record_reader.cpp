#include "recording/wcp_record_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "base/error.h"
#include "base/file_layer.h"
#include "recording/header_scan.h"

namespace ictalscope {

namespace {

constexpr size_t kBlockBytes = size_t{1} << 20;
constexpr int kLeadingBlockBytes = 1024;
constexpr int kSeekNegativeError = 131;

int OpenForReading(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowFileError(errno, path);
  return fd;
}

uint16_t LoadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// out[j] := table[channel-0 count of pair j]. Four pairs a step: the loop's own bookkeeping
// then costs less than the loads and stores.
void ConvertChannel0(const unsigned char* p, int64_t pairs, const double* table, double* out) {
  int64_t j = 0;
  for (; j + 4 <= pairs; j += 4) {
    const double a = table[LoadU16(p + 4 * j)];
    const double b = table[LoadU16(p + 4 * j + 4)];
    const double c = table[LoadU16(p + 4 * j + 8)];
    const double d = table[LoadU16(p + 4 * j + 12)];
    out[j] = a;
    out[j + 1] = b;
    out[j + 2] = c;
    out[j + 3] = d;
  }
  for (; j < pairs; ++j) out[j] = table[LoadU16(p + 4 * j)];
}

}  // namespace

WcpRecordReader::WcpRecordReader(const std::string& path)
    : path_(path),
      fd_(OpenForReading(path)),
      buffer_(std::make_unique_for_overwrite<unsigned char[]>(kBlockBytes)) {
  struct stat info;
  if (::fstat(fd_, &info) != 0) {
    int error = errno;
    ::close(fd_);
    ThrowFileError(error, path_);
  }
  file_size_ = info.st_size;
}

WcpRecordReader::~WcpRecordReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::string WcpRecordReader::ReadHeaderText() {
  std::string text(kWcpHeaderSize, '\0');
  size_t got = 0;
  while (got < text.size()) {
    ssize_t n = ::pread(fd_, text.data() + got, text.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowFileError(errno, path_);
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return text;
}

void WcpRecordReader::SeekRecord(int32_t record_no, int64_t samples_per_record) {
  __int128 stride = static_cast<__int128>(samples_per_record) * 4 + kLeadingBlockBytes;
  __int128 position = kLeadingBlockBytes + (static_cast<__int128>(record_no) - 1) * stride;
  if (position < 0) throw Error(NamingFile(messages::IoError(kSeekNegativeError), path_));
  begin_ = end_ = 0;
  // Past the end nothing is read, so the position need not be representable as an offset.
  at_end_ = position >= file_size_;
  if (at_end_) return;
  if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) ThrowFileError(errno, path_);
}

// Reads one block behind the unread bytes; false at the end of the file.
bool WcpRecordReader::Refill() {
  if (at_end_) return false;
  std::memmove(buffer_.get(), buffer_.get() + begin_, Available());
  end_ = Available();
  begin_ = 0;
  ssize_t n;
  do {
    n = ::read(fd_, buffer_.get() + end_, kBlockBytes - end_);
  } while (n < 0 && errno == EINTR);
  if (n < 0) ThrowFileError(errno, path_);
  end_ += static_cast<size_t>(n);
  at_end_ = n == 0;
  return n > 0;
}

// One 2-byte read: no data leaves the value, a single byte replaces its low byte.
void WcpRecordReader::ReadTwoBytes(int16_t& value) {
  while (Available() < 2 && Refill()) {
  }
  if (Available() >= 2) {
    value = static_cast<int16_t>(LoadU16(&buffer_[begin_]));
    begin_ += 2;
  } else if (Available() == 1) {
    value = static_cast<int16_t>((static_cast<uint16_t>(value) & 0xFF00u) | buffer_[begin_]);
    begin_ += 1;
  }
}

void WcpRecordReader::SkipLeadingBlock() {
  for (int i = 0; i < kLeadingBlockBytes / 2; ++i) ReadTwoBytes(channel0_);
}

// Every count maps to (double)(count * calib_v in long double); a table of the 65536 products
// makes the per-sample work one load and one store.
void WcpRecordReader::BuildTable(double calib_v) {
  if (!table_) {
    table_ = std::make_unique_for_overwrite<std::array<double, 65536>>();
  } else if (std::memcmp(&table_calib_, &calib_v, sizeof calib_v) == 0) {
    return;
  }
  for (int bits = 0; bits < 65536; ++bits) {
    long double count = static_cast<int16_t>(static_cast<uint16_t>(bits));
    (*table_)[bits] = static_cast<double>(count * calib_v);
  }
  table_calib_ = calib_v;
}

void WcpRecordReader::ReadSamples(double* out, int64_t count, double calib_v) {
  BuildTable(calib_v);
  const std::array<double, 65536>& table = *table_;
  int64_t i = 0;
  while (i < count) {
    while (Available() < 4 && Refill()) {
    }
    int64_t pairs = std::min<int64_t>(count - i, static_cast<int64_t>(Available() / 4));
    if (pairs > 0) {
      ConvertChannel0(&buffer_[begin_], pairs, table.data(), out + i);
      const unsigned char* p = &buffer_[begin_];
      channel0_ = static_cast<int16_t>(LoadU16(p + 4 * (pairs - 1)));
      begin_ += static_cast<size_t>(4 * pairs);
      i += pairs;
      continue;
    }
    // The file ends inside this pair (or before it): what is left is read two bytes at a time,
    // and every later read finds no data.
    ReadTwoBytes(channel0_);
    ReadTwoBytes(channel1_);
    std::fill(out + i, out + count, table[static_cast<uint16_t>(channel0_)]);
    i = count;
  }
}

void WcpRecordReader::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) ThrowFileError(errno, path_);
}

}  // namespace ictalscope
