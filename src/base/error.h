#pragma once

#include <stdexcept>
#include <string>

namespace ictalscope {

// The one exception type of the core. Its message is the system's own text ("File not found",
// "'%s' is not a valid floating point value", ...); only the front ends present it.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message), message_(message) {}
  // The whole text, also when it holds NUL characters (a header value of a short file does).
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

namespace messages {
inline constexpr const char* kFileNotFound = "File not found";
inline constexpr const char* kFileAccessDenied = "File access denied";
inline constexpr const char* kDiskFull = "Disk full";
inline constexpr const char* kInvalidNumericInput = "Invalid numeric input";
inline constexpr const char* kFloatDivisionByZero = "Floating point division by zero";
inline constexpr const char* kInvalidFloatOperation = "Invalid floating point operation";
inline constexpr const char* kDivisionByZero = "Division by zero";

inline std::string IoError(int code) { return "I/O error " + std::to_string(code); }
inline std::string NotAValidFloat(const std::string& text) {
  return "'" + text + "' is not a valid floating point value";
}
inline std::string NotAValidInteger(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}
}  // namespace messages

}  // namespace ictalscope
