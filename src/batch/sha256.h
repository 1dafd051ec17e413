#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ictalscope {

// SHA-256 (FIPS 180-4), fed in pieces of any size. It uses the processor's SHA instructions
// where it has them, and portable code elsewhere; both give the same digest.
class Sha256 {
 public:
  enum class Engine { kBest, kPortable, kShaInstructions };
  explicit Sha256(Engine engine = Engine::kBest);

  void Update(const void* data, size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
  std::string HexDigest();

  // Whether this processor has the SHA instructions (Engine::kShaInstructions needs them).
  static bool HasShaInstructions();

 private:
  void Blocks(const uint8_t* data, size_t blocks);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> pending_{};
  size_t pending_size_ = 0;
  uint64_t total_bytes_ = 0;
  bool sha_instructions_;
};

// The digest of `bytes`.
std::string Sha256Hex(std::string_view bytes);

// The size and digest of the file at `path`, read in pieces. Throws Error with the file layer's
// message ("File not found: PATH", ...) when it cannot be read.
struct FileDigest {
  uint64_t size = 0;
  std::string sha256;
};
FileDigest DigestFile(const std::string& path);

}  // namespace ictalscope
