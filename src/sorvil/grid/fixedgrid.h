// The typed grid layer: one contiguous, zero-filled array of GetSize() values
// in storage order (x fastest, z slowest), owned by the grid.
//
// The array sits behind a shared pointer so that a borrower (the Python
// binding's array views) can keep a value array alive after the grid has
// replaced or dropped it; without borrowers it dies with the grid. Copies of
// a grid never share values.
//
// Constructors throw std::bad_alloc when the value array cannot be allocated;
// setters report the failure and return false instead.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

#include "sorvil/error/errorhandler.h"
#include "sorvil/grid/gridbase.h"

namespace Sorvil {

// Type identifier of QvFixedGrid<T>, one per instantiated value type.
template <typename T>
inline constexpr QvTypeId kQvFixedGridTypeId = 0;
template <>
inline constexpr QvTypeId kQvFixedGridTypeId<float> = QvTypeIdFromName("Sorvil::QvFixedGrid<float>");

template <typename T>
class QvFixedGrid : public QvGridBase {
  // calloc's all-zero bytes are the value 0 only for plain numbers.
  static_assert(std::is_arithmetic_v<T>, "grid values are plain numbers");
  static_assert(kQvFixedGridTypeId<T> != 0, "give each value type its own type identifier");

 public:
  static constexpr QvTypeId TypeId = kQvFixedGridTypeId<T>;

  QvFixedGrid() { Allocate(); }
  // Geometry as given, unchecked; copies GetSize() values from `values` when
  // it is not null, else the values are 0.
  QvFixedGrid(uint32_t xdim, uint32_t ydim, uint32_t zdim, float xmid, float ymid, float zmid,
              float spacing, std::string title, const T* values = nullptr)
      : QvGridBase(xdim, ydim, zdim, xmid, ymid, zmid, spacing, std::move(title)) {
    Allocate();
    if (values != nullptr) std::copy_n(values, GetSize(), values_.get());
  }
  QvFixedGrid(const QvFixedGrid& other) : QvGridBase(other) {
    Allocate();
    std::copy_n(other.values_.get(), GetSize(), values_.get());
  }
  QvFixedGrid& operator=(const QvFixedGrid& other) {
    if (this == &other) return *this;
    QvGridBase::operator=(other);
    // A setter may have refused the source's geometry (no memory for its
    // dimensions, or a NaN midpoint that an unchecked constructor let in);
    // values of another lattice would mean nothing here.
    if (SameGeometry(other)) std::copy_n(other.values_.get(), GetSize(), values_.get());
    return *this;
  }
  ~QvFixedGrid() override = default;

  QvTypeId GetType() const override { return TypeId; }
  bool IsA(QvTypeId type) const override { return type == TypeId || QvGridBase::IsA(type); }
  QvFixedGrid* CreateCopy() const override { return new QvFixedGrid(*this); }

  bool Reallocate() override {
    std::shared_ptr<T[]> fresh = ZeroArray(GetSize());
    if (!fresh && GetSize() != 0) {
      QvErrorHandler::Warning("Unable to allocate memory for %lu grid values",
                              static_cast<unsigned long>(GetSize()));
      return false;
    }
    values_ = std::move(fresh);
    return true;
  }

  // `count` is wider than the element count so that no caller's length can
  // wrap around to a matching size.
  virtual bool SetValues(const T* values, size_t count) {
    if (count != GetSize()) {
      QvErrorHandler::Warning("Attempting to set grid data with wrong size array");
      return false;
    }
    if (values == nullptr) {
      QvErrorHandler::Warning("Attempting to set grid data with zero pointer");
      return false;
    }
    std::copy_n(values, count, values_.get());
    return true;
  }

  // The GetSize() values in storage order; null only for a grid of no points.
  T* GetValues() { return values_.get(); }
  const T* GetValues() const { return values_.get(); }
  // Shared ownership of the current array, for views that may outlive it.
  std::shared_ptr<T[]> ShareValues() const { return values_; }

  // Unchecked access for loops that stay inside the lattice.
  T& operator()(uint32_t x, uint32_t y, uint32_t z) { return values_[ElementIndex(x, y, z)]; }
  const T& operator()(uint32_t x, uint32_t y, uint32_t z) const {
    return values_[ElementIndex(x, y, z)];
  }
  // Checked access: points outside the lattice read as 0 and are not written.
  T GetValue(uint32_t x, uint32_t y, uint32_t z) const {
    return Contains(x, y, z) ? (*this)(x, y, z) : T{};
  }
  bool SetValue(uint32_t x, uint32_t y, uint32_t z, T value) {
    if (!Contains(x, y, z)) return false;
    (*this)(x, y, z) = value;
    return true;
  }

 private:
  struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
  };

  // calloc rather than new T[]() because large arrays then come as untouched
  // zero pages instead of being written twice (zeroed here, filled by a reader).
  // Null when the memory cannot be had.
  static std::shared_ptr<T[]> ZeroArray(uint32_t count) noexcept {
    if (count == 0) return nullptr;
    std::unique_ptr<T[], FreeDeleter> raw(static_cast<T*>(std::calloc(count, sizeof(T))));
    if (!raw) return nullptr;
    try {
      return std::shared_ptr<T[]>(std::move(raw));
    } catch (const std::bad_alloc&) {  // the control block; `raw` still frees the array
      return nullptr;
    }
  }

  void Allocate() {
    values_ = ZeroArray(GetSize());
    if (!values_ && GetSize() != 0) throw std::bad_alloc();
  }

  std::shared_ptr<T[]> values_;
};

extern template class QvFixedGrid<float>;

}  // namespace Sorvil
