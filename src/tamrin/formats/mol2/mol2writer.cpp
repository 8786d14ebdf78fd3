#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numformat.h"
#include "pellar/qvstream.h"
#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/mol2/mol2.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/mcmol.h"
#include "tamrin/model/perceived.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/residue.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/bondorders.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/tripos.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

using Pellar::Align;
using Pellar::AppendInt;
using Pellar::FormatFixed;
using Pellar::FormatInt;
using Sorvil::QvErrorHandler;
namespace Bits = QvOFlavor::MOL2;

constexpr unsigned kAllPreparation = 0xF;
constexpr unsigned kTriposAromaticity = 3;
constexpr unsigned kMolecule3D = 3;

// Appends the columns of a record straight to its text: no line is built
// apart.
struct Line {
  std::string& text;
  void Int(long long value, int width, Align align = Align::Right) {
    char digits[Pellar::kIntChars + 16];
    text.append(digits, FormatInt(digits, value, width, align));
  }
  void Fixed(double value, int width, int decimals) {
    char digits[Pellar::FixedChars(5) + 16];
    text.append(digits, FormatFixed(digits, value, width, decimals));
  }
  // "%-*s".
  void Str(std::string_view s, int width = 0) {
    text.append(s);
    if (static_cast<int>(s.size()) < width) text.append(static_cast<std::size_t>(width) - s.size(), ' ');
  }
};

// Consecutive atoms of one residue (or of none) form one substructure.
struct Substructure {
  const QvResidue* residue;  // null: a group of atoms outside residues
  unsigned root;             // number of its first atom
  unsigned group;            // running number of groups outside residues
};

struct Plan {
  std::vector<const QvAtomBase*> atoms;   // the caller's, for text and residues
  std::vector<const QvAtomBase*> typed;   // the prepared copy's, same order
  std::vector<std::string_view> types;    // by atom position
  std::vector<std::string_view> names;    // by atom position, empty: made up
  std::vector<const QvBondBase*> bonds;   // the prepared copy's
  std::vector<std::string_view> bond_types;
  std::string name_text;                  // names the writer made
  std::vector<unsigned> substructure_of;  // by atom position, from 1
  std::vector<Substructure> substructures;
  std::vector<unsigned> added;            // hydrogens added per atom position
  unsigned added_total = 0;
};

bool SameResidue(const QvResidue* a, const QvResidue* b) {
  if (!a || !b) return a == b;
  return a->SameResidue(*b);
}

void PlanSubstructures(Plan& plan) {
  const QvResidue* previous = nullptr;
  unsigned groups = 0;
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) {
    const QvResidue* residue = QvGetResidue(*plan.atoms[i]);
    if (i == 0 || !SameResidue(residue, previous))
      plan.substructures.push_back({residue, static_cast<unsigned>(i + 1), residue ? 0 : groups++});
    plan.substructure_of.push_back(static_cast<unsigned>(plan.substructures.size()));
    previous = residue;
  }
}

void PlanHydrogens(Plan& plan, bool all) {
  plan.added.assign(plan.atoms.size(), 0);
  bool write = all;
  for (std::size_t i = 0; i < plan.typed.size() && !write; ++i) {
    const QvAtomBase& atom = *plan.typed[i];
    write = atom.GetAtomicNum() == 1 ||
            atom.GetImplicitHCount() != QvTriposExpectedHCount(plan.types[i], atom.GetExplicitDegree());
  }
  if (!write) return;
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) {
    plan.added[i] = plan.typed[i]->GetImplicitHCount();
    plan.added_total += plan.added[i];
  }
}

bool HasPartialCharges(const QvMolBase& mol) {
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const double q = atom.GetPartialCharge();
    if (q < 0.0 || q > 0.0) return true;
  }
  return false;
}

std::string_view SymbolOf(const QvAtomBase& atom) {
  return atom.GetAtomicNum() == 0 ? "Du" : QvGetAtomicSymbol(atom.GetAtomicNum());
}

std::string_view ChainOf(const QvResidue& residue) {
  return residue.chain.empty() || residue.chain[0] == ' ' ? std::string_view("A") : std::string_view(residue.chain).substr(0, 1);
}

// " %5d %s%-4d", " %5d %s    " or " %5d <%d>    ".
void PutSubstructure(Line& line, const Plan& plan, std::size_t atom) {
  const unsigned number = plan.substructure_of[atom];
  const Substructure& sub = plan.substructures[number - 1];
  line.text += ' ';
  line.Int(number, 5);
  line.text += ' ';
  if (!sub.residue) {
    line.text += '<';
    line.Int(sub.group, 0);
    line.text += ">    ";
  } else if (sub.residue->number == 0) {
    line.Str(sub.residue->name);
    line.text += "    ";
  } else {
    line.Str(sub.residue->name);
    line.Int(sub.residue->number, 4, Align::Left);
  }
}

