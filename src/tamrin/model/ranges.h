// Ranges over the atoms, bonds and conformers of a molecule and the bonds of
// an atom. They walk the owner's list in order and skip deleted entries
// whenever the owner's deleted count is non-zero; they read the list and the
// count live, so deleting or appending while iterating is safe (appended
// entries are visited too). Sweep and Clear while iterating end the walk.
#pragma once

#include <cstddef>
#include <iterator>
#include <type_traits>
#include <utility>

namespace Tamrin {

// `List` is any indexable list of `Elem*` with size(); `T` is Elem or const Elem.
template <class T, class List>
class QvListRange {
 public:
  class iterator {
   public:
    using value_type = std::remove_const_t<T>;
    using difference_type = std::ptrdiff_t;
    using pointer = T*;
    using reference = T&;
    using iterator_category = std::forward_iterator_tag;

    iterator() = default;
    iterator(const List* list, const unsigned* deleted, size_t pos)
        : list_(list), deleted_(deleted), pos_(pos) { Skip(); }
    T& operator*() const { return *(*list_)[pos_]; }
    T* operator->() const { return (*list_)[pos_]; }
    iterator& operator++() {
      ++pos_;
      Skip();
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator& other) const { return pos_ == other.pos_; }
    bool operator==(std::default_sentinel_t) const { return pos_ >= list_->size(); }

   private:
    void Skip() {
      if (*deleted_ == 0) return;
      while (pos_ < list_->size() && (*list_)[pos_]->IsDeleted()) ++pos_;
    }
    const List* list_ = nullptr;
    const unsigned* deleted_ = nullptr;
    size_t pos_ = 0;
  };

  QvListRange(const List& list, const unsigned& deleted) : list_(&list), deleted_(&deleted) {}
  iterator begin() const { return iterator(list_, deleted_, 0); }
  std::default_sentinel_t end() const { return {}; }
  bool empty() const { return begin() == end(); }

 private:
  const List* list_;
  const unsigned* deleted_;
};

// The elements of `Range` for which `pred(const element&)` holds.
template <class Range, class Pred>
class QvFilteredRange {
  using Inner = decltype(std::declval<const Range&>().begin());

 public:
  class iterator {
   public:
    using value_type = typename Inner::value_type;
    using difference_type = std::ptrdiff_t;
    using pointer = typename Inner::pointer;
    using reference = typename Inner::reference;
    using iterator_category = std::forward_iterator_tag;

    iterator() = default;
    iterator(Inner it, const Pred* pred) : it_(it), pred_(pred) { Skip(); }
    reference operator*() const { return *it_; }
    pointer operator->() const { return &*it_; }
    iterator& operator++() {
      ++it_;
      Skip();
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator& other) const { return it_ == other.it_; }
    bool operator==(std::default_sentinel_t end) const { return it_ == end; }

   private:
    void Skip() {
      while (!(it_ == std::default_sentinel) && !(*pred_)(std::as_const(*it_))) ++it_;
    }
    Inner it_;
    const Pred* pred_ = nullptr;
  };

  QvFilteredRange(Range range, Pred pred) : range_(std::move(range)), pred_(std::move(pred)) {}
  iterator begin() const { return iterator(range_.begin(), &pred_); }
  std::default_sentinel_t end() const { return {}; }
  bool empty() const { return begin() == end(); }

 private:
  Range range_;
  Pred pred_;
};

}  // namespace Tamrin
