// One generic-data item: a tag, the identifier of its value type and a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "sorvil/base/tagregistry.h"
#include "sorvil/base/typeid.h"

namespace Sorvil {

class QvBaseData {
 public:
  // A copy is a new item: it belongs to no object's list yet.
  QvBaseData(const QvBaseData& other)
      : tag_(other.tag_), block_(other.block_), plain_(other.plain_), type_(other.type_) {}
  QvBaseData& operator=(const QvBaseData&) = delete;
  virtual ~QvBaseData() = default;

  QvTag GetTag() const { return tag_; }
  QvTypeId GetType() const { return type_; }
  template <class T>
  bool Holds() const { return type_ == QvDataType<T>::id; }

  virtual std::unique_ptr<QvBaseData> Clone() const = 0;

  // Readers make and drop a handful of items with every record, so items
  // of up to kCachedSize bytes come from free lists kept per thread rather
  // than from the heap each time. A block freed on another thread than the
  // one that made it joins that thread's list; a thread keeps at most
  // kCachedBytesPerSize bytes of blocks of each size (a model of a protein
  // frees two items per atom, which the next model takes back) and frees
  // them when it ends.
  static constexpr std::size_t kCachedSize = 160;
  static constexpr std::size_t kCachedBytesPerSize = std::size_t{256} << 10;
  // Cached blocks come in sizes of multiples of kBlockGrain bytes.
  static constexpr std::size_t kBlockGrain = 16;
  static void* operator new(std::size_t size);
  static void operator delete(void* block, std::size_t size) noexcept;

 protected:
  // `size` is that of the most derived class; `plain` that its value needs
  // no destructor.
  QvBaseData(QvTag tag, QvTypeId type, std::size_t size, bool plain)
      : tag_(tag), block_(BlockClass(size)), plain_(plain), type_(type) {}

 private:
  friend class QvBase;
  friend class QvDataRange;

  // Blocks beyond kCachedSize come from the heap and go back to it.
  static constexpr std::uint8_t kHeapBlock = 0xFF;
  static constexpr std::uint8_t BlockClass(std::size_t size) {
    return size > kCachedSize ? kHeapBlock : static_cast<std::uint8_t>((size - 1) / kBlockGrain);
  }
  static_assert(kCachedSize / kBlockGrain < kHeapBlock, "every cached size class fits in block_");

  QvTag tag_;
  // The size class of this item's block and whether its destructor may be
  // skipped: QvBase::ClearData frees a whole list without a virtual call
  // for items such as numbers (these two fill what would be padding).
  std::uint8_t block_;
  bool plain_;
  QvTypeId type_;
  // The owning object's next item; the last item points back to the first.
  QvBaseData* next_ = nullptr;
};

// Items of one value type. Any copyable type with a QvDataType entry serves.
template <class T>
class QvBaseDataT final : public QvBaseData {
 public:
  QvBaseDataT(QvTag tag, T value)
      : QvBaseData(tag, QvDataType<T>::id, sizeof(QvBaseDataT), kPlain), value_(std::move(value)) {}
  // The value made in place from `args`.
  template <class... Args>
  QvBaseDataT(QvTag tag, std::in_place_t, Args&&... args)
      : QvBaseData(tag, QvDataType<T>::id, sizeof(QvBaseDataT), kPlain), value_(std::forward<Args>(args)...) {}

  const T& Get() const { return value_; }
  T& Get() { return value_; }
  void Set(T value) { value_ = std::move(value); }

  std::unique_ptr<QvBaseData> Clone() const override {
    return std::make_unique<QvBaseDataT>(*this);
  }

 private:
  static constexpr bool kPlain = std::is_trivially_destructible_v<T>;
  T value_;
};

// The value of `item` if it holds a T, else null.
template <class T>
const T* QvDataValue(const QvBaseData& item) {
  return item.Holds<T>() ? &static_cast<const QvBaseDataT<T>&>(item).Get() : nullptr;
}
template <class T>
T* QvDataValue(QvBaseData& item) {
  return item.Holds<T>() ? &static_cast<QvBaseDataT<T>&>(item).Get() : nullptr;
}

}  // namespace Sorvil
