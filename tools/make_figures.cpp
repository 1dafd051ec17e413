// Draws the README's two figures with the program's own window, on the offscreen platform:
//   make_figures OUT_DIR [FOLDER]
// The window works in FOLDER (by default a temporary folder "examples"), into which the demo
// recording that the build writes is copied as 1.wcp when FOLDER holds none.
// OUT_DIR/spike.png: the window's chart zoomed onto the lone spike of record 1 after "Spikes",
// with VT, Vpeak, Vrest, Vmin and AHP marked from the spike table.
// OUT_DIR/window.png: the window after the usual work: each record loaded, "Spikes" and "IID",
// then "stat" (the tables are written into FOLDER).
// A failing handler's message goes to standard error and the exit status is 1.

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "analysis/analysis_state.h"
#include "panel/panel.h"
#include "recording/workspace.h"
#include "ui/chart_pictures.h"
#include "ui/chart_widget.h"
#include "ui/float_spin_edit.h"
#include "ui/main_window.h"

namespace ictalscope {
namespace {

// The usual work in the window, by its buttons and boxes as a user works them.
class WindowDriver {
 public:
  explicit WindowDriver(MainWindow& window) : window_(window) {
    window_.SetMessagePresenter([this](QWidget*, const QString& message) {
      std::cerr << "make_figures: " << message.toStdString() << "\n";
      failed_ = true;
    });
  }

  void Press(const char* caption) {
    QTest::mouseClick(window_.findChild<QPushButton*>(QString::fromLatin1(caption)),
                      Qt::LeftButton);
  }
  void ClickIntoNameBox() {
    QTest::mouseClick(window_.findChild<QLineEdit*>("RecordingName"), Qt::LeftButton);
  }
  // Types the record number into Analyse and clicks into its text, left of the arrows.
  void ReloadRecord(int record) {
    auto* analyse = window_.findChild<FloatSpinEdit*>("Analyse");
    analyse->setFocus(Qt::TabFocusReason);
    analyse->selectAll();
    QTest::keyClicks(analyse, QString::number(record));
    QTest::mouseClick(analyse, Qt::LeftButton, {}, QPoint(6, analyse->height() / 2));
  }
  bool failed() const { return failed_; }

