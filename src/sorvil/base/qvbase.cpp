#include "sorvil/base/qvbase.h"

#include <array>
#include <new>

#include "sorvil/error/errorhandler.h"

namespace Sorvil {

namespace {

constexpr std::size_t kGrain = QvBaseData::kBlockGrain;
constexpr std::size_t kSizes = QvBaseData::kCachedSize / kGrain;
// Under the address sanitizer every block goes back to the heap, so that a
// use after free is still caught (GCC and Clang say so differently).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SORVIL_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(SORVIL_ADDRESS_SANITIZER)
constexpr std::size_t kKeepBytes = 0;
#else
constexpr std::size_t kKeepBytes = QvBaseData::kCachedBytesPerSize;
#endif

struct FreeBlock {
  FreeBlock* next;
};

// Constant-initialised, so that reaching it costs no guard; `armed` tells
// whether this thread's Flusher is registered, `gone` that it has run.
struct ItemCache {
  FreeBlock* blocks[kSizes];
  unsigned counts[kSizes];
  bool armed;
  bool gone;
};
constinit thread_local ItemCache item_cache{};

// The calling thread's cache as a plain pointer, which a loop keeps in a
// register: the empty asm hides where it came from, or the compiler would
// look the thread-local up again after every call in the loop.
ItemCache& ThisThreadCache() {
  ItemCache* cache = &item_cache;
  asm("" : "+r"(cache));
  return *cache;
}

// Frees a thread's blocks when it ends; items freed after that (by other
// thread-local objects' destructors) go straight to the heap.
struct Flusher {
  ~Flusher() {
    ItemCache& cache = item_cache;
    cache.gone = true;
    for (std::size_t k = 0; k < kSizes; ++k)
      while (FreeBlock* block = cache.blocks[k]) {
        cache.blocks[k] = block->next;
        ::operator delete(block);
      }
  }
};

void Arm(ItemCache& cache) {
  thread_local Flusher flusher;
  (void)flusher;
  cache.armed = true;
}

// How many blocks of each size class a thread keeps.
constexpr std::array<unsigned, kSizes> kKeep = [] {
  std::array<unsigned, kSizes> keep{};
  for (std::size_t k = 0; k < kSizes; ++k) keep[k] = static_cast<unsigned>(kKeepBytes / ((k + 1) * kGrain));
  return keep;
}();

// Hands a block of size class `k` back to `cache`, or to the heap.
void Release(ItemCache& cache, void* block, std::size_t k) {
  if (cache.gone || cache.counts[k] >= kKeep[k]) return ::operator delete(block);
  cache.blocks[k] = ::new (block) FreeBlock{cache.blocks[k]};
  ++cache.counts[k];
  // Last, so that the common path finds the thread's cache once.
  if (!cache.armed) Arm(cache);
}

}  // namespace

void* QvBaseData::operator new(std::size_t size) {
  if (size > kCachedSize) return ::operator new(size);
  const std::size_t k = BlockClass(size);
  ItemCache& cache = item_cache;
  if (FreeBlock* block = cache.blocks[k]) {
    cache.blocks[k] = block->next;
    --cache.counts[k];
    return block;
  }
  return ::operator new((k + 1) * kGrain);
}

void QvBaseData::operator delete(void* block, std::size_t size) noexcept {
  if (!block) return;
  if (size > kCachedSize) return ::operator delete(block);
  Release(item_cache, block, BlockClass(size));
}

QvBase::QvBase(const QvBase& other) { CopyData(other); }

QvBase& QvBase::operator=(const QvBase& other) {
  if (this != &other) CopyData(other);
  return *this;
}

void QvBase::Clear() { ClearData(); }

void QvBase::ReportTypeMismatch() {
  QvErrorHandler::Warning("data type mismatch found when using generic data");
}

void QvBase::ClearData() {
  if (!last_) return;
  QvBaseData* item = last_->next_;
  last_->next_ = nullptr;  // the ring opens into a list that ends at the last item
  last_ = nullptr;
  // What `delete` does item by item, with the thread's cache found once and
  // no call at all for values without a destructor.
  ItemCache& cache = ThisThreadCache();
  while (item) {
    QvBaseData* next = item->next_;
    const std::uint8_t block = item->block_;
    if (!item->plain_) item->~QvBaseData();
    if (block == QvBaseData::kHeapBlock)
      ::operator delete(item);
    else
      Release(cache, item, block);
    item = next;
  }
}

size_t QvBase::NumData() const {
  size_t n = 0;
  for (const QvBaseData* item = First(); item; item = After(item)) ++n;
  return n;
}

void QvBase::Unlink(QvBaseData* prev, QvBaseData* item) {
  if (item == prev) {
    last_ = nullptr;
  } else {
    prev->next_ = item->next_;
    if (item == last_) last_ = prev;
  }
  delete item;
}

const QvBaseData* QvBase::GetDataItem(QvTag tag) const { return FindItem(tag); }

bool QvBase::SetData(std::unique_ptr<QvBaseData> item) {
  if (!item) return false;
  QvBaseData* prev = last_;
  for (QvBaseData* slot = First(); slot; prev = slot, slot = After(slot)) {
    if (slot->GetTag() != item->GetTag()) continue;
    if (slot->GetType() != item->GetType()) {
      ReportTypeMismatch();
      return false;
    }
    // The new item takes the old one's place in the ring.
    QvBaseData* fresh = item.release();
    fresh->next_ = slot->next_ == slot ? fresh : slot->next_;
    prev->next_ = fresh;
    if (slot == last_) last_ = fresh;
    delete slot;
    return true;
  }
  Append(item.release());
  return true;
}

void QvBase::AddData(std::unique_ptr<QvBaseData> item) {
  if (item) Append(item.release());
}

bool QvBase::DeleteData(QvTag tag) {
  return DeleteDataIf([tag](const QvBaseData& item) { return item.GetTag() == tag; }) != 0;
}

bool QvBase::DeleteData(const QvBaseData* item) {
  if (!item) return false;
  return DeleteDataIf([item](const QvBaseData& slot) { return &slot == item; }) != 0;
}

void QvBase::CopyData(const QvBase& other) {
  if (&other == this) return;
  ClearData();
  for (const QvBaseData* item = other.First(); item; item = other.After(item)) Append(item->Clone().release());
}

}  // namespace Sorvil
