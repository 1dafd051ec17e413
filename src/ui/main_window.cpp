#include "ui/main_window.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <cerrno>
#include <optional>
#include <utility>

#include "analysis/analyses.h"
#include "analysis/status_line.h"
#include "base/error.h"
#include "base/file_layer.h"
#include "recording/conditioning.h"
#include "recording/loader.h"
#include "ui/chart_widget.h"
#include "ui/directory_list.h"
#include "ui/float_spin_edit.h"
#include "ui/qt_chart.h"
#include "ui/qt_panel.h"
#include "ui/recording_name_box.h"
#include "ui/window_font.h"

namespace ictalscope {

// What the handlers share for the life of the window.
struct MainWindow::Session {
  Session(const PanelWidgets& widgets, ChartWidget& chart_widget)
      : panel(widgets), chart(chart_widget) {}

  QtPanel panel;
  QtChart chart;
  Workspace ws{panel, chart};
  AnalysisState analysis;
};

namespace {

using Kind = WindowControl::Kind;

constexpr const char* kInitialTitle = "ictalscope";

void ShowMessageBox(QWidget* parent, const QString& message) {
  QMessageBox::critical(parent, QStringLiteral("ictalscope"), message);
}

FloatSpinEdit* NewField(Field field, QWidget* parent) {
  const FieldInfo& info = InfoOf(field);
  auto* edit = new FloatSpinEdit(parent);
  edit->setObjectName(QString::fromUtf8(info.name));
  edit->SetStrWidth(info.width);
  edit->SetStrDecimals(info.decimals);
  edit->SetIncrement(info.increment);
  edit->SetMinValue(info.min_value);
  edit->SetMaxValue(info.max_value);
  edit->setText(QString::fromUtf8(info.default_text));
  edit->setCursorPosition(0);
  return edit;
}

// A text that reads as no number shows in red, with what it reads as in its tooltip, until it
// reads as a number again.
void MarkUnreadableText(FloatSpinEdit& edit, Field field) {
  const std::optional<std::string> warning =
      UnreadableFieldWarning(field, edit.text().toStdString());
  QPalette palette = edit.palette();
  palette.setColor(QPalette::Text,
                   warning ? QColor(Qt::red) : QApplication::palette().color(QPalette::Text));
  edit.setPalette(palette);
  edit.setToolTip(warning ? QString::fromStdString(*warning) : QString());
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), present_(ShowMessageBox) {
  setWindowTitle(QString::fromUtf8(kInitialTitle));
  setFont(WindowFont());
  move(kWindowPosition);
  resize(kWindowSize);
  const PanelWidgets widgets = CreateControls();
  session_ = std::make_unique<Session>(widgets, *chart_widget_);
  session_->panel.before_events = [this] { session_->chart.Replot(); };
  ConnectPanel(widgets);
  CreateChartMenu();
}

MainWindow::~MainWindow() = default;

Workspace& MainWindow::workspace() { return session_->ws; }
const AnalysisState& MainWindow::analysis() const { return session_->analysis; }
QtChart& MainWindow::chart() { return session_->chart; }

PanelWidgets MainWindow::CreateControls() {
  PanelWidgets widgets;
  QWidget* previous = nullptr;
  for (const WindowControl& control : WindowControls()) {
    QWidget* widget = CreateControl(control, widgets);
    widget->setGeometry(control.geometry);
    if (previous != nullptr) setTabOrder(previous, widget);
    previous = widget;
  }
  widgets.header_label = CreateLabel(QString::fromUtf8(kDefaultHeaderLabel), kHeaderLabelPosition);
  widgets.header_label->setObjectName(QStringLiteral("HeaderLabel"));
  // The line that says what was read is longer than the room right of the chart: it wraps.
  widgets.header_label->setWordWrap(true);
  widgets.header_label->setFixedWidth(kWindowSize.width() - kHeaderLabelPosition.x());
  CreateLabel(QStringLiteral("Criteria:"), kCriteriaLabelPosition);
  status_line_ = new QStatusBar(this);
  status_line_->setObjectName(QStringLiteral("StatusLine"));
  status_line_->setSizeGripEnabled(false);
  status_line_->setGeometry(kStatusLineGeometry);
  return widgets;
}

QWidget* MainWindow::CreateControl(const WindowControl& control, PanelWidgets& widgets) {
  switch (control.kind) {
    case Kind::kChart:
      chart_widget_ = new ChartWidget(this);
      chart_widget_->setObjectName(QStringLiteral("Chart"));
      return chart_widget_;
    case Kind::kDirectoryList:
      directories_ = new DirectoryList(this);
      directories_->setObjectName(QStringLiteral("DirectoryList"));
      return directories_;
    case Kind::kNameBox:
      widgets.name_box = new RecordingNameBox(this);
      widgets.name_box->setObjectName(QStringLiteral("RecordingName"));
      widgets.name_box->setText(QString::fromUtf8(kDefaultRecordingName));
      return widgets.name_box;
    case Kind::kField:
      return CreateField(control, widgets);
    case Kind::kCheck: {
      auto* box = new QCheckBox(QString::fromUtf8(InfoOf(control.check).caption), this);
      box->setObjectName(QString::fromUtf8(InfoOf(control.check).name));
      widgets.checks[static_cast<int>(control.check)] = box;
      return box;
    }
    case Kind::kButton:
      return CreateButton(control);
  }
  return nullptr;
}

QLabel* MainWindow::CreateLabel(const QString& text, QPoint position) {
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  label->move(position);
  label->adjustSize();
  return label;
}

// The label comes first, so that a label wider than its room goes under the field.
QWidget* MainWindow::CreateField(const WindowControl& control, PanelWidgets& widgets) {
  CreateLabel(QString::fromUtf8(InfoOf(control.field).label), control.label_position);
  FloatSpinEdit* edit = NewField(control.field, this);
  widgets.fields[static_cast<int>(control.field)] = edit;
  return edit;
}

QPushButton* MainWindow::CreateButton(const WindowControl& control) {
  auto* button = new QPushButton(QString::fromUtf8(CommandCaption(control.command)), this);
  button->setObjectName(QString::fromUtf8(CommandCaption(control.command)));
  buttons_[static_cast<int>(control.command)] = button;
  ConnectButton(button, control.command);
  return button;
}

void MainWindow::ConnectPanel(const PanelWidgets& widgets) {
  Workspace& ws = session_->ws;
  AnalysisState& analysis = session_->analysis;
  connect(directories_, &DirectoryList::DirectoryOpened, this, &MainWindow::OpenDirectory);
  connect(static_cast<RecordingNameBox*>(widgets.name_box), &RecordingNameBox::Clicked, this,
          [this, &ws, &analysis] {
            RunHandler([&ws, &analysis] {
              RunLoad(ws, analysis);
              return RecordStatus("load", ws);
            });
          });
  connect(widgets.fields[static_cast<int>(Field::Analyse)], &FloatSpinEdit::OnClick, this,
          [this, &ws, &analysis] {
            RunHandler([&ws, &analysis] {
              RunReload(ws, analysis);
              return RecordStatus("reload", ws);
            });
          });
  connect(widgets.fields[static_cast<int>(Field::tau)], &FloatSpinEdit::OnChange, this,
          [this, &ws] {
            RunHandler([&ws] {
              OnTauChanged(ws);
              return TauStatus(ws);
            });
          });
  QCheckBox* stimulation = widgets.checks[static_cast<int>(Check::Stimulation)];
  connect(stimulation, &QCheckBox::clicked, this, [this, &ws, stimulation] {
    RunHandler([&ws, stimulation] {
      OnStimulationClicked(ws);
      return stimulation->isChecked() ? StimulationStatus(ws) : std::string();
    });
  });
  for (int i = 0; i < kFieldCount; ++i) {
    FloatSpinEdit* edit = widgets.fields[i];
    connect(edit, &FloatSpinEdit::OnChange, this,
            [edit, field = static_cast<Field>(i)] { MarkUnreadableText(*edit, field); });
  }
}

void MainWindow::ConnectButton(QPushButton* button, Command command) {
  const auto run = [this](std::string (*handler)(Session&)) {
    return [this, handler] { RunHandler([this, handler] { return handler(*session_); }); };
  };
  switch (command) {
    case Command::Spikes:
      connect(button, &QPushButton::clicked, this, run([](Session& s) {
                RunSpikes(s.ws, s.analysis.spikes);
                return SpikesStatus(s.analysis.spikes);
              }));
      break;
    case Command::IID:
      connect(button, &QPushButton::clicked, this,
              run([](Session& s) { return IidStatus(RunIID(s.ws, s.analysis)); }));
      break;
    case Command::Stat:
      connect(button, &QPushButton::clicked, this, &MainWindow::RunStatCommand);
      break;
    case Command::Rin:
      connect(button, &QPushButton::clicked, this,
              run([](Session& s) { return RinStatus(RunRin(s.ws, s.analysis.spikes)); }));
      break;
    case Command::TwoTraces:
      connect(button, &QPushButton::clicked, this, run([](Session& s) {
                RunTwoTraces(s.ws, s.analysis);
                return RecordStatus("two-traces", s.ws);
              }));
      break;
    case Command::Wmf:
      connect(button, &QPushButton::clicked, this, [this] { ExportPicture(PictureFormat::kWmf); });
      break;
  }
}

// Every file name of the program is relative to the working directory.
void MainWindow::OpenDirectory(const QString& path) {
  RunHandler([&path] {
    const QByteArray folder = path.toLocal8Bit();
    if (::chdir(folder.constData()) != 0) {
      throw Error(FileErrorMessage(errno, folder.toStdString()));
    }
    return "folder: " + folder.toStdString();
  });
}

// "stat" cannot be pressed again while it runs.
void MainWindow::RunStatCommand() {
  if (busy_) return;
  QPushButton* stat = buttons_[static_cast<int>(Command::Stat)];
  stat->setEnabled(false);
  RunHandler([this] {
    return StatStatus(RunStat(session_->ws, session_->analysis),
                      session_->panel.IsChecked(Check::Read));
  });
  stat->setEnabled(true);
}

void MainWindow::CreateChartMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("ChartMenu"));
  const std::pair<const char*, PictureFormat> items[] = {{"Save as WMF", PictureFormat::kWmf},
                                                         {"Save as SVG", PictureFormat::kSvg},
                                                         {"Save as PNG", PictureFormat::kPng}};
  for (const auto& [caption, format] : items) {
    connect(menu->addAction(QString::fromLatin1(caption)), &QAction::triggered, this,
            [this, format = format] { ExportPicture(format); });
  }
  chart_widget_->SetMenu(menu);
}

