#pragma once

#include <QByteArray>
#include <string>

namespace ictalscope {

// Writes `bytes` to `path`, created or overwritten; throws Error with the file layer's message
// naming `path` when that fails ("File access denied: 1.png").
void WritePictureFile(const std::string& path, const QByteArray& bytes);

}  // namespace ictalscope
