// Shared helpers of the SMILES tests: parsing with captured messages and
// compact descriptions of what a parse built.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/captured_messages.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/model.h"

namespace smiles_test {

struct Parsed {
  bool ok = false;
  std::vector<std::string> messages;
};

inline Parsed Parse(Tamrin::QvMolBase& mol, const std::string& text, Tamrin::QvSmilesParseOptions options = {}) {
  CapturedMessages captured;
  Parsed result;
  result.ok = Tamrin::QvParseSmiles(mol, text, options);
  result.messages = captured.lines();
  return result;
}

// One atom as "<symbol or *><isotope?>[h<count>][+/-charge][a][:map]", e.g.
// "C h3", "c h1 a", "N h0 +1", "2H h0".
inline std::string DescribeAtom(const Tamrin::QvAtomBase& atom) {
  std::string s;
  if (atom.GetIsotope()) s += std::to_string(atom.GetIsotope());
  const std::string symbol = Tamrin::QvGetAtomicSymbol(atom.GetAtomicNum());
  s += atom.GetAtomicNum() == 0 ? "*" : symbol.empty() ? "#" + std::to_string(atom.GetAtomicNum()) : symbol;
  s += " h" + std::to_string(atom.GetImplicitHCount());
  if (atom.GetFormalCharge()) s += (atom.GetFormalCharge() > 0 ? " +" : " ") + std::to_string(atom.GetFormalCharge());
  if (atom.IsAromatic()) s += " a";
  if (atom.GetMapIdx()) s += " :" + std::to_string(atom.GetMapIdx());
  return s;
}

inline std::vector<std::string> DescribeAtoms(const Tamrin::QvMolBase& mol) {
  std::vector<std::string> atoms;
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) atoms.push_back(DescribeAtom(atom));
  return atoms;
}

// Bonds as "<begin index>-<end index>:<order>" in creation order.
inline std::vector<std::string> DescribeBonds(const Tamrin::QvMolBase& mol) {
  std::vector<std::string> bonds;
  for (const Tamrin::QvBondBase& bond : mol.GetBonds())
    bonds.push_back(std::to_string(bond.GetBgn()->GetIdx()) + "-" + std::to_string(bond.GetEnd()->GetIdx()) + ":" +
                    std::to_string(bond.GetOrder()));
  return bonds;
}

// `text` parsed quietly (CX blocks read) into a fresh molecule, kekulized
// unless asked not to; a failed parse fails the calling test.
inline Tamrin::QvGraphMol FromSmiles(const std::string& text, bool kekulize = true) {
  Tamrin::QvGraphMol mol;
  Tamrin::QvSmilesParseOptions options;
  options.noKekulization = !kekulize;
  options.quiet = true;
  options.cx = true;
  EXPECT_TRUE(Tamrin::QvParseSmiles(mol.GetMol(), text, options)) << text;
  return mol;
}

inline Tamrin::QvAtomBase* AtomAt(Tamrin::QvMolBase& mol, unsigned idx) {
  return mol.GetAtom(Tamrin::QvHasAtomIdx{idx});
}

// `text` parsed quietly (CX blocks read) into a fresh molecule and written
// with `flags`; "<parse failed>" on failure.
inline std::string Smiles(const std::string& text, unsigned flags = Tamrin::QvSmiDefault) {
  Tamrin::QvGraphMol mol;
  const Tamrin::QvSmilesParseOptions quiet_cx{.quiet = true, .cx = true};
  if (!Tamrin::QvParseSmiles(mol, text, quiet_cx)) return "<parse failed>";
  std::string out;
  Tamrin::QvCreateSmiString(out, mol, flags);
  return out;
}

}  // namespace smiles_test
