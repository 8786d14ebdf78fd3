// Root of every molecule, atom, bond, conformer and grid: a class identifier
// and an ordered list of generic-data items.
//
// The items form a ring that the object holds by its last item, so an object
// without data costs one null pointer and each item is one allocation (atoms
// of residue and force-field files carry several each). Items keep their
// insertion order; SetData replaces the first item with the same tag, AddData
// always appends (for repeated items such as SD data pairs). Reading or
// replacing an item as a type other than the one stored warns "data type
// mismatch found when using generic data" through the error handler and
// leaves the item unchanged.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "sorvil/base/basedata.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/base/typeid.h"

namespace Sorvil {

// Iterates the items of one object in order, all of them or those of one tag.
class QvDataRange {
 public:
  class iterator {
   public:
    using value_type = QvBaseData;
    using difference_type = std::ptrdiff_t;
    using pointer = const QvBaseData*;
    using reference = const QvBaseData&;
    using iterator_category = std::forward_iterator_tag;

    iterator() = default;
    iterator(const QvBaseData* pos, const QvBaseData* last, bool filter, QvTag tag)
        : pos_(pos), last_(last), filter_(filter), tag_(tag) { Skip(); }
    const QvBaseData& operator*() const { return *pos_; }
    const QvBaseData* operator->() const { return pos_; }
    iterator& operator++() {
      Step();
      Skip();
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator& other) const { return pos_ == other.pos_; }

   private:
    void Step() { pos_ = pos_ == last_ ? nullptr : pos_->next_; }
    void Skip() {
      if (!filter_) return;
      while (pos_ && pos_->GetTag() != tag_) Step();
    }
    const QvBaseData* pos_ = nullptr;
    const QvBaseData* last_ = nullptr;
    bool filter_ = false;
    QvTag tag_ = QvNoTag;
  };

  // Every item, or with `filter` those with `tag`; `last` is the object's last item.
  QvDataRange(const QvBaseData* last, bool filter, QvTag tag) : last_(last), filter_(filter), tag_(tag) {}
  iterator begin() const { return last_ ? iterator(last_->next_, last_, filter_, tag_) : iterator(); }
  iterator end() const { return iterator(); }
  bool empty() const { return begin() == end(); }

 private:
  const QvBaseData* last_;
  bool filter_;
  QvTag tag_;
};

class QvBase {
 public:
  static constexpr QvTypeId TypeId = QvTypeIdFromName("Sorvil::QvBase");

  QvBase() = default;
  QvBase(const QvBase& other);
  QvBase(QvBase&& other) noexcept : last_(std::exchange(other.last_, nullptr)) {}
  QvBase& operator=(const QvBase& other);
  QvBase& operator=(QvBase&& other) noexcept {
    if (this != &other) {
      ClearData();
      last_ = std::exchange(other.last_, nullptr);
    }
    return *this;
  }
  // Most atoms and bonds carry no data: they leave without a call.
  virtual ~QvBase() {
    if (last_) ClearData();
  }

  // Empties the object; here, its generic data.
  virtual void Clear();
  // The identifier of the most derived class.
  virtual QvTypeId GetType() const { return TypeId; }
  // True for the identifier of this class or of any of its bases.
  virtual bool IsA(QvTypeId type) const { return type == TypeId; }

  // Replaces the value of the first item with `tag`, or appends a new item.
  template <class T>
  bool SetData(QvTag tag, T value);
  bool SetData(QvTag tag, const char* value) { return SetData(tag, std::string(value ? value : "")); }
  bool SetData(QvTag tag, std::string_view value) { return SetData(tag, std::string(value)); }
  // Replaces the first item with the same tag (when it holds the same type) or appends.
  bool SetData(std::unique_ptr<QvBaseData> item);

  // Appends without looking for an item with the same tag.
  template <class T>
  void AddData(QvTag tag, T value) {
    Append(new QvBaseDataT<T>(tag, std::move(value)));
  }
  // Appends an item whose value is made in place from `args`.
  template <class T, class... Args>
  void EmplaceData(QvTag tag, Args&&... args) {
    Append(new QvBaseDataT<T>(tag, std::in_place, std::forward<Args>(args)...));
  }
  void AddData(QvTag tag, const char* value) { AddData(tag, std::string(value ? value : "")); }
  void AddData(QvTag tag, std::string_view value) { AddData(tag, std::string(value)); }
  void AddData(std::unique_ptr<QvBaseData> item);

