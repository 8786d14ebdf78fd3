#include "tamrin/formats/cif/smallmolecule.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gemmi/numb.hpp>
#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>

#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/cif/cifdoc.h"
#include "tamrin/formats/cif/smcifexpand.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

using cifdoc::Block;
using Sorvil::QvErrorHandler;

// No space group has more; a longer list is not a group.
constexpr size_t kMaxOperators = 192;
// Below this width (Å) across, a cell holds no atoms apart, and growing
// molecules in it would look at thousands of cells per atom.
constexpr double kMinCellWidth = 1.0;

// Tags are written `_category_item` (CIF 1) or `_category.item` (DDLm).
const std::string_view* FindValue(const Block& block, std::string_view category, std::string_view item) {
  for (char sep : {'_', '.'}) {
    const std::string tag = std::string(category) + sep + std::string(item);
    const std::string_view* value = cifdoc::FindValue(block, tag);
    if (value && !cifdoc::IsNull(*value)) return value;
  }
  return nullptr;
}

// The first of two spellings present.
const std::string_view* FindValue(const Block& block, std::string_view category, std::string_view item,
                                  std::string_view old_category, std::string_view old_item) {
  const std::string_view* value = FindValue(block, category, item);
  return value ? value : FindValue(block, old_category, old_item);
}

// As written: a quoted number is no number.
double Number(std::string_view value) { return gemmi::cif::as_number(std::string(value)); }
double Number(const std::string_view* value) { return value ? Number(*value) : NAN; }

std::string NameOf(const Block& block) { return std::string(block.name); }

bool ReadCell(const Block& block, gemmi::UnitCell& cell, std::vector<double>& params) {
  static constexpr const char* kItems[6] = {"length_a",    "length_b",   "length_c",
                                            "angle_alpha", "angle_beta", "angle_gamma"};
  params.assign(6, NAN);
  for (int i = 0; i < 6; ++i) {
    params[i] = Number(FindValue(block, "_cell", kItems[i]));
    // Angles are often left out of orthogonal cells.
    if (i >= 3 && std::isnan(params[i])) params[i] = 90.0;
  }
  if (std::isnan(params[0]) || std::isnan(params[1]) || std::isnan(params[2])) {
    QvErrorHandler::Warning("CIF data block \"%s\" has no unit cell", NameOf(block).c_str());
    return false;
  }
  const bool sane = std::all_of(params.begin(), params.end(), [](double v) { return v > 0.0 && v < 1e6; }) &&
                    params[3] < 180.0 && params[4] < 180.0 && params[5] < 180.0;
  if (sane) cell.set(params[0], params[1], params[2], params[3], params[4], params[5]);
  if (!sane || !(cell.volume > 0.0) || !std::isfinite(cell.ar * cell.br * cell.cr) ||
      std::max({cell.ar, cell.br, cell.cr}) > 1.0 / kMinCellWidth) {
    QvErrorHandler::Warning("CIF data block \"%s\" has an impossible unit cell", NameOf(block).c_str());
    return false;
  }
  return true;
}

// Symmetry texts go to a parser whose sums overflow on long numbers or
// very many terms; no real operator or symbol comes near these limits.
bool BeyondSymmetryParser(std::string_view text) {
  constexpr size_t kMaxLength = 256;
  constexpr size_t kMaxDigits = 3;
  if (text.size() > kMaxLength) return true;
  size_t digits = 0;
  for (char c : text) {
    digits = std::isdigit(static_cast<unsigned char>(c)) ? digits + 1 : 0;
    if (digits > kMaxDigits) return true;
  }
  return false;
}

// A rotation part of -1, 0 and 1 that maps the lattice onto itself.
bool IsLatticeOperator(const gemmi::Op& op) {
  constexpr int kDen = gemmi::Op::DEN;
  for (const auto& row : op.rot)
    for (int v : row)
      if (v != 0 && std::abs(v) != kDen) return false;
  return std::abs(op.det_rot()) == kDen * kDen * kDen;
}

