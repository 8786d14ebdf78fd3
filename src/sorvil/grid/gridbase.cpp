#include "sorvil/grid/gridbase.h"

#include <cmath>
#include <limits>
#include <utility>

#include "sorvil/error/errorhandler.h"

namespace Sorvil {
namespace {

// The element count must fit in 32 bits: values are indexed with uint32_t.
// Reports the first product that does not fit, as the two factors.
bool ElementCount(uint32_t x, uint32_t y, uint32_t z, uint32_t& count) {
  constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
  const uint64_t xy = uint64_t{x} * y;
  if (xy > kMax) {
    QvErrorHandler::Warning("Grid dimensions too large for memory size: %lu x %lu",
                            static_cast<unsigned long>(x), static_cast<unsigned long>(y));
    return false;
  }
  const uint64_t xyz = xy * z;
  if (xyz > kMax) {
    QvErrorHandler::Warning("Grid dimensions too large for memory size: %lu x %lu",
                            static_cast<unsigned long>(xy), static_cast<unsigned long>(z));
    return false;
  }
  count = static_cast<uint32_t>(xyz);
  return true;
}

void AxisEdges(float mid, uint32_t dim, float spacing, float& min, float& max) {
  const float half = static_cast<float>(dim) * 0.5f * spacing;
  max = mid + half;
  min = mid - half;
}

}  // namespace

QvGridBase::QvGridBase() = default;

QvGridBase::QvGridBase(uint32_t xdim, uint32_t ydim, uint32_t zdim, float xmid, float ymid,
                       float zmid, float spacing, std::string title)
    : title_(std::move(title)) {
  // Callers validate; the one thing not left to them is an element count that
  // would wrap, since every index computation relies on it. Such a grid keeps
  // the default dimensions (the warning says why).
  uint32_t count = 0;
  if (ElementCount(xdim, ydim, zdim, count)) {
    g_.xdim = xdim;
    g_.ydim = ydim;
    g_.zdim = zdim;
  }
  g_.xmid = xmid;
  g_.ymid = ymid;
  g_.zmid = zmid;
  g_.spacing = spacing;
  g_.inverse_spacing = 1.0f / spacing;
  g_.xmid_set = g_.ymid_set = g_.zmid_set = g_.spacing_set = 1;
  UpdateDerived();
}

QvGridBase::QvGridBase(const QvGridBase& other)
    : QvGridAbstractBase(other), title_(other.title_), g_(other.g_) {
  UpdateDerived();
}

QvGridBase& QvGridBase::operator=(const QvGridBase& other) {
  if (this == &other) return *this;
  QvGridAbstractBase::operator=(other);
  title_ = other.title_;
  if (g_.xdim != other.g_.xdim || g_.ydim != other.g_.ydim || g_.zdim != other.g_.zdim) {
    SetDim(other.g_.xdim, other.g_.ydim, other.g_.zdim);
  }
  if (g_.xmid != other.g_.xmid) SetXMid(other.g_.xmid);
  if (g_.ymid != other.g_.ymid) SetYMid(other.g_.ymid);
  if (g_.zmid != other.g_.zmid) SetZMid(other.g_.zmid);
  if (g_.spacing != other.g_.spacing) SetSpacing(other.g_.spacing);
  return *this;
}

void QvGridBase::Clear() {
  QvGridAbstractBase::Clear();
  title_.clear();
  Reallocate();
}

void QvGridBase::ResetGeometry() {
  title_.clear();
  g_ = Geometry{};
}

bool QvGridBase::SetTitle(const std::string& title) {
  title_ = title;
  return true;
}

bool QvGridBase::GetDim(uint32_t& x, uint32_t& y, uint32_t& z) const {
  x = g_.xdim;
  y = g_.ydim;
  z = g_.zdim;
  return true;
}

bool QvGridBase::GetMid(float& x, float& y, float& z) const {
  x = g_.xmid;
  y = g_.ymid;
  z = g_.zmid;
  return g_.xmid_set && g_.ymid_set && g_.zmid_set;
}

bool QvGridBase::SetSpacing(float spacing) {
  if (std::isnan(spacing)) {
    QvErrorHandler::Warning("SetSpacing unable to handle NaN: %f", static_cast<double>(spacing));
    return false;
  }
  if (spacing <= 0.0f) return false;
  g_.spacing = spacing;
  g_.inverse_spacing = 1.0f / spacing;
  g_.spacing_set = 1;
  UpdateDerived();
  return true;
}

bool QvGridBase::SetMid(float x, float y, float z) {
  // Every axis is tried, so that one bad coordinate does not hide another's warning.
  const bool ok_x = SetXMid(x);
  const bool ok_y = SetYMid(y);
  const bool ok_z = SetZMid(z);
  return ok_x && ok_y && ok_z;
}

namespace {

bool StoreMid(const char* setter, float mid, float& field, uint8_t& flag) {
  if (std::isnan(mid)) {
    QvErrorHandler::Warning("%s unable to handle NaN: %f", setter, static_cast<double>(mid));
    return false;
  }
  field = mid;
  flag = 1;
  return true;
}

}  // namespace

bool QvGridBase::SetXMid(float mid) {
  if (!StoreMid("SetXMid", mid, g_.xmid, g_.xmid_set)) return false;
  UpdateDerived();
  return true;
}

bool QvGridBase::SetYMid(float mid) {
  if (!StoreMid("SetYMid", mid, g_.ymid, g_.ymid_set)) return false;
  UpdateDerived();
  return true;
}

bool QvGridBase::SetZMid(float mid) {
  if (!StoreMid("SetZMid", mid, g_.zmid, g_.zmid_set)) return false;
  UpdateDerived();
  return true;
}

bool QvGridBase::SetDim(uint32_t x, uint32_t y, uint32_t z) {
  if (x == 0 || y == 0 || z == 0) return false;
  if (x == g_.xdim && y == g_.ydim && z == g_.zdim) return true;
  uint32_t count = 0;
  if (!ElementCount(x, y, z, count)) return false;
  const Geometry old = g_;
  g_.xdim = x;
  g_.ydim = y;
  g_.zdim = z;
  UpdateDerived();
  if (!Reallocate()) {
    g_ = old;  // a failed setter leaves the grid as it was
    return false;
  }
  return true;
}

bool QvGridBase::SameGeometry(const QvGridBase& other) const {
  return g_.xdim == other.g_.xdim && g_.ydim == other.g_.ydim && g_.zdim == other.g_.zdim &&
         g_.xmid == other.g_.xmid && g_.ymid == other.g_.ymid && g_.zmid == other.g_.zmid &&
         g_.spacing == other.g_.spacing;
}

void QvGridBase::UpdateDerived() {
  AxisEdges(g_.xmid, g_.xdim, g_.spacing, g_.xmin, g_.xmax);
  AxisEdges(g_.ymid, g_.ydim, g_.spacing, g_.ymin, g_.ymax);
  AxisEdges(g_.zmid, g_.zdim, g_.spacing, g_.zmin, g_.zmax);
  // Dimensions only ever reach g_ after ElementCount accepted them.
  g_.size = g_.xdim * g_.ydim * g_.zdim;
}

}  // namespace Sorvil
