#include "ui/float_spin_edit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <memory>

namespace ictalscope {
namespace {

// Widgets need one QApplication for the whole run.
class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

class CountingSpinEdit : public FloatSpinEdit {
 public:
  using FloatSpinEdit::FloatSpinEdit;
  int beeps = 0;

 protected:
  void Beep() override { ++beeps; }
};

// A shown, active window holding the field under test and a second field to move focus to.
class FloatSpinEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.resize(300, 120);
    edit_ = new CountingSpinEdit(&window_);
    edit_->setGeometry(10, 10, 97, 40);
    other_ = new QLineEdit(&window_);
    other_->setGeometry(10, 70, 97, 40);
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    Leave();  // activation focused the field; each test enters it itself
  }

  void Enter() { edit_->setFocus(Qt::TabFocusReason); }
  void Leave() { other_->setFocus(Qt::TabFocusReason); }
  // Focuses the field, replaces its whole text by typing, and leaves the field.
  void TypeAndLeave(const char* text) {
    Enter();
    QTest::keyClicks(edit_, text);
    Leave();
  }
  QToolButton* Arrow(const char* name) { return edit_->findChild<QToolButton*>(name); }

  QWidget window_;
  CountingSpinEdit* edit_ = nullptr;
  QLineEdit* other_ = nullptr;
};

TEST_F(FloatSpinEditTest, StartsAsZeroWithItsDefaultsAndNamedProperties) {
  EXPECT_EQ(edit_->text(), "0");
  EXPECT_EQ(edit_->Value(), 0);
  EXPECT_EQ(edit_->StrWidth(), 2);
  EXPECT_EQ(edit_->StrDecimals(), 2);
  EXPECT_EQ(edit_->Increment(), 1);
  EXPECT_TRUE(edit_->EditorEnabled());
  EXPECT_TRUE(edit_->AutoSelect());
  EXPECT_FALSE(edit_->ReadOnly());
  // A form description sets the format before `Value`.
  edit_->setProperty("StrDecimals", 10);
  edit_->setProperty("Value", 4);
  EXPECT_EQ(edit_->text(), "4.0000000000");
  EXPECT_EQ(edit_->property("Value").toDouble(), 4);
}

TEST_F(FloatSpinEditTest, WritesAndReadsValueByTheFieldRules) {
  const struct {
    double min, max;
    int decimals;
    double x;
    const char* text;
    double read_back;
  } cases[] = {
      {0, 0, 0, 1, " 1", 1},
      {0, 0, 0, -65, "-65", -65},
      {0, 0, 5, 0.0000625, "0.00006", 0.00006},
      {0, 0, 1, 1000.0 / 3, "333.3", 333.3},
      {0, 10, 2, 12, "10.00", 10},
      {0, 10, 2, -3, "0.00", 0},
      {-2, -2, 2, -3, "-3.00", -3},  // equal bounds mean none
  };
  for (const auto& c : cases) {
    edit_->SetMinValue(c.min);
    edit_->SetMaxValue(c.max);
    edit_->SetStrDecimals(c.decimals);
    edit_->SetValue(c.x);
    EXPECT_EQ(edit_->text(), c.text) << c.x;
    EXPECT_EQ(edit_->cursorPosition(), 0) << c.x;  // shown from its first character
    EXPECT_EQ(edit_->Value(), c.read_back) << c.x;
  }
  edit_->SetMinValue(-7);
  for (const char* unreadable : {"", " ", "-", "1,5", "1.5.2"}) {
    edit_->setText(unreadable);
    EXPECT_EQ(edit_->Value(), -7) << "'" << unreadable << "'";
  }
}

TEST_F(FloatSpinEditTest, OnChangeFiresOncePerChangeOfTheText) {
  QSignalSpy changes(edit_, &FloatSpinEdit::OnChange);
  edit_->SetValue(5);
  EXPECT_EQ(changes.count(), 1);
  edit_->SetValue(5.001);  // "5.00" again
  EXPECT_EQ(changes.count(), 1);
  // A new format waits for the next write.
  edit_->SetStrDecimals(0);
  edit_->SetStrWidth(4);
  EXPECT_EQ(edit_->text(), "5.00");
  edit_->StepUp();
  EXPECT_EQ(edit_->text(), "   6");
  EXPECT_EQ(changes.count(), 2);
  Enter();
  QTest::keyClick(edit_, '7');
  EXPECT_EQ(edit_->text(), "7");
  EXPECT_EQ(changes.count(), 3);
}