void MainWindow::ExportPicture(PictureFormat format) {
  RunHandler([this, format] {
    session_->chart.Replot();
    const std::string extension = PictureExtension(format);
    const std::string path = session_->analysis.ResultBaseName + "." + extension;
    SaveChartPicture(*chart_widget_, format, path);
    return extension + ": the chart into " + path;
  });
}

void MainWindow::RunHandler(const std::function<std::string()>& handler) {
  if (busy_) return;
  std::optional<QString> failure;
  std::string status;
  {
    struct BusyScope {
      explicit BusyScope(bool& flag) : busy(flag) { busy = true; }
      ~BusyScope() { busy = false; }
      bool& busy;
    } scope(busy_);
    try {
      status = handler();
    } catch (const Error& error) {
      failure = QString::fromStdString(error.message());
    } catch (const std::exception& error) {
      failure = QString::fromStdString(error.what());
    }
  }
  session_->chart.Replot();
  ShowRecordingInTitle();
  if (failure) {
    status_line_->showMessage(QStringLiteral("error: ") + *failure);
  } else if (!status.empty()) {
    status_line_->showMessage(QString::fromStdString(status));
  }
  if (failure) present_(this, *failure);
}

// "ictalscope - 1.wcp, record 2 of 6" once a load has found its recording.
void MainWindow::ShowRecordingInTitle() {
  const std::optional<RecordingInfo>& recording = session_->ws.recording;
  setWindowTitle(recording ? QStringLiteral("ictalscope - ") +
                                 QString::fromStdString(RecordingTitle(*recording))
                           : QString::fromUtf8(kInitialTitle));
}

}  // namespace ictalscope
