// A list of pointers with room for four in place, so that an atom's bond list
// costs no heap allocation until the fifth bond.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace Tamrin {

template <class T>
class QvPtrList {
 public:
  static constexpr size_t kInline = 4;

  QvPtrList() = default;
  QvPtrList(const QvPtrList&) = delete;
  QvPtrList& operator=(const QvPtrList&) = delete;
  ~QvPtrList() {
    if (data_ != inline_) delete[] data_;
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* operator[](size_t i) const { return data_[i]; }
  T* const* data() const { return data_; }
  T* const* begin() const { return data_; }
  T* const* end() const { return data_ + size_; }

  // Inlined into the readers' loops; growing, at the fifth entry, stays out of line.
  [[gnu::always_inline]] void push_back(T* item) {
    if (size_ == capacity_) [[unlikely]] Grow();
    data_[size_++] = item;
  }

  // Removes the entries for which `pred(T*)` holds, keeping the order of the rest.
  template <class Pred>
  size_t erase_if(Pred pred) {
    T** last = std::remove_if(data_, data_ + size_, pred);
    const auto removed = static_cast<std::uint32_t>(data_ + size_ - last);
    size_ -= removed;
    return removed;
  }

 private:
  [[gnu::noinline]] void Grow() {
    const std::uint32_t grown = capacity_ * 2;
    T** bigger = new T*[grown];
    std::copy_n(data_, size_, bigger);
    if (data_ != inline_) delete[] data_;
    data_ = bigger;
    capacity_ = grown;
  }

  // Left uninitialised: only the first size_ entries are ever read, and
  // readers make one list per atom they read.
  T* inline_[kInline];
  // The entries: inline_ until the list outgrows it, then an array of its
  // own. The list never moves (copying is deleted), so the pointer into
  // itself stays valid.
  T** data_ = inline_;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = kInline;
};

}  // namespace Tamrin
