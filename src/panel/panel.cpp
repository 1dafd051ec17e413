#include "panel/panel.h"

#include "base/format_fixed.h"
#include "base/number_text.h"

namespace ictalscope {

double FieldValue(const Panel& panel, Field field) {
  return ReadFieldValue(panel.Text(field), InfoOf(field).min_value);
}

std::optional<std::string> UnreadableFieldWarning(Field field, std::string_view text) {
  if (!text.empty() && text != " " && ParseDecimal(text, true)) return std::nullopt;
  const FieldInfo& info = InfoOf(field);
  return std::string(info.name) + ": '" + std::string(text) + "' is not a number; it reads as " +
         FormatFixed(info.min_value, 0, 0);
}

void WriteFieldValue(Panel& panel, Field field, double x) {
  const FieldInfo& info = InfoOf(field);
  if (info.min_value != info.max_value) {
    if (x < info.min_value) x = info.min_value;
    if (x > info.max_value) x = info.max_value;
  }
  const std::string text = FormatFixed(x, info.width, info.decimals);
  if (text != panel.Text(field)) panel.SetText(field, text);
}

}  // namespace ictalscope
