#include "pictures/picture_plugin.h"

#include <QApplication>
#include <exception>
#include <optional>
#include <string>
#include <type_traits>

#include "base/error.h"
#include "ui/chart_pictures.h"
#include "ui/offscreen_chart.h"

namespace {

// The program has no window: the application, made once for the life of the process (and never
// destroyed, as the module is never unloaded), draws on the offscreen platform whatever
// QT_QPA_PLATFORM says.
// Qt's own notes (no runtime folder, fonts looked up) are noise on the batch tool's standard
// error, where only its status lines, warnings and errors belong; its critical messages stay.
void QuietQtNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
  qt_message_output(type, context, message);
}

void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  qInstallMessageHandler(QuietQtNotes);
  static int argc = 3;
  static char name[] = "ictalscope-batch";
  static char platform_option[] = "-platform";
  static char platform[] = "offscreen";
  static char* argv[] = {name, platform_option, platform, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  (void)application;
}

void Fail(IctalscopePictureFailure failure, void* context, const std::string& message) {
  failure(context, message.data(), message.size());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int ictalscope_save_picture(
    const ictalscope::MemoryChart* chart, const char* extension, const char* path,
    IctalscopePictureFailure failure, void* context) {
  static_assert(std::is_same_v<decltype(&ictalscope_save_picture), IctalscopeSavePicture>);
  try {
    const std::optional<ictalscope::PictureFormat> format =
        ictalscope::PictureFormatByExtension(extension);
    if (!format) {
      Fail(failure, context, std::string("no picture of the kind ") + extension);
      return 1;
    }
    EnsureApplication();
    ictalscope::SaveMemoryChartPicture(*chart, *format, path);
    return 0;
  } catch (const ictalscope::Error& error) {
    Fail(failure, context, error.message());
  } catch (const std::exception& error) {
    Fail(failure, context, error.what());
  }
  return 1;
}
