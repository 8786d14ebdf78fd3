#include "sorvil/grid/scalargrid.h"

namespace Sorvil {

QvScalarGrid& QvScalarGrid::operator=(const QvScalarGrid& other) {
  if (this == &other) return *this;
  QvFixedGrid::operator=(other);
  grid_type_ = other.grid_type_;
  return *this;
}

void QvScalarGrid::Clear() {
  ResetGeometry();
  QvFixedGrid::Clear();
  grid_type_ = QvGridType::Generic;
}

}  // namespace Sorvil
