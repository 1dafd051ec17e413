#pragma once

#include <QPoint>
#include <QRect>
#include <span>

#include "panel/field.h"

namespace ictalscope {

// The command buttons of the window.
enum class Command { Spikes, IID, Stat, Rin, TwoTraces, Wmf };

// One control of the window, in tab order, at its place in the client area.
struct WindowControl {
  enum class Kind { kChart, kDirectoryList, kNameBox, kField, kCheck, kButton };
  Kind kind;
  QRect geometry;
  Field field = Field::AD;            // kField
  QPoint label_position = {};         // kField: where its label stands
  Check check = Check::Filter;        // kCheck
  Command command = Command::Spikes;  // kButton
};

// The 36 controls in tab order.
std::span<const WindowControl> WindowControls();

const char* CommandCaption(Command command);

// The window's frame and the labels that stand without a field.
inline constexpr QPoint kWindowPosition{-3, 21};
inline constexpr QSize kWindowSize{1271, 611};
inline constexpr QPoint kHeaderLabelPosition{1160, 0};
// Below the panel, across the window.
inline constexpr QRect kStatusLineGeometry{0, 589, 1271, 22};
inline constexpr QPoint kCriteriaLabelPosition{450, 384};

}  // namespace ictalscope
