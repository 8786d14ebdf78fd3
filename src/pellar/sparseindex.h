#pragma once

// Values keyed by a positive number that a file chose (an atom index, a bond
// number), where the numbers are usually 1..n in order but a damaged or
// hostile file may name any of them. Memory follows the entries actually
// made, never the largest number named: keys up to a small multiple of the
// entries so far sit in a dense array, any other in an ordered map. So
// a record whose one atom is numbered 10^7 costs one entry, not 10^7 slots.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace Pellar {

template <class T, T kNone>
class SparseIndex {
 public:
  void clear() {
    dense_.clear();
    sparse_.clear();
    entries_ = 0;
  }

  // The value stored under `key`, or kNone.
  T find(std::uint64_t key) const {
    if (key < dense_.size() && dense_[static_cast<std::size_t>(key)] != kNone)
      return dense_[static_cast<std::size_t>(key)];
    if (sparse_.empty()) return kNone;
    const auto at = sparse_.find(key);
    return at != sparse_.end() ? at->second : kNone;
  }

  // False, storing nothing, when `key` already holds a value.
  bool insert(std::uint64_t key, T value) {
    if (find(key) != kNone) return false;
    const std::uint64_t room = 2 * entries_ + kDenseFloor;
    if (key >= dense_.size() && key < room) {
      const std::uint64_t grown = std::min<std::uint64_t>(room, std::max<std::uint64_t>(key + 1, 2 * dense_.size()));
      dense_.resize(static_cast<std::size_t>(grown), kNone);
    }
    if (key < dense_.size()) {
      dense_[static_cast<std::size_t>(key)] = value;
    } else {
      sparse_.emplace(key, value);
    }
    ++entries_;
    return true;
  }

 private:
  static constexpr std::uint64_t kDenseFloor = 1024;

  std::vector<T> dense_;
  std::map<std::uint64_t, T> sparse_;
  std::uint64_t entries_ = 0;
};

}  // namespace Pellar
