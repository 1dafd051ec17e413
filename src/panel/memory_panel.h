#pragma once

#include <array>
#include <functional>
#include <string>

#include "panel/panel.h"

namespace ictalscope {

// The panel held in memory, with the window's defaults; used by the batch tool and the tests.
class MemoryPanel : public Panel {
 public:
  MemoryPanel();

  std::string Text(Field field) const override;
  void SetText(Field field, const std::string& text) override;
  bool IsChecked(Check check) const override;
  std::string NameBoxText() const override { return name_box_; }
  std::string HeaderLabel() const override { return header_label_; }
  void SetHeaderLabel(const std::string& text) override { header_label_ = text; }
  void ProcessEvents() override {
    if (on_process_events) on_process_events();
  }

  void SetChecked(Check check, bool ticked);
  void SetNameBoxText(const std::string& text) { name_box_ = text; }

  // Called after a field's text has changed (the field's change event).
  std::function<void(Field)> on_change;
  std::function<void()> on_process_events;

 private:
  std::array<std::string, kFieldCount> texts_;
  std::array<bool, kCheckCount> checks_{};
  std::string name_box_;
  std::string header_label_;
};

}  // namespace ictalscope