// A symmetry operator written as a triplet ("-x+1/2, y, z+1/4").
std::optional<gemmi::Op> ParseOperator(const std::string& text) {
  if (BeyondSymmetryParser(text)) return std::nullopt;
  try {
    const gemmi::Op op = gemmi::parse_triplet(text);
    if (IsLatticeOperator(op)) return op;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

gemmi::Op Normalised(gemmi::Op op) {
  for (int& t : op.tran) t = ((t % gemmi::Op::DEN) + gemmi::Op::DEN) % gemmi::Op::DEN;
  return op;
}

// The operators written out, else those of the Hall symbol, else those of
// the Hermann-Mauguin name, else P 1; the identity first and each once.
bool ReadOperators(const Block& block, std::vector<gemmi::Op>& ops) {
  std::vector<gemmi::Op> found;
  for (const char* tag : {"_space_group_symop_operation_xyz", "_space_group_symop.operation_xyz",
                          "_symmetry_equiv_pos_as_xyz", "_symmetry_equiv.pos_as_xyz"}) {
    const cifdoc::Table column(block, "", {tag});
    for (std::size_t i = 0; i < column.size(); ++i) {
      const std::string text(column(i, 0));
      if (const std::optional<gemmi::Op> op = ParseOperator(text))
        found.push_back(*op);
      else
        QvErrorHandler::Warning("Symmetry operator \"%s\" of CIF data block \"%s\" is not understood; skipped",
                                text.c_str(), NameOf(block).c_str());
    }
    if (column.size() > 0) break;
  }
  if (found.empty()) {
    const std::string_view* hall = FindValue(block, "_space_group", "name_Hall", "_symmetry_space_group", "name_Hall");
    if (hall && !BeyondSymmetryParser(*hall)) {
      try {
        found = gemmi::symops_from_hall(std::string(cifdoc::Text(*hall)).c_str()).all_ops_sorted();
      } catch (const std::exception&) {
        found.clear();
      }
    }
  }
  if (found.empty()) {
    if (const std::string_view* hm = FindValue(block, "_space_group", "name_H-M_alt", "_symmetry_space_group", "name_H-M")) {
      if (const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(std::string(cifdoc::Text(*hm))))
        found = sg->operations().all_ops_sorted();
    }
  }
  ops.assign(1, gemmi::Op::identity());
  for (const gemmi::Op& op : found) {
    if (!IsLatticeOperator(op)) continue;
    const gemmi::Op n = Normalised(op);
    if (std::find(ops.begin(), ops.end(), n) == ops.end()) ops.push_back(n);
    if (ops.size() > kMaxOperators) break;
  }
  if (ops.size() > kMaxOperators) {
    QvErrorHandler::Warning("CIF data block \"%s\" has more than %zu symmetry operators; no space group has so many",
                            NameOf(block).c_str(), kMaxOperators);
    return false;
  }
  return true;
}

// The element of a type symbol ("Cl", "O2-", "CL") or a label ("Cl1",
// "C12A", "S(1)"): its leading letters, two when a label writes the second
// in lower case or the first alone is no element. 0 when neither is one.
unsigned ElementOf(std::string_view text, bool label) {
  size_t n = 0;
  while (n < text.size() && n < 2 && std::isalpha(static_cast<unsigned char>(text[n]))) ++n;
  if (n == 0) return 0;
  const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  const unsigned one = QvGetAtomicNum(std::string_view(&first, 1));
  if (n == 1) return one;
  const char pair[2] = {first, static_cast<char>(std::tolower(static_cast<unsigned char>(text[1])))};
  const unsigned two = QvGetAtomicNum(std::string_view(pair, 2));
  const bool lower_second = std::islower(static_cast<unsigned char>(text[1]));
  if (label && !lower_second && one != 0) return one;
  return two != 0 ? two : one;
}

struct SiteRow {
  std::string label;
  unsigned atomic_num = 0;
  unsigned isotope = 0;
  std::array<double, 3> frac{};
  double occupancy = 1.0;
  std::string assembly;
  std::string group;  // "" outside disorder groups
};

// Group numbers, with SHELX's negative parts (disorder about a special
// position) counted as their positive number.
std::string GroupOf(std::string text) {
  if (text.empty() || text == "0") return {};
  if (text.size() > 1 && text[0] == '-') text.erase(0, 1);
  return text;
}

bool LowerGroup(const std::string& a, const std::string& b) {
  const double x = Number(a), y = Number(b);
  if (!std::isnan(x) && !std::isnan(y)) return x < y;
  return a < b;
}

bool ReadSites(const Block& block, std::vector<SiteRow>& rows) {
  enum { X, Y, Z, Label, Type, Occupancy, Assembly, Group, Calc };
  const std::vector<std::string_view> items = {"fract_x",     "fract_y",           "fract_z",
                                               "?label",      "?type_symbol",      "?occupancy",
                                               "?disorder_assembly", "?disorder_group", "?calc_flag"};
  cifdoc::Table table(block, "_atom_site_", items);
  if (!table.ok()) table = cifdoc::Table(block, "_atom_site.", items);
  if (!table.ok()) {
    QvErrorHandler::Warning("CIF data block \"%s\" has no fractional atom sites", NameOf(block).c_str());
    return false;
  }
  for (std::size_t row = 0; row < table.size(); ++row) {
    SiteRow site;
    site.label = table(row, Label);
    if (table(row, Calc) == "dum") continue;
    for (int i = 0; i < 3; ++i) site.frac[i] = Number(table.Raw(row, i));
    if (std::any_of(site.frac.begin(), site.frac.end(), [](double v) { return !(std::fabs(v) < 1e6); })) {
      QvErrorHandler::Warning("Atom site \"%s\" of CIF data block \"%s\" has no coordinates; skipped",
                              site.label.c_str(), NameOf(block).c_str());
      continue;
    }
    const std::string_view type = table(row, Type);
    const std::string element(type.empty() ? site.label : type);
    site.atomic_num = ElementOf(element, type.empty());
    // Neutron structures name deuterium D.
    if (site.atomic_num == 0 && !element.empty() && (element[0] == 'D' || element[0] == 'd')) {
      site.atomic_num = 1;
      site.isotope = 2;
    }
    if (!table(row, Occupancy).empty()) {
      const double occupancy = Number(table.Raw(row, Occupancy));
      if (occupancy >= 0.0 && occupancy <= 1.0) site.occupancy = occupancy;
    }
    site.group = GroupOf(std::string(table(row, Group)));
    site.assembly = table(row, Assembly);
    rows.push_back(std::move(site));
  }
  return true;
}

void KeepFirstDisorderGroups(std::vector<SiteRow>& rows) {
  std::map<std::string, std::string> kept;  // assembly -> group
  for (const SiteRow& row : rows) {
    if (row.group.empty()) continue;
    auto [it, added] = kept.emplace(row.assembly, row.group);
    if (!added && LowerGroup(row.group, it->second)) it->second = row.group;
  }
  std::erase_if(rows, [&](const SiteRow& row) {
    return !row.group.empty() && kept[row.assembly] != row.group;
  });
}

}  // namespace

bool QvReadSmallMoleculeBlock(const cifdoc::Block& block, QvMolBase& mol, unsigned flavor) {
  gemmi::UnitCell cell;
  std::vector<double> params;
  std::vector<gemmi::Op> ops;
  std::vector<SiteRow> rows;
  if (!ReadCell(block, cell, params) || !ReadOperators(block, ops) || !ReadSites(block, rows))
    return false;
  if (flavor & QvIFlavor::CIF::FirstDisorderGroup) KeepFirstDisorderGroups(rows);
  if (rows.empty()) {
    QvErrorHandler::Warning("CIF data block \"%s\" has no atoms", NameOf(block).c_str());
    return false;
  }

  std::vector<smcif::AsymAtom> asym;
  asym.reserve(rows.size());
  for (const SiteRow& row : rows) asym.push_back({row.atomic_num, row.frac});
  std::vector<smcif::PlacedAtom> placed;
  size_t sites = 0;
  if (flavor & QvIFlavor::CIF::Symmetry) {
    if (!smcif::ExpandAsymmetricUnit(cell, ops, asym, flavor & QvIFlavor::CIF::WholeMolecules, placed,
                                     sites)) {
      QvErrorHandler::Warning("CIF data block \"%s\" puts %zu atoms in a unit cell of %.1f A^3",
                              NameOf(block).c_str(), sites, cell.volume);
      return false;
    }
  } else {
    for (unsigned a = 0; a < asym.size(); ++a) placed.push_back({a, asym[a].frac});
  }

  mol.SetTitle(NameOf(block));
  mol.SetDimension(3);
  mol.SetData(Sorvil::QvGetTag(kQvCIFCellTag), params);
  const Sorvil::QvTag occupancy_tag = Sorvil::QvGetTag("occupancy");
  for (const smcif::PlacedAtom& p : placed) {
    const SiteRow& row = rows[p.asym];
    QvAtomBase* atom = mol.NewAtom(row.atomic_num);
    if (!row.label.empty()) atom->SetName(row.label);
    if (row.isotope) atom->SetIsotope(row.isotope);
    if (row.occupancy != 1.0) atom->SetData(occupancy_tag, row.occupancy);
    const gemmi::Position xyz = cell.orthogonalize(gemmi::Fractional(p.frac[0], p.frac[1], p.frac[2]));
    const double coords[3] = {xyz.x, xyz.y, xyz.z};
    mol.SetCoords(atom, coords);
  }
  return true;
}

}  // namespace Tamrin
