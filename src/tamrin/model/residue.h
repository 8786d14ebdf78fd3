// Residue data of an atom: where a macromolecule file places it (residue,
// chain, model) and the per-atom columns that travel with that place. Kept in
// the atom's generic data under the built-in residue tag, so atoms read from
// formats without residues pay nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sorvil/base/typeid.h"

namespace Tamrin {

class QvAtomBase;
class QvMolBase;

struct QvResidue {
  std::string name;            // "ALA", "HOH", "LIG"; at most 3 characters written to PDB
  std::string chain;           // chain identifier; PDB writes its first character
  std::int32_t number = 0;     // residue sequence number
  char insertion_code = ' ';
  char alternate_location = ' ';
  std::int32_t serial = 0;     // atom serial number of the source file
  std::int32_t model = 0;      // model number, 0 when the file has no MODEL records
  std::int32_t fragment = 0;   // a change between consecutive atoms is a chain break
  bool hetero = false;         // HETATM rather than ATOM
  float occupancy = 1.0f;
  float b_factor = 0.0f;
  char secondary_structure = ' ';  // 'H' helix, 'S' sheet, ' ' neither

  bool operator==(const QvResidue&) const = default;
  // The same residue: name, chain, number, insertion code and model agree.
  // Inline: the residue passes ask it of every atom.
  bool SameResidue(const QvResidue& other) const {
    return number == other.number && insertion_code == other.insertion_code && model == other.model &&
           SameText(name, other.name) && SameText(chain, other.chain);
  }

 private:
  // Names and chain identifiers are a few characters: compared here rather
  // than through a library call per string.
  static bool SameText(const std::string& a, const std::string& b) {
    const std::size_t n = a.size();
    if (n != b.size()) return false;
    for (std::size_t i = 0; i < n; ++i)
      if (a[i] != b[i]) return false;
    return true;
  }
};

// The atom's residue, or null when it has none.
const QvResidue* QvGetResidue(const QvAtomBase& atom);
bool QvSetResidue(QvAtomBase& atom, QvResidue residue);
// The atom's residue to change in place, or null when it has none.
QvResidue* QvMutableResidue(QvAtomBase& atom);
// True when some atom of the molecule carries residue data.
bool QvHasResidues(const QvMolBase& mol);

// One of the twenty standard amino acids or the standard nucleotides
// (A, C, G, U, I, DA, DC, DG, DT, DI), by PDB residue name.
bool QvIsStandardResidueName(std::string_view name);

}  // namespace Tamrin

QV_DATA_TYPE(Tamrin::QvResidue, "Tamrin::QvResidue")
