#include "ui/recording_name_box.h"

#include <QMouseEvent>

namespace ictalscope {

RecordingNameBox::RecordingNameBox(QWidget* parent) : QLineEdit(parent) {}

void RecordingNameBox::mousePressEvent(QMouseEvent* event) {
  QLineEdit::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) emit Clicked();
}

}  // namespace ictalscope
