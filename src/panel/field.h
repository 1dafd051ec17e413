#pragma once

#include <optional>
#include <string_view>

namespace ictalscope {

// The numeric fields of the parameter panel, in the order of the panel's list.
enum class Field {
  AD,
  YG0,
  YG1,
  CalibV,
  CalibI,
  AcqTime,
  NR,
  Analyse,
  Duration,
  StimHz,
  StimDelay,
  StimDuration,
  StimInterval,
  ISImax,
  NminSpikes,
  tau,
  a,
  dt_Vrest,
  step_V,
  Vsilent,
  Channel,
};
inline constexpr int kFieldCount = 21;

enum class Check { Filter, VDat, Stimulation, Rewrite, TimeThroughTraces, Read };
inline constexpr int kCheckCount = 6;

struct FieldInfo {
  Field field;
  std::string_view name;          // the field's name, as the batch language spells it
  std::string_view label;         // the caption beside the field in the window
  std::string_view default_text;  // what the field shows at start
  int decimals;                   // StrDecimals
  double increment;
  int width = 2;  // StrWidth
  double min_value = 0;
  double max_value = 0;  // equal to min_value: no bounds
};

struct CheckInfo {
  Check check;
  std::string_view name;     // as the batch language spells it
  std::string_view caption;  // as the window shows it
};

const FieldInfo& InfoOf(Field field);
const CheckInfo& InfoOf(Check check);
std::optional<Field> FieldByName(std::string_view name);
std::optional<Check> CheckByName(std::string_view name);

inline constexpr std::string_view kDefaultRecordingName = "1";
// Empty until a load says what it read.
inline constexpr std::string_view kDefaultHeaderLabel = "";

}  // namespace ictalscope