  // The value of the first item with `tag`; T{} when absent or of another type.
  template <class T>
  T GetData(QvTag tag) const;
  // The value of the first item with `tag` if it holds a T, else null (no warning).
  template <class T>
  const T* GetDataPtr(QvTag tag) const;
  // The first item with `tag`, of any type, or null.
  const QvBaseData* GetDataItem(QvTag tag) const;

  bool HasData(QvTag tag) const { return GetDataItem(tag) != nullptr; }
  // Removes every item with `tag`; false when there was none.
  bool DeleteData(QvTag tag);
  // Removes this one item (compared by address); false when not ours.
  bool DeleteData(const QvBaseData* item);
  // Removes the items for which `pred(const QvBaseData&)` holds; returns how many.
  template <class Pred>
  size_t DeleteDataIf(Pred pred) {
    size_t removed = 0;
    if (!last_) return removed;
    QvBaseData* prev = last_;
    for (bool more = true; more;) {
      QvBaseData* item = prev->next_;
      more = item != last_;
      if (pred(std::as_const(*item))) {
        Unlink(prev, item);
        ++removed;
      } else {
        prev = item;
      }
    }
    return removed;
  }
  // The first item for which `pred(const QvBaseData&)` holds, or null.
  template <class Pred>
  QvBaseData* FindDataIf(Pred pred) {
    for (QvBaseData* item = First(); item; item = After(item))
      if (pred(std::as_const(*item))) return item;
    return nullptr;
  }
  void ClearData();
  // Replaces this object's items with copies of `other`'s.
  void CopyData(const QvBase& other);

  size_t NumData() const;
  QvDataRange GetDataItems() const { return QvDataRange(last_, false, QvNoTag); }
  QvDataRange GetDataItems(QvTag tag) const { return QvDataRange(last_, true, tag); }

 protected:
  // Warns "data type mismatch found when using generic data".
  static void ReportTypeMismatch();

 private:
  QvBaseData* First() const { return last_ ? last_->next_ : nullptr; }
  QvBaseData* After(const QvBaseData* item) const { return item == last_ ? nullptr : item->next_; }
  QvBaseData* FindItem(QvTag tag) const {
    for (QvBaseData* item = First(); item; item = After(item))
      if (item->GetTag() == tag) return item;
    return nullptr;
  }
  void Append(QvBaseData* item) {
    item->next_ = last_ ? std::exchange(last_->next_, item) : item;
    last_ = item;
  }
  // Takes `item`, which follows `prev`, out of the ring and deletes it.
  void Unlink(QvBaseData* prev, QvBaseData* item);

  QvBaseData* last_ = nullptr;
};

template <class T>
bool QvBase::SetData(QvTag tag, T value) {
  QvBaseData* item = FindItem(tag);
  if (!item) {
    Append(new QvBaseDataT<T>(tag, std::move(value)));
    return true;
  }
  T* slot = QvDataValue<T>(*item);
  if (!slot) {
    ReportTypeMismatch();
    return false;
  }
  *slot = std::move(value);
  return true;
}

template <class T>
T QvBase::GetData(QvTag tag) const {
  const QvBaseData* item = FindItem(tag);
  if (!item) return T{};
  const T* value = QvDataValue<T>(*item);
  if (!value) {
    ReportTypeMismatch();
    return T{};
  }
  return *value;
}

template <class T>
const T* QvBase::GetDataPtr(QvTag tag) const {
  const QvBaseData* item = FindItem(tag);
  return item ? QvDataValue<T>(*item) : nullptr;
}

// `object` as a T when its class is T or derives from it, else null.
template <class T>
T* QvCast(QvBase* object) {
  return object && object->IsA(T::TypeId) ? static_cast<T*>(object) : nullptr;
}
template <class T>
const T* QvCast(const QvBase* object) {
  return object && object->IsA(T::TypeId) ? static_cast<const T*>(object) : nullptr;
}

}  // namespace Sorvil
