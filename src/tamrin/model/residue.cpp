#include "tamrin/model/residue.h"

#include <algorithm>
#include <array>

#include "tamrin/model/molbase.h"

namespace Tamrin {

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
