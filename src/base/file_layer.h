#pragma once

#include <string>

namespace ictalscope {

// The file layer's message for a failed system call on the file `path`: "File not found",
// "File access denied", "Disk full", or "I/O error N" with the system's error number, followed
// by a colon, a blank and the file's name: "File not found: 1ID".
std::string FileErrorMessage(int error_number, const std::string& path);
[[noreturn]] void ThrowFileError(int error_number, const std::string& path);

// "MESSAGE: PATH", as every message of the file layer names its file.
std::string NamingFile(const std::string& message, const std::string& path);

// Whether `path` names an existing file that is not a directory.
bool FileExists(const std::string& path);

}  // namespace ictalscope
