// The molfile writer's own pieces, shared by its source files: the output
// flavor bits, the table of what is written for each atom and bond (filled
// once by the preparation step, then printed as V2000 or V3000), and the
// number formatting that both layouts use.
//
// The writer takes the caller's molecule as const and normally reads it in
// place: Kekulé orders and parities go into the table, not into the
// molecule. Only a fresh 2D layout (with its wedge marks) or stereo that
// must first be perceived from 3D coordinates makes a private copy.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numformat.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

class QvAtomBase;
class QvWorkingMol;
class QvMolBase;

namespace MDLWrite {

namespace Flavor {
inline constexpr unsigned ChargeLines = 0x1;
inline constexpr unsigned IsotopeLines = 0x2;
inline constexpr unsigned RGroupLines = 0x4;
inline constexpr unsigned AlwaysV3000 = 0x8;
inline constexpr unsigned DeriveParities = 0x10;
inline constexpr unsigned ChiralFromStereo = 0x20;
inline constexpr unsigned Layout = 0x100;
inline constexpr unsigned LayoutOption = 0x200;
inline constexpr unsigned BlankDate = 0x800;
// What the connection-table writers look at once the preparation is done.
inline constexpr unsigned TableMask = 0xC0F;
}  // namespace Flavor

// One atom as written. Everything the two layouts need is settled here, so
// V2000 and V3000 differ only in how they print it.
struct AtomOut {
  const QvAtomBase* atom = nullptr;
  std::string_view symbol;  // printed with at most three characters
  float xyz[3] = {};
  int charge = 0;
  unsigned isotope = 0;
  unsigned map = 0;     // the raw map index (an R-group number on "R#" atoms)
  unsigned rgroup = 0;  // the map index of an "R#" atom, else 0
  unsigned parity = 0;
  unsigned explicit_valence = 0;   // from the Kekulé orders
  unsigned hydrogens = 0;          // implicit
  unsigned default_hydrogens = 0;  // what the MDL valence model gives
  std::string_view alias;          // "QvAtomComment"
};

struct BondOut {
  unsigned first = 0;  // output numbers, in the order written
  unsigned second = 0;
  unsigned order = 1;  // Kekulé order
  int wedge = 0;       // tag 55, 0 when absent
  bool unspecified_double = false;  // stereo double bond whose configuration is not known
};

struct GroupOut {
  QvStereoGroupKind kind = QvStereoGroupKind::None;
  unsigned number = 0;  // running number within the kind, from 1 (0 for absolute)
  std::vector<unsigned> atoms;  // output numbers, ascending
};

struct Table {
  std::vector<AtomOut> atoms;
  std::vector<BondOut> bonds;
  std::vector<GroupOut> groups;
  bool chiral = false;
  unsigned dimension = 0;

  void Clear() {
    atoms.clear();
    bonds.clear();
    groups.clear();
    chiral = false;
    dimension = 0;
  }
};

// The preparation steps (bond orders, parities, layout, in that order) and
// the table built from their result. Returns the molecule the table was read
// from: the caller's own, or the copy in `work` that the steps had to make.
const QvMolBase& Prepare(QvWorkingMol& work, unsigned flavor, Table& table);

// The rounded standard atomic mass that the molfile's mass difference is
// counted from; 0 for atomic numbers without an element.
unsigned StandardMass(unsigned atomic_num);

// True when V3000 is needed: asked for, too many atoms or bonds for the
// three-digit fields (or an atom map, R-group, isotope, charge or valence
// too wide for its field), or stereo groups that the V2000 chiral flag
// cannot say.
bool NeedsV3000(const Table& table, unsigned flavor);

// The connection table from the counts line to "M  END", lines ended by '\n'.
void AppendV2000(std::string& out, const Table& table, unsigned flavor);
void AppendV3000(std::string& out, const Table& table);

using Pellar::AppendFixed;
using Pellar::AppendInt;

}  // namespace MDLWrite

}  // namespace Tamrin
