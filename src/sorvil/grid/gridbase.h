// Geometry of a regular, axis-aligned lattice with one spacing on all axes.
//
// Each lattice point is the centre of a cubic cell of edge `spacing`; the box
// edges (min/max per axis) bound the cells, so they use dim rather than dim - 1:
// point 0 along x lies at xmin + spacing / 2. Values are stored x fastest,
// z slowest. The box edges and the element count are derived values: every
// setter that changes an input recomputes them, nothing sets them directly.
//
// Setters never throw. They return false and leave the grid unchanged when the
// argument is unusable; NaN arguments and element counts that do not fit in
// 32 bits are also reported through the process-wide error handler.
#pragma once

#include <cstdint>
#include <string>

#include "sorvil/base/qvbase.h"

namespace Sorvil {

// The interface every grid offers, independent of its value type.
class QvGridAbstractBase : public QvBase {
  QV_DECLARE_TYPE("Sorvil::QvGridAbstractBase", QvBase)

 public:
  virtual QvGridAbstractBase* CreateCopy() const = 0;

  virtual std::string GetTitle() const = 0;
  virtual bool SetTitle(const std::string& title) = 0;
  virtual float GetSpacing() const = 0;
  virtual bool HasSpacing() const = 0;
  virtual uint32_t GetSize() const = 0;
  virtual bool GetDim(uint32_t& x, uint32_t& y, uint32_t& z) const = 0;
  virtual uint32_t GetXDim() const = 0;
  virtual uint32_t GetYDim() const = 0;
  virtual uint32_t GetZDim() const = 0;
  virtual bool GetMid(float& x, float& y, float& z) const = 0;
  virtual float GetXMid() const = 0;
  virtual float GetYMid() const = 0;
  virtual float GetZMid() const = 0;
  virtual bool HasTitle() const = 0;
  virtual bool HasXMid() const = 0;
  virtual bool HasYMid() const = 0;
  virtual bool HasZMid() const = 0;
  virtual bool SetSpacing(float spacing) = 0;
  virtual bool SetMid(float x, float y, float z) = 0;
  virtual bool SetXMid(float mid) = 0;
  virtual bool SetYMid(float mid) = 0;
  virtual bool SetZMid(float mid) = 0;
  virtual bool SetDim(uint32_t x, uint32_t y, uint32_t z) = 0;
  virtual bool SetXDim(uint32_t dim) = 0;
  virtual bool SetYDim(uint32_t dim) = 0;
  virtual bool SetZDim(uint32_t dim) = 0;
  // Gives the grid a fresh, zero-filled value array of GetSize() elements.
  // False (with a warning) when the memory cannot be had; the old array stays.
  virtual bool Reallocate() = 0;

 protected:
  QvGridAbstractBase() = default;
  QvGridAbstractBase(const QvGridAbstractBase&) = default;
  QvGridAbstractBase& operator=(const QvGridAbstractBase&) = default;
};

class QvGridBase : public QvGridAbstractBase {
  QV_DECLARE_TYPE("Sorvil::QvGridBase", QvGridAbstractBase)

 public:
  // Empties the title and the generic data and zero-fills the values; the
  // geometry stays.
  void Clear() override;

