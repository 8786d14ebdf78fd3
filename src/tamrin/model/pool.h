// Storage for atom and bond records: blocks of 32 records, with freed records
// kept on a free list for reuse. Records never move, so pointers to them stay
// valid until they are freed; no record costs a heap allocation of its own.
// The blocks of a cleared pool are kept by the thread, a few of them, for
// the next pool it fills: a reader making one molecule after another then
// reuses memory that is still in the cache instead of going to the heap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace Tamrin {

template <class T>
class QvRecordPool {
 public:
  static constexpr size_t kBlockSize = 32;

  QvRecordPool() = default;
  QvRecordPool(const QvRecordPool&) = delete;
  QvRecordPool& operator=(const QvRecordPool&) = delete;
  ~QvRecordPool() { Clear(); }

  template <class... Args>
  T* New(Args&&... args) {
    if (!free_) AddBlock();
    Slot* slot = free_;
    free_ = slot->next;
    T* record = ::new (static_cast<void*>(slot->storage)) T(std::forward<Args>(args)...);
    slot->live = true;
    return record;
  }

  // Destroys a record of this pool and puts its slot on the free list.
  void Delete(T* record) {
    Slot* slot = SlotOf(record);
    record->~T();
    slot->live = false;
    slot->next = free_;
    free_ = slot;
  }

  // Destroys every live record and frees all blocks.
  void Clear() {
    for (auto& block : blocks_)
      for (Slot& slot : block->slots)
        if (slot.live) std::launder(reinterpret_cast<T*>(slot.storage))->~T();
    if (!spares_gone) {
      Spares& spares = ThreadSpares();
      for (auto& block : blocks_)
        if (spares.count < Spares::kMax) spares.blocks[spares.count++] = block.release();
    }
    blocks_.clear();
    sorted_.clear();
    free_ = nullptr;
  }

  // The live record whose slot holds `address`, or null. Meant for callers
  // holding pointers they cannot vouch for (the Python binding); it keeps a
  // sorted index of the blocks for the lookup.
  const T* RecordAt(const void* address) const {
    // Blocks are only ever appended (or all freed at once), so the index
    // catches up by inserting the newest ones.
    while (sorted_.size() < blocks_.size()) {
      const std::uintptr_t block = Address(blocks_[sorted_.size()].get());
      sorted_.insert(std::lower_bound(sorted_.begin(), sorted_.end(), block), block);
    }
    const std::uintptr_t where = Address(address);
    auto it = std::upper_bound(sorted_.begin(), sorted_.end(), where);
    if (it == sorted_.begin()) return nullptr;
    const std::uintptr_t offset = where - *--it;
    if (offset >= sizeof(Block)) return nullptr;
    const Slot& slot = reinterpret_cast<const Block*>(*it)->slots[offset / sizeof(Slot)];
    return slot.live ? std::launder(reinterpret_cast<const T*>(slot.storage)) : nullptr;
  }

 private:
  // The record comes first, so a record's address is its slot's address.
  struct Slot {
    alignas(T) std::byte storage[sizeof(T)];
    Slot* next;
    bool live;
  };
  struct Block {
    Slot slots[kBlockSize];
  };

  // Emptied blocks kept for reuse by this thread, freed when it ends. A pool
  // cleared after that (a static molecule at exit) frees its blocks.
  struct Spares {
    static constexpr unsigned kMax = 8;
    Block* blocks[kMax];
    unsigned count = 0;
    ~Spares() {
      spares_gone = true;
      while (count) delete blocks[--count];
    }
  };
  static Spares& ThreadSpares() {
    thread_local Spares spares;
    return spares;
  }
  static inline thread_local bool spares_gone = false;

  static Slot* SlotOf(T* record) { return reinterpret_cast<Slot*>(record); }
  static std::uintptr_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

  void AddBlock() {
    // Default-initialised: the slots are threaded below, records made on demand.
    Spares* spares = spares_gone ? nullptr : &ThreadSpares();
    blocks_.push_back(std::unique_ptr<Block>(spares && spares->count ? spares->blocks[--spares->count] : new Block));
    Slot* slots = blocks_.back()->slots;
    // Thread in reverse so that records are handed out in address order.
    for (size_t i = kBlockSize; i-- > 0;) {
      slots[i].live = false;
      slots[i].next = free_;
      free_ = &slots[i];
    }
  }

  std::vector<std::unique_ptr<Block>> blocks_;
  mutable std::vector<std::uintptr_t> sorted_;
  Slot* free_ = nullptr;
};

}  // namespace Tamrin
