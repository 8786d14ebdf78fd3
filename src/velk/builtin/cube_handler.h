// Gaussian CUBE volumetric files: one record per file, a molecule (atoms
// with element and position, no bonds) and one grid per orbital on a shared
// axis-aligned lattice with cubic voxels.
//
// Voxel order. A CUBE value block lists voxel (i, j, k) with i (x) slowest
// and k (z) fastest; a QvScalarGrid stores point (x, y, z) at index
// x + xdim * (y + ydim * z), x fastest. The reader puts file voxel (i, j, k)
// at grid point (i, j, k) and the writer walks the grid points back in file
// order, so grid.GetValue(x, y, z) is the value at that point's coordinates
// (and the NumPy view values[z, y, x]), and a file read and written again
// keeps its value order.
//
// Units: files are read in Bohr unless a voxel count is negative (Ångström);
// grids and molecules hold Ångström; the writer always writes Bohr.
#pragma once

#include <any>
#include <memory>
#include <string>
#include <vector>

#include "velk/builtin/single_record_source.h"
#include "velk/formathandler.h"

namespace velk::builtin {

class CubeHandler : public FormatHandler {
 public:
  FormatInfo info() const override;
  using FormatHandler::open_reader;
  // Neither touches the file: the reader opens it at its first read, the
  // writer when it writes its one record.
  std::unique_ptr<MolSource> open_reader(const std::string& path, const std::any& config) override;
  std::unique_ptr<MolSink> open_writer(const std::string& path, const std::any& config) override;
};

// Reads the one record of a CUBE file: its molecule and one grid per orbital.
class CubeMolSource : public SingleRecordSource {
 public:
  explicit CubeMolSource(std::string path) : SingleRecordSource(std::move(path)) {}

  using SingleRecordSource::next;
  // The atoms are made on a single-conformer molecule and copied over, so a
  // multi-conformer target gets their coordinates too.
  bool next(QvMolBase& mol) override;

 private:
  void read(QvMolBase& mol, std::vector<QvScalarGrid>& grids) override;
};

// Writes one molecule and one or more grids as a single CUBE file: a density
// cube for one grid, an orbital cube for several. Everything is validated
// before the file is created, so a refused record leaves no file behind.
class CubeMolSink : public MolSink {
 public:
  explicit CubeMolSink(std::string path) : path_(std::move(path)) {}

  bool append(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) override;
  // A CUBE record needs a grid: always throws FormatError.
  bool append(const QvMolBase& mol) override;
  // The file is complete and closed after append; nothing is left to do.
  void close() override {}

 private:
  std::string path_;
  bool written_ = false;
};

}  // namespace velk::builtin
