// Cartesian coordinates stored by atom index: three values of type T per
// index in one array, grown on demand and zero-filled. Reading an index past
// the end gives (0, 0, 0).
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

namespace Tamrin {

// Converts between floating-point types; a value beyond the range of T
// becomes an infinity of its sign instead of undefined behaviour.
template <class T, class U>
constexpr T QvNarrow(U value) {
  if constexpr (std::numeric_limits<T>::max() < std::numeric_limits<U>::max()) {
    constexpr U kMax = static_cast<U>(std::numeric_limits<T>::max());
    if (value > kMax) return std::numeric_limits<T>::infinity();
    if (value < -kMax) return -std::numeric_limits<T>::infinity();
  }
  return static_cast<T>(value);
}

// The capacity (in atoms) the table grows to when a write reaches past its end,
// for a molecule whose next atom index is `max_idx`. Small molecules grow in
// steps of 32 with at least one step of slack, large ones double.
constexpr unsigned QvCoordCapacity(unsigned max_idx) {
  if (max_idx > 160) return 2 * max_idx;
  return (max_idx & ~31u) + (max_idx % 32 != 0 ? 32 : 64);
}

// Marks an index that Sweep removed in a renumbering map.
inline constexpr unsigned kQvRemovedIdx = ~0u;

template <class T>
class QvCoordTable {
 public:
  unsigned capacity() const { return capacity_; }

  // Stores one triple, growing the table for a molecule with `max_idx` atom indices.
  template <class U>
  void Set(unsigned idx, const U* xyz, unsigned max_idx) {
    Reserve(idx, max_idx);
    written_ = std::max(written_, idx + 1);
    T* slot = values_.get() + 3 * size_t{idx};
    for (int i = 0; i < 3; ++i) slot[i] = QvNarrow<T>(xyz[i]);
  }

  template <class U>
  void Get(unsigned idx, U* xyz) const {
    if (idx >= capacity_) {
      std::fill_n(xyz, 3, U{});
      return;
    }
    const T* slot = values_.get() + 3 * size_t{idx};
    for (int i = 0; i < 3; ++i) xyz[i] = QvNarrow<U>(slot[i]);
  }

  // Stores `count` triples for indices 0 .. count - 1.
  template <class U>
  void SetAll(const U* xyz, unsigned count) {
    if (count == 0) return;
    Reserve(count - 1, count);
    written_ = std::max(written_, count);
    std::transform(xyz, xyz + 3 * size_t{count}, values_.get(),
                   [](U v) { return QvNarrow<T>(v); });
  }

  // Fills `count` triples, zeros past the end of the table.
  template <class U>
  void GetAll(U* xyz, unsigned count) const {
    const size_t stored = 3 * size_t{std::min(count, capacity_)};
    std::transform(values_.get(), values_.get() + stored, xyz,
                   [](T v) { return QvNarrow<U>(v); });
    std::fill(xyz + stored, xyz + 3 * size_t{count}, U{});
  }

  // Only the indices written since the last Zero can hold other values:
  // a molecule cleared again and again zeroes what its atoms used.
  void Zero() {
    std::fill_n(values_.get(), 3 * size_t{written_}, T{});
    written_ = 0;
  }

  void Reset() {
    values_.reset();
    capacity_ = 0;
    written_ = 0;
  }

  // Zeroes the table, keeping its storage when it has room for no more
  // than `keep` indices, else frees it.
  void Clear(unsigned keep) {
    if (capacity_ > keep)
      Reset();
    else
      Zero();
  }

  // Moves each triple from its old index i to `new_idx[i]` (dropping those
  // marked kQvRemovedIdx), for a molecule that now has `max_idx` indices.
  void Remap(const std::vector<unsigned>& new_idx, unsigned max_idx) {
    QvCoordTable moved;
    const unsigned old_count = std::min(capacity_, static_cast<unsigned>(new_idx.size()));
    for (unsigned i = 0; i < old_count; ++i)
      if (new_idx[i] != kQvRemovedIdx) moved.Set(new_idx[i], values_.get() + 3 * size_t{i}, max_idx);
    *this = std::move(moved);
  }

 private:
  void Reserve(unsigned idx, unsigned max_idx) {
    if (idx < capacity_) return;
    // An index at or past max_idx would be a caller's error; grow enough anyway.
    const unsigned grown = std::max(QvCoordCapacity(max_idx), QvCoordCapacity(idx + 1));
    auto values = std::make_unique<T[]>(3 * size_t{grown});  // zero-filled
    std::copy_n(values_.get(), 3 * size_t{capacity_}, values.get());
    values_ = std::move(values);
    capacity_ = grown;
  }

  std::unique_ptr<T[]> values_;
  unsigned capacity_ = 0;
  unsigned written_ = 0;  // indices below it may be nonzero; none at or above
};

}  // namespace Tamrin
