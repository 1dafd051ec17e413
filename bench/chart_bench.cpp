// The window's chart with a long record: the 10,000,001-sample record on series "V" (a run of
// 2,000,000 points as defined, at plot step 5, every sample drawn) and the 900 markers of its
// 300 spikes. Targets: the time a load spends on series "V" (recording the run and growing it
// as the record is read) under 1 ms; a full repaint at the chart's size (1153 x 336) under
// 10 ms showing the whole record and under 5 ms zoomed to 1 s. For comparison, without target:
// the first repaint after a load, which builds the run's min/max pyramid, and the whole load.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "analysis/analyses.h"
#include "big_recording.h"
#include "panel/memory_panel.h"
#include "recording/drawn_run.h"
#include "recording/loader.h"
#include "recording/memory_chart.h"
#include "ui/chart_widget.h"
#include "ui/qt_chart.h"

namespace ictalscope::bench {
namespace {

constexpr Series kMarkers[] = {Series::th, Series::peak, Series::V_min};

// The long record and its spike markers, as the batch tool's chart holds them after a load
// and "Spikes".
struct LoadedRecord {
  LoadedRecord() {
    panel.SetNameBoxText("big");
    ClickRecordingName(*ws);
    RunSpikes(*ws, analysis.spikes);
  }
  const DrawnRun& Run() const { return *chart.Runs(Series::V).at(0); }
  MemoryPanel panel;
  MemoryChart chart;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>(panel, chart);
  AnalysisState analysis;
};

const LoadedRecord& Record() {
  static const auto* record = new LoadedRecord;
  return *record;
}

// The window's chart, passing on everything, with the time spent on what concerns series "V"
// added up.
class TimedChart : public Chart {
 public:
  explicit TimedChart(QtChart& chart) : chart_(chart) {}

  void Clear(Series series) override {
    Time(series, [&] { chart_.Clear(series); });
  }
  void Append(Series series, double x, double y) override {
    Time(series, [&] { chart_.Append(series, x, y); });
  }
  void AppendPoints(Series series, std::span<const ChartPoint> points) override {
    Time(series, [&] { chart_.AppendPoints(series, points); });
  }
  void AppendRun(Series series, const DrawnRun& run) override {
    Time(series, [&] { chart_.AppendRun(series, run); });
  }
  void ExtendLastRun(Series series, int64_t points) override {
    Time(series, [&] { chart_.ExtendLastRun(series, points); });
  }
  void KeepSamplesOf(const double* array) override {
    Time(Series::V, [&] { chart_.KeepSamplesOf(array); });
  }

  double seconds = 0;
  int64_t calls = 0;

 private:
  template <typename Call>
  void Time(Series series, const Call& call) {
    if (series != Series::V) return call();
    const auto start = std::chrono::steady_clock::now();
    call();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ++calls;
  }

  QtChart& chart_;
};

// (a) A load of the record into the window's chart; the time measured is the time spent in the
// chart's calls for series "V".
void BM_LoadSpendsOnV(benchmark::State& state) {
  ChartWidget widget;
  QtChart chart(widget);
  TimedChart timed(chart);
  MemoryPanel panel;
  panel.SetNameBoxText("big");
  auto ws = std::make_unique<Workspace>(panel, timed);
  int64_t calls = 0;
  for (auto _ : state) {
    timed.seconds = 0;
    timed.calls = 0;
    ClickRecordingName(*ws);
    state.SetIterationTime(timed.seconds);
    calls = timed.calls;
  }
  state.counters["calls"] = static_cast<double>(calls);
  state.counters["points"] = chart.PointCount(Series::V);
}

// A shown chart of the window's size holding the record's run and its markers, the axes fitted
// and drawn once.
struct FilledChart {
  FilledChart() {
    widget.resize(1153, 336);
    widget.show();
    chart.AppendRun(Series::V, Record().Run());
    for (Series series : kMarkers) {
      for (const ChartPoint& p : Record().chart.Points(series)) chart.Append(series, p.x, p.y);
    }
    chart.Replot();
  }
  ChartWidget widget;
  QtChart chart{widget};
};

// (b) Showing the whole record.
void BM_RepaintFullView(benchmark::State& state) {
  FilledChart filled;
  for (auto _ : state) filled.widget.replot(QCustomPlot::rpImmediateRefresh);
  state.counters["points"] = filled.chart.PointCount(Series::V);
}

// (c) Zoomed to the second around the first spike's peak.
void BM_RepaintZoomed1s(benchmark::State& state) {
  FilledChart filled;
  const double peak_s = Record().chart.Points(Series::peak).at(0).x;
  filled.widget.xAxis->setRange(peak_s - 0.5, peak_s + 0.5);
  for (auto _ : state) filled.widget.replot(QCustomPlot::rpImmediateRefresh);
  state.counters["points"] = filled.chart.PointCount(Series::V);
}

// For comparison: the first repaint after a load, the axes fitted and the run's pyramid built.
void BM_FirstRepaintAfterLoad(benchmark::State& state) {
  FilledChart filled;
  for (auto _ : state) {
    filled.chart.Clear(Series::V);
    filled.chart.AppendRun(Series::V, Record().Run());
    filled.chart.Replot();
    filled.widget.replot(QCustomPlot::rpImmediateRefresh);
  }
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

BENCHMARK(BM_LoadSpendsOnV)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_RepaintFullView)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RepaintZoomed1s)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstRepaintAfterLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadIntoChart)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console report, then the median and the fastest repetition of each measured time
// against its target, with the median CPU time where the time is the wall clock's (on a busy
// machine the wall clock also counts the waits for a core).
class TargetReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      Times& times = ms_[run.run_name.function_name];
      times.real.push_back(run.real_accumulated_time / run.iterations * 1e3);
      times.cpu.push_back(run.cpu_accumulated_time / run.iterations * 1e3);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintTarget(const std::string& name, const char* what, double target_ms,
                   bool wall_clock) const {
    auto it = ms_.find(name);
    if (it == ms_.end()) return;
    std::vector<double> real = it->second.real, cpu = it->second.cpu;
    std::sort(real.begin(), real.end());
    std::sort(cpu.begin(), cpu.end());
    const double median = real[real.size() / 2];
    std::printf("%s: median %.3f ms, fastest %.3f ms of %zu", what, median, real.front(),
                real.size());
    if (wall_clock) std::printf(" (median CPU %.3f ms)", cpu[cpu.size() / 2]);
    std::printf(" (target: under %g ms) %s\n", target_ms, median < target_ms ? "met" : "NOT MET");
  }

 private:
  struct Times {
    std::vector<double> real, cpu;
  };
  std::map<std::string, Times> ms_;
};

}  // namespace
}  // namespace ictalscope::bench

// Each benchmark is repeated five times, the repetitions of all of them shuffled together, so
// that a slow spell of the machine does not fall on one alone; flags given on the command line
// come later and win.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  std::vector<char*> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=5";
  char interleaving[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions, interleaving});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  ictalscope::bench::BigRecordingDirectory directory;
  ictalscope::bench::TargetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  reporter.PrintTarget("BM_LoadSpendsOnV", "a load's calls for series \"V\"", 1, false);
  reporter.PrintTarget("BM_RepaintFullView", "full repaint at 1153 x 336, whole record", 10, true);
  reporter.PrintTarget("BM_RepaintZoomed1s", "full repaint at 1153 x 336, zoomed to 1 s", 5, true);
  benchmark::Shutdown();
  return 0;
}
