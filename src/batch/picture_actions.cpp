#include "batch/picture_actions.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "pictures/picture_plugin.h"

namespace ictalscope {
namespace {

std::string PluginPath() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return kPicturePluginFile;
  return (program.parent_path() / kPicturePluginFile).string();
}

// Loaded once; a module that cannot be loaded is tried again at the next picture.
IctalscopeSavePicture LoadPlugin() {
  static IctalscopeSavePicture save = nullptr;
  if (save != nullptr) return save;
  const std::string path = PluginPath();
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    throw Error("The picture plugin cannot be loaded: " + std::string(::dlerror()));
  }
  save = reinterpret_cast<IctalscopeSavePicture>(::dlsym(module, kSavePictureSymbol));
  if (save == nullptr) {
    throw Error("The picture plugin cannot be loaded: " + path + " has no " + kSavePictureSymbol);
  }
  return save;
}

void TakeMessage(void* context, const char* message, size_t size) {
  static_cast<std::string*>(context)->assign(message, size);
}

}  // namespace

void SaveChartPicture(const MemoryChart& chart, const std::string& extension,
                      const std::string& path) {
  const IctalscopeSavePicture save = LoadPlugin();
  std::string message;
  if (save(&chart, extension.c_str(), path.c_str(), TakeMessage, &message) != 0) {
    throw Error(message);
  }
}

std::string RunPictureAction(BatchSession& session, const std::string& extension) {
  const std::string path = session.analysis.ResultBaseName + "." + extension;
  SaveChartPicture(session.chart, extension, path);
  return extension + ": the chart into " + path;
}

}  // namespace ictalscope
