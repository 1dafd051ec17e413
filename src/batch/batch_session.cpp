#include "batch/batch_session.h"

#include "analysis/analyses.h"
#include "recording/conditioning.h"

namespace ictalscope {

BatchSession::BatchSession() {
  panel.on_change = [this](Field field) {
    if (field == Field::tau) OnTauChanged(ws);
  };
}

}  // namespace ictalscope
