// A bin of molecules their owners dropped, from which readers take the
// molecule they read into next. A molecule made on one thread and dropped on
// another (read by a worker, dropped by Python on the calling thread) then
// goes back to a reader instead of to the heap of the thread that made it,
// whose lock both threads would otherwise wait on; and its record blocks,
// lists, title and coordinate storage serve again.
//
// A dropped molecule is cleared when it is taken, on the taking thread, so
// that what its atoms and data own is freed where it was most likely made.
// A bin holds a bounded number of molecules, and only small ones: a full bin
// or a large molecule frees the molecule at once.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>

#include "tamrin/model/molimpl.h"

namespace Tamrin {

class QvMolBin {
 public:
  // Enough for the molecules a parallel reader has in flight on a few
  // threads (a few batches of 32 per worker): with fewer, the workers make
  // new molecules while the caller frees as many.
  static constexpr std::size_t kCapacity = 256;

  // The one the readers of the process share. Never destroyed: molecules
  // may be dropped while the process ends, after static objects are gone.
  static QvMolBin& Shared();

  QvMolBin() = default;
  QvMolBin(const QvMolBin&) = delete;
  QvMolBin& operator=(const QvMolBin&) = delete;
  ~QvMolBin();

  // An empty molecule: the one put in last, cleared, or a new one.
  std::unique_ptr<QvGraphMolImpl> Take();
  // The same uncleared, for a reader whose first step clears the molecule
  // anyway (as the toolkit's molecule readers do); still on this thread.
  std::unique_ptr<QvGraphMolImpl> TakeForReading();
  // Keeps a molecule no one refers to any more, or frees it.
  void Put(std::unique_ptr<QvGraphMolImpl> mol);
  // The molecules kept.
  std::size_t Size();

 private:
  // The first molecule put into an empty bin waits here, outside the lock,
  // and is taken last: a reader whose caller drops each molecule before it
  // asks for the next (the common loop) passes one molecule back and forth
  // through this slot without locking.
  std::atomic<QvGraphMolImpl*> front_{nullptr};
  std::mutex mutex_;
  std::array<QvGraphMolImpl*, kCapacity - 1> mols_{};
  // Changed under the lock; read without it to tell whether the front slot
  // is the one to take from.
  std::atomic<std::size_t> count_{0};
};

// Take and Put on the shared bin.
inline std::unique_ptr<QvGraphMolImpl> QvTakeMol() { return QvMolBin::Shared().Take(); }
inline void QvRecycleMol(std::unique_ptr<QvGraphMolImpl> mol) { QvMolBin::Shared().Put(std::move(mol)); }

}  // namespace Tamrin
