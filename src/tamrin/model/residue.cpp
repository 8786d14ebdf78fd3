#include "tamrin/model/residue.h"

#include <algorithm>
#include <array>
#include <cstdint>

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

namespace {

// A name of at most three characters as one number: its length, then its
// characters. Residue passes ask about one name per residue; a number
// compares without a library call.
constexpr std::uint32_t NameKey(std::string_view name) {
  std::uint32_t key = static_cast<std::uint32_t>(name.size());
  for (const char c : name) key = key << 8 | static_cast<unsigned char>(c);
  return key;
}

}  // namespace

bool QvIsStandardResidueName(std::string_view name) {
  static constexpr std::array<std::uint32_t, 30> kStandard = [] {
    constexpr std::string_view kNames[] = {
        "A",   "ALA", "ARG", "ASN", "ASP", "C",   "CYS", "DA",  "DC",  "DG",
        "DI",  "DT",  "G",   "GLN", "GLU", "GLY", "HIS", "I",   "ILE", "LEU",
        "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "U",   "VAL"};
    std::array<std::uint32_t, 30> keys{};
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = NameKey(kNames[i]);
    std::sort(keys.begin(), keys.end());
    return keys;
  }();
  return name.size() <= 3 && std::binary_search(kStandard.begin(), kStandard.end(), NameKey(name));
}

}  // namespace Tamrin
