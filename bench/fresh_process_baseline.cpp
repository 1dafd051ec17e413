// The least that a fresh process loading and scanning the big record has to do, timed by
// fresh_process_bench against the batch tool:
//   fresh_process_baseline [FILE]   (default big.wcp)
// Reads the classic .wcp header (NBD, DT, AD, YG0), then record 1 in 1-MiB blocks, converts
// channel 0 of its first NBD * 128 - 1023 sample pairs to mV in a fresh 2-MiB-aligned array
// advised for huge pages, and counts the samples that rise from the previous one faster than
// 10 mV/ms. Prints that count; exits 1 when the file cannot be read. Links nothing of the
// project.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kBlockBytes = size_t{1} << 20;  // a multiple of the 4-byte sample pair
constexpr size_t kHugePage = size_t{2} << 20;

// The number after "KEY=" at the start of a header line, or 0.
double HeaderValue(const std::string& header, const char* key) {
  const std::string prefix = std::string("\n") + key + "=";
  const size_t at = ("\n" + header).find(prefix);
  return at == std::string::npos ? 0
                                 : std::strtod(header.c_str() + at + prefix.size() - 1, nullptr);
}

double* HugePageArray(size_t bytes) {
  bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* raw =
      mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const size_t head = (kHugePage - reinterpret_cast<uintptr_t>(raw) % kHugePage) % kHugePage;
  char* aligned = static_cast<char*>(raw) + head;
  if (head > 0) munmap(raw, head);
  munmap(aligned + bytes, kHugePage - head);
#ifdef MADV_HUGEPAGE
  madvise(aligned, bytes, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<double*>(aligned);
}

bool ReadFully(int fd, char* out, size_t count) {
  while (count > 0) {
    const ssize_t n = read(fd, out, count);
    if (n <= 0) return false;
    out += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "big.wcp";
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  static char block[kBlockBytes];
  if (fd < 0 || !ReadFully(fd, block, 2048)) {
    std::fprintf(stderr, "cannot read %s\n", path);
    return 1;
  }
  const std::string header(block, 1024);
  const auto samples = static_cast<int64_t>(HeaderValue(header, "NBD") * 128 - 1023);
  const double mv_per_count =
      HeaderValue(header, "AD") * 0.001 / (HeaderValue(header, "YG0") * 32767);
  const double ms_per_sample = HeaderValue(header, "DT") * 1000;
  double* mv = samples > 0 ? HugePageArray(sizeof(double) * static_cast<size_t>(samples)) : nullptr;
  if (mv == nullptr || ms_per_sample <= 0) {
    std::fprintf(stderr, "%s: no record of this layout\n", path);
    return 1;
  }
  // Record 1 starts after the 1024-byte header and its own leading 1024 bytes, read above.
  size_t remaining = size_t{4} * static_cast<size_t>(samples);
  int64_t k = 0;
  while (remaining > 0) {
    const size_t want = remaining < kBlockBytes ? remaining : kBlockBytes;
    if (!ReadFully(fd, block, want)) {
      std::fprintf(stderr, "%s is short\n", path);
      return 1;
    }
    for (size_t offset = 0; offset < want; offset += 4) {
      int16_t counts;
      std::memcpy(&counts, block + offset, sizeof counts);
      mv[k++] = counts * mv_per_count;
    }
    remaining -= want;
  }
  close(fd);
  const double rise_per_sample = 10 * ms_per_sample;  // 10 mV/ms
  int64_t rises = 0;
  for (int64_t j = 1; j < samples; ++j) rises += mv[j] - mv[j - 1] > rise_per_sample;
  std::printf("%lld samples, %lld rise faster than 10 mV/ms\n", static_cast<long long>(samples),
              static_cast<long long>(rises));
  return 0;
}
