#pragma once

#include <string>

namespace ictalscope {

// The file layer's message for a failed system call: "File not found", "File access denied",
// "Disk full", or "I/O error N" with the system's error number.
std::string FileErrorMessage(int error_number);
[[noreturn]] void ThrowFileError(int error_number);

// Whether `path` names an existing file that is not a directory.
bool FileExists(const std::string& path);

}  // namespace ictalscope