TEST_F(FloatSpinEditTest, StepsByIncrementFromTheTextAsRead) {
  const struct {
    int decimals;
    double increment, min, max;
    const char* text;
    bool up;
    const char* stepped;
  } cases[] = {
      {0, 1, 0, 0, "1.5", true, " 3"},  // 2.5 rounds half away from zero
      {10, 10, 0, 0, "4.0000000000", true, "14.0000000000"},
      {10, 10, -3, -3, "abc", true, "7.0000000000"},  // unreadable: from MinValue
      {2, 1, 0, 0, "0.20", false, "-0.80"},
      {2, 1, 0, 10, "9.50", true, "10.00"},
      {2, 1, 0, 10, "0.50", false, "0.00"},
  };
  for (const auto& c : cases) {
    edit_->SetStrDecimals(c.decimals);
    edit_->SetIncrement(c.increment);
    edit_->SetMinValue(c.min);
    edit_->SetMaxValue(c.max);
    edit_->setText(c.text);
    c.up ? edit_->StepUp() : edit_->StepDown();
    EXPECT_EQ(edit_->text(), c.stepped) << c.text;
  }
}

TEST_F(FloatSpinEditTest, ArrowKeysAndButtonsStepEvenWithTheEditorDisabled) {
  QSignalSpy steps(edit_, &FloatSpinEdit::OnClickChange);
  for (const bool editor : {true, false}) {
    edit_->SetEditorEnabled(editor);
    edit_->SetValue(1);
    Enter();
    QTest::keyClick(edit_, Qt::Key_Up);
    EXPECT_EQ(edit_->text(), "2.00");
    QTest::keyClick(edit_, Qt::Key_Down);
    QTest::keyClick(edit_, Qt::Key_Down);
    EXPECT_EQ(edit_->text(), "0.00");
    QTest::mouseClick(Arrow("StepUpButton"), Qt::LeftButton);
    EXPECT_EQ(edit_->text(), "1.00");
    QTest::mouseClick(Arrow("StepDownButton"), Qt::LeftButton);
    EXPECT_EQ(edit_->text(), "0.00");
    EXPECT_EQ(edit_->beeps, 0);
  }
  EXPECT_EQ(steps.count(), 10);
}

TEST_F(FloatSpinEditTest, ReadOnlyFieldBeepsInsteadOfStepping) {
  QSignalSpy steps(edit_, &FloatSpinEdit::OnClickChange);
  edit_->SetReadOnly(true);
  Enter();
  QTest::keyClick(edit_, Qt::Key_Up);
  QTest::mouseClick(Arrow("StepDownButton"), Qt::LeftButton);
  EXPECT_EQ(edit_->text(), "0");
  EXPECT_EQ(edit_->beeps, 2);
  EXPECT_EQ(steps.count(), 0);
}

TEST(FloatSpinEdit, AcceptsOnlyCharactersOfANumber) {
  const struct {
    char16_t c;
    bool editing, locked;  // accepted with EditorEnabled true, false
  } cases[] = {
      {u'0', true, false},  {u'9', true, false},  {u'+', true, false},  {u'-', true, false},
      {u'.', true, false},  {u'e', false, false}, {u'E', false, false}, {u',', false, false},
      {u' ', false, false}, {8, true, false},     {13, false, false},   {3, true, true},
      {22, true, true},     {27, true, true},     {127, false, false},  {u'\u00e9', false, false},
  };
  FloatSpinEdit edit;
  for (const auto& c : cases) {
    edit.SetEditorEnabled(true);
    EXPECT_EQ(edit.IsAcceptedChar(QChar(c.c)), c.editing) << int(c.c);
    edit.SetEditorEnabled(false);
    EXPECT_EQ(edit.IsAcceptedChar(QChar(c.c)), c.locked) << int(c.c);
  }
}

