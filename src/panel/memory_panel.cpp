#include "panel/memory_panel.h"

namespace ictalscope {

MemoryPanel::MemoryPanel() : name_box_(kDefaultRecordingName), header_label_(kDefaultHeaderLabel) {
  for (int i = 0; i < kFieldCount; ++i) {
    texts_[i] = InfoOf(static_cast<Field>(i)).default_text;
  }
}

std::string MemoryPanel::Text(Field field) const { return texts_[static_cast<int>(field)]; }

void MemoryPanel::SetText(Field field, const std::string& text) {
  std::string& current = texts_[static_cast<int>(field)];
  if (current == text) return;
  current = text;
  if (on_change) on_change(field);
}

bool MemoryPanel::IsChecked(Check check) const { return checks_[static_cast<int>(check)]; }

void MemoryPanel::SetChecked(Check check, bool ticked) {
  checks_[static_cast<int>(check)] = ticked;
}

}  // namespace ictalscope
