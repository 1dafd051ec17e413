#include "ui/qt_panel.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

#include "ui/float_spin_edit.h"

namespace ictalscope {

QtPanel::QtPanel(const PanelWidgets& widgets)
    : widgets_(widgets), header_text_(widgets.header_label->text().toStdString()) {}

std::string QtPanel::Text(Field field) const {
  return widgets_.fields[static_cast<int>(field)]->text().toStdString();
}

// Like a write of the field's value, the number is shown from its first digit.
void QtPanel::SetText(Field field, const std::string& text) {
  FloatSpinEdit* edit = widgets_.fields[static_cast<int>(field)];
  const QString new_text = QString::fromStdString(text);
  if (new_text == edit->text()) return;
  edit->setText(new_text);
  edit->setCursorPosition(0);
}

bool QtPanel::IsChecked(Check check) const {
  return widgets_.checks[static_cast<int>(check)]->isChecked();
}

std::string QtPanel::NameBoxText() const { return widgets_.name_box->text().toStdString(); }

void QtPanel::SetHeaderLabel(const std::string& text) {
  header_text_ = text;
  widgets_.header_label->setText(HeaderDisplayText(text));
  widgets_.header_label->adjustSize();
}

void QtPanel::ProcessEvents() {
  if (before_events) before_events();
  QCoreApplication::processEvents();
}

QString HeaderDisplayText(const std::string& text) {
  const std::string shown = text.substr(0, text.find('\0'));
  return QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size()))
      .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace ictalscope
