#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/cube_handler.h"
#include "velk/builtin/gaussian_text.h"
#include "velk/errors.h"

namespace velk::builtin {
namespace {

using namespace gaussian;

constexpr std::uint32_t kMaxAtoms = 100000000;
constexpr std::uint32_t kMaxVoxels = 8192;
constexpr std::int32_t kMaxOrbitals = 1024;
constexpr std::uint64_t kMaxElements = 134217728;
constexpr double kAxisTolerance = 1e-6;

FormatError CubeError(std::string_view what) {
  return FormatError("velk: CUBE: " + std::string(what));
}

// A header line (lines 3 to 6, atom lines, the orbital header) is parsed on
// its own, so a short line never borrows values from the next one.
LineScanner HeaderLine(LineReader& lines, std::string_view what) {
  std::string_view line;
  if (!lines.Next(line)) throw CubeError("truncated file, expected " + std::string(what));
  return LineScanner(line);
}

// Exactly `count` reals and nothing after them.
void ReadReals(LineScanner& scanner, double* out, int count, std::string_view what) {
  for (int i = 0; i < count; ++i) {
    if (!scanner.ExtractDouble(out[i])) throw CubeError("malformed " + std::string(what));
  }
  if (scanner.HasMore()) throw CubeError("unexpected extra data on " + std::string(what));
}

std::uint32_t Magnitude(std::int32_t value, std::string_view what) {
  if (value == INT32_MIN) throw OutOfRange(what);
  return static_cast<std::uint32_t>(value < 0 ? -value : value);
}

// The grid model has one spacing and no rotation, so only axis-aligned,
// positively oriented steps of one length fit it. Tested in the file's units.
void CheckAxes(const double axis[3][3]) {
  const double t = kAxisTolerance;
  bool ok = true;
  for (int i = 0; i < 3; ++i)
    for (int c = 0; c < 3; ++c) ok = ok && std::isfinite(axis[i][c]);
  ok = ok && std::fabs(axis[0][1]) <= t && std::fabs(axis[0][2]) <= t && std::fabs(axis[1][0]) <= t &&
       std::fabs(axis[1][2]) <= t && std::fabs(axis[2][0]) <= t && std::fabs(axis[2][1]) <= t;
  ok = ok && axis[0][0] > t && axis[1][1] > t && axis[2][2] > t;
  ok = ok && std::fabs(axis[0][0] - axis[1][1]) <= t && std::fabs(axis[0][0] - axis[2][2]) <= t;
  if (!ok) {
    throw CubeError(
        "only axis-aligned, positively-oriented, cubic-voxel grids are supported (v1); "
        "rotated/skewed/reflected/anisotropic axes rejected");
  }
}

// A narrowing whose failure is reported later: the volumetric block is
// checked first, then midpoint and spacing.
struct DeferredFloat {
  double wide;
  float value;
  bool ok;
};

DeferredFloat Defer(double wide) {
  const bool ok = std::fabs(wide) <= kFloatMax;
  return {wide, ok ? static_cast<float>(wide) : 0.0f, ok};
}

float Settle(const DeferredFloat& value, std::string_view what) {
  return value.ok ? value.value : NarrowToFloat(value.wide, what);
}

struct Lattice {
  std::uint32_t n[3];
  double axis[3][3];
  double scale;  // Ångström per file unit
};

class CubeParser {
 public:
  explicit CubeParser(const std::string& path) : lines_(path) {}