// Positions for added hydrogens: 1 Å from the parent, away from its
// neighbours, fanned out when there are several.
void HydrogenPosition(const QvMolBase& mol, const QvAtomBase& parent, unsigned k, double out[3]) {
  static constexpr double kFan[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
  double p[3] = {};
  mol.GetCoords(&parent, p);
  double away[3] = {};
  for (const QvAtomBase& nbr : parent.GetAtoms()) {
    double q[3] = {};
    mol.GetCoords(&nbr, q);
    const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len > 1e-6)
      for (int i = 0; i < 3; ++i) away[i] += d[i] / len;
  }
  double dir[3];
  for (int i = 0; i < 3; ++i) dir[i] = away[i] + 0.8 * kFan[k % 4][i];
  double len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
  if (len < 1e-6) dir[0] = 1, dir[1] = dir[2] = 0, len = 1;
  for (int i = 0; i < 3; ++i) out[i] = p[i] + dir[i] / len;
}

// Bonds of an unsaturated 3D molecule as another program left them: bare
// connectivity gets its orders from the geometry (QvAssignBondOrders acts
// only when every bond is still single).
void Prepare3D(QvMolBase& mol) {
  if (mol.GetDimension() != kMolecule3D) return;
  for (const QvBondBase& bond : mol.GetBonds())
    if (bond.IsAromatic()) return;
  QvAssignBondOrders(mol);
}

// The part of the molecule that typing reads and preparation may change:
// elements, charges, hydrogens, bonds, flags and coordinates, without the
// names, types, residues and other data, which are read from the caller's
// molecule.
void CopyForTyping(const QvMolBase& source, QvMolBase& work, Plan& plan) {
  const auto* multi = Sorvil::QvCast<QvMCMolBase>(&source);
  const bool has_coords = !multi || multi->GetActive() != nullptr;
  std::vector<QvAtomBase*> copy_of(source.GetMaxAtomIdx(), nullptr);
  double xyz[3];
  for (const QvAtomBase& atom : source.GetAtoms()) {
    QvAtomBase* copy = work.NewAtom(atom.GetAtomicNum());
    copy->SetIsotope(atom.GetIsotope());
    copy->SetFormalCharge(atom.GetFormalCharge());
    copy->SetImplicitHCount(atom.GetImplicitHCount());
    copy->SetAromatic(atom.IsAromatic());
    copy->SetInRing(atom.IsInRing());
    // Wildcard atoms are told apart by their type (lone pairs).
    if (atom.GetAtomicNum() == 0) copy->SetType(atom.GetTypeName());
    if (has_coords) {
      source.GetCoords(&atom, xyz);
      work.SetCoords(copy, xyz);
    }
    copy_of[atom.GetIdx()] = copy;
    plan.atoms.push_back(&atom);
    plan.typed.push_back(copy);
  }
  for (const QvBondBase& bond : source.GetBonds()) {
    if (!bond.GetBgn() || !bond.GetEnd()) continue;
    QvBondBase* copy = work.NewBond(copy_of[bond.GetBgn()->GetIdx()], copy_of[bond.GetEnd()->GetIdx()], bond.GetOrder());
    if (!copy) continue;
    copy->SetIntType(bond.GetIntType());
    copy->SetAromatic(bond.IsAromatic());
    copy->SetInRing(bond.IsInRing());
    plan.bonds.push_back(copy);
    plan.bond_types.push_back(bond.GetTypeName());
  }
  if (has_coords) work.SetDimension(source.GetDimension());
  for (unsigned bit = 1; bit != 0; bit <<= 1)
    if (bit != QvPerceivedEnergy && source.HasPerceived(bit)) work.SetPerceived(bit, true);
}

