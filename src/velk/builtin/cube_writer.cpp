#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numformat.h"
#include "pellar/qvstream.h"
#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/molbase.h"
#include "velk/builtin/cube_handler.h"
#include "velk/builtin/gaussian_text.h"
#include "velk/errors.h"

namespace velk::builtin {
namespace {

using gaussian::kAngstromPerBohr;
using gaussian::kBohrPerAngstrom;

constexpr size_t kMaxGrids = 1024;
constexpr unsigned kMaxAtoms = 100000000;
constexpr std::uint32_t kMaxVoxels = 8192;
constexpr std::uint64_t kMaxElements = 134217728;
constexpr double kGeometryTolerance = 1e-4;

FormatError CubeError(std::string_view what) {
  return FormatError("velk: CUBE: " + std::string(what));
}

// Differences are taken in float, as the grids hold them, and compared in
// double. Only a difference known to exceed the tolerance counts: NaN and
// infinite geometry of the first grid is left to the finiteness checks that
// follow, which name the actual fault.
bool Differ(float a, float b) { return std::fabs(static_cast<double>(a - b)) > kGeometryTolerance; }

// Every grid lies on the first one's lattice, within the tolerance.
void CheckSharedGeometry(const std::vector<const QvScalarGrid*>& grids) {
  const QvScalarGrid* first = grids.front();
  for (const QvScalarGrid* g : grids) {
    if (!g) throw CubeError("null grid");
    const bool differ = g->GetXDim() != first->GetXDim() || g->GetYDim() != first->GetYDim() ||
                        g->GetZDim() != first->GetZDim() || Differ(g->GetSpacing(), first->GetSpacing()) ||
                        Differ(g->GetXMin(), first->GetXMin()) || Differ(g->GetYMin(), first->GetYMin()) ||
                        Differ(g->GetZMin(), first->GetZMin());
    if (differ) throw CubeError("all grids must share geometry (dimensions, origin, and spacing)");
  }
}

void CheckLimits(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) {
  const QvScalarGrid& first = *grids.front();
  const std::uint32_t n[3] = {first.GetXDim(), first.GetYDim(), first.GetZDim()};
  if (grids.size() > kMaxGrids) throw CubeError("grid count exceeds MO orbital limit (1024)");
  if (mol.NumAtoms() > kMaxAtoms) throw CubeError("atom count exceeds limit (100000000)");
  if (grids.size() > 1 && mol.NumAtoms() == 0) {
    throw CubeError("cannot write a multi-grid (MO) cube for a molecule with no atoms");
  }
  if (n[0] < 1 || n[1] < 1 || n[2] < 1) throw CubeError("grid dimensions must be positive");
  if (n[0] > kMaxVoxels || n[1] > kMaxVoxels || n[2] > kMaxVoxels) {
    throw CubeError("voxel count per dimension must be <= 8192");
  }
  if (std::uint64_t{n[0]} * n[1] * n[2] > kMaxElements / grids.size()) {
    throw CubeError("total grid element count exceeds limit (134217728 floats)");
  }
  const double spacing = first.GetSpacing();
  if (!std::isfinite(spacing) || !(spacing / kAngstromPerBohr > 1e-6)) {
    throw CubeError("grid spacing must be finite and positive");
  }
  if (!std::isfinite(first.GetXMid()) || !std::isfinite(first.GetYMid()) ||
      !std::isfinite(first.GetZMid())) {
    throw CubeError("non-finite grid midpoint");
  }
}

void CheckAtoms(const QvMolBase& mol) {
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    if (atom.GetAtomicNum() < 1 || atom.GetAtomicNum() > 118) {
      throw CubeError("atomic number out of range [1, 118]");
    }
    float xyz[3];
    mol.GetCoords(&atom, xyz);
    if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) {
      throw CubeError("non-finite atom coordinate");
    }
  }
}

// No early exit inside a block, so the test compiles to a vector loop.
bool AllFinite(const float* values, size_t count) {
  constexpr size_t kBlock = 4096;
  for (size_t start = 0; start < count; start += kBlock) {
    const size_t stop = std::min(count, start + kBlock);
    bool finite = true;
    for (size_t i = start; i < stop; ++i) finite &= std::fabs(values[i]) <= 3.4028234663852886e38f;
    if (!finite) return false;
  }
  return true;
}

void CheckValues(const std::vector<const QvScalarGrid*>& grids) {
  for (const QvScalarGrid* g : grids) {
    if (!g->GetValues()) throw CubeError("grid has no values");
    if (!AllFinite(g->GetValues(), g->GetSize())) throw CubeError("non-finite volumetric value");
  }
}

