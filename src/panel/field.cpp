#include "panel/field.h"

#include <array>

namespace ictalscope {

namespace {

// Every field: StrWidth 2, MinValue = MaxValue = 0.
constexpr std::array<FieldInfo, kFieldCount> kFields = {{
    {Field::AD, "AD", "AD", "10.00", 2, 10},
    {Field::YG0, "YG0", "YG0", "4.0000000000", 10, 10},
    {Field::YG1, "YG1", "YG1", "4.0000000000", 10, 10},
    {Field::CalibV, "CalibV", "CalibV", "4.0000000000", 10, 10},
    {Field::CalibI, "CalibI", "CalibI", "4.0000000000", 10, 10},
    {Field::AcqTime, "AcqTime", "AcqTime,ms", "0.06250", 5, 10},
    {Field::NR, "NR", "NR", "12", 0, 10},
    {Field::Analyse, "Analyse", "Analyse", " 1", 0, 10},
    {Field::Duration, "Duration", "Duration,ms", "1.00", 2, 1},
    {Field::StimHz, "StimHz", "Hz", "0.20", 2, 1},
    {Field::StimDelay, "StimDelay", "Delay, ms", "1.0", 1, 1},
    {Field::StimDuration, "StimDuration", "Duration, ms", "1.0", 1, 1},
    {Field::StimInterval, "StimInterval", "Interval, ms", "0.2", 1, 1},
    {Field::ISImax, "ISImax", "IID   ISImax, ms", "1000", 0, 1},
    {Field::NminSpikes, "NminSpikes", "ID   Nmin spikes", "40", 0, 1},
    {Field::tau, "tau", "tau, ms", "0.30", 2, 1},
    {Field::a, "a", "a", "0.80", 2, 1},
    {Field::dt_Vrest, "dt_Vrest", "dt_Vrest, ms", "50", 0, 1},
    {Field::step_V, "step_V", "step_V", " 5", 0, 1},
    {Field::Vsilent, "Vsilent", "Vsilent, mV", "-65", 0, 1},
    {Field::Channel, "Channel", "Channel", " 0", 0, 1},
}};

constexpr std::array<CheckInfo, kCheckCount> kChecks = {{
    {Check::Filter, "filter", "Filter"},
    {Check::VDat, "vdat", "V.dat"},
    {Check::Stimulation, "stimulation", "Stimulation"},
    {Check::Rewrite, "rewrite", "rewrite"},
    {Check::TimeThroughTraces, "time-through-traces", "time through traces"},
    {Check::Read, "read", "read"},
}};

}  // namespace

const FieldInfo& InfoOf(Field field) { return kFields[static_cast<int>(field)]; }
const CheckInfo& InfoOf(Check check) { return kChecks[static_cast<int>(check)]; }

std::optional<Field> FieldByName(std::string_view name) {
  for (const FieldInfo& info : kFields) {
    if (info.name == name) return info.field;
  }
  return std::nullopt;
}

std::optional<Check> CheckByName(std::string_view name) {
  for (const CheckInfo& info : kChecks) {
    if (info.name == name) return info.check;
  }
  return std::nullopt;
}

}  // namespace ictalscope
