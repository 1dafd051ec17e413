// The window's chart with a long record: 2,000,000 points on series "V" (a 10,000,001-sample
// record drawn at plot step 5) and the 900 markers of its 300 spikes. Targets: appending the
// points in the loader's runs under 100 ms, a full repaint at the chart's size (1153 x 336)
// under 30 ms.
#include <QApplication>
#include <memory>
#include <vector>

#include "analysis/analyses.h"
#include "big_recording.h"
#include "panel/memory_panel.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"
#include "ui/chart_widget.h"
#include "ui/qt_chart.h"

namespace ictalscope::bench {
namespace {

constexpr size_t kLoaderRun = 512;  // the loader hands the chart its points in runs of this size
constexpr Series kMarkers[] = {Series::th, Series::peak, Series::V_min};

// The drawn points of the long record and its spike markers, as the batch tool's chart holds
// them after a load and "Spikes".
struct LoadedRecord {
  LoadedRecord() {
    panel.SetNameBoxText("big");
    ClickRecordingName(*ws);
    RunSpikes(*ws, analysis.spikes);
  }
  MemoryPanel panel;
  MemoryChart chart;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>(panel, chart);
  AnalysisState analysis;
};

const LoadedRecord& Record() {
  static const auto* record = new LoadedRecord;
  return *record;
}

void AppendInRuns(QtChart& chart, Series series, const std::vector<ChartPoint>& points) {
  for (size_t first = 0; first < points.size(); first += kLoaderRun) {
    const size_t count = std::min(kLoaderRun, points.size() - first);
    chart.AppendPoints(series, std::span<const ChartPoint>(&points[first], count));
  }
}

// A shown chart of the window's size holding the record and its markers.
struct FilledChart {
  FilledChart() {
    widget.resize(1153, 336);
    widget.show();
    AppendInRuns(chart, Series::V, Record().chart.Points(Series::V));
    for (Series series : kMarkers) {
      for (const ChartPoint& p : Record().chart.Points(series)) chart.Append(series, p.x, p.y);
    }
    chart.Replot();
  }
  ChartWidget widget;
  QtChart chart{widget};
};

void BM_AppendPoints(benchmark::State& state) {
  ChartWidget widget;
  QtChart chart(widget);
  const std::vector<ChartPoint>& points = Record().chart.Points(Series::V);
  for (auto _ : state) {
    chart.Clear(Series::V);
    AppendInRuns(chart, Series::V, points);
  }
  state.counters["points"] = chart.PointCount(Series::V);
}

void BM_Repaint(benchmark::State& state) {
  FilledChart filled;
  for (auto _ : state) filled.widget.replot(QCustomPlot::rpImmediateRefresh);
  state.counters["points"] = filled.chart.PointCount(Series::V);
}

// For comparison: the whole load of the record into the chart, reading and conditioning
// included.
void BM_LoadIntoChart(benchmark::State& state) {
  ChartWidget widget;
  QtChart chart(widget);
  MemoryPanel panel;
  panel.SetNameBoxText("big");
  auto ws = std::make_unique<Workspace>(panel, chart);
  for (auto _ : state) ClickRecordingName(*ws);
  state.counters["points"] = chart.PointCount(Series::V);
}

BENCHMARK(BM_AppendPoints)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Repaint)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadIntoChart)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console report, then each measured time against its target.
class TargetReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      ms_[run.run_name.function_name] = run.real_accumulated_time / run.iterations * 1e3;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintTarget(const std::string& name, const char* what, double target_ms) const {
    const auto it = ms_.find(name);
    if (it == ms_.end()) return;
    std::printf("%s: %.1f ms (target: under %.0f ms) %s\n", what, it->second, target_ms,
                it->second < target_ms ? "met" : "NOT MET");
  }

 private:
  std::map<std::string, double> ms_;
};

}  // namespace
}  // namespace ictalscope::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ictalscope::bench::BigRecordingDirectory directory;
  ictalscope::bench::TargetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.PrintTarget("BM_AppendPoints", "append of 2,000,000 points to \"V\"", 100);
  reporter.PrintTarget("BM_Repaint", "full repaint at 1153 x 336", 30);
  benchmark::Shutdown();
  return 0;
}
