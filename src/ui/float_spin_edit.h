#pragma once

#include <QLineEdit>

namespace ictalscope {

// The input field of every numeric parameter: a one-line text box holding a decimal number as
// text, with an up/down button pair inside its right edge. `Value` has no storage of its own; it
// is read from the text and written into it by the panel's rules for numbers as text. The arrow
// buttons and the Up and Down keys add or subtract `Increment`; typed characters are filtered
// to those that can form a number.
class FloatSpinEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(int StrWidth READ StrWidth WRITE SetStrWidth)
  Q_PROPERTY(int StrDecimals READ StrDecimals WRITE SetStrDecimals)
  Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE SetAutoSelect)
  Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)
  Q_PROPERTY(double Increment READ Increment WRITE SetIncrement)
  Q_PROPERTY(double MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(double MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
  Q_PROPERTY(double Value READ Value WRITE SetValue)

 public:
  static constexpr int kButtonWidth = 15;
  static constexpr int kButtonHeight = 17;
  static constexpr int kRepeatDelayMs = 400;
  static constexpr int kRepeatIntervalMs = 100;

  explicit FloatSpinEdit(QWidget* parent = nullptr);

  // The text read as a number; an empty or unreadable text reads as `MinValue`, unbounded.
  double Value() const;
  // Bounds x (when `MinValue` != `MaxValue`), formats it with `StrWidth` and `StrDecimals` and
  // replaces the text only when that changes it.
  void SetValue(double x);

  // Changing the format leaves the text alone until the next write of `Value`.
  int StrWidth() const { return str_width_; }
  void SetStrWidth(int width) { str_width_ = width; }
  int StrDecimals() const { return str_decimals_; }
  void SetStrDecimals(int decimals) { str_decimals_ = decimals; }
  double Increment() const { return increment_; }
  void SetIncrement(double increment) { increment_ = increment; }
  double MinValue() const { return min_value_; }
  void SetMinValue(double min_value) { min_value_ = min_value; }
  double MaxValue() const { return max_value_; }
  void SetMaxValue(double max_value) { max_value_ = max_value; }
  bool EditorEnabled() const { return editor_enabled_; }
  void SetEditorEnabled(bool enabled) { editor_enabled_ = enabled; }
  bool AutoSelect() const { return auto_select_; }
  void SetAutoSelect(bool auto_select) { auto_select_ = auto_select; }
  bool ReadOnly() const { return isReadOnly(); }
  void SetReadOnly(bool read_only) { setReadOnly(read_only); }

  // The typing filter: digits, "+", "-", "." and control characters other than carriage return;
  // with `EditorEnabled` false only control characters other than backspace.
  virtual bool IsAcceptedChar(QChar c) const;
  // A step on a read-only field beeps and changes nothing.
  virtual void StepUp();
  virtual void StepDown();

  // Text height of the field's font, plus a quarter of the smaller of it and the application
  // font's, plus four frame widths and two pixels.
  int MinimumHeight() const;
  QSize minimumSizeHint() const override;

 signals:
  // The text changed: by typing, pasting, cutting, or a write of `Value` that altered it.
  void OnChange();
  // A left click in the text area (not on the arrow buttons).
  void OnClick();
  // After each step by an arrow button or arrow key.
  void OnClickChange();

 protected:
  virtual void Beep();

  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool CanEdit() const { return editor_enabled_ && !isReadOnly(); }
  double Bounded(double x) const;
  void Step(double delta);
  void OnButtonPressed();
  void PlaceButtons();
  int FrameWidth() const;

  int str_width_ = 2;
  int str_decimals_ = 2;
  double increment_ = 1;
  double min_value_ = 0;
  double max_value_ = 0;
  bool editor_enabled_ = true;
  bool auto_select_ = true;
  // Focus came with a mouse press whose target is not known yet: a press on the text area keeps
  // the caret where the user clicked, a press on the arrow buttons selects the text.
  bool mouse_focus_pending_ = false;
  bool left_pressed_ = false;
  QWidget* buttons_ = nullptr;  // the up/down pair
};

}  // namespace ictalscope
