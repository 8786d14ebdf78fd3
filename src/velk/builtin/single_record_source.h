// The reading side shared by the formats that hold one record per file
// (CUBE, FCHK): the first read opens, reads and closes the file and spends
// the source, whether it succeeds or throws, so an error is seen once and the
// end of the input afterwards.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "velk/formathandler.h"

namespace velk::builtin {

class SingleRecordSource : public MolSource {
 public:
  // Every form empties the caller's molecule and grids before anything else,
  // so a spent source leaves nothing of the record in a reused molecule.
  using MolSource::next;
  bool next(QvMolBase& mol, std::vector<QvScalarGrid>& grids) override;
  // Grid i of the record is copied onto grids[i] while both exist; null
  // targets are skipped. `count` gets the number of grids the record has.
  bool next(QvMolBase& mol, const std::vector<QvScalarGrid*>& grids, unsigned* count) override;
  bool next(QvMolBase& mol) override;
  bool next(QvGraphMol& mol) override;

 protected:
  explicit SingleRecordSource(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  // Reads the file into `mol` and `grids`, which are empty. Called once.
  virtual void read(QvMolBase& mol, std::vector<QvScalarGrid>& grids) = 0;

 private:
  std::string path_;
  bool done_ = false;
};

}  // namespace velk::builtin
