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

// The places a line is built in: names and types are the caller's text, so
// a line grows as it needs to.
struct Line {
  std::string text;
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
  void Start(std::string_view s) {
    text.clear();
    text.append(s);
  }
};

// Consecutive atoms of one residue (or of none) form one substructure.
struct Substructure {
  const QvResidue* residue;  // null: a group of atoms outside residues
  unsigned root;             // number of its first atom
  unsigned group;            // running number of groups outside residues
};

struct Plan {
  std::vector<const QvAtomBase*> atoms;
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
  if (!write) {
    for (const QvAtomBase* atom : plan.atoms) {
      if (atom->GetAtomicNum() == 1 || atom->GetImplicitHCount() != QvTriposExpectedHCount(*atom)) {
        write = true;
        break;
      }
    }
  }
  if (!write) return;
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) {
    plan.added[i] = plan.atoms[i]->GetImplicitHCount();
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

std::string_view TypeOf(const QvAtomBase& atom) {
  const std::string_view type = atom.GetTypeName();
  if (!type.empty()) return type;
  return atom.GetAtomicNum() == 0 ? "Du" : QvGetAtomicSymbol(atom.GetAtomicNum());
}

std::string NameOf(const QvAtomBase& atom, unsigned number) {
  const std::string_view name = atom.GetName();
  if (!name.empty()) return std::string(name);
  // A blank name would shift every column after it.
  std::string made = atom.GetAtomicNum() == 0 ? "Du" : QvGetAtomicSymbol(atom.GetAtomicNum());
  AppendInt(made, number);
  return made;
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

void Prepare(QvMolBase& mol, unsigned flavor) {
  if ((flavor & QvIFlavor::Generic::Rings) && !mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(mol);
  QvPerceiveAromaticity(mol, QvAromaticityModelOf(flavor, kTriposAromaticity));
  const bool all = (flavor & 0x3FFF) == kAllPreparation;
  if ((all || (flavor & Bits::Prepare3D)) && mol.GetDimension() == kMolecule3D) Prepare3D(mol);
  if (all || (flavor & Bits::AtomTypes)) QvAssignTriposAtomTypes(mol);
  if (all || (flavor & Bits::BondTypes)) QvAssignTriposBondTypes(mol);
  if (all || (flavor & Bits::AtomNames)) QvNameAtomsTripos(mol);
}

bool ForcefieldReady(const std::vector<const QvAtomBase*>& atoms) {
  bool ready = true;
  for (std::size_t i = 0; i < atoms.size(); ++i) {
    if (*atoms[i]->GetTypeName() == '\0') {
      QvErrorHandler::Warning("Unable to write Forcefield-flavor MOL2 file: missing type for atom %d", static_cast<int>(i));
      ready = false;
    }
    if (*atoms[i]->GetName() == '\0') {
      QvErrorHandler::Warning("Unable to write Forcefield-flavor MOL2 file: missing name for atom %d", static_cast<int>(i));
      ready = false;
    }
  }
  return ready;
}

std::string_view BondTypeOf(const QvBondBase& bond) {
  const std::string_view type = bond.GetTypeName();
  if (!type.empty()) return type;
  if (bond.IsAromatic() || bond.GetOrder() == kQvAromaticOrder) return "ar";
  switch (bond.GetOrder()) {
    case 2: return "2";
    case 3: return "3";
    default: return "1";
  }
}

void WriteHeader(std::string& out, const QvMolBase& mol, const Plan& plan, unsigned s) {
  out += "@<TRIPOS>MOLECULE\n";
  const char* title = mol.GetTitle();
  out += *title ? title : "*****";
  out += '\n';
  Line line;
  line.Int(mol.NumAtoms() + plan.added_total, 5);
  line.text += ' ';
  line.Int(mol.NumBonds() + plan.added_total, 5);
  line.text += ' ';
  line.Int(s, 5);
  line.text += "     0     0\n";
  out += line.text;
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
  Line line;
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) {
    const QvAtomBase& atom = *plan.atoms[i];
    double xyz[3] = {};
    mol.GetCoords(&atom, xyz);
    line.Start("  ");
    line.Int(static_cast<long long>(i + 1), 5);
    line.text += ' ';
    line.Str(NameOf(atom, static_cast<unsigned>(i + 1)), 8);
    for (double v : xyz) {
      line.text += ' ';
      line.Fixed(v, 9, 4);
    }
    line.text += ' ';
    line.Str(TypeOf(atom), 5);
    PutSubstructure(line, plan, i);
    line.text += ' ';
    line.Fixed(atom.GetPartialCharge(), 10, decimals);
    line.text += '\n';
    out += line.text;
  }
  unsigned number = static_cast<unsigned>(plan.atoms.size());
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) {
    for (unsigned k = 0; k < plan.added[i]; ++k) {
      double xyz[3];
      HydrogenPosition(mol, *plan.atoms[i], k, xyz);
      line.Start("  ");
      line.Int(++number, 5);
      line.text += " H        ";
      for (double v : xyz) {
        line.Fixed(v, 9, 4);
        line.text += ' ';
      }
      line.text += "H    ";
      PutSubstructure(line, plan, i);
      line.text += "     0.0000\n";
      out += line.text;
    }
  }
}

void WriteBonds(std::string& out, const QvMolBase& mol, const Plan& plan) {
  out += "@<TRIPOS>BOND\n";
  std::vector<unsigned> number_of(mol.GetMaxAtomIdx(), 0);
  for (std::size_t i = 0; i < plan.atoms.size(); ++i) number_of[plan.atoms[i]->GetIdx()] = static_cast<unsigned>(i + 1);
  Line line;
  unsigned n = 0;
  auto put = [&](unsigned a, unsigned b, std::string_view type) {
    line.Start("  ");
    line.Int(++n, 4);
    line.text += ' ';
    line.Int(a, 4);
    line.text += ' ';
    line.Int(b, 4);
    line.text += ' ';
    line.text += type;
    line.text += '\n';
    out += line.text;
  };
  for (const QvBondBase& bond : mol.GetBonds()) {
    const unsigned a = number_of[bond.GetBgn()->GetIdx()], b = number_of[bond.GetEnd()->GetIdx()];
    put(std::min(a, b), std::max(a, b), BondTypeOf(bond));
  }
  unsigned hydrogen = static_cast<unsigned>(plan.atoms.size());
  for (std::size_t i = 0; i < plan.atoms.size(); ++i)
    for (unsigned k = 0; k < plan.added[i]; ++k) put(static_cast<unsigned>(i + 1), ++hydrogen, "1");
}

void WriteSubstructures(std::string& out, const Plan& plan, bool forcefield) {
  out += "@<TRIPOS>SUBSTRUCTURE\n";
  Line line;
  for (std::size_t i = 0; i < plan.substructures.size(); ++i) {
    const Substructure& sub = plan.substructures[i];
    line.Start(" ");
    line.Int(static_cast<long long>(i + 1), 5);
    line.text += ' ';
    if (!sub.residue) {
      line.text += '<';
      line.Int(sub.group, 0);
      line.text += ">     ";
      line.Int(sub.root, 5);
      line.text += " GROUP 0 A     ****\n";
      out += line.text;
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
    out += line.text;
  }
}

}  // namespace

int WriteMOL2Record(qvmolostream& out, const QvMolBase& source, unsigned flavor) {
  QvGraphMol work(source);
  QvMolBase& mol = work;
  Prepare(mol, flavor);

  Plan plan;
  for (const QvAtomBase& atom : mol.GetAtoms()) plan.atoms.push_back(&atom);
  const bool forcefield = flavor & Bits::Forcefield;
  if (forcefield && !ForcefieldReady(plan.atoms)) return QvWriteFailed;
  PlanHydrogens(plan, flavor & Bits::ExplicitHydrogens);
  PlanSubstructures(plan);
  unsigned s = static_cast<unsigned>(plan.substructures.size());
  if ((flavor & Bits::DropSingleSubstructure) && s == 1 && !forcefield) s = 0;

  std::string text;
  WriteHeader(text, mol, plan, s);
  WriteAtoms(text, mol, plan, (flavor & Bits::LongCharges) ? 5 : 4);
  WriteBonds(text, mol, plan);
  if (s > 0) WriteSubstructures(text, plan, forcefield);
  out.GetStream().write(text.data(), text.size());
  return 0;
}

}  // namespace Tamrin