  std::vector<QvScalarGrid> Read(QvMolBase& mol) {
    std::string_view comment;
    if (!lines_.Next(comment) || !lines_.Next(comment)) {
      throw CubeError("truncated header (missing comment lines)");
    }
    LineScanner counts = HeaderLine(lines_, "atom count line");
    const std::int32_t atom_count = ParseIntToken(counts, "CUBE atom count");
    const std::uint32_t atoms = Magnitude(atom_count, "CUBE atom count");
    if (atoms > kMaxAtoms) throw CubeError("atom count exceeds limit (100000000)");
    double origin[3];
    ReadReals(counts, origin, 3, "origin");
    if (!std::isfinite(origin[0]) || !std::isfinite(origin[1]) || !std::isfinite(origin[2])) {
      throw CubeError("non-finite origin");
    }
    const Lattice lattice = ReadLattice();
    ReadAtoms(mol, atoms, lattice.scale);
    const std::uint32_t orbitals = atom_count < 0 ? ReadOrbitalHeader() : 1;
    return ReadGrids(lattice, origin, orbitals);
  }

 private:
  Lattice ReadLattice() {
    Lattice lattice{};
    bool angstrom = false;
    for (int i = 0; i < 3; ++i) {
      LineScanner line = HeaderLine(lines_, "voxel count line");
      const std::int32_t count = ParseIntToken(line, "CUBE voxel count");
      angstrom = angstrom || count < 0;
      lattice.n[i] = Magnitude(count, "CUBE voxel count");
      if (lattice.n[i] < 1 || lattice.n[i] > kMaxVoxels) {
        throw CubeError("voxel count per dimension must be in [1, 8192]");
      }
      ReadReals(line, lattice.axis[i], 3, "axis vector");
    }
    CheckAxes(lattice.axis);
    // Only the voxel-count signs choose the unit, never the atom count's.
    lattice.scale = angstrom ? 1.0 : kAngstromPerBohr;
    return lattice;
  }

  void ReadAtoms(QvMolBase& mol, std::uint32_t atoms, double scale) {
    for (std::uint32_t a = 0; a < atoms; ++a) {
      LineScanner line = HeaderLine(lines_, "atom line");
      double v[5];  // atomic number, nuclear charge (unused), x, y, z
      ReadReals(line, v, 5, "atom line");
      if (!(v[0] >= 1.0 && v[0] <= 118.0 && v[0] == std::floor(v[0]))) {
        throw CubeError("atomic number out of range [1, 118]");
      }
      const float xyz[3] = {NarrowToFloat(scale * v[2], "CUBE atom coordinate"),
                            NarrowToFloat(scale * v[3], "CUBE atom coordinate"),
                            NarrowToFloat(scale * v[4], "CUBE atom coordinate")};
      Tamrin::QvAtomBase* atom = mol.NewAtom(static_cast<unsigned>(v[0]));
      if (!atom) throw CubeError("failed to create atom");
      mol.SetCoords(atom, xyz);
    }
  }

  // The orbital numbers are checked for syntax and dropped.
  std::uint32_t ReadOrbitalHeader() {
    LineScanner line = HeaderLine(lines_, "orbital header line");
    const std::int32_t count = ParseIntToken(line, "CUBE orbital count");
    if (count < 1 || count > kMaxOrbitals) throw CubeError("orbital count must be in [1, 1024]");
    for (std::int32_t i = 0; i < count; ++i) ParseIntToken(line, "CUBE orbital id");
    if (line.HasMore()) throw CubeError("unexpected extra data on orbital header line");
    return static_cast<std::uint32_t>(count);
  }

