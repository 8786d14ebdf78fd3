#include "tamrin/perception/tripos.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "pellar/numformat.h"
#include "tamrin/chem/elements.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/perceived.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/rings.h"

namespace Tamrin {

namespace {

constexpr std::array<const char*, kQvNumTriposTypes> kTypeNames = {
    "Du",  "Al",   "Br",   "C.1",   "C.2",   "C.3",   "C.ar", "C.cat", "Ca",  "Cl", "F",
    "H",   "I",    "K",    "Li",    "Lp",    "N.1",   "N.2",  "N.3",   "N.4", "N.am", "N.ar",
    "N.pl3", "Na", "O.2",  "O.3",   "O.co2", "P.3",   "S.2",  "S.3",   "S.o", "S.o2", "Si",
    "Cu",  "Co.oh", "Cr.oh", "Cr.th", "Fe",  "Mg",    "Mn",   "Mo",    "Se",  "Sn",  "Zn"};

enum Type : unsigned {
  kDu = 0, kAl, kBr, kC1, kC2, kC3, kCar, kCcat, kCa, kCl, kF,
  kH, kI, kK, kLi, kLp, kN1, kN2, kN3, kN4, kNam, kNar,
  kNpl3, kNa, kO2, kO3, kOco2, kP3, kS2, kS3, kSo, kSo2, kSi,
  kCu, kCooh, kCroh, kCrth, kFe, kMg, kMn, kMo, kSe, kSn, kZn
};

enum Element : unsigned { H = 1, Li = 3, C = 6, N = 7, O = 8, F = 9, Na = 11, Mg = 12, Al = 13, Si = 14, P = 15,
                          S = 16, Cl = 17, K = 19, Ca = 20, Cr = 24, Mn = 25, Fe = 26, Co = 27, Cu = 29,
                          Zn = 30, Se = 34, Br = 35, Mo = 42, Sn = 50, I = 53 };

struct Counts {
  unsigned hydrogens = 0;  // implicit and explicit
  unsigned heavy = 0;      // bonded atoms other than hydrogen
  unsigned doubles = 0;
  unsigned triples = 0;
  unsigned aromatic = 0;   // aromatic or unresolved bonds
  unsigned order_sum = 0;  // orders of the undeleted bonds, aromatic as 1
};

Counts Count(const QvAtomBase& atom) {
  Counts c;
  c.hydrogens = atom.GetImplicitHCount();
  for (const QvBondBase& bond : atom.GetBonds()) {
    const QvAtomBase* nbr = bond.GetNbr(&atom);
    if (nbr->GetAtomicNum() == H) ++c.hydrogens;
    else ++c.heavy;
    const unsigned order = bond.GetOrder();
    if (bond.IsAromatic() || order == kQvAromaticOrder) {
      ++c.aromatic;
      ++c.order_sum;
      continue;
    }
    c.order_sum += order;
    if (order == 2) ++c.doubles;
    if (order == 3) ++c.triples;
  }
  return c;
}

bool IsTerminal(const QvAtomBase& atom) { return atom.GetExplicitDegree() == 1; }

bool HasNoHydrogen(const QvAtomBase& atom) { return Count(atom).hydrogens == 0; }

// A double bond from `atom` to an O or S.
bool HasDoubleToChalcogen(const QvAtomBase& atom) {
  for (const QvBondBase& bond : atom.GetBonds()) {
    const unsigned z = bond.GetNbr(&atom)->GetAtomicNum();
    if (bond.GetOrder() == 2 && !bond.IsAromatic() && (z == O || z == S)) return true;
  }
  return false;
}

// N bonded to C(=O), C(=S) or S(=O)(=O): the planar amide-like nitrogen.
bool IsAmideNitrogen(const QvAtomBase& n) {
  for (const QvBondBase& bond : n.GetBonds()) {
    if (bond.GetOrder() != 1 || bond.IsAromatic()) continue;
    const QvAtomBase& nbr = *bond.GetNbr(&n);
    if (nbr.GetAtomicNum() == C && !nbr.IsAromatic() && HasDoubleToChalcogen(nbr)) return true;
    if (nbr.GetAtomicNum() == S && Count(nbr).doubles >= 2) return true;
  }
  return false;
}

// N next to a multiple bond or an aromatic ring: its lone pair is
// delocalised, so it is planar (anilines, enamines, N-aryl).
bool IsConjugatedNitrogen(const QvAtomBase& n) {
  for (const QvAtomBase& nbr : n.GetAtoms()) {
    if (nbr.IsAromatic()) return true;
    const Counts c = Count(nbr);
    if (c.doubles > 0 || c.triples > 0) return true;
  }
  return false;
}

// An amidinium or guanidinium carbon: C=N+ with a further N bonded, or a
// guanidine C=N with two more, whose charge only waits for a proton.
bool IsCationicCarbon(const QvAtomBase& c) {
  if (c.IsAromatic()) return false;
  bool imine = false, iminium = false;
  unsigned nitrogens = 0;
  for (const QvBondBase& bond : c.GetBonds()) {
    const QvAtomBase& nbr = *bond.GetNbr(&c);
    if (nbr.GetAtomicNum() != N || nbr.IsAromatic()) continue;
    ++nitrogens;
    if (bond.GetOrder() == 2 && !bond.IsAromatic()) (nbr.GetFormalCharge() == 1 ? iminium : imine) = true;
  }
  return (iminium && nitrogens >= 2) || (imine && nitrogens == 3);
}

// The N of C=N in an amidinium or guanidine(ium): planar like its partners.
bool IsCationicImine(const QvAtomBase& n) {
  for (const QvBondBase& bond : n.GetBonds()) {
    const QvAtomBase& nbr = *bond.GetNbr(&n);
    if (bond.GetOrder() == 2 && nbr.GetAtomicNum() == C && IsCationicCarbon(nbr)) return true;
  }
  return false;
}

// The one heavy neighbour of an atom, or null when it has none or several.
const QvAtomBase* SoleHeavyNeighbour(const QvAtomBase& atom) {
  const QvAtomBase* found = nullptr;
  for (const QvAtomBase& nbr : atom.GetAtoms()) {
    if (nbr.GetAtomicNum() == H) continue;
    if (found) return nullptr;
    found = &nbr;
  }
  return found;
}

// Both O of a carboxyl group (acid or anion: the proton is a matter of pH),
// and a terminal O without hydrogen on P (phosphate, phosphonate).
bool IsCarboxylateOxygen(const QvAtomBase& o) {
  const QvAtomBase* centre = SoleHeavyNeighbour(o);
  if (!centre) return false;
  if (centre->GetAtomicNum() == P) return IsTerminal(o) && HasNoHydrogen(o);
  if (centre->GetAtomicNum() != C || centre->IsAromatic()) return false;
  unsigned oxygens = 0;
  for (const QvAtomBase& nbr : centre->GetAtoms())
    if (nbr.GetAtomicNum() == O && SoleHeavyNeighbour(nbr)) ++oxygens;
  return oxygens == 2 && Count(*centre).heavy == 3;
}

unsigned CarbonType(const QvAtomBase& atom, const Counts& c) {
  if (atom.IsAromatic()) return kCar;
  if (c.triples > 0 || c.doubles >= 2) return kC1;
  if (IsCationicCarbon(atom)) return kCcat;
  if (c.doubles == 1) return kC2;
  // A carbocation or carbanion with three bonds is trigonal.
  if (atom.GetFormalCharge() != 0 && c.heavy + c.hydrogens == 3) return kC2;
  return kC3;
}

unsigned NitrogenType(const QvAtomBase& atom, const Counts& c) {
  // The pyrrole-type N gives its lone pair to the ring: planar, N.pl3, as
  // readers that kekulize from the types expect.
  if (atom.IsAromatic())
    return c.heavy + c.hydrogens == 3 && atom.GetFormalCharge() == 0 && c.doubles == 0 ? kNpl3 : kNar;
  if (c.triples > 0 || c.doubles >= 2) return kN1;
  if (c.doubles == 1) return (c.heavy + c.hydrogens >= 3 || IsCationicImine(atom)) ? kNpl3 : kN2;
  if (c.heavy + c.hydrogens >= 4) return kN4;
  if (IsAmideNitrogen(atom)) return kNam;
  if (IsConjugatedNitrogen(atom)) return kNpl3;
  return kN3;
}

// The charged O of a nitro group or N-oxide written [N+][O-]: a resonance
// form of N=O.
bool IsOxideOnCation(const QvAtomBase& o) {
  if (!IsTerminal(o) || o.GetFormalCharge() != -1) return false;
  const QvAtomBase& centre = *o.GetBonds().begin()->GetNbr(&o);
  return centre.GetFormalCharge() == 1 && (centre.GetAtomicNum() == N || centre.GetAtomicNum() == S);
}

unsigned OxygenType(const QvAtomBase& atom, const Counts& c) {
  if (IsCarboxylateOxygen(atom)) return kOco2;
  if (c.doubles > 0 || IsOxideOnCation(atom)) return kO2;
  return kO3;
}

unsigned SulfurType(const QvAtomBase& atom, const Counts& c) {
  unsigned oxo = 0;
  for (const QvBondBase& bond : atom.GetBonds()) {
    const QvAtomBase& nbr = *bond.GetNbr(&atom);
    if (nbr.GetAtomicNum() == O && IsTerminal(nbr) && (bond.GetOrder() == 2 || nbr.GetFormalCharge() == -1))
      ++oxo;
  }
  if (oxo >= 2) return kSo2;
  if (oxo == 1 && c.heavy >= 3) return kSo;
  if (!atom.IsAromatic() && c.doubles > 0 && c.heavy <= 1) return kS2;
  return kS3;
}

unsigned MetalType(unsigned z, const Counts& c) {
  switch (z) {
    case Li: return kLi;
    case Na: return kNa;
    case K: return kK;
    case Mg: return kMg;
    case Ca: return kCa;
    case Al: return kAl;
    case Si: return kSi;
    case Cu: return kCu;
    case Fe: return kFe;
    case Mn: return kMn;
    case Mo: return kMo;
    case Se: return kSe;
    case Sn: return kSn;
    case Zn: return kZn;
    case Co: return kCooh;
    case Cr: return c.heavy == 4 ? kCrth : kCroh;
    default: return kDu;
  }
}

bool IsLonePair(const QvAtomBase& atom) {
  return atom.GetAtomicNum() == 0 && std::string_view(atom.GetTypeName()) == "Lp";
}

// The valence a type stands for, for the expected hydrogen count.
unsigned TypeValence(std::string_view name, unsigned degree) {
  const unsigned type = QvTriposTypeIndex(name);
  switch (type) {
    case kC3: case kN4: return 4;
    case kC2: case kCar: case kCcat: case kN3: case kNam: case kNpl3: return 3;
    case kC1: case kN2: case kNar: case kO3: case kS3: return 2;
    case kN1: case kO2: case kS2: return 1;
    case kP3: return degree < 4 ? 3 : 0;
    // A halogen on its own is a halide ion in the files that carry one.
    case kF: case kCl: case kBr: case kI: return degree == 0 ? 0 : 1;
    default: return 0;
  }
}

// The type index of every atom by atom index, looked up once: the passes
// below ask for it many times.
using TypeTable = std::vector<unsigned char>;

TypeTable TypesOf(const QvMolBase& mol) {
  TypeTable types(mol.GetMaxAtomIdx(), kDu);
  for (const QvAtomBase& atom : mol.GetAtoms())
    types[atom.GetIdx()] = static_cast<unsigned char>(QvTriposTypeIndex(atom.GetTypeName()));
  return types;
}

// Single bond from `atom` that may become multiple: to a neighbour that
// needs a unit too.
QvBondBase* PartnerBond(QvAtomBase& atom, const std::vector<unsigned>& need) {
  QvBondBase* best = nullptr;
  for (QvBondBase& bond : atom.GetBonds()) {
    if (bond.GetOrder() != 1) continue;
    const QvAtomBase& nbr = *bond.GetNbr(&atom);
    if (need[nbr.GetIdx()] == 0) continue;
    // Prefer a terminal partner (a carbonyl O over a ring C).
    if (!best || IsTerminal(nbr)) best = &bond;
    if (IsTerminal(nbr)) break;
  }
  return best;
}

// The extra bond-order units each typed atom still lacks.
std::vector<unsigned> MissingUnits(QvMolBase& mol, const TypeTable& types) {
  std::vector<unsigned> need(mol.GetMaxAtomIdx(), 0);
  for (QvAtomBase& atom : mol.GetAtoms()) {
    const unsigned type = types[atom.GetIdx()];
    unsigned wanted = 0;
    if (type == kC2 || type == kN2 || type == kO2 || type == kS2) wanted = 1;
    else if (type == kC1 || type == kN1) wanted = 2;
    if (wanted == 0) continue;
    const Counts c = Count(atom);
    if (c.aromatic > 0) continue;
    const unsigned has = c.doubles + 2 * c.triples;
    if (wanted > has) need[atom.GetIdx()] = wanted - has;
  }
  return need;
}

void RaiseTypedOrders(QvMolBase& mol, const TypeTable& types) {
  std::vector<unsigned> need = MissingUnits(mol, types);
  // Terminal atoms first: their one bond is the only place for the unit.
  for (int pass = 0; pass < 2; ++pass) {
    for (QvAtomBase& atom : mol.GetAtoms()) {
      while (need[atom.GetIdx()] > 0 && (pass == 1 || IsTerminal(atom))) {
        QvBondBase* bond = PartnerBond(atom, need);
        if (!bond) break;
        const unsigned both = std::min(need[atom.GetIdx()], need[bond->GetNbr(&atom)->GetIdx()]);
        const unsigned units = std::min(both, 2u);
        bond->SetOrder(1 + units);
        need[atom.GetIdx()] -= units;
        need[bond->GetNbr(&atom)->GetIdx()] -= units;
      }
    }
  }
}

void AromatizeSingleRings(QvMolBase& mol, const TypeTable& types) {
  const auto aromatic_type = [&types](const QvAtomBase& atom) {
    const unsigned type = types[atom.GetIdx()];
    return type == kCar || type == kNar;
  };
  bool perceived = false;
  for (QvBondBase& bond : mol.GetBonds()) {
    if (bond.GetOrder() != 1) continue;
    QvAtomBase& a = *bond.GetBgn();
    QvAtomBase& b = *bond.GetEnd();
    if (!aromatic_type(a) || !aromatic_type(b)) continue;
    const Counts ca = Count(a), cb = Count(b);
    if (ca.doubles + ca.aromatic + cb.doubles + cb.aromatic > 0) continue;
    if (!perceived) {
      QvPerceiveRings(mol);
      perceived = true;
    }
    if (bond.IsInRing()) bond.SetOrder(kQvAromaticOrder);
  }
  // A second sweep picks up the ring bonds whose atoms the first made
  // aromatic-bonded before reaching them.
  if (!perceived) return;
  for (QvBondBase& bond : mol.GetBonds()) {
    if (bond.GetOrder() != 1 || !bond.IsInRing()) continue;
    if (!aromatic_type(*bond.GetBgn()) || !aromatic_type(*bond.GetEnd())) continue;
    const Counts ca = Count(*bond.GetBgn()), cb = Count(*bond.GetEnd());
    if (ca.doubles + cb.doubles == 0) bond.SetOrder(kQvAromaticOrder);
  }
}

// Atoms without bonds or hydrogens that only occur as ions.
void ChargeBareIon(QvAtomBase& atom) {
  if (atom.GetExplicitDegree() != 0 || atom.GetImplicitHCount() != 0 || atom.GetFormalCharge() != 0) return;
  switch (atom.GetAtomicNum()) {
    case Li: case Na: case K: case 37: case 55: atom.SetFormalCharge(1); break;
    case Mg: case Ca: case 38: case 56: atom.SetFormalCharge(2); break;
    case F: case Cl: case Br: case I: atom.SetFormalCharge(-1); break;
    default: break;
  }
}

void ChargeCationicCarbon(QvAtomBase& c) {
  const Counts counts = Count(c);
  if (counts.doubles > 0 || counts.aromatic > 0 || c.GetFormalCharge() != 0) return;
  QvBondBase* pick = nullptr;
  unsigned fewest = ~0u;
  for (QvBondBase& bond : c.GetBonds()) {
    QvAtomBase& nbr = *bond.GetNbr(&c);
    if (nbr.GetAtomicNum() != N || bond.GetOrder() != 1 || nbr.GetFormalCharge() != 0) continue;
    const unsigned heavy = Count(nbr).heavy;
    if (heavy < fewest) fewest = heavy, pick = &bond;
  }
  if (!pick) return;
  pick->SetOrder(2);
  QvAtomBase& n = *pick->GetNbr(&c);
  n.SetFormalCharge(1);
  // The N lost the hydrogen it would take as a neutral amine.
  if (n.GetImplicitHCount() > 0 && Count(n).order_sum + n.GetImplicitHCount() > 4)
    n.SetImplicitHCount(n.GetImplicitHCount() - 1);
}

void ChargeNitrogen(QvAtomBase& n) {
  if (n.GetFormalCharge() != 0) return;
  const Counts c = Count(n);
  if (c.aromatic > 0) return;
  unsigned total = c.order_sum + n.GetImplicitHCount();
  if (total == 5) {
    // N(=O)=O: one oxygen takes the charge.
    for (QvBondBase& bond : n.GetBonds()) {
      QvAtomBase& o = *bond.GetNbr(&n);
      if (bond.GetOrder() == 2 && o.GetAtomicNum() == O && IsTerminal(o)) {
        bond.SetOrder(1);
        o.SetFormalCharge(-1);
        total = 4;
        break;
      }
    }
  }
  if (total == 4) n.SetFormalCharge(1);
}

void ChargeCarboxylate(QvAtomBase& o) {
  if (!IsTerminal(o) || o.GetFormalCharge() != 0 || o.GetImplicitHCount() != 0) return;
  QvBondBase& bond = *o.GetBonds().begin();
  if (bond.GetOrder() != 1) return;
  QvAtomBase& centre = *bond.GetNbr(&o);
  const unsigned z = centre.GetAtomicNum();
  const bool takes_double = z == C ? Count(centre).doubles == 0 : (z == P || z == S) && !HasDoubleToChalcogen(centre);
  if (takes_double) {
    bond.SetOrder(2);
    return;
  }
  o.SetFormalCharge(-1);
}

}  // namespace

const char* QvTriposTypeName(unsigned index) { return index < kTypeNames.size() ? kTypeNames[index] : "Du"; }

unsigned QvTriposTypeIndex(std::string_view name) {
  // Readers look up every atom's type: lengths are known at compile time,
  // and the first letter rules out most names.
  static constexpr auto kViews = [] {
    std::array<std::string_view, kQvNumTriposTypes> views{};
    for (std::size_t i = 0; i < views.size(); ++i) views[i] = kTypeNames[i];
    return views;
  }();
  if (name.empty()) return 0;
  for (unsigned i = 0; i < kViews.size(); ++i)
    if (kViews[i][0] == name[0] && kViews[i] == name) return i;
  return 0;
}

unsigned QvTriposAtomType(const QvAtomBase& atom) {
  const unsigned z = atom.GetAtomicNum();
  if (z == 0) return IsLonePair(atom) ? kLp : kDu;
  const Counts c = Count(atom);
  switch (z) {
    case H: return kH;
    case C: return CarbonType(atom, c);
    case N: return NitrogenType(atom, c);
    case O: return OxygenType(atom, c);
    case S: return SulfurType(atom, c);
    case P: return kP3;
    case F: return kF;
    case Cl: return kCl;
    case Br: return kBr;
    case I: return kI;
    default: return MetalType(z, c);
  }
}

void QvAssignTriposAtomTypes(QvMolBase& mol) {
  // Types of earlier atoms must not feed later ones, so all are computed
  // before any is stored.
  std::vector<std::pair<QvAtomBase*, unsigned>> types;
  for (QvAtomBase& atom : mol.GetAtoms()) types.emplace_back(&atom, QvTriposAtomType(atom));
  for (auto [atom, type] : types) {
    if (type != kDu || atom->GetAtomicNum() == 0) atom->SetType(QvTriposTypeName(type));
    else atom->SetType(QvGetAtomicSymbol(atom->GetAtomicNum()));
  }
  mol.SetPerceived(QvPerceivedHybridization, true);
}

const char* QvTriposBondType(const QvBondBase& bond) {
  const unsigned order = bond.GetOrder();
  if (bond.IsAromatic() || order == kQvAromaticOrder) return "ar";
  if (order == 1) {
    const QvAtomBase* a = bond.GetBgn();
    const QvAtomBase* b = bond.GetEnd();
    if (a->GetAtomicNum() == N) std::swap(a, b);
    if (a->GetAtomicNum() == C && b->GetAtomicNum() == N && !a->IsAromatic() && !b->IsAromatic() &&
        HasDoubleToChalcogen(*a) && QvTriposAtomType(*b) == kNam)
      return "am";
  }
  switch (order) {
    case 0: return "du";
    case 2: return "2";
    case 3: return "3";
    default: return "1";
  }
}

void QvAssignTriposBondTypes(QvMolBase& mol) {
  for (QvBondBase& bond : mol.GetBonds()) bond.SetType(QvTriposBondType(bond));
}

unsigned QvTriposExpectedHCount(std::string_view type, unsigned degree) {
  const unsigned valence = TypeValence(type, degree);
  return valence > degree ? valence - degree : 0;
}

unsigned QvTriposExpectedHCount(const QvAtomBase& atom) {
  return QvTriposExpectedHCount(atom.GetTypeName(), atom.GetExplicitDegree());
}

void QvAssignTriposBondOrders(QvMolBase& mol) {
  const TypeTable types = TypesOf(mol);
  AromatizeSingleRings(mol, types);
  RaiseTypedOrders(mol, types);
  // Most files leave no bond unresolved: the kekulizer's graph is not worth
  // building for them.
  for (const QvBondBase& bond : mol.GetBonds()) {
    if (bond.GetOrder() != kQvAromaticOrder) continue;
    QvKekulize(mol);
    break;
  }
  for (QvAtomBase& atom : mol.GetAtoms()) {
    const unsigned type = types[atom.GetIdx()];
    ChargeBareIon(atom);
    if (type == kN4) atom.SetFormalCharge(1);
    else if (type == kCcat) ChargeCationicCarbon(atom);
  }
  for (QvAtomBase& atom : mol.GetAtoms()) {
    if (types[atom.GetIdx()] == kOco2) ChargeCarboxylate(atom);
    else if (atom.GetAtomicNum() == N) ChargeNitrogen(atom);
  }
  // A terminal O.2 left on a single bond without hydrogen is the O- of a
  // resonance form the file wrote as N(=O)O, S(=O)O and the like.
  for (QvAtomBase& atom : mol.GetAtoms()) {
    if (types[atom.GetIdx()] != kO2 || !IsTerminal(atom) || atom.GetFormalCharge() != 0) continue;
    const Counts c = Count(atom);
    if (c.order_sum == 1 && c.aromatic == 0 && c.hydrogens == 0) atom.SetFormalCharge(-1);
  }
}

std::string_view QvTriposNamer::Next(unsigned atomic_num, bool lone_pair, char (&out)[24]) {
  const char* symbol = atomic_num == 0 ? (lone_pair ? "Lp" : "Du") : QvGetAtomicSymbol(atomic_num);
  unsigned number;
  if (atomic_num == 0) number = lone_pair ? ++lone_pairs_ : ++counts_[0];
  else number = ++counts_[atomic_num < 256 ? atomic_num : 0];
  const std::size_t length = std::char_traits<char>::length(symbol);
  // Room for three letters before the number.
  const std::size_t kept = length < 3 ? length : 3;
  std::memcpy(out, symbol, kept);
  return std::string_view(out, static_cast<std::size_t>(Pellar::FormatInt(out + kept, number) - out));
}

void QvNameAtomsTripos(QvMolBase& mol) {
  QvTriposNamer namer;
  char name[24];
  for (QvAtomBase& atom : mol.GetAtoms()) {
    const unsigned z = atom.GetAtomicNum();
    atom.SetName(std::string(namer.Next(z, z == 0 && IsLonePair(atom), name)));
  }
}

}  // namespace Tamrin