// Types and names by the flavor: computed on the prepared copy, or the
// caller's.
void Prepare(QvMolBase& mol, unsigned flavor, Plan& plan) {
  if ((flavor & QvIFlavor::Generic::Rings) && !mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(mol);
  QvPerceiveAromaticity(mol, QvAromaticityModelOf(flavor, kTriposAromaticity));
  const bool all = (flavor & 0x3FFF) == kAllPreparation;
  if ((all || (flavor & Bits::Prepare3D)) && mol.GetDimension() == kMolecule3D) Prepare3D(mol);
  const std::size_t n = plan.atoms.size();
  plan.types.resize(n);
  plan.names.resize(n);
  const bool type = all || (flavor & Bits::AtomTypes);
  const bool name = all || (flavor & Bits::AtomNames);
  if (name) plan.name_text.reserve(n * 8);
  QvTriposNamer namer;
  char buffer[24];
  std::vector<std::pair<std::size_t, std::size_t>> made;  // offsets into name_text
  for (std::size_t i = 0; i < n; ++i) {
    const QvAtomBase& atom = *plan.typed[i];
    const unsigned z = atom.GetAtomicNum();
    const bool lone_pair = z == 0 && std::string_view(atom.GetTypeName()) == "Lp";
    if (!type) {
      plan.types[i] = plan.atoms[i]->GetTypeName();
    } else {
      const unsigned t = QvTriposAtomType(atom);
      plan.types[i] = t != 0 || z == 0 ? std::string_view(QvTriposTypeName(t)) : SymbolOf(atom);
    }
    if (!name) {
      plan.names[i] = plan.atoms[i]->GetName();
      continue;
    }
    const std::string_view text = namer.Next(z, lone_pair, buffer);
    made.emplace_back(plan.name_text.size(), text.size());
    plan.name_text += text;
  }
  // The text is complete only now; views into it are safe from here on.
  for (std::size_t i = 0; i < made.size(); ++i)
    plan.names[i] = std::string_view(plan.name_text).substr(made[i].first, made[i].second);
  if (all || (flavor & Bits::BondTypes))
    for (std::size_t i = 0; i < plan.bonds.size(); ++i) plan.bond_types[i] = QvTriposBondType(*plan.bonds[i]);
  if (type) mol.SetPerceived(QvPerceivedHybridization, true);
}

bool ForcefieldReady(const Plan& plan) {
  bool ready = true;
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) {
    if (plan.types[i].empty()) {
      QvErrorHandler::Warning("Unable to write Forcefield-flavor MOL2 file: missing type for atom %d", static_cast<int>(i));
      ready = false;
    }
    if (plan.names[i].empty()) {
      QvErrorHandler::Warning("Unable to write Forcefield-flavor MOL2 file: missing name for atom %d", static_cast<int>(i));
      ready = false;
    }
  }
  return ready;
}

std::string_view BondTypeOf(const QvBondBase& bond, std::string_view type) {
  if (!type.empty()) return type;
  if (bond.IsAromatic() || bond.GetOrder() == kQvAromaticOrder) return "ar";
  switch (bond.GetOrder()) {
    case 2: return "2";
    case 3: return "3";
    default: return "1";
  }
}

void WriteHeader(std::string& out, const QvMolBase& mol, const QvMolBase& work, const Plan& plan, unsigned s) {
  out += "@<TRIPOS>MOLECULE\n";
  const char* title = mol.GetTitle();
  out += *title ? title : "*****";
  out += '\n';
  Line line{out};
  line.Int(work.NumAtoms() + plan.added_total, 5);
  line.text += ' ';
  line.Int(work.NumBonds() + plan.added_total, 5);
  line.text += ' ';
  line.Int(s, 5);
  line.text += "     0     0\n";
  out += s > 1 ? "PROTEIN\n" : "SMALL\n";
  out += HasPartialCharges(mol) ? "USER_CHARGES\n" : "NO_CHARGES\n";
  out += '\n';
  static const Sorvil::QvTag tag = Sorvil::QvGetTag("QvMolComment");
  if (const std::string* comment = mol.GetDataPtr<std::string>(tag); comment && !comment->empty()) {
    out += *comment;
    out += '\n';
  }
}

void WriteAtoms(std::string& out, const QvMolBase& mol, const Plan& plan, int decimals) {
  out += "@<TRIPOS>ATOM\n";
  Line line{out};
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) {
    const QvAtomBase& atom = *plan.atoms[i];
    double xyz[3] = {};
    mol.GetCoords(plan.typed[i], xyz);
    out += "  ";
    line.Int(static_cast<long long>(i + 1), 5);
    line.text += ' ';
    if (!plan.names[i].empty()) {
      line.Str(plan.names[i], 8);
    } else {
      // A blank name would shift every column after it.
      const std::size_t start = out.size();
      out += SymbolOf(atom);
      line.Int(static_cast<long long>(i + 1), 0);
      const std::size_t length = out.size() - start;
      if (length < 8) out.append(8 - length, ' ');
    }
    for (double v : xyz) {
      line.text += ' ';
      line.Fixed(v, 9, 4);
    }
    line.text += ' ';
    line.Str(plan.types[i].empty() ? SymbolOf(atom) : plan.types[i], 5);
    PutSubstructure(line, plan, i);
    line.text += ' ';
    line.Fixed(atom.GetPartialCharge(), 10, decimals);
    line.text += '\n';
  }
  unsigned number = static_cast<unsigned>(plan.atoms.size());
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) {
    for (unsigned k = 0; k < plan.added[i]; ++k) {
      double xyz[3];
      HydrogenPosition(mol, *plan.typed[i], k, xyz);
      out += "  ";
      line.Int(++number, 5);
      line.text += " H        ";
      for (double v : xyz) {
        line.Fixed(v, 9, 4);
        line.text += ' ';
      }
      line.text += "H    ";
      PutSubstructure(line, plan, i);
      line.text += "     0.0000\n";
    }
  }
}

