// The panel's own events: a change of tau and a click on "Stimulation".

#include "analysis/analyses.h"
#include "recording/conditioning.h"

namespace ictalscope {

void OnTauChanged(Workspace& ws) { RefreshFilterCoef(ws); }

void OnStimulationClicked(Workspace& ws) {
  if (ws.panel.IsChecked(Check::Stimulation)) RefreshStimTiming(ws);
}

}  // namespace ictalscope