  std::vector<QvScalarGrid> ReadGrids(const Lattice& lattice, const double origin[3],
                                      std::uint32_t orbitals) {
    const std::uint32_t* n = lattice.n;
    const double spacing = lattice.scale * lattice.axis[0][0];
    DeferredFloat mid[3];
    for (int i = 0; i < 3; ++i) {
      mid[i] = Defer((n[i] - 1) * 0.5 * spacing + lattice.scale * origin[i]);
    }
    const DeferredFloat step = Defer(spacing);
    // Checked before anything is allocated or any value is read.
    const std::uint64_t elements = std::uint64_t{n[0]} * n[1] * n[2];
    if (elements > kMaxElements / orbitals) {
      throw CubeError("total grid element count (" + std::to_string(elements) + " x " +
                      std::to_string(orbitals) + ") exceeds limit (134217728 floats)");
    }
    // A value takes at least a byte and a separator. A file too short for the
    // block it announces is scanned without grids, so a header's claim never
    // sizes memory, and fails as the full scan would have (a bad value or
    // the truncation).
    const std::int64_t left = lines_.BytesLeft();
    if (left >= 0 && static_cast<std::uint64_t>(left) < 2 * elements * orbitals - 1) {
      ReadValues({}, orbitals, n);
      throw CubeError("truncated volumetric block");  // not reached: the scan ran out first
    }
    // The values go straight into the grids, which are the only copy;
    // reserve() keeps them in place while the list is built.
    std::vector<QvScalarGrid> grids;
    grids.reserve(orbitals);
    std::vector<float*> storage;
    for (std::uint32_t k = 0; k < orbitals; ++k) {
      grids.emplace_back(n[0], n[1], n[2], mid[0].value, mid[1].value, mid[2].value,
                         step.ok ? step.value : 1.0f, std::string());
      storage.push_back(grids.back().GetValues());
    }
    ReadValues(storage, orbitals, n);
    Settle(mid[0], "CUBE grid midpoint");
    Settle(mid[1], "CUBE grid midpoint");
    Settle(mid[2], "CUBE grid midpoint");
    Settle(step, "CUBE grid spacing");
    return grids;
  }

  // Value k of the block goes to orbital k mod M; each orbital's values fill
  // its grid in file voxel order (x slowest, z fastest), which in storage
  // order (x fastest) means a stride of one xy plane per value. Without
  // storage the values are checked and dropped.
  void ReadValues(const std::vector<float*>& storage, std::uint32_t orbitals, const std::uint32_t n[3]) {
    const std::uint64_t target = std::uint64_t{n[0]} * n[1] * n[2] * orbitals;
    const size_t plane = size_t{n[0]} * n[1];
    std::uint64_t counter = 0;
    std::uint32_t orbital = 0, i = 0, j = 0, k = 0;
    size_t index = 0;
    std::string_view line;
    for (;;) {
      if (!lines_.Next(line)) throw CubeError("truncated volumetric block");
      const char* p = line.data();
      const char* end = p + line.size();
      for (;;) {
        while (p != end && IsBlank(*p)) ++p;
        if (p == end) break;
        double value;
        const char* next = Pellar::ParseDouble(p, end, value).ptr;
        if (next == p) break;  // not a number: the rest of the line is ignored
        p = next;
        if (!(std::fabs(value) <= kFloatMax)) {
          throw FormatError("velk: CUBE volumetric value is non-finite or out of range");
        }
        if (!storage.empty()) storage[orbital][index] = static_cast<float>(value);
        if (++counter == target) return;
        if (++orbital != orbitals) continue;
        orbital = 0;
        if (++k != n[2]) {
          index += plane;
          continue;
        }
        k = 0;
        if (++j == n[1]) {
          j = 0;
          ++i;
        }
        index = i + size_t{n[0]} * j;
      }
    }
  }

  LineReader lines_;
};

}  // namespace

FormatInfo CubeHandler::info() const {
  FormatInfo info;
  info.name = "CUBE";
  info.extensions = {".cube", ".cub"};
  info.description = "Gaussian CUBE volumetric format (molecule + scalar grids)";
  return info;
}

std::unique_ptr<MolSource> CubeHandler::open_reader(const std::string& path, const std::any&) {
  return std::make_unique<CubeMolSource>(path);
}

std::unique_ptr<MolSink> CubeHandler::open_writer(const std::string& path, const std::any&) {
  return std::make_unique<CubeMolSink>(path);
}

void CubeMolSource::read(QvMolBase& mol, std::vector<QvScalarGrid>& grids) {
  grids = CubeParser(path()).Read(mol);
}

bool CubeMolSource::next(QvMolBase& mol) {
  mol.Clear();
  QvGraphMol fresh;
  if (!next(fresh)) return false;
  mol.Copy(fresh.GetMol());
  return true;
}

}  // namespace velk::builtin