  std::string GetTitle() const override { return title_; }
  bool SetTitle(const std::string& title) override;
  float GetSpacing() const override { return g_.spacing; }
  bool HasSpacing() const override { return g_.spacing_set != 0; }
  uint32_t GetSize() const override { return g_.size; }
  bool GetDim(uint32_t& x, uint32_t& y, uint32_t& z) const override;
  uint32_t GetXDim() const override { return g_.xdim; }
  uint32_t GetYDim() const override { return g_.ydim; }
  uint32_t GetZDim() const override { return g_.zdim; }
  bool GetMid(float& x, float& y, float& z) const override;
  float GetXMid() const override { return g_.xmid; }
  float GetYMid() const override { return g_.ymid; }
  float GetZMid() const override { return g_.zmid; }
  bool HasTitle() const override { return !title_.empty(); }
  bool HasXMid() const override { return g_.xmid_set != 0; }
  bool HasYMid() const override { return g_.ymid_set != 0; }
  bool HasZMid() const override { return g_.zmid_set != 0; }
  bool SetSpacing(float spacing) override;
  bool SetMid(float x, float y, float z) override;
  bool SetXMid(float mid) override;
  bool SetYMid(float mid) override;
  bool SetZMid(float mid) override;
  bool SetDim(uint32_t x, uint32_t y, uint32_t z) override;
  bool SetXDim(uint32_t dim) override { return SetDim(dim, g_.ydim, g_.zdim); }
  bool SetYDim(uint32_t dim) override { return SetDim(g_.xdim, dim, g_.zdim); }
  bool SetZDim(uint32_t dim) override { return SetDim(g_.xdim, g_.ydim, dim); }

  float GetInverseSpacing() const { return g_.inverse_spacing; }
  float GetXMin() const { return g_.xmin; }
  float GetYMin() const { return g_.ymin; }
  float GetZMin() const { return g_.zmin; }
  float GetXMax() const { return g_.xmax; }
  float GetYMax() const { return g_.ymax; }
  float GetZMax() const { return g_.zmax; }

  // Storage index of point (x, y, z); the caller keeps the point inside.
  uint32_t ElementIndex(uint32_t x, uint32_t y, uint32_t z) const {
    return x + g_.xdim * (y + g_.ydim * z);
  }
  bool Contains(uint32_t x, uint32_t y, uint32_t z) const {
    return x < g_.xdim && y < g_.ydim && z < g_.zdim;
  }
  // Cartesian coordinate of point index i along one axis.
  float GetXCoord(uint32_t i) const { return AxisCoord(g_.xmid, g_.xdim, i); }
  float GetYCoord(uint32_t i) const { return AxisCoord(g_.ymid, g_.ydim, i); }
  float GetZCoord(uint32_t i) const { return AxisCoord(g_.zmid, g_.zdim, i); }

  // Whether two grids lie on the same lattice (dimensions, midpoint, spacing).
  bool SameGeometry(const QvGridBase& other) const;

 protected:
  // The default grid: 1 x 1 x 1 at the origin, spacing 0.5, no flags set.
  QvGridBase();
  // Stores the geometry as given, without checks, and sets all four flags.
  QvGridBase(uint32_t xdim, uint32_t ydim, uint32_t zdim, float xmid, float ymid, float zmid,
             float spacing, std::string title);
  QvGridBase(const QvGridBase& other);
  // Copies generic data and title; the geometry goes through the setters so
  // that the values are reallocated when the dimensions change.
  QvGridBase& operator=(const QvGridBase& other);

  // Back to the default geometry and title with all flags clear; the caller
  // reallocates the values.
  void ResetGeometry();

 private:
  float AxisCoord(float mid, uint32_t dim, uint32_t i) const {
    return mid + (static_cast<float>(i) - (static_cast<float>(dim) - 1.0f) * 0.5f) * g_.spacing;
  }
  // Recomputes the box edges and the element count from dims, mids, spacing.
  void UpdateDerived();

  // Initialised to the default grid.
  struct Geometry {
    uint32_t xdim = 1, ydim = 1, zdim = 1;
    float xmid = 0.0f, ymid = 0.0f, zmid = 0.0f;
    float spacing = 0.5f;
    float inverse_spacing = 2.0f;
    uint8_t xmid_set = 0, ymid_set = 0, zmid_set = 0, spacing_set = 0;
    float xmax = 0.25f, ymax = 0.25f, zmax = 0.25f;
    float xmin = -0.25f, ymin = -0.25f, zmin = -0.25f;
    uint32_t size = 1;
  };

  std::string title_;
  Geometry g_;
};

}  // namespace Sorvil
