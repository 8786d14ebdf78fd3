#include "tamrin/model/residue.h"

#include <algorithm>
#include <array>

#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

// Residue names and chain identifiers are a few characters: compared here
// rather than through a library call per string.
bool SameText(const std::string& a, const std::string& b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace

bool QvResidue::SameResidue(const QvResidue& other) const {
  return number == other.number && insertion_code == other.insertion_code && model == other.model &&
         SameText(name, other.name) && SameText(chain, other.chain);
}

const QvResidue* QvGetResidue(const QvAtomBase& atom) {
  return atom.GetDataPtr<QvResidue>(Sorvil::QvResidueTag);
}

bool QvSetResidue(QvAtomBase& atom, QvResidue residue) {
  return atom.SetData(Sorvil::QvResidueTag, std::move(residue));
}

QvResidue* QvMutableResidue(QvAtomBase& atom) {
  Sorvil::QvBaseData* item =
      atom.FindDataIf([](const Sorvil::QvBaseData& data) { return data.GetTag() == Sorvil::QvResidueTag; });
  return item ? Sorvil::QvDataValue<QvResidue>(*item) : nullptr;
}

bool QvHasResidues(const QvMolBase& mol) {
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    if (QvGetResidue(atom)) return true;
  }
  return false;
}

bool QvIsStandardResidueName(std::string_view name) {
  static constexpr std::array<std::string_view, 30> kStandard = {
      "A",   "ALA", "ARG", "ASN", "ASP", "C",   "CYS", "DA",  "DC",  "DG",
      "DI",  "DT",  "G",   "GLN", "GLU", "GLY", "HIS", "I",   "ILE", "LEU",
      "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "U",   "VAL"};
  return std::binary_search(kStandard.begin(), kStandard.end(), name);
}

}  // namespace Tamrin
