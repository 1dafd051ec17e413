#include "ui/float_spin_edit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <optional>

#include "base/format_fixed.h"
#include "base/number_text.h"

namespace ictalscope {
namespace {

constexpr char16_t kBackspace = 8;
constexpr char16_t kCarriageReturn = 13;
constexpr char16_t kDelete = 127;

// The up/down pair, up above down, each half of the pair's height.
class ArrowPair : public QWidget {
 public:
  explicit ArrowPair(QWidget* parent)
      : QWidget(parent),
        up_(MakeButton(Qt::UpArrow, "StepUpButton")),
        down_(MakeButton(Qt::DownArrow, "StepDownButton")) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    resize(FloatSpinEdit::kButtonWidth, FloatSpinEdit::kButtonHeight);
  }

  QToolButton* Up() const { return up_; }
  QToolButton* Down() const { return down_; }

 protected:
  void resizeEvent(QResizeEvent*) override {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
  }
  // Presses the arrows ignore (right and middle button) stop here rather than reach the text
  // box, where a middle click would paste.
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
  void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }

 private:
  QToolButton* MakeButton(Qt::ArrowType arrow, const char* name) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(FloatSpinEdit::kRepeatDelayMs);
    button->setAutoRepeatInterval(FloatSpinEdit::kRepeatIntervalMs);
    return button;
  }

  QToolButton* up_;
  QToolButton* down_;
};

// The character a key press types, as the typing filter sees it. Return, Backspace and Ctrl with
// a letter type their control codes whatever text the platform attaches; Delete, like the
// cursor keys, types nothing.
std::optional<QChar> TypedChar(const QKeyEvent& event) {
  const int key = event.key();
  const bool ctrl = (event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) &&
                    !(event.modifiers() & Qt::AltModifier);
  if (key == Qt::Key_Delete) return std::nullopt;
  if (key == Qt::Key_Return || key == Qt::Key_Enter) return QChar(kCarriageReturn);
  if (key == Qt::Key_Backspace) return QChar(ctrl ? kDelete : kBackspace);
  if (ctrl) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return QChar(char16_t(key - Qt::Key_A + 1));
    return std::nullopt;
  }
  if (event.text().isEmpty()) return std::nullopt;
  return event.text().front();
}

}  // namespace

FloatSpinEdit::FloatSpinEdit(QWidget* parent) : QLineEdit(QStringLiteral("0"), parent) {
  auto* pair = new ArrowPair(this);
  buttons_ = pair;
  // Text enters only by typing, which is filtered, or by pasting, which `EditorEnabled` locks.
  setAcceptDrops(false);
  setTextMargins(0, 0, kButtonWidth + 2, 0);
  connect(this, &QLineEdit::textChanged, this, &FloatSpinEdit::OnChange);
  for (QToolButton* button : {pair->Up(), pair->Down()}) {
    connect(button, &QToolButton::pressed, this, &FloatSpinEdit::OnButtonPressed);
  }
  connect(pair->Up(), &QToolButton::clicked, this, [this] { StepUp(); });
  connect(pair->Down(), &QToolButton::clicked, this, [this] { StepDown(); });
}

double FloatSpinEdit::Value() const { return ReadFieldValue(text().toStdString(), min_value_); }

void FloatSpinEdit::SetValue(double x) {
  const QString formatted =
      QString::fromStdString(FormatFixed(Bounded(x), str_width_, str_decimals_));
  if (formatted == text()) return;
  setText(formatted);
  // Like a text box whose text was set, show the number from its first digit; a long number in
  // a narrow field would otherwise show only its last decimals.
  setCursorPosition(0);
}

double FloatSpinEdit::Bounded(double x) const {
  if (min_value_ == max_value_) return x;
  if (x < min_value_) return min_value_;
  if (x > max_value_) return max_value_;
  return x;
}

bool FloatSpinEdit::IsAcceptedChar(QChar c) const {
  const char16_t code = c.unicode();
  const bool number_char =
      (code >= u'0' && code <= u'9') || code == u'+' || code == u'-' || code == u'.';
  const bool control_char = code < 32 && code != kCarriageReturn;
  if (!editor_enabled_) return control_char && code != kBackspace;
  return number_char || control_char;
}

void FloatSpinEdit::StepUp() { Step(increment_); }

void FloatSpinEdit::StepDown() { Step(-increment_); }

// An unreadable text steps from `MinValue`; the sum is rounded once, from extended precision.
void FloatSpinEdit::Step(double delta) {
  if (isReadOnly()) {
    Beep();
    return;
  }
  SetValue(static_cast<double>(static_cast<long double>(Value()) + delta));
  emit OnClickChange();
}

void FloatSpinEdit::Beep() { QApplication::beep(); }

