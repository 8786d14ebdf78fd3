#include "tamrin/formats/cif/chemcomp.h"

#include <cctype>
#include <string>
#include <string_view>
#include <unordered_map>

#include "pellar/numparse.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/cif/cifdoc.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/kekulize.h"

namespace Tamrin {

namespace {

using cifdoc::Table;
using Sorvil::QvErrorHandler;

bool StartsWith(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

// value_order (the component dictionary: SING, DOUB, AROM...) or type
// (monomer libraries: single, double, aromatic, deloc); anything else, a
// metal or covalent link, is a single bond.
unsigned OrderOf(std::string_view s) {
  if (StartsWith(s, "doub")) return 2;
  if (StartsWith(s, "trip")) return 3;
  if (StartsWith(s, "quad")) return 4;
  if (StartsWith(s, "arom") || StartsWith(s, "delo") || s == "1.5") return kQvAromaticOrder;
  return 1;
}

std::string TitleOf(const cifdoc::Block& block, const Table& atoms) {
  if (const std::string_view* id = cifdoc::FindValue(block, "_chem_comp.id"); id && !cifdoc::Text(*id).empty())
    return std::string(cifdoc::Text(*id));
  if (atoms.size() && !atoms(0, 1).empty()) return std::string(atoms(0, 1));
  std::string_view name = block.name;
  if (StartsWith(name, "comp_")) name.remove_prefix(5);
  return std::string(name);
}

// Three numbers from columns first, first + 1, first + 2.
bool Point(const Table& atoms, std::size_t row, std::size_t first, double xyz[3]) {
  for (std::size_t k = 0; k < 3; ++k)
    if (!Pellar::ParseWhole(atoms(row, first + k), xyz[k])) return false;
  return true;
}

}  // namespace

bool QvReadChemCompBlock(const cifdoc::Block& block, QvMolBase& mol) {
  enum { kId, kComp, kType, kCharge, kIdealX, kModelX = kIdealX + 3, kPlainX = kModelX + 3 };
  const Table atoms(block, "_chem_comp_atom.",
                    {"atom_id", "?comp_id", "?type_symbol", "?charge", "?pdbx_model_Cartn_x_ideal",
                     "?pdbx_model_Cartn_y_ideal", "?pdbx_model_Cartn_z_ideal", "?model_Cartn_x", "?model_Cartn_y",
                     "?model_Cartn_z", "?x", "?y", "?z"});
  const std::string name(block.name);
  if (atoms.size() == 0) {
    QvErrorHandler::Warning("CIF data block \"%s\" lists no component atoms", name.c_str());
    return false;
  }
  mol.SetTitle(TitleOf(block, atoms));
  std::unordered_map<std::string_view, QvAtomBase*> by_name;
  bool all_placed = true;
  for (std::size_t row = 0; row < atoms.size(); ++row) {
    const std::string_view id = atoms(row, kId);
    const std::string_view symbol = atoms(row, kType);
    unsigned z = QvGetAtomicNum(symbol.empty() ? id.substr(0, 1) : symbol), isotope = 0;
    if (z == 0 && (symbol == "D" || symbol == "d")) z = 1, isotope = 2;
    QvAtomBase* atom = mol.NewAtom(z);
    if (isotope) atom->SetIsotope(isotope);
    atom->SetName(std::string(id));
    int charge = 0;
    if (Pellar::ParseWhole(atoms(row, kCharge), charge) && charge != 0) atom->SetFormalCharge(charge);
    // The ideal coordinates are the component's own geometry; the model
    // ones come from one entry and are given where the ideal set has gaps
    // (ions and some large components have none).
    double xyz[3];
    if (Point(atoms, row, kIdealX, xyz) || Point(atoms, row, kModelX, xyz) || Point(atoms, row, kPlainX, xyz))
      mol.SetCoords(atom, xyz);
    else
      all_placed = false;
    if (!by_name.emplace(id, atom).second) {
      QvErrorHandler::Warning("CIF data block \"%s\" lists component atom \"%s\" twice", name.c_str(),
                              std::string(id).c_str());
      return false;
    }
  }
  // Atoms without a position leave the molecule without coordinates rather
  // than with some atoms at the origin.
  mol.SetDimension(all_placed ? 3 : 0);

  const Table bonds(block, "_chem_comp_bond.",
                    {"atom_id_1", "atom_id_2", "?value_order", "?type", "?pdbx_aromatic_flag", "?aromatic"});
  bool kekulize = false;
  for (std::size_t row = 0; row < bonds.size(); ++row) {
    const auto a = by_name.find(bonds(row, 0)), b = by_name.find(bonds(row, 1));
    if (a == by_name.end() || b == by_name.end() || a->second == b->second) {
      QvErrorHandler::Warning("A bond of CIF data block \"%s\" names atoms \"%s\" and \"%s\", not two of its atoms",
                              name.c_str(), std::string(bonds(row, 0)).c_str(), std::string(bonds(row, 1)).c_str());
      return false;
    }
    if (mol.GetBond(a->second, b->second)) continue;
    const std::string_view order_text = bonds(row, 2).empty() ? bonds(row, 3) : bonds(row, 2);
    const unsigned order = OrderOf(order_text);
    kekulize |= order == kQvAromaticOrder;
    QvBondBase* bond = mol.NewBond(a->second, b->second, order);
    const std::string_view flag = bonds(row, 4).empty() ? bonds(row, 5) : bonds(row, 4);
    if (order == kQvAromaticOrder || (!flag.empty() && (flag[0] | 0x20) == 'y')) bond->SetAromatic(true);
  }
  if (kekulize) QvKekulize(mol);
  mol.SetData(Sorvil::QvGetTag(kQvChemCompTag), true);
  return true;
}

}  // namespace Tamrin
