#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "ui/chart_pictures.h"
#include "ui/window_layout.h"

class QLabel;
class QPushButton;
class QStatusBar;

namespace ictalscope {

class ChartWidget;
class DirectoryList;
class QtChart;
struct AnalysisState;
struct PanelWidgets;
struct Workspace;

// The program's only window: the chart, the directory list, the recording-name box, the
// parameter panel and the command buttons. Every button or field event runs one handler of the
// core on the shared workspace, to completion; a failure is presented as a message and the
// window goes on. While a handler runs (it may let the event loop run), the user's commands,
// loads and directory changes are ignored, so that none starts on a half-loaded trace.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  using MessagePresenter = std::function<void(QWidget* parent, const QString& message)>;

  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Replaces the message box that shows a failing handler's message.
  void SetMessagePresenter(MessagePresenter presenter) { present_ = std::move(presenter); }

  Workspace& workspace();
  const AnalysisState& analysis() const;
  QtChart& chart();
  bool busy() const { return busy_; }

 private:
  struct Session;

  PanelWidgets CreateControls();
  QWidget* CreateControl(const WindowControl& control, PanelWidgets& widgets);
  QLabel* CreateLabel(const QString& text, QPoint position);
  QWidget* CreateField(const WindowControl& control, PanelWidgets& widgets);
  QPushButton* CreateButton(const WindowControl& control);
  void ConnectPanel(const PanelWidgets& widgets);
  void ConnectButton(QPushButton* button, Command command);
  void OpenDirectory(const QString& path);
  void RunStatCommand();
  // The chart's menu: "Save as WMF", "Save as SVG", "Save as PNG".
  void CreateChartMenu();
  // The chart as it stands, into ResultBaseName + ".wmf" / ".svg" / ".png" in the working
  // directory (the "wmf" button and the chart's menu).
  void ExportPicture(PictureFormat format);
  // Runs `handler` unless another one is running, redraws the chart, shows the handler's status
  // line (an empty one leaves the last) and presents a failure.
  void RunHandler(const std::function<std::string()>& handler);
  void ShowRecordingInTitle();

  ChartWidget* chart_widget_ = nullptr;
  DirectoryList* directories_ = nullptr;
  QStatusBar* status_line_ = nullptr;      // what the last handler did
  std::array<QPushButton*, 6> buttons_{};  // indexed by Command
  std::unique_ptr<Session> session_;
  MessagePresenter present_;
  bool busy_ = false;
};

}  // namespace ictalscope