void WriteBonds(std::string& out, const QvMolBase& mol, const Plan& plan) {
  out += "@<TRIPOS>BOND\n";
  std::vector<unsigned> number_of(mol.GetMaxAtomIdx(), 0);
  for (std::size_t i = 0; i < plan.typed.size(); ++i) number_of[plan.typed[i]->GetIdx()] = static_cast<unsigned>(i + 1);
  Line line{out};
  unsigned n = 0;
  auto put = [&](unsigned a, unsigned b, std::string_view type) {
    out += "  ";
    line.Int(++n, 4);
    line.text += ' ';
    line.Int(a, 4);
    line.text += ' ';
    line.Int(b, 4);
    line.text += ' ';
    line.text += type;
    line.text += '\n';
  };
  for (std::size_t i = 0; i < plan.bonds.size(); ++i) {
    const QvBondBase& bond = *plan.bonds[i];
    const unsigned a = number_of[bond.GetBgn()->GetIdx()], b = number_of[bond.GetEnd()->GetIdx()];
    put(std::min(a, b), std::max(a, b), BondTypeOf(bond, plan.bond_types[i]));
  }
  unsigned hydrogen = static_cast<unsigned>(plan.atoms.size());
  for (std::size_t i = 0; i < plan.atoms.size(); ++i)
    for (unsigned k = 0; k < plan.added[i]; ++k) put(static_cast<unsigned>(i + 1), ++hydrogen, "1");
}

void WriteSubstructures(std::string& out, const Plan& plan, bool forcefield) {
  out += "@<TRIPOS>SUBSTRUCTURE\n";
  Line line{out};
  for (std::size_t i = 0; i < plan.substructures.size(); ++i) {
    const Substructure& sub = plan.substructures[i];
    out += " ";
    line.Int(static_cast<long long>(i + 1), 5);
    line.text += ' ';
    if (!sub.residue) {
      line.text += '<';
      line.Int(sub.group, 0);
      line.text += ">     ";
      line.Int(sub.root, 5);
      line.text += " GROUP 0 A     ****\n";
      continue;
    }
    const QvResidue& r = *sub.residue;
    const bool standard = QvIsStandardResidueName(r.name);
    line.Str(r.name);
    if (forcefield && !standard) line.text += "    ";
    else line.Int(r.number, 4, Align::Left);
    line.text += ' ';
    line.Int(sub.root, 5);
    line.text += standard ? " RESIDUE 1 " : " GROUP   0 ";
    line.Str(ChainOf(r));
    line.text += "     ";
    line.Str(standard ? std::string_view(r.name) : std::string_view("****"));
    line.text += '\n';
  }
}

}  // namespace

int WriteMOL2Record(qvmolostream& out, const QvMolBase& source, unsigned flavor) {
  QvGraphMol work;
  QvMolBase& mol = work;
  Plan plan;
  CopyForTyping(source, mol, plan);
  Prepare(mol, flavor, plan);

  const bool forcefield = flavor & Bits::Forcefield;
  if (forcefield && !ForcefieldReady(plan)) return QvWriteFailed;
  PlanHydrogens(plan, flavor & Bits::ExplicitHydrogens);
  PlanSubstructures(plan);
  unsigned s = static_cast<unsigned>(plan.substructures.size());
  if ((flavor & Bits::DropSingleSubstructure) && s == 1 && !forcefield) s = 0;

  std::string text;
  text.reserve(128 + plan.atoms.size() * 80 + plan.bonds.size() * 24);
  WriteHeader(text, source, mol, plan, s);
  WriteAtoms(text, mol, plan, (flavor & Bits::LongCharges) ? 5 : 4);
  WriteBonds(text, mol, plan);
  if (s > 0) WriteSubstructures(text, plan, forcefield);
  out.GetStream().write(text.data(), text.size());
  return 0;
}

}  // namespace Tamrin
