#include "tamrin/model/molbin.h"

#include <utility>

namespace Tamrin {

QvMolBin& QvMolBin::Shared() {
  static QvMolBin* bin = new QvMolBin;
  return *bin;
}

QvMolBin::~QvMolBin() {
  delete front_.load();
  for (std::size_t i = 0; i < count_; ++i) delete mols_[i];
}

std::unique_ptr<QvGraphMolImpl> QvMolBin::Take() {
  std::unique_ptr<QvGraphMolImpl> mol = TakeForReading();
  mol->Clear();
  return mol;
}

std::unique_ptr<QvGraphMolImpl> QvMolBin::TakeForReading() {
  if (count_.load(std::memory_order_relaxed) != 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const std::size_t count = count_.load(std::memory_order_relaxed)) {
      count_.store(count - 1, std::memory_order_relaxed);
      return std::unique_ptr<QvGraphMolImpl>(mols_[count - 1]);
    }
  }
  if (QvGraphMolImpl* mol = front_.exchange(nullptr, std::memory_order_acquire))
    return std::unique_ptr<QvGraphMolImpl>(mol);
  return std::make_unique<QvGraphMolImpl>();
}

void QvMolBin::Put(std::unique_ptr<QvGraphMolImpl> mol) {
  if (!mol || mol->GetMaxAtomIdx() > kQvKeptRecords || mol->GetMaxBondIdx() > kQvKeptRecords) return;
  QvGraphMolImpl* empty = nullptr;
  if (count_.load(std::memory_order_relaxed) == 0 &&
      front_.compare_exchange_strong(empty, mol.get(), std::memory_order_release, std::memory_order_relaxed)) {
    mol.release();
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (const std::size_t count = count_.load(std::memory_order_relaxed); count < mols_.size()) {
    mols_[count] = mol.release();
    count_.store(count + 1, std::memory_order_relaxed);
  }
}

std::size_t QvMolBin::Size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_.load(std::memory_order_relaxed) + (front_.load(std::memory_order_acquire) ? 1 : 0);
}

}  // namespace Tamrin
