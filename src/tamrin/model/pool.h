// Storage for atom and bond records: blocks of 32 records, handed out in
// order, with freed records kept on a free list for reuse. Records never
// move, so pointers to them stay valid until they are freed; no record costs
// a heap allocation of its own. Clearing may keep the first few blocks for
// the records made next, so that a molecule read into again and again goes
// to the heap for none of them; it costs in proportion to the slots used.
// The blocks a destroyed pool frees are kept by the thread, a few of them,
// for the next pool it fills: a reader making one molecule after another
// then reuses memory that is still in the cache instead of going to the heap.
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
    Slot* slot = free_;
    if (slot)
      free_ = slot->next;
    else
      slot = Unused();
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

  // Destroys every live record, keeps the first `keep` blocks for the
  // records made next (handed out as in a new pool, in address order) and
  // frees the others.
  void Clear(size_t keep = 0) {
    for (size_t first = 0; first < used_; first += kBlockSize) {
      Slot* const slots = blocks_[first / kBlockSize]->slots;
      Slot* const end = slots + std::min(kBlockSize, used_ - first);
      for (Slot* slot = slots; slot != end; ++slot) {
        if (slot->live) std::launder(reinterpret_cast<T*>(slot->storage))->~T();
        slot->live = false;
      }
    }
    used_ = 0;
    free_ = nullptr;
    next_ = block_end_ = nullptr;
    keep = std::min(keep, blocks_.size());
    if (keep == blocks_.size()) return;
    if (!spares_gone) {
      Spares& spares = ThreadSpares();
      for (size_t i = keep; i < blocks_.size() && spares.count < Spares::kMax; ++i)
        spares.blocks[spares.count++] = blocks_[i].release();
    }
    blocks_.resize(keep);
    if (sorted_.size() > keep) sorted_.clear();
  }

  // The live record whose slot holds `address`, or null. Meant for callers
  // holding pointers they cannot vouch for (the Python binding); it keeps a
  // sorted index of the blocks for the lookup.
  const T* RecordAt(const void* address) const {
    // Blocks are only ever appended (or dropped from the end at once, which
    // empties the index), so the index catches up by inserting the newest ones.
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

  // The first slot never handed out since the pool was made or cleared.
  Slot* Unused() {
    if (next_ == block_end_) EnterBlock();
    ++used_;
    return next_++;
  }

  // Hands out the slots of the block after the ones used, made when missing.
  void EnterBlock() {
    if (used_ == blocks_.size() * kBlockSize) AddBlock();
    Slot* slots = blocks_[used_ / kBlockSize]->slots;
    next_ = slots;
    block_end_ = slots + kBlockSize;
  }

  void AddBlock() {
    // Default-initialised: records are made on demand; no slot is live.
    Spares* spares = spares_gone ? nullptr : &ThreadSpares();
    blocks_.push_back(std::unique_ptr<Block>(spares && spares->count ? spares->blocks[--spares->count] : new Block));
    for (Slot& slot : blocks_.back()->slots) slot.live = false;
  }

  std::vector<std::unique_ptr<Block>> blocks_;
  mutable std::vector<std::uintptr_t> sorted_;
  Slot* free_ = nullptr;
  size_t used_ = 0;  // slots handed out in order, from the first block on
  // The next slot to hand out in order and the end of its block; both null
  // until the first one.
  Slot* next_ = nullptr;
  Slot* block_end_ = nullptr;
};

}  // namespace Tamrin