TEST_F(FloatSpinEditTest, TypingIsFilteredWithABeep) {
  const struct {
    bool editor;
    Qt::Key key;
    char ascii;  // 0: the key alone
    const char* text;
    int beeps;
  } cases[] = {
      {true, Qt::Key_5, '5', "1.255", 0},    {true, Qt::Key_E, 'e', "1.25", 1},
      {true, Qt::Key_Comma, ',', "1.25", 1}, {true, Qt::Key_Return, 0, "1.25", 1},
      {true, Qt::Key_Enter, 0, "1.25", 1},   {true, Qt::Key_Backspace, 0, "1.2", 0},
      {false, Qt::Key_5, '5', "1.25", 1},    {false, Qt::Key_Backspace, 0, "1.25", 1},
      {false, Qt::Key_Home, 0, "1.25", 0},   {false, Qt::Key_Delete, 0, ".25", 0},
  };
  for (const auto& c : cases) {
    edit_->SetEditorEnabled(c.editor);
    edit_->setText("1.25");
    edit_->beeps = 0;
    Enter();
    edit_->setCursorPosition(c.key == Qt::Key_Delete ? 0 : 4);
    if (c.ascii) {
      QTest::keyClick(edit_, c.ascii);
    } else {
      QTest::keyClick(edit_, c.key);
    }
    EXPECT_EQ(edit_->text(), c.text) << c.key;
    EXPECT_EQ(edit_->beeps, c.beeps) << c.key;
  }
}

