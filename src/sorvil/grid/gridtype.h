// What a scalar grid's values mean. Readers tag the grids they make; nothing in
// the grid itself depends on the type.
#pragma once

#include <cstdint>

namespace Sorvil {

enum class QvGridType : uint32_t {
  Generic = 0,
  Electrostatic = 1,
  Mavik = 2,
  RegularMap = 3,
  DifferenceMap = 4,
  ET = 5,
};

inline constexpr uint32_t kQvGridTypeCount = 6;

constexpr bool QvIsGridType(uint32_t value) { return value < kQvGridTypeCount; }

}  // namespace Sorvil
