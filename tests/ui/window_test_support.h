#pragma once

// Shared by the window's tests: one QApplication for the test program, and a temporary
// directory that serves as the working directory while a test runs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace ictalscope::testing {

class QtTest : public ::testing::Test {
 protected:
  // Another test file of the program may have made the application already.
  static void SetUpTestSuite() {
    if (QApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  static void TearDownTestSuite() { application_.reset(); }

 private:
  static inline std::unique_ptr<QApplication> application_;
};

// A fresh directory, made the working directory until the object goes.
class WorkingDirectory {
 public:
  WorkingDirectory() : previous_(QDir::currentPath()) { Enter(); }
  ~WorkingDirectory() { QDir::setCurrent(previous_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  void Enter() const { QDir::setCurrent(Path()); }
  QString Path() const { return QDir(directory_.path()).canonicalPath(); }
  QString File(const QString& name) const { return Path() + QLatin1Char('/') + name; }
  bool Has(const QString& name) const { return QFile::exists(File(name)); }
  // Copies the demo recording 1.wcp here from the build tree's examples/, where the build
  // writes it.
  void AddDemoRecording() const {
    ASSERT_TRUE(QFile::copy(QStringLiteral(ICTALSCOPE_EXAMPLES_DIR "/1.wcp"), File("1.wcp")));
  }

 private:
  QTemporaryDir directory_;
  QString previous_;
};

}  // namespace ictalscope::testing
