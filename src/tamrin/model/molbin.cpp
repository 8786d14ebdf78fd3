#include "tamrin/model/molbin.h"

#include <utility>

namespace Tamrin {

QvMolBin& QvMolBin::Shared() {
  static QvMolBin* bin = new QvMolBin;
  return *bin;
}

QvMolBin::~QvMolBin() {
  while (count_) delete mols_[--count_];
}

std::unique_ptr<QvGraphMolImpl> QvMolBin::Take() {
  std::unique_ptr<QvGraphMolImpl> mol = TakeForReading();
  mol->Clear();
  return mol;
}

std::unique_ptr<QvGraphMolImpl> QvMolBin::TakeForReading() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_) return std::unique_ptr<QvGraphMolImpl>(mols_[--count_]);
  }
  return std::make_unique<QvGraphMolImpl>();
}

void QvMolBin::Put(std::unique_ptr<QvGraphMolImpl> mol) {
  if (!mol || mol->GetMaxAtomIdx() > kQvKeptRecords || mol->GetMaxBondIdx() > kQvKeptRecords) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ < kCapacity) mols_[count_++] = mol.release();
}

std::size_t QvMolBin::Size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

}  // namespace Tamrin
