#include "velk/builtin/single_record_source.h"

#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/graphmol.h"

namespace velk::builtin {

bool SingleRecordSource::next(QvMolBase& mol, std::vector<QvScalarGrid>& grids) {
  mol.Clear();
  grids.clear();
  if (done_) return false;
  done_ = true;
  read(mol, grids);
  return true;
}

bool SingleRecordSource::next(QvMolBase& mol, const std::vector<QvScalarGrid*>& grids, unsigned* count) {
  std::vector<QvScalarGrid> record;
  if (!next(mol, record)) return false;
  if (count) *count = static_cast<unsigned>(record.size());
  for (size_t i = 0; i < record.size() && i < grids.size(); ++i) {
    if (grids[i]) *grids[i] = record[i];
  }
  return true;
}

bool SingleRecordSource::next(QvMolBase& mol) {
  std::vector<QvScalarGrid> discarded;
  return next(mol, discarded);
}

bool SingleRecordSource::next(QvGraphMol& mol) {
  std::vector<QvScalarGrid> discarded;
  return next(mol.GetMol(), discarded);
}

}  // namespace velk::builtin
