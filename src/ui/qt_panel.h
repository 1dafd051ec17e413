#pragma once

#include <QString>
#include <array>
#include <functional>
#include <string>

#include "panel/panel.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace ictalscope {

class FloatSpinEdit;

// The widgets that make up the parameter panel, owned by the window.
struct PanelWidgets {
  std::array<FloatSpinEdit*, kFieldCount> fields{};  // indexed by Field
  std::array<QCheckBox*, kCheckCount> checks{};      // indexed by Check
  QLineEdit* name_box = nullptr;
  QLabel* header_label = nullptr;
};

// The handlers' panel over the window's widgets. A field's text is its only storage: setting a
// different text fires the field's change signal, as typing would.
class QtPanel : public Panel {
 public:
  explicit QtPanel(const PanelWidgets& widgets);

  std::string Text(Field field) const override;
  void SetText(Field field, const std::string& text) override;
  bool IsChecked(Check check) const override;
  std::string NameBoxText() const override;
  std::string HeaderLabel() const override { return header_text_; }
  void SetHeaderLabel(const std::string& text) override;
  // Runs `before_events` (the window redraws its chart there), then the pending events.
  void ProcessEvents() override;

  std::function<void()> before_events;

 private:
  PanelWidgets widgets_;
  // The label shows the header as lines; the text is kept as set, byte for byte.
  std::string header_text_;
};

// How the header label shows `text`: CR LF pairs break lines, and the text ends at its first
// NUL (a header shorter than its block is padded with them).
QString HeaderDisplayText(const std::string& text);

}  // namespace ictalscope
