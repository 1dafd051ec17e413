#pragma once

// The interface between the batch tool and its picture plugin, a shared module built beside the
// program that draws the batch tool's chart with the window's own chart (Qt). The program links
// no Qt; it loads the module when the first picture is asked for.

#include <cstddef>

namespace ictalscope {
class MemoryChart;
}

extern "C" {

// Told the message of a failure: `size` bytes at `message` (which may hold NUL characters).
typedef void (*IctalscopePictureFailure)(void* context, const char* message, size_t size);

// Draws `chart` as the window's chart would show it into the file `path` as a picture of the
// kind `extension` names ("wmf", "svg" or "png"). Returns 0, or 1 after telling `failure` why.
// The first call makes the process's QApplication, on the offscreen platform.
typedef int (*IctalscopeSavePicture)(const ictalscope::MemoryChart* chart, const char* extension,
                                     const char* path, IctalscopePictureFailure failure,
                                     void* context);
}

namespace ictalscope {

// The module's file name beside the program, and its entry point's name.
inline constexpr const char* kPicturePluginFile = "ictalscope-pictures.so";
inline constexpr const char* kSavePictureSymbol = "ictalscope_save_picture";

}  // namespace ictalscope
