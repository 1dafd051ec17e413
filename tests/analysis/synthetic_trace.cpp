#include "synthetic_trace.h"

#include <algorithm>

namespace ictalscope::testing {

std::vector<double> PiecewiseLinear(const std::vector<Knot>& knots) {
  std::vector<double> v(knots.back().index + 1);
  v[0] = knots.front().mv;
  for (size_t n = 1; n < knots.size(); ++n) {
    const Knot& a = knots[n - 1];
    const Knot& b = knots[n];
    for (int32_t k = a.index + 1; k <= b.index; ++k) {
      v[k] = a.mv + (b.mv - a.mv) * (k - a.index) / (b.index - a.index);
    }
  }
  return v;
}

void AddSpikeKnots(std::vector<Knot>& knots, int32_t onset, double base_mv) {
  knots.push_back({onset - 1, base_mv});
  knots.push_back({onset + 7, base_mv + 80});
  knots.push_back({onset + 87, base_mv - 10});
  knots.push_back({onset + 107, base_mv});
}

std::vector<double> SpikeTrain(int32_t last_index, double base_mv,
                               const std::vector<int32_t>& onsets) {
  std::vector<Knot> knots{{0, base_mv}};
  for (int32_t onset : onsets) AddSpikeKnots(knots, onset, base_mv);
  knots.push_back({last_index, base_mv});
  return PiecewiseLinear(knots);
}

void SetTrace(Trace& trace, const std::vector<double>& v, double acq_time_ms, int32_t record_no) {
  std::copy(v.begin(), v.end(), trace.V.data());
  trace.LastIndex = static_cast<int32_t>(v.size()) - 1;
  trace.AcqTime = acq_time_ms;
  trace.RecordNo = record_no;
}

}  // namespace ictalscope::testing