int FloatSpinEdit::FrameWidth() const {
  return style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
}

int FloatSpinEdit::MinimumHeight() const {
  const int h = QFontMetrics(font()).height();
  const int hs = QFontMetrics(QApplication::font()).height();
  return h + std::min(h, hs) / 4 + 4 * FrameWidth() + 2;
}

QSize FloatSpinEdit::minimumSizeHint() const {
  return {QLineEdit::minimumSizeHint().width(), MinimumHeight()};
}

// Up and Down step and still reach the text box; a rejected character goes no further.
void FloatSpinEdit::keyPressEvent(QKeyEvent* event) {
  if (const auto c = TypedChar(*event); c && !IsAcceptedChar(*c)) {
    Beep();
    event->accept();
    return;
  }
  if ((event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) && !CanEdit()) {
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_Up) StepUp();
  if (event->key() == Qt::Key_Down) StepDown();
  QLineEdit::keyPressEvent(event);
}

// Text composed by an input method is typed text too: a rejected character drops the commit.
void FloatSpinEdit::inputMethodEvent(QInputMethodEvent* event) {
  const QString commit = event->commitString();
  if (std::all_of(commit.begin(), commit.end(), [this](QChar c) { return IsAcceptedChar(c); })) {
    QLineEdit::inputMethodEvent(event);
    return;
  }
  Beep();
  QInputMethodEvent preedit_only(event->preeditString(), event->attributes());
  QLineEdit::inputMethodEvent(&preedit_only);
}

void FloatSpinEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu();
  if (!CanEdit()) {
    for (QAction* action : menu->actions()) {
      const QString name = action->objectName();
      if (name == QLatin1String("edit-paste") || name == QLatin1String("edit-cut")) {
        action->setEnabled(false);
      }
    }
  }
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

void FloatSpinEdit::mousePressEvent(QMouseEvent* event) {
  const bool left = event->button() == Qt::LeftButton;
  const bool select = mouse_focus_pending_ && !left && auto_select_;
  mouse_focus_pending_ = false;
  left_pressed_ = left;
  QLineEdit::mousePressEvent(event);
  if (select) selectAll();
}

// A middle click pastes the selection on some platforms, so `EditorEnabled` locks it as well.
void FloatSpinEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton && !CanEdit()) {
    event->accept();
    return;
  }
  const bool left = event->button() == Qt::LeftButton;
  const bool click = left && left_pressed_ && rect().contains(event->position().toPoint());
  if (left) left_pressed_ = false;
  QLineEdit::mouseReleaseEvent(event);
  if (click) emit OnClick();
}

// Qt gives the focus before it delivers the press, so a mouse focus only marks the press as
// pending: the text area or the arrow buttons settle it.
void FloatSpinEdit::OnButtonPressed() {
  if (mouse_focus_pending_) {
    mouse_focus_pending_ = false;
    if (auto_select_) selectAll();
  } else if (!hasFocus() && isEnabled() && (focusPolicy() & Qt::ClickFocus)) {
    setFocus(Qt::OtherFocusReason);
  }
}

// Returning from a popup or from another window is no entry into the field.
void FloatSpinEdit::focusInEvent(QFocusEvent* event) {
  const Qt::FocusReason reason = event->reason();
  const bool reentry = reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason;
  if (reason == Qt::MouseFocusReason) {
    mouse_focus_pending_ = true;
  } else if (auto_select_ && !reentry) {
    selectAll();
  }
  const bool keyboard = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                        reason == Qt::ShortcutFocusReason;
  if (auto_select_ || !keyboard) {
    QLineEdit::focusInEvent(event);
    return;
  }
  // The text box selects by itself on keyboard focus; without `AutoSelect` it must not.
  QFocusEvent neutral(event->type(), Qt::OtherFocusReason);
  QLineEdit::focusInEvent(&neutral);
}

// Leaving bounds and reformats the text only when the bounds change its value; unbounded
// fields keep the text as typed.
void FloatSpinEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  mouse_focus_pending_ = false;
  const Qt::FocusReason reason = event->reason();
  if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason) return;
  const double value = Value();
  if (Bounded(value) != value) SetValue(value);
}

void FloatSpinEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  const int min_height = MinimumHeight();
  if (height() < min_height) {
    resize(width(), min_height);
    return;
  }
  PlaceButtons();
}

// The arrows stand inside the frame, one pixel clear of its right and bottom edges; the text
// stops two pixels short of them.
void FloatSpinEdit::PlaceButtons() {
  const int b = hasFrame() ? FrameWidth() : 0;
  const int wb = buttons_->width();
  buttons_->setGeometry(width() - wb - b - 1, b, wb, height() - 2 * b - 1);
  setTextMargins(0, 0, wb + 2, 0);
}

}  // namespace ictalscope
