// The toolkit's scalar grid: 32-bit float values on a regular lattice, tagged
// with what the values mean. This is the grid that the CUBE reader fills and
// the CUBE writer walks, and the one the Python module nimbrel.velgar wraps.
#pragma once

#include <cstdint>
#include <string>

#include "sorvil/grid/fixedgrid.h"
#include "sorvil/grid/gridtype.h"

namespace Sorvil {

class QvScalarGrid : public QvFixedGrid<float> {
  QV_DECLARE_TYPE("Sorvil::QvScalarGrid", QvFixedGrid)

 public:
  // The default grid: 1 x 1 x 1 at the origin, spacing 0.5, one value 0.
  QvScalarGrid() = default;
  QvScalarGrid(uint32_t xdim, uint32_t ydim, uint32_t zdim, float xmid, float ymid, float zmid,
               float spacing, std::string title, const float* values = nullptr)
      : QvFixedGrid(xdim, ydim, zdim, xmid, ymid, zmid, spacing, std::move(title), values) {}
  QvScalarGrid(const QvScalarGrid&) = default;
  QvScalarGrid& operator=(const QvScalarGrid& other);
  ~QvScalarGrid() override = default;

  QvScalarGrid* CreateCopy() const override { return new QvScalarGrid(*this); }
  // Becomes the default grid: geometry, flags, title, generic data and type.
  void Clear() override;

  QvGridType GetGridType() const { return grid_type_; }
  void SetGridType(QvGridType type) { grid_type_ = type; }

 private:
  QvGridType grid_type_ = QvGridType::Generic;
};

}  // namespace Sorvil
