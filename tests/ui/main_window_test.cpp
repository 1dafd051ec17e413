#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "analysis/analysis_state.h"
#include "recording/workspace.h"
#include "ui/directory_list.h"
#include "ui/float_spin_edit.h"
#include "ui/qt_chart.h"
#include "window_test_support.h"

namespace ictalscope {
namespace {

using testing::WorkingDirectory;

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A window in the working directory that the test has set up, its message boxes replaced by
// a list of the messages.
class MainWindowTest : public testing::QtTest {
 protected:
  void Open() {
    window_ = std::make_unique<MainWindow>();
    window_->SetMessagePresenter([this](QWidget*, const QString& message) {
      messages_.push_back(message);
      stat_enabled_at_message_ = Button("stat")->isEnabled();
    });
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  QPushButton* Button(const char* caption) {
    return window_->findChild<QPushButton*>(QString::fromLatin1(caption));
  }
  FloatSpinEdit* NumericField(const char* name) {
    return window_->findChild<FloatSpinEdit*>(QString::fromLatin1(name));
  }
  void Press(const char* caption) { QTest::mouseClick(Button(caption), Qt::LeftButton); }
  void ClickIntoNameBox() {
    QTest::mouseClick(window_->findChild<QLineEdit*>("RecordingName"), Qt::LeftButton);
  }
  // Types the record number into Analyse and clicks into its text, left of the arrows.
  void ReloadRecord(const char* record) {
    FloatSpinEdit* analyse = NumericField("Analyse");
    analyse->setFocus(Qt::TabFocusReason);
    analyse->selectAll();
    QTest::keyClicks(analyse, record);
    QTest::mouseClick(analyse, Qt::LeftButton, {}, QPoint(6, analyse->height() / 2));
  }
  int Points(Series series) { return window_->chart().PointCount(series); }

  std::unique_ptr<MainWindow> window_;
  std::vector<QString> messages_;
  bool stat_enabled_at_message_ = true;
};

// The work of the overview, by the window and by the batch tool: the same tables, byte for
// byte, and "stat" failing or succeeding alike.
TEST_F(MainWindowTest, TheUsualWorkWritesTheSameTablesAsTheBatchTool) {
  WorkingDirectory batch_dir;
  batch_dir.AddDemoRecording();
  QProcess batch;
  batch.setWorkingDirectory(batch_dir.Path());
  batch.start(QStringLiteral(ICTALSCOPE_BATCH_EXE),
              {"--quiet", "name=1", "load", "spikes", "iid", "Analyse=2", "reload", "spikes", "iid",
               "stat"});
  ASSERT_TRUE(batch.waitForFinished(60000));
  const QString batch_errors = QString::fromUtf8(batch.readAllStandardError());

  WorkingDirectory window_dir;
  window_dir.AddDemoRecording();
  Open();
  ClickIntoNameBox();
  EXPECT_GT(Points(Series::V), 1000);
  Press("Spikes");
  Press("IID");
  ReloadRecord("2");
  EXPECT_EQ(window_->workspace().trace.RecordNo, 2);
  Press("Spikes");
  EXPECT_GT(window_->analysis().spikes.SpikeCount, 40);
  Press("IID");
  Press("stat");

  for (const char* table : {"1IID", "1mean", "1ID", "1_sp", "1_1sp", "1IDm"}) {
    ASSERT_EQ(window_dir.Has(table), batch_dir.Has(table)) << table;
    EXPECT_EQ(ReadAll(window_dir.File(table)), ReadAll(batch_dir.File(table))) << table;
  }
  EXPECT_TRUE(window_dir.Has("1_sp"));
  if (batch.exitCode() == 0) {
    EXPECT_TRUE(messages_.empty());
  } else {
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(batch_errors, "error: " + messages_.front() + "\n");
  }

  // The window as it stands after the work, for the eye.
  EXPECT_TRUE(window_->grab().save(QStringLiteral(ICTALSCOPE_BINARY_DIR "/window.png")));
}

TEST_F(MainWindowTest, MetafileBeforeAnyIIDIsNamedDotWmf) {
  WorkingDirectory dir;
  dir.AddDemoRecording();
  Open();
  ClickIntoNameBox();
  Press("wmf");
  const QByteArray picture = ReadAll(dir.File(".wmf"));
  ASSERT_GT(picture.size(), 22);
  EXPECT_EQ(picture.left(4), QByteArray("\xD7\xCD\xC6\x9A", 4));  // a placeable metafile
  Press("Spikes");
  Press("IID");
  Press("wmf");
  EXPECT_TRUE(dir.Has("1.wmf"));
  EXPECT_TRUE(messages_.empty());
}

// A load made in one directory, the analyses after a change of directory: the tables go to
// the directory opened last.
TEST_F(MainWindowTest, OpeningADirectoryMovesWhereResultsGo) {
  WorkingDirectory first;
  first.AddDemoRecording();
  WorkingDirectory second;
  first.Enter();
  Open();
  ClickIntoNameBox();
  auto* directories = window_->findChild<DirectoryList*>();
  directories->setFocus();
  directories->ShowDirectory(second.Path());
  QTest::keyClick(directories, Qt::Key_Return);
  EXPECT_EQ(QDir::currentPath(), second.Path());
  Press("Spikes");
  Press("IID");
  EXPECT_TRUE(second.Has("1IID"));
  EXPECT_FALSE(first.Has("1IID"));
  EXPECT_TRUE(messages_.empty());
}

// "stat" with no table to read fails; the message is shown while "stat" is disabled, and the
// window takes the next command.
TEST_F(MainWindowTest, AFailingHandlerShowsItsMessageAndTheWindowGoesOn) {
  WorkingDirectory dir;
  Open();
  Press("stat");
  EXPECT_EQ(messages_, std::vector<QString>{"File not found: ID"});
  EXPECT_EQ(window_->findChild<QStatusBar*>("StatusLine")->currentMessage(),
            "error: File not found: ID");
  EXPECT_FALSE(stat_enabled_at_message_);
  EXPECT_TRUE(Button("stat")->isEnabled());
  EXPECT_FALSE(window_->busy());

  dir.AddDemoRecording();
  ClickIntoNameBox();
  EXPECT_GT(Points(Series::V), 1000);
  EXPECT_TRUE(window_->findChild<QLabel*>("HeaderLabel")->text().startsWith("WCP 9, classic"));
  EXPECT_EQ(window_->windowTitle(), "ictalscope - 1.wcp, record 1 of 6");
  EXPECT_EQ(window_->findChild<QStatusBar*>("StatusLine")->currentMessage(),
            "load: 1.wcp record 1 of 6, 318977 samples at 0.0625 ms (classic layout)");
  EXPECT_EQ(messages_.size(), 1u);
}

// A click on "Spikes" that arrives while a reload lets the event loop run is ignored: without
// the guard it would find the spikes of the previous record and mark them on the new one.
TEST_F(MainWindowTest, CommandsArrivingWhileAHandlerRunsAreIgnored) {
  WorkingDirectory dir;
  dir.AddDemoRecording();
  Open();
  ClickIntoNameBox();
  QPushButton* spikes = Button("Spikes");
  const QPointF centre = QRectF(spikes->rect()).center();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QCoreApplication::postEvent(
        spikes, new QMouseEvent(type, centre, spikes->mapToGlobal(centre), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier));
  }
  ReloadRecord("2");
  QCoreApplication::processEvents();
  EXPECT_EQ(window_->analysis().spikes.SpikeCount, 0);
  EXPECT_EQ(Points(Series::th), 0);
  EXPECT_GT(Points(Series::V), 1000);
}

TEST_F(MainWindowTest, StartsWithThePanelDefaultsAtTheirPlaces) {
  WorkingDirectory dir;
  Open();
  EXPECT_EQ(window_->windowTitle(), "ictalscope");
  EXPECT_EQ(window_->findChild<QLabel*>("HeaderLabel")->text(), "");
  EXPECT_EQ(window_->size(), QSize(1271, 611));
  EXPECT_EQ(NumericField("Analyse")->text(), " 1");
  EXPECT_EQ(NumericField("AcqTime")->text(), "0.06250");
  EXPECT_EQ(NumericField("AcqTime")->StrDecimals(), 5);
  EXPECT_EQ(NumericField("ISImax")->Increment(), 1);
  EXPECT_EQ(NumericField("Vsilent")->geometry(), QRect(584, 508, 57, 22));
  EXPECT_EQ(Button("two traces")->geometry(), QRect(736, 340, 65, 27));
  EXPECT_EQ(window_->findChild<QWidget*>("Chart")->geometry(), QRect(0, 1, 1153, 336));
  EXPECT_EQ(window_->findChild<QLineEdit*>("RecordingName")->text(), "1");
  EXPECT_FALSE(window_->findChild<QCheckBox*>("stimulation")->isChecked());
  EXPECT_EQ(window_->findChild<QLabel*>("HeaderLabel")->pos(), QPoint(1160, 0));
  // Tab from the name box reaches AD, then YG0.
  auto* name_box = window_->findChild<QLineEdit*>("RecordingName");
  name_box->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(name_box, Qt::Key_Tab);
  EXPECT_EQ(window_->focusWidget(), NumericField("AD"));
  QTest::keyClick(NumericField("AD"), Qt::Key_Tab);
  EXPECT_EQ(window_->focusWidget(), NumericField("YG0"));
  EXPECT_EQ(NumericField("Channel")->geometry(), QRect(820, 420, 57, 22));
  EXPECT_EQ(NumericField("Channel")->text(), " 0");
}

// A field whose text reads as no number shows it in red, and says so in its tooltip, until the
// text reads as a number again.
TEST_F(MainWindowTest, FlagsAFieldThatReadsAsNoNumber) {
  WorkingDirectory dir;
  Open();
  FloatSpinEdit* isi = NumericField("ISImax");
  const QColor normal = isi->palette().color(QPalette::Text);
  isi->setFocus(Qt::TabFocusReason);
  isi->selectAll();
  QTest::keyClicks(isi, "1.5.");
  EXPECT_EQ(isi->palette().color(QPalette::Text), QColor(Qt::red));
  EXPECT_EQ(isi->toolTip(), "ISImax: '1.5.' is not a number; it reads as 0");
  QTest::keyClick(isi, Qt::Key_Backspace);
  EXPECT_EQ(isi->palette().color(QPalette::Text), normal);
  EXPECT_EQ(isi->toolTip(), "");
}

}  // namespace
}  // namespace ictalscope
