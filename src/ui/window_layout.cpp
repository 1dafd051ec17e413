#include "ui/window_layout.h"

#include <array>

namespace ictalscope {
namespace {

using Kind = WindowControl::Kind;

constexpr WindowControl Chart(QRect r) { return {Kind::kChart, r}; }
constexpr WindowControl Directories(QRect r) { return {Kind::kDirectoryList, r}; }
constexpr WindowControl NameBox(QRect r) { return {Kind::kNameBox, r}; }
constexpr WindowControl Numeric(Field f, QRect r, QPoint label) {
  return {Kind::kField, r, f, label};
}
constexpr WindowControl Box(Check c, QRect r) { return {Kind::kCheck, r, Field::AD, {}, c}; }
constexpr WindowControl Button(Command c, QRect r) {
  return {Kind::kButton, r, Field::AD, {}, Check::Filter, c};
}

const std::array<WindowControl, 36> kControls = {{
    Chart({0, 1, 1153, 336}),
    Directories({184, 344, 209, 185}),
    Button(Command::Spikes, {400, 344, 65, 33}),
    NameBox({184, 536, 209, 21}),
    Numeric(Field::AD, {64, 485, 97, 22}, {40, 488}),
    Numeric(Field::YG0, {64, 389, 97, 22}, {32, 392}),
    Numeric(Field::YG1, {64, 413, 97, 22}, {32, 416}),
    Numeric(Field::CalibV, {64, 341, 97, 22}, {24, 344}),
    Numeric(Field::CalibI, {64, 365, 97, 22}, {24, 368}),
    Numeric(Field::AcqTime, {64, 509, 97, 22}, {3, 512}),
    Numeric(Field::NR, {64, 461, 49, 22}, {40, 464}),
    Numeric(Field::Analyse, {64, 437, 49, 22}, {24, 440}),
    Numeric(Field::Duration, {64, 532, 97, 22}, {4, 536}),
    Button(Command::IID, {472, 344, 65, 33}),
    Box(Check::Rewrite, {400, 462, 57, 17}),
    Numeric(Field::StimHz, {584, 364, 57, 22}, {648, 368}),
    Numeric(Field::StimDelay, {584, 412, 57, 22}, {648, 416}),
    Numeric(Field::StimDuration, {584, 436, 57, 22}, {648, 440}),
    Box(Check::Stimulation, {584, 344, 113, 17}),
    Numeric(Field::StimInterval, {584, 388, 57, 22}, {648, 392}),
    Numeric(Field::ISImax, {480, 404, 57, 22}, {400, 408}),
    Numeric(Field::NminSpikes, {480, 428, 57, 22}, {400, 432}),
    Button(Command::Wmf, {736, 454, 65, 25}),
    Button(Command::TwoTraces, {736, 340, 65, 27}),
    Button(Command::Stat, {736, 370, 65, 27}),
    Box(Check::Read, {736, 404, 55, 17}),
    Button(Command::Rin, {736, 426, 65, 25}),
    Box(Check::Filter, {480, 460, 47, 21}),
    Numeric(Field::tau, {480, 484, 57, 22}, {438, 490}),
    Numeric(Field::a, {480, 504, 57, 22}, {448, 510}),
    Numeric(Field::dt_Vrest, {584, 484, 57, 22}, {648, 490}),
    Numeric(Field::step_V, {820, 394, 57, 22}, {888, 400}),
    Box(Check::VDat, {820, 368, 51, 21}),
    Box(Check::TimeThroughTraces, {820, 344, 121, 21}),
    Numeric(Field::Vsilent, {584, 508, 57, 22}, {648, 510}),
    Numeric(Field::Channel, {820, 420, 57, 22}, {888, 424}),
}};

}  // namespace

std::span<const WindowControl> WindowControls() { return kControls; }

const char* CommandCaption(Command command) {
  switch (command) {
    case Command::Spikes:
      return "Spikes";
    case Command::IID:
      return "IID";
    case Command::Stat:
      return "stat";
    case Command::Rin:
      return "Rin";
    case Command::TwoTraces:
      return "two traces";
    case Command::Wmf:
      return "wmf";
  }
  return "";
}

}  // namespace ictalscope