// The output file. Write errors are remembered by the stream, not thrown:
// the record then reports false and the partial file stays.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path) : file_(std::make_unique<Pellar::qvofstream>()) {
    if (!file_->open(path.c_str())) throw FileError("velk: unable to open '" + path + "' for writing");
  }

  void Text(std::string_view text) { file_->write(text.data(), text.size()); }
  void Integer(long long value) {
    file_->emit<Pellar::kIntChars>([value](char* p, char*) { return Pellar::FormatInt(p, value); });
  }
  // A space, then the value as printf's %.9g would print it.
  void SpacedReal(double value) {
    file_->emit<Pellar::kGeneralChars + 1>([value](char* p, char*) {
      *p = ' ';
      return Pellar::FormatGeneral(p + 1, value, 9);
    });
  }
  // Grid values: the same text through the faster float path.
  void SpacedFloat(float value) {
    file_->emit<Pellar::kGeneralChars + 1>([value](char* p, char*) {
      *p = ' ';
      return Pellar::FormatGeneral9(p + 1, value);
    });
  }
  void Char(char c) { file_->put(c); }

  // Flushes and closes; true when every write succeeded.
  bool Close() {
    const bool ok = file_->flush();
    file_->close();
    return ok && file_->error() == 0;
  }

 private:
  std::unique_ptr<Pellar::qvofstream> file_;  // its buffer is too large for the stack
};

void WriteHeader(OutputFile& out, const QvMolBase& mol, const QvScalarGrid& grid, size_t grid_count) {
  const double spacing = grid.GetSpacing();
  const std::uint32_t n[3] = {grid.GetXDim(), grid.GetYDim(), grid.GetZDim()};
  const double mid[3] = {grid.GetXMid(), grid.GetYMid(), grid.GetZMid()};
  out.Text("CUBE file written by velk\nQvScalarGrid volumetric data\n");
  const long long atoms = mol.NumAtoms();
  out.Integer(grid_count > 1 ? -atoms : atoms);
  for (int i = 0; i < 3; ++i) out.SpacedReal((mid[i] - (n[i] - 1) * 0.5 * spacing) * kBohrPerAngstrom);
  out.Char('\n');
  const double h = spacing * kBohrPerAngstrom;
  out.Integer(n[0]);
  out.SpacedReal(h);
  out.Text(" 0.0 0.0\n");
  out.Integer(n[1]);
  out.Text(" 0.0");
  out.SpacedReal(h);
  out.Text(" 0.0\n");
  out.Integer(n[2]);
  out.Text(" 0.0 0.0");
  out.SpacedReal(h);
  out.Char('\n');
}

void WriteAtoms(OutputFile& out, const QvMolBase& mol) {
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    float xyz[3];
    mol.GetCoords(&atom, xyz);
    out.Integer(atom.GetAtomicNum());
    out.SpacedReal(atom.GetAtomicNum());
    for (const float c : xyz) out.SpacedReal(c * kBohrPerAngstrom);
    out.Char('\n');
  }
}

void WriteOrbitalLine(OutputFile& out, size_t grid_count) {
  out.Integer(static_cast<long long>(grid_count));
  for (size_t i = 1; i <= grid_count; ++i) {
    out.Char(' ');
    out.Integer(static_cast<long long>(i));
  }
  out.Char('\n');
}

// One line per voxel in file order (x slowest, z fastest; see cube_handler.h),
// holding that voxel's value of every grid.
void WriteValues(OutputFile& out, const std::vector<const QvScalarGrid*>& grids) {
  const QvScalarGrid& first = *grids.front();
  const std::uint32_t nx = first.GetXDim(), ny = first.GetYDim(), nz = first.GetZDim();
  const size_t plane = size_t{nx} * ny;
  std::vector<const float*> values;
  for (const QvScalarGrid* g : grids) values.push_back(g->GetValues());
  for (std::uint32_t i = 0; i < nx; ++i) {
    for (std::uint32_t j = 0; j < ny; ++j) {
      size_t index = i + size_t{nx} * j;
      for (std::uint32_t k = 0; k < nz; ++k, index += plane) {
        for (const float* v : values) out.SpacedFloat(v[index]);
        out.Char('\n');
      }
    }
  }
}

}  // namespace

bool CubeMolSink::append(const QvMolBase&) {
  throw FormatError(
      "velk: CUBE requires at least one grid; use append(mol, grid) / writer.append(mol, *grids)");
}

bool CubeMolSink::append(const QvMolBase& mol, const std::vector<const QvScalarGrid*>& grids) {
  if (grids.empty()) throw FormatError("velk: CUBE requires at least one grid");
  CheckSharedGeometry(grids);
  if (written_) throw FormatError("velk: CUBE holds a single record; cannot append again");
  CheckLimits(mol, grids);
  CheckAtoms(mol);
  CheckValues(grids);

  OutputFile out(path_);
  WriteHeader(out, mol, *grids.front(), grids.size());
  WriteAtoms(out, mol);
  if (grids.size() > 1) WriteOrbitalLine(out, grids.size());
  WriteValues(out, grids);
  if (!out.Close()) return false;
  written_ = true;
  return true;
}

}  // namespace velk::builtin
