// Shared by the MOL2 tests: records in and out of memory streams, and
// molecules compared through their canonical SMILES.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "format_test_support.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/perception/hydrogens.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace mol2test {

using Read = formattest::ReadResult;

inline Read ReadAll(std::string_view text, Tamrin::QvFormat format = Tamrin::QvFormat::MOL2, unsigned flavor = 0x4000) {
  return formattest::ReadAll(std::string(text), format, flavor);
}

inline std::string Write(const Tamrin::QvMolBase& mol, Tamrin::QvFormat format, unsigned flavor,
                         int* status = nullptr) {
  Tamrin::qvmolostream out;
  out.SetFormat(format);
  out.SetFlavor(format, flavor);
  out.openstring(false);
  const int result = Tamrin::QvWriteMolecule(out, mol);
  if (status) *status = result;
  return out.GetString();
}

// Hydrogen atoms folded into their heavy atoms first, so a molecule with
// explicit hydrogens compares equal to its SMILES.
inline std::string Canonical(const Tamrin::QvMolBase& source) {
  Tamrin::QvGraphMol mol(source);
  // Named hydrogens stay atoms, and MOL2 names every atom.
  for (Tamrin::QvAtomBase& atom : mol->GetAtoms())
    if (atom.GetAtomicNum() == 1) atom.SetName("");
  Tamrin::QvSuppressHydrogens(mol);
  mol->Sweep();
  std::string text = Write(mol, Tamrin::QvFormat::CAN, 0x4064);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::size_t blank = text.find(' ');
  return blank == std::string::npos ? text : text.substr(0, blank);
}

inline Tamrin::QvGraphMol FromSmiles(std::string_view smiles) {
  Read read = ReadAll(smiles, Tamrin::QvFormat::SMI, 0x4000);
  return read.mols.empty() ? Tamrin::QvGraphMol() : read.mols.front();
}

inline std::string CanonicalSmiles(std::string_view smiles) { return Canonical(FromSmiles(smiles)); }

// A record with the given atom and bond lines (counts from the lines).
inline std::string Record(std::string_view title, const std::vector<std::string>& atoms,
                          const std::vector<std::string>& bonds) {
  std::string text = "@<TRIPOS>MOLECULE\n" + std::string(title) + "\n" + std::to_string(atoms.size()) + " " +
                     std::to_string(bonds.size()) + " 1 0 0\nSMALL\nNO_CHARGES\n\n@<TRIPOS>ATOM\n";
  for (const std::string& line : atoms) text += line + "\n";
  text += "@<TRIPOS>BOND\n";
  for (const std::string& line : bonds) text += line + "\n";
  return text;
}

}  // namespace mol2test
