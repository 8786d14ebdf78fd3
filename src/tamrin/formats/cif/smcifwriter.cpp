#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gemmi/unitcell.hpp>

#include "pellar/numformat.h"
#include "pellar/qvstream.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/cif/smallmolecule.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

// Room left around the atoms in a cell made up for a molecule without one.
constexpr double kBoxMargin = 5.0;

void PutNumber(std::string& text, double value, int decimals) {
  char buffer[Pellar::FixedChars(12)];
  text += ' ';
  if (!std::isfinite(value)) {
    text += '?';
    return;
  }
  text.append(buffer, Pellar::FormatFixed(buffer, value, decimals));
}

// A CIF word that reads back as itself: no blanks or quotes, not starting
// like a tag, a comment, a reserved word or a null.
bool IsPlainWord(std::string_view s) {
  if (s.empty() || s == "?" || s == ".") return false;
  if (std::string_view("_#$'\"[];").find(s.front()) != std::string_view::npos) return false;
  for (char c : s)
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 127) return false;
  std::string lower(s.substr(0, 5));
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower != "data_" && lower != "loop_" && lower != "save_" && lower != "globa" && lower != "stop_";
}

std::string BlockName(std::string_view title) {
  std::string name;
  for (char c : title) name += static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 127 ? '_' : c;
  return name.empty() ? "molecule" : name;
}

std::string_view SymbolOf(unsigned atomic_num) {
  const char* symbol = QvGetAtomicSymbol(atomic_num);
  return atomic_num != 0 && symbol && *symbol ? symbol : "X";
}

// The atom names when they are unique plain words, else element and atom
// number for every atom.
std::vector<std::string> Labels(const QvMolBase& mol) {
  std::vector<std::string> labels;
  std::set<std::string_view> seen;
  bool names_serve = true;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const std::string_view name = atom.GetName();
    names_serve = names_serve && IsPlainWord(name) && seen.insert(name).second;
    labels.emplace_back(name);
  }
  if (!names_serve) {
    unsigned n = 0;
    for (const QvAtomBase& atom : mol.GetAtoms())
      labels[n] = std::string(SymbolOf(atom.GetAtomicNum())) + std::to_string(n + 1), ++n;
  }
  return labels;
}

// The cell the molecule was read with, else an orthogonal box that holds
// the atoms with kBoxMargin to spare (from the origin, so fractional
// coordinates give back the Cartesian ones).
std::vector<double> CellOf(const QvMolBase& mol) {
  const auto* kept = mol.GetDataPtr<std::vector<double>>(Sorvil::QvGetTag(kQvCIFCellTag));
  if (kept && kept->size() == 6) {
    gemmi::UnitCell cell;
    cell.set((*kept)[0], (*kept)[1], (*kept)[2], (*kept)[3], (*kept)[4], (*kept)[5]);
    if (cell.volume > 0.0 && std::isfinite(cell.volume)) return *kept;
  }
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double xyz[3];
    mol.GetCoords(&atom, xyz);
    for (int i = 0; i < 3; ++i)
      if (std::isfinite(xyz[i])) lo[i] = std::min(lo[i], xyz[i]), hi[i] = std::max(hi[i], xyz[i]);
  }
  return {hi[0] - lo[0] + 2 * kBoxMargin, hi[1] - lo[1] + 2 * kBoxMargin, hi[2] - lo[2] + 2 * kBoxMargin,
          90.0, 90.0, 90.0};
}

}  // namespace

int QvWriteSmallMoleculeBlock(qvmolostream& out, const QvMolBase& mol, unsigned) {
  const std::vector<double> params = CellOf(mol);
  gemmi::UnitCell cell;
  cell.set(params[0], params[1], params[2], params[3], params[4], params[5]);

  std::string text = "data_" + BlockName(mol.GetTitle()) + "\n";
  static constexpr const char* kCellTags[6] = {"_cell_length_a    ", "_cell_length_b    ",
                                               "_cell_length_c    ", "_cell_angle_alpha ",
                                               "_cell_angle_beta  ", "_cell_angle_gamma "};
  for (int i = 0; i < 6; ++i) {
    text += kCellTags[i];
    PutNumber(text, params[i], 6);
    text += '\n';
  }
  text += "_symmetry_space_group_name_H-M 'P 1'\nloop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n";

  if (mol.HasAtoms()) {
    const Sorvil::QvTag occupancy_tag = Sorvil::QvGetTag("occupancy");
    const bool occupancies = mol.GetAtom([&](const QvAtomBase& atom) { return atom.HasData(occupancy_tag); });
    text += "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
            "_atom_site_fract_y\n_atom_site_fract_z\n";
    if (occupancies) text += "_atom_site_occupancy\n";
    const std::vector<std::string> labels = Labels(mol);
    unsigned n = 0;
    for (const QvAtomBase& atom : mol.GetAtoms()) {
      double xyz[3] = {};
      mol.GetCoords(&atom, xyz);
      const gemmi::Fractional f = cell.fractionalize(gemmi::Position(xyz[0], xyz[1], xyz[2]));
      text += labels[n++];
      text += ' ';
      text += SymbolOf(atom.GetAtomicNum());
      for (double v : {f.x, f.y, f.z}) PutNumber(text, v, 6);
      if (occupancies) {
        const auto* occupancy = atom.GetDataPtr<double>(occupancy_tag);
        PutNumber(text, occupancy ? *occupancy : 1.0, 4);
      }
      text += '\n';
    }
    if (mol.NumBonds() > 0) {
      text += "loop_\n_geom_bond_atom_site_label_1\n_geom_bond_atom_site_label_2\n";
      std::vector<unsigned> position(mol.GetMaxAtomIdx());
      n = 0;
      for (const QvAtomBase& atom : mol.GetAtoms()) position[atom.GetIdx()] = n++;
      for (const QvBondBase& bond : mol.GetBonds()) {
        if (!bond.GetBgn() || !bond.GetEnd()) continue;
        text += labels[position[bond.GetBgn()->GetIdx()]];
        text += ' ';
        text += labels[position[bond.GetEnd()->GetIdx()]];
        text += '\n';
      }
    }
  }
  out.GetStream().write(text.data(), text.size());
  return QvWriteOk;
}

}  // namespace Tamrin
