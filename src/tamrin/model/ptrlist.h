// A list of pointers with room for four in place, so that an atom's bond list
// costs no heap allocation until the fifth bond.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Tamrin {

template <class T>
class QvPtrList {
 public:
  static constexpr size_t kInline = 4;

  QvPtrList() = default;
  QvPtrList(const QvPtrList&) = delete;
  QvPtrList& operator=(const QvPtrList&) = delete;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* operator[](size_t i) const { return data()[i]; }
  T* const* data() const { return heap_ ? heap_.get() : inline_; }
  T* const* begin() const { return data(); }
  T* const* end() const { return data() + size_; }

  // Inlined into the readers' loops; growing, at the fifth entry, stays out of line.
  [[gnu::always_inline]] void push_back(T* item) {
    if (size_ == capacity_) [[unlikely]] Grow();
    Mutable()[size_++] = item;
  }

  // Removes the entries for which `pred(T*)` holds, keeping the order of the rest.
  template <class Pred>
  size_t erase_if(Pred pred) {
    T** first = Mutable();
    T** last = std::remove_if(first, first + size_, pred);
    const auto removed = static_cast<std::uint32_t>(first + size_ - last);
    size_ -= removed;
    return removed;
  }

 private:
  T** Mutable() { return heap_ ? heap_.get() : inline_; }

  [[gnu::noinline]] void Grow() {
    const std::uint32_t grown = capacity_ * 2;
    auto bigger = std::make_unique<T*[]>(grown);
    std::copy_n(Mutable(), size_, bigger.get());
    heap_ = std::move(bigger);
    capacity_ = grown;
  }

  T* inline_[kInline] = {};
  std::unique_ptr<T*[]> heap_;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = kInline;
};

}  // namespace Tamrin
