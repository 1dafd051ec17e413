#include "recording/chart.h"

namespace ictalscope {

std::string_view SeriesTitle(Series series) {
  switch (series) {
    case Series::V:
      return "V";
    case Series::I:
      return "I";
    case Series::th:
      return "th";
    case Series::peak:
      return " peak        ";
    case Series::V_min:
      return "V_min";
    case Series::ID:
      return "ID";
    case Series::IID:
      return "IID";
  }
  return "";
}

}  // namespace ictalscope
