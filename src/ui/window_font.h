#pragma once

#include <QFont>

namespace ictalscope {

// The font of the whole window, which its widgets (the chart too) inherit: the narrow sans
// serif the labels were placed for, at 11 pixels, or the nearest face the platform has.
QFont WindowFont();

}  // namespace ictalscope
