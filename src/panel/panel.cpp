#include "panel/panel.h"

#include "panel/format_fixed.h"
#include "panel/number_text.h"

namespace ictalscope {

double FieldValue(const Panel& panel, Field field) {
  return ReadFieldValue(panel.Text(field), SpecOf(field).min_value);
}

void WriteFieldValue(Panel& panel, Field field, double x) {
  const FieldSpec& spec = SpecOf(field);
  if (spec.min_value != spec.max_value) {
    if (x < spec.min_value) x = spec.min_value;
    if (x > spec.max_value) x = spec.max_value;
  }
  const std::string text = FormatFixed(x, spec.width, spec.decimals);
  if (text != panel.Text(field)) panel.SetText(field, text);
}

}  // namespace ictalscope
