#pragma once

#include <QLineEdit>

namespace ictalscope {

// The one-line box that names the recording. A left click into it, the one that puts the caret
// there included, is the request to load; typing alone loads nothing.
class RecordingNameBox : public QLineEdit {
  Q_OBJECT

 public:
  explicit RecordingNameBox(QWidget* parent = nullptr);

 signals:
  // After the box has taken the click (focus and caret).
  void Clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace ictalscope