 private:
  MainWindow& window_;
  bool failed_ = false;
};

// The first sample index from `from` on whose voltage is `value` (the analyses store the
// sample's own value), or -1.
int32_t SampleOf(const Trace& trace, int32_t from, int32_t to, double value) {
  for (int32_t k = std::max(from, 0); k <= std::min(to, trace.LastIndex); ++k) {
    if (trace.V[k] == value) return k;
  }
  return -1;
}

// The lowest sample of [from, to], as the look-back window's Vrest.
int32_t LowestOf(const Trace& trace, int32_t from, int32_t to) {
  int32_t lowest = std::max(from, 0);
  for (int32_t k = lowest; k <= std::min(to, trace.LastIndex); ++k) {
    if (trace.V[k] < trace.V[lowest]) lowest = k;
  }
  return lowest;
}

void AddLevel(QCustomPlot& plot, double x0, double x1, double y) {
  auto* line = new QCPItemLine(&plot);
  line->start->setCoords(x0, y);
  line->end->setCoords(x1, y);
  line->setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
}

void AddLabel(QCustomPlot& plot, double x, double y, const QString& text, Qt::Alignment alignment) {
  auto* label = new QCPItemText(&plot);
  label->position->setCoords(x, y);
  label->setPositionAlignment(alignment);
  label->setText(text);
  QFont font = plot.font();
  font.setPointSize(11);
  label->setFont(font);
  label->setPadding(QMargins(4, 2, 4, 2));
}

void AddDot(QCustomPlot& plot, double x, double y, const QColor& color) {
  auto* dot = new QCPItemEllipse(&plot);
  dot->topLeft->setType(QCPItemPosition::ptAbsolute);
  dot->bottomRight->setType(QCPItemPosition::ptAbsolute);
  const QPointF centre(plot.xAxis->coordToPixel(x), plot.yAxis->coordToPixel(y));
  dot->topLeft->setCoords(centre - QPointF(4, 4));
  dot->bottomRight->setCoords(centre + QPointF(4, 4));
  dot->setPen(QPen(color, 2));
}

// Zooms the chart onto spike `n` of the table and marks its measures.
void MarkSpike(ChartWidget& chart, const Trace& trace, const SpikeTable& spikes, double dt_vrest_ms,
               int32_t n) {
  const double ms = trace.AcqTime;
  const auto index = [&](double t_ms) { return static_cast<int32_t>(std::lround(t_ms / ms)); };
  const auto seconds = [&](int32_t k) { return k * ms / 1000.0; };
  const int32_t onset = index(spikes.tsp[n]);
  const int32_t peak = index(spikes.tpeak[n]);
  const int32_t rest = LowestOf(trace, onset - index(dt_vrest_ms), onset);
  const int32_t end = SampleOf(trace, peak + index(2.0), peak + index(40.0), spikes.Vmin[n]);

  const double x0 = seconds(onset) - 0.006;
  const double x1 = seconds(end < 0 ? peak : end) + 0.012;
  chart.xAxis->setRange(x0, x1);
  const double low = std::min(spikes.Vmin[n], spikes.Vrest[n]);
  chart.yAxis->setRange(low - 6, spikes.Vpeak[n] + 8);
  chart.replot();  // the axes' pixels, for the dots

  const double right = x1 - 0.0005;
  AddLevel(chart, seconds(onset), right, spikes.VT[n]);
  AddLabel(chart, seconds(onset), spikes.VT[n], "VT", Qt::AlignRight | Qt::AlignBottom);
  AddDot(chart, seconds(onset), spikes.VT[n], Qt::red);
  AddLabel(chart, seconds(peak), spikes.Vpeak[n], "Vpeak", Qt::AlignLeft | Qt::AlignBottom);
  AddDot(chart, seconds(peak), spikes.Vpeak[n], Qt::darkGreen);
  if (rest >= 0 && seconds(rest) >= x0) {
    AddDot(chart, seconds(rest), spikes.Vrest[n], Qt::blue);
    AddLabel(chart, seconds(rest), spikes.Vrest[n], "Vrest", Qt::AlignHCenter | Qt::AlignTop);
  } else {
    AddLevel(chart, x0, seconds(onset), spikes.Vrest[n]);
    AddLabel(chart, x0, spikes.Vrest[n], "Vrest (lowest of the 50 ms before VT)",
             Qt::AlignLeft | Qt::AlignTop);
  }
  if (end >= 0) {
    AddLevel(chart, seconds(end), right, spikes.Vmin[n]);
    AddDot(chart, seconds(end), spikes.Vmin[n], Qt::magenta);
    AddLabel(chart, seconds(end), spikes.Vmin[n], "Vmin", Qt::AlignHCenter | Qt::AlignTop);
  }
  auto* ahp = new QCPItemLine(&chart);
  const double x_ahp = right - 0.002;
  ahp->start->setCoords(x_ahp, spikes.VT[n]);
  ahp->end->setCoords(x_ahp, spikes.Vmin[n]);
  ahp->setHead(QCPLineEnding::esSpikeArrow);
  ahp->setTail(QCPLineEnding::esSpikeArrow);
  AddLabel(chart, x_ahp, (spikes.VT[n] + spikes.Vmin[n]) / 2, "AHP = VT - Vmin",
           Qt::AlignRight | Qt::AlignVCenter);
  chart.replot();
}

// The spike of the table nearest to `t_ms`, among those with a peak.
int32_t SpikeNear(const SpikeTable& spikes, double t_ms) {
  int32_t best = 1;
  for (int32_t n = 1; n < spikes.SpikeCount; ++n) {
    if (std::abs(spikes.tsp[n] - t_ms) < std::abs(spikes.tsp[best] - t_ms)) best = n;
  }
  return best;
}

bool Write(const QByteArray& bytes, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    std::cerr << "make_figures: cannot write " << path.toStdString() << "\n";
    return false;
  }
  return true;
}

int Run(const QString& out_dir, const QString& folder) {
  const QString demo = QStringLiteral(ICTALSCOPE_DEMO_FILE);
  if (!QDir().mkpath(folder) ||
      (!QFile::exists(folder + "/1.wcp") && !QFile::copy(demo, folder + "/1.wcp"))) {
    std::cerr << "make_figures: cannot copy " << demo.toStdString() << " into "
              << folder.toStdString() << "\n";
    return 1;
  }
  QDir::setCurrent(folder);
  MainWindow window;
  WindowDriver driver(window);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;

  // The spike: record 1 loads on the click into the name box.
  driver.ClickIntoNameBox();
  driver.Press("Spikes");
  auto* chart = window.findChild<ChartWidget*>("Chart");
  const QRect geometry = chart->geometry();
  chart->resize(900, 520);
  const SpikeTable& spikes = window.analysis().spikes;
  const Workspace& ws = window.workspace();
  MarkSpike(*chart, ws.trace, spikes, FieldValue(ws.panel, Field::dt_Vrest),
            SpikeNear(spikes, 4900.0));
  bool written = Write(ChartPicture(*chart, PictureFormat::kPng), out_dir + "/spike.png");
  chart->clearItems();
  chart->setGeometry(geometry);

  // The usual work, then the window as it stands.
  driver.ClickIntoNameBox();
  driver.Press("Spikes");
  driver.Press("IID");
  for (int record = 2; record <= 6; ++record) {
    driver.ReloadRecord(record);
    driver.Press("Spikes");
    driver.Press("IID");
  }
  driver.Press("stat");
  QApplication::processEvents();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  window.grab().save(&buffer, "PNG");
  written = Write(png, out_dir + "/window.png") && written;
  QDir::setCurrent(out_dir);
  return written && !driver.failed() ? 0 : 1;
}

}  // namespace
}  // namespace ictalscope

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: make_figures OUT_DIR [FOLDER]\n";
    return 2;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  const QString out_dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  QTemporaryDir temporary;
  const QString folder = argc == 3 ? QDir(QString::fromLocal8Bit(argv[2])).absolutePath()
                                   : temporary.path() + "/examples";
  return ictalscope::Run(out_dir, folder);
}
