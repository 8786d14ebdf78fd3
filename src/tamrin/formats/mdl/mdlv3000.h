// Reader internals shared by the V2000 and V3000 connection-table readers:
// the state of one record being read, the per-atom scratch that only lives
// while reading, and the finishing steps both tables end with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sorvil/base/tagregistry.h"

namespace Tamrin {

class QvAtomBase;
class QvBondBase;
class QvMolBase;
class qvmolistream;

namespace mdlread {

// Radical byte values.
enum Radical : std::uint8_t { kNoRadical = 0, kSinglet = 1, kDoublet = 2, kTriplet = 3 };

// What a valence byte of 15 means: the atom takes no hydrogens at all.
inline constexpr std::uint8_t kZeroValence = 15;

// Per atom while reading, in file order (16 bytes).
struct AtomScratch {
  QvAtomBase* atom = nullptr;
  std::uint8_t valence = 0;   // from the valence column (or V3000 VAL); 0 = not given
  std::uint8_t radical = kNoRadical;
  bool hcount = false;        // the hydrogen-count column fixed the implicit count
  bool rgp_label = false;     // an "M  RGP" pair has labelled the atom
  std::uint32_t rgroup = 0;   // R-group number; 0 = none
};

// Tags of the data the reader leaves on molecules and atoms, registered once.
struct Tags {
  Sorvil::QvTag mol_comment;   // "QvMolComment"
  Sorvil::QvTag chiral_flag;   // "MDLParity"
  Sorvil::QvTag atom_parity;   // "MDLAtomParity"
  Sorvil::QvTag atom_comment;  // "QvAtomComment"
  static const Tags& Get();
};

// One record being read. The scratch vectors are kept per thread and reused,
// so reading a long file allocates nothing per record once they have grown.
struct Record {
  Record(qvmolistream& in, QvMolBase& mol);
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  // The next line under the toolkit's line rule (a pushed-back line first);
  // false at the end of data.
  bool Next();
  // The current line cut at 80 characters with tabs expanded to stops every
  // 8 columns (the result again cut at 80): how every fixed-column line is
  // looked at.
  std::string_view Fixed();
  // Gives the current line back to the stream: the next record starts with it.
  void HandBack();

  qvmolistream& in;
  QvMolBase& mol;
  const Tags& tags;
  std::string_view line;  // valid until the next read from `in`
  // `line` has been looked at but not used up: the next Next() returns it.
  bool pending = false;
  std::vector<AtomScratch>& atoms;
  // One byte per bond, by bond index: double bonds whose cis/trans the file
  // leaves open.
  std::vector<std::uint8_t>& unspecified;
  bool aromatic_bonds = false;  // bonds of type 4 were read
  bool parities = false;        // an atom parity of 1 or 2 was read
  bool wedges = false;          // a single bond carries a wedge, hash or either mark
  unsigned stereo_options = 0;  // the input flavor's stereo bits

 private:
  char fixed_[81];
};

// True when `line` begins with `prefix`.
inline bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

// The atom for a 1-based number, or null when out of range.
inline AtomScratch* AtomAt(Record& r, long number) {
  if (number < 1 || static_cast<unsigned long>(number) > r.atoms.size()) return nullptr;
  return &r.atoms[static_cast<std::size_t>(number - 1)];
}

// Element from a symbol field of either table: D and T are hydrogen isotopes,
// "R#" and "R" with digits R-group atoms, "*" a plain wildcard, any other
// unknown text a wildcard named after it. Makes the atom and its scratch.
AtomScratch& NewAtomFromSymbol(Record& r, std::string_view symbol);

// A single bond between two atoms of the record, with its scratch byte.
QvBondBase* NewBond(Record& r, AtomScratch& a, AtomScratch& b);
// Order and integer type from a bond type of the file (1 to 3 as such, 4
// aromatic, anything else single).
void SetBondType(Record& r, QvBondBase& bond, long type);
// The V2000 bond stereo code of the newest bond (wedge marks, "either"
// marks, flags and messages); `number` is the 1-based bond number.
void SetBondStereo(Record& r, QvBondBase& bond, long stereo, unsigned number);

// The finishing steps of both tables, in their fixed order: R-group atoms,
// aromatic bonds, implicit hydrogens, dimension, rings, atom stereo,
// aromaticity, bond stereo, stereo groups.
void Finish(Record& r);

// Reads a V2000 connection table after its counts line `counts` (r.line,
// as Fixed() gives it). False, after its warning if it has one, for a table
// it cannot read.
bool ReadV2000(Record& r, std::string_view counts);

// Reads a V3000 connection table; `r.line` holds the counts line of the
// header ("... V3000"). False, after its warning, for a table it cannot read.
bool ReadV3000(Record& r);

}  // namespace mdlread

}  // namespace Tamrin
