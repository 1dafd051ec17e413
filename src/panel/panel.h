#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "panel/field.h"

namespace ictalscope {

// What the handlers see of the window's parameter panel. A field has no storage besides its
// text: the window implements this over its widgets, the batch tool and the tests over memory.
class Panel {
 public:
  virtual ~Panel() = default;

  virtual std::string Text(Field field) const = 0;
  // Replaces the text; when it differs from the current one the field's change event fires.
  virtual void SetText(Field field, const std::string& text) = 0;
  virtual bool IsChecked(Check check) const = 0;
  virtual std::string NameBoxText() const = 0;
  virtual std::string HeaderLabel() const = 0;
  virtual void SetHeaderLabel(const std::string& text) = 0;
  // Lets the window repaint and run other handlers, then returns.
  virtual void ProcessEvents() = 0;
};

// A field's value: its text read by ReadFieldValue with the field's MinValue.
double FieldValue(const Panel& panel, Field field);

// "FIELD: 'TEXT' is not a number; it reads as 0" for a text that is empty, one blank or no
// number (the field then reads as its MinValue); nothing for a text that reads as a number.
std::optional<std::string> UnreadableFieldWarning(Field field, std::string_view text);

// Writes x into a field: bounded when MinValue differs from MaxValue, formatted by FormatFixed
// with the field's StrWidth and StrDecimals, and the text replaced only when it changes.
void WriteFieldValue(Panel& panel, Field field, double x);

}  // namespace ictalscope
