#include "ui/chart_widget.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>
#include <limits>

namespace ictalscope {
namespace {

QFont ChartFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(16);
  return font;
}

// The data point of a plottable nearest to `pos`, as its index, with its distance in pixels.
struct NearPoint {
  QCPAbstractPlottable* plottable = nullptr;
  int index = -1;
  double distance_px = std::numeric_limits<double>::max();
};

NearPoint NearestPointOf(QCPAbstractPlottable* plottable, const QPointF& pos) {
  QVariant details;
  const double distance = plottable->selectTest(pos, false, &details);
  const QCPDataSelection selection = details.value<QCPDataSelection>();
  if (distance < 0 || selection.isEmpty()) return {};
  return {plottable, selection.dataRange().begin(), distance};
}

}  // namespace

ChartWidget::ChartWidget(QWidget* parent) : QCustomPlot(parent) {
  setBackground(Qt::white);
  setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
  SetUpAxes();
  SetUpLegend();
}

void ChartWidget::SetUpAxes() {
  for (QCPAxis* axis : {xAxis, yAxis, yAxis2}) {
    axis->setLabelFont(ChartFont());
    axis->setTickLabelFont(ChartFont());
    axis->setLabelColor(Qt::black);
    axis->setTickLabelColor(Qt::black);
    axis->grid()->setVisible(false);
  }
  xAxis->setLabel(QStringLiteral("t, s"));
  yAxis->setLabel(QStringLiteral("V, mV"));
  yAxis2->setLabel(QStringLiteral("I, pA"));
  yAxis2->setVisible(false);
}

// The legend leaves the plot area for a row of its own above it, its entries side by side and
// centred between two empty elements that take the width it does not need.
void ChartWidget::SetUpLegend() {
  legend->setVisible(true);
  legend->setBorderPen(Qt::NoPen);
  legend->setFont(ChartFont());
  legend->setTextColor(Qt::black);
  legend->setIconSize(30, 12);
  legend->setFillOrder(QCPLegend::foColumnsFirst);
  legend->setColumnSpacing(16);
  axisRect()->insetLayout()->take(legend);
  auto* row = new QCPLayoutGrid;
  plotLayout()->insertRow(0);
  plotLayout()->addElement(0, 0, row);
  plotLayout()->setRowStretchFactor(0, 0.001);
  plotLayout()->setRowSpacing(0);
  row->addElement(0, 0, new QCPLayoutElement(this));
  row->addElement(0, 1, legend);
  row->addElement(0, 2, new QCPLayoutElement(this));
  row->setColumnStretchFactors({1000, 0.001, 1000});
}

// The voltage axis gets a little room above and below, so that markers at the highest and the
// lowest point are drawn whole.
void ChartWidget::ShowAll() {
  rescaleAxes(true);
  constexpr double kValueRoom = 1.06;  // 3 % of the range on each side
  yAxis->scaleRange(kValueRoom);
}

QString ChartWidget::PointTextAt(const QPointF& pos) {
  NearPoint best;
  for (int i = 0; i < plottableCount(); ++i) {
    QCPAbstractPlottable* candidate = plottable(i);
    if (!candidate->realVisibility()) continue;
    const NearPoint near = NearestPointOf(candidate, pos);
    if (near.plottable != nullptr && near.distance_px <= selectionTolerance() &&
        near.distance_px < best.distance_px) {
      best = near;
    }
  }
  if (best.plottable == nullptr) return {};
  const QCPPlottableInterface1D* data = best.plottable->interface1D();
  // An axis title is "quantity, unit".
  const QStringList quantity = best.plottable->valueAxis()->label().split(QStringLiteral(", "));
  return QStringLiteral("%1: t = %2 s, %3 = %4 %5")
      .arg(best.plottable->name().trimmed())
      .arg(data->dataMainKey(best.index), 0, 'g', 8)
      .arg(quantity.value(0))
      .arg(data->dataMainValue(best.index), 0, 'g', 7)
      .arg(quantity.value(1));
}

bool ChartWidget::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QCustomPlot::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const QString text = PointTextAt(help->pos());
  if (text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), text, this);
  }
  return true;
}

// A press decides what the drag does: the right button, or Ctrl with the left one, draws the
// rubber band to zoom into; the left button alone pans.
void ChartWidget::mousePressEvent(QMouseEvent* event) {
  const bool band =
      event->button() == Qt::RightButton ||
      (event->button() == Qt::LeftButton && event->modifiers().testFlag(Qt::ControlModifier));
  setSelectionRectMode(band ? QCP::srmZoom : QCP::srmNone);
  QCustomPlot::mousePressEvent(event);
}

// The chart takes a press and release without moving (more than a few pixels) between them as a
// click, and a click draws no band: only then does the right button open the menu.
void ChartWidget::mouseReleaseEvent(QMouseEvent* event) {
  const bool right_click = event->button() == Qt::RightButton && !mMouseHasMoved;
  QCustomPlot::mouseReleaseEvent(event);
  if (right_click && menu_ != nullptr) menu_->popup(event->globalPosition().toPoint());
}

// A right press would open the menu before the chart knows whether it drags a band; the mouse's
// menu opens on release instead.
void ChartWidget::contextMenuEvent(QContextMenuEvent* event) {
  if (event->reason() != QContextMenuEvent::Mouse && menu_ != nullptr) {
    menu_->popup(event->globalPos());
  }
  event->accept();
}

void ChartWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  QCustomPlot::mouseDoubleClickEvent(event);
  ShowAll();
  replot();
}

}  // namespace ictalscope
