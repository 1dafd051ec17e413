#include <gtest/gtest.h>

#include <string>

#include "analysis/analyses.h"
#include "panel/memory_panel.h"
#include "recording/memory_chart.h"
#include "support/expect_error.h"

namespace ictalscope {
namespace {

class PanelEventsTest : public ::testing::Test {
 protected:
  MemoryPanel panel;
  MemoryChart chart;
  Workspace ws{panel, chart};
};

// A change of tau recomputes a from the last load's interval; a failure leaves a as it was.
TEST_F(PanelEventsTest, TauChangeRecomputesA) {
  struct Case {
    const char* name;
    double acq_time;
    const char* tau;
    const char* a_text;  // nullptr: fails with `message`
    const char* message;
  } const cases[] = {
      {"defaults", 0.0625, "0.30", "0.81", nullptr},
      {"before any load", 0, "0.30", "1.00", nullptr},
      {"zero tau", 0.0625, "0", nullptr, "Floating point division by zero"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ws.trace.AcqTime = c.acq_time;
    panel.SetText(Field::a, "0.80");
    panel.SetText(Field::tau, c.tau);
    if (c.a_text == nullptr) {
      EXPECT_THROW_MSG(OnTauChanged(ws), c.message);
      EXPECT_EQ(panel.Text(Field::a), "0.80");
    } else {
      OnTauChanged(ws);
      EXPECT_EQ(panel.Text(Field::a), c.a_text);
    }
  }
}

// A click that unticks "Stimulation" keeps the last timing; one that ticks it refreshes it.
TEST_F(PanelEventsTest, StimulationClickRefreshesOnlyWhenTicked) {
  panel.SetText(Field::StimHz, "4");
  OnStimulationClicked(ws);
  EXPECT_EQ(panel.Text(Field::StimInterval), "0.2");
  EXPECT_EQ(ws.stim.IntervalMs, 0);
  panel.SetChecked(Check::Stimulation, true);
  OnStimulationClicked(ws);
  EXPECT_EQ(panel.Text(Field::StimInterval), "250.0");
  EXPECT_EQ(ws.stim.IntervalMs, 250);
}

}  // namespace
}  // namespace ictalscope