TEST_F(FloatSpinEditTest, PasteAndCutOnlyWhileTheTextMayBeEdited) {
  const struct {
    bool editor, read_only, allowed;
  } cases[] = {{true, false, true}, {false, false, false}, {true, true, false}};
  for (const auto& c : cases) {
    edit_->SetEditorEnabled(c.editor);
    edit_->SetReadOnly(c.read_only);
    edit_->setText("2.50");
    Enter();
    QApplication::clipboard()->setText("1e3");
    QTest::keyClick(edit_, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit_->text(), c.allowed ? "1e3" : "2.50");
    EXPECT_EQ(edit_->Value(), c.allowed ? 1000 : 2.5);
    edit_->selectAll();
    QTest::keyClick(edit_, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(edit_->text(), c.allowed ? "" : "2.50");
    edit_->setText("2.50");
    edit_->selectAll();
    QTest::keyClick(edit_, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(edit_->text(), c.allowed ? "1e3" : "2.50");
    EXPECT_EQ(edit_->beeps, 0);

    edit_->selectAll();
    QContextMenuEvent menu_event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                 edit_->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit_, &menu_event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
      if (action->objectName() == "edit-paste" || action->objectName() == "edit-cut") {
        EXPECT_EQ(action->isEnabled(), c.allowed) << action->objectName().toStdString();
      }
    }
    menu->close();
  }
}

TEST_F(FloatSpinEditTest, LeavingBoundsTheTextOnlyWhenTheBoundsChangeItsValue) {
  const struct {
    double min, max;
    int decimals;
    const char* typed;
    const char* left;
  } cases[] = {
      {0, 0, 0, "1.5", "1.5"},    {0, 0, 2, "-1234.5678", "-1234.5678"},
      {0, 10, 2, "12", "10.00"},  {0, 10, 2, "5", "5"},
      {2, 10, 2, "-", "-"},  // reads as MinValue, which is in bounds
      {-5, 10, 2, "-9", "-5.00"},
  };
  for (const auto& c : cases) {
    edit_->SetMinValue(c.min);
    edit_->SetMaxValue(c.max);
    edit_->SetStrDecimals(c.decimals);
    TypeAndLeave(c.typed);
    EXPECT_EQ(edit_->text(), c.left) << c.typed;
  }
  edit_->SetMinValue(0);
  edit_->SetMaxValue(0);
  edit_->SetStrDecimals(0);
  TypeAndLeave("1.5");
  EXPECT_EQ(edit_->Value(), 1.5);
  edit_->StepUp();
  EXPECT_EQ(edit_->text(), " 3");
}

TEST_F(FloatSpinEditTest, EnteringSelectsAllUnlessByAClickIntoTheText) {
  edit_->setText("12.5");
  Enter();
  EXPECT_EQ(edit_->selectedText(), "12.5");
  Leave();
  edit_->SetAutoSelect(false);
  Enter();
  EXPECT_FALSE(edit_->hasSelectedText());
  Leave();
  edit_->SetAutoSelect(true);
  QTest::mouseClick(edit_, Qt::LeftButton, {}, QPoint(8, edit_->height() / 2));
  EXPECT_TRUE(edit_->hasFocus());
  EXPECT_FALSE(edit_->hasSelectedText());
  Leave();
  // A press on an arrow gives the focus to the field as a whole.
  QTest::mousePress(Arrow("StepUpButton"), Qt::LeftButton);
  EXPECT_TRUE(edit_->hasFocus());
  EXPECT_EQ(edit_->selectedText(), "12.5");
  QTest::mouseRelease(Arrow("StepUpButton"), Qt::LeftButton);
  EXPECT_EQ(edit_->text(), "13.50");
}

TEST_F(FloatSpinEditTest, OnClickIsALeftClickInTheTextArea) {
  QSignalSpy clicks(edit_, &FloatSpinEdit::OnClick);
  QTest::mouseClick(edit_, Qt::LeftButton, {}, QPoint(8, edit_->height() / 2));
  EXPECT_EQ(clicks.count(), 1);
  QTest::mouseClick(edit_, Qt::RightButton, {}, QPoint(8, edit_->height() / 2));
  if (auto* menu = QApplication::activePopupWidget()) menu->close();
  QTest::mouseClick(Arrow("StepUpButton"), Qt::LeftButton);
  QTest::mouseClick(Arrow("StepDownButton"), Qt::LeftButton);
  QTest::keyClick(edit_, Qt::Key_Up);
  EXPECT_EQ(clicks.count(), 1);
}

TEST_F(FloatSpinEditTest, KeepsItsMinimumHeightAndTheArrowsAtTheRightEdge) {
  QFont big = edit_->font();
  big.setPixelSize(30);
  edit_->setFont(big);
  const int min_height = edit_->MinimumHeight();
  EXPECT_GT(min_height, 30 + 7);
  edit_->resize(97, 22);
  EXPECT_EQ(edit_->height(), min_height);
  edit_->resize(120, min_height + 20);
  EXPECT_EQ(edit_->height(), min_height + 20);
  const QRect arrows = Arrow("StepUpButton")->parentWidget()->geometry();
  EXPECT_EQ(arrows.width(), FloatSpinEdit::kButtonWidth);
  EXPECT_GT(arrows.left(), 120 - FloatSpinEdit::kButtonWidth - 10);
  EXPECT_LT(arrows.right(), 120);
  EXPECT_GT(arrows.height(), min_height);
  EXPECT_EQ(Arrow("StepUpButton")->height() + Arrow("StepDownButton")->height(), arrows.height());
  EXPECT_GE(edit_->textMargins().right(), FloatSpinEdit::kButtonWidth);
}

TEST_F(FloatSpinEditTest, HoldingAnArrowRepeatsAfter400MsThenEvery100Ms) {
  QSignalSpy steps(edit_, &FloatSpinEdit::OnClickChange);
  QElapsedTimer clock;
  QTest::mousePress(Arrow("StepUpButton"), Qt::LeftButton);
  clock.start();
  QTest::qWait(300);
  EXPECT_EQ(steps.count(), 0);
  QTest::qWait(1000 - int(clock.elapsed()));
  // Nominally at 400, 500, ..., 1000 ms; a busy machine may fire a timer late, never early.
  EXPECT_GE(steps.count(), 4);
  EXPECT_LE(steps.count(), 7);
  const int held = steps.count();
  QTest::mouseRelease(Arrow("StepUpButton"), Qt::LeftButton);
  QTest::qWait(250);
  EXPECT_EQ(steps.count(), held + 1);  // the release is a click of its own
  EXPECT_EQ(edit_->Value(), held + 1);
}

}  // namespace
}  // namespace ictalscope
