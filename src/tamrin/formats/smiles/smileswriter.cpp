// The SMILES writer: a depth-first walk over the atoms in rank order.
//
// The walk runs twice over the same order. The first run decides which
// bonds are tree bonds and which are ring closures (and at which atom each
// closure opens and closes), so that the second run, which writes, knows
// the ring-closure digits an atom carries before it writes the atom. Both
// runs keep an explicit stack, so long chains cannot exhaust the call stack.
#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pellar/numformat.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/smiles/lonepair.h"
#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/perception/canonical.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;
namespace Flag = QvSmiFlag;

namespace {

constexpr unsigned kMaxRingNumber = 99;
constexpr unsigned kFirstNumbers = 9;
constexpr unsigned kNoBond = std::numeric_limits<unsigned>::max();

enum class BondKind : std::uint8_t { None, Tree, Ring };
enum class Visit : std::uint8_t { New, OnPath, Done };

// A ring-closure or label number: one digit, or "%" and two digits.
void AppendRingNumber(std::string& out, unsigned n) {
  if (n > 9) out += '%';
  Pellar::AppendInt(out, n);
}

// The molecule the walk reads: a copy when rings must be perceived or stereo
// taken from 3D coordinates. Hydrogen atoms are folded by the walk's graph
// (QvRankGraph), not here, so molecules read from SMILES, stereo hydrogens
// and all, are never copied.
QvWorkingMol WorkingMol(const QvMolBase& mol, unsigned flags) {
  QvWorkingMol work(mol);
  // Rings first: which atoms can be centres depends on them.
  if (!mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(work.Copy());
  if ((flags & (Flag::AtomStereo | Flag::BondStereo)) && mol.GetDimension() == 3)
    QvPerceiveStereoFrom3D(work.Copy());
  return work;
}

class SmilesWalk {
 public:
  SmilesWalk(const QvMolBase& mol, unsigned flags, const QvSmiBondAnnotations* annotations)
      : mol_(mol),
        view_(mol, !(flags & Flag::KeepHydrogens), flags & Flag::Isotopes),
        flags_(flags),
        annotations_(annotations) {}

  bool Write(std::string& out);

 private:
  struct Closure {
    unsigned open;   // atom where the digit is first written (with the bond symbol)
    unsigned close;  // atom where it is written again
    unsigned bond;
  };
  struct Component {
    unsigned start;
    unsigned role;
  };
  struct Frame {
    unsigned atom;
    unsigned next;  // next arc to look at
    bool paren;     // the subtree is a branch in parentheses
  };
  struct Reference {
    unsigned nbr = 0;
    unsigned bond = 0;
    int side = 0;  // +1 or -1, 0 while free to choose
  };

  void Rank();
  void SortArcs();
  std::span<const QvRankGraph::Arc> Arcs(unsigned atom) const {
    return {arcs_.data() + arc_start_[atom], arcs_.data() + arc_start_[atom + 1]};
  }
  void Classify(unsigned start);
  void IndexClosures();
  void AssignDirections();
  bool ChooseReference(unsigned atom, unsigned dbl, Reference& ref) const;
  void SetSide(unsigned bond, unsigned atom, int side);
  int FarSide(unsigned atom, const Reference& ref) const;
  bool WriteComponent(unsigned start, std::string& out);
  bool WriteAtomAndClosures(unsigned atom, std::string& out);
  unsigned NextChild(unsigned atom, unsigned from) const;
  unsigned NextRingNumber();
  void AppendAtom(unsigned atom, std::string& out) const;
  void AppendBond(unsigned bond, std::string& out) const;
  unsigned HydrogenCount(unsigned atom) const;
  QvChirality WrittenChirality(unsigned atom) const;
  bool WrittenAllSingle(unsigned atom) const;
  bool OrganicSubset(unsigned atom, unsigned h) const;
  unsigned RoleOf(unsigned atom) const;
  void AppendStereoGroups(std::string& out) const;

  const QvMolBase& mol_;
  QvRankGraph view_;
  unsigned flags_;
  const QvSmiBondAnnotations* annotations_;
  std::vector<unsigned> rank_;   // by atom position
  std::vector<unsigned> order_;  // atom positions by rank
  std::vector<QvRankGraph::Arc> arcs_;
  std::vector<unsigned> arc_start_;
  std::vector<Visit> visit_;
  std::vector<unsigned> parent_bond_;
  std::vector<BondKind> kind_;
  std::vector<unsigned> first_atom_;  // by bond: the end written first
  std::vector<Closure> closures_;
  std::vector<unsigned> closure_start_;  // by atom, into closure_list_
  std::vector<unsigned> closure_list_;   // closures closing, then opening, per atom
  std::vector<unsigned> closing_count_;
  std::vector<std::int8_t> dir_;  // by bond: -1 "/", +1 "\", as written
  std::vector<unsigned> tree_order_;  // tree and ring bonds in the order found
  std::vector<Component> components_;
  std::vector<unsigned> written_;  // atom positions in written order
  std::vector<unsigned> ring_number_;  // by bond
  std::array<bool, kMaxRingNumber + 1> ring_busy_{};
  unsigned handed_out_ = 0;
};

// ---- ranks and order ----

unsigned SmilesWalk::RoleOf(unsigned atom) const {
  const unsigned role = view_.Atom(atom)->GetRxnRole();
  return role >= 1 && role <= 3 ? role : 1;
}

void SmilesWalk::Rank() {
  const unsigned n = view_.NumAtoms();
  order_.resize(n);
  rank_.resize(n);
  if (flags_ & Flag::Canonical) {
    unsigned options = 0;
    if (flags_ & Flag::Isotopes) options |= QvRankIsotopes;
    if (flags_ & Flag::AtomStereo) options |= QvRankAtomStereo;
    if (flags_ & Flag::BondStereo) options |= QvRankBondStereo;
    if (flags_ & Flag::AtomMaps) options |= QvRankMapIdx;
    if (flags_ & Flag::Kekule) options |= QvRankKekule;
    rank_ = QvCanonicalRanks(view_, options);
    for (unsigned pos = 0; pos < n; ++pos) order_[rank_[pos]] = pos;
    return;
  }
  for (unsigned pos = 0; pos < n; ++pos) order_[pos] = pos;
  std::stable_sort(order_.begin(), order_.end(), [&](unsigned a, unsigned b) { return RoleOf(a) < RoleOf(b); });
  for (unsigned r = 0; r < n; ++r) rank_[order_[r]] = r;
}

void SmilesWalk::SortArcs() {
  const unsigned n = view_.NumAtoms();
  arc_start_.assign(n + 1, 0);
  arcs_.clear();
  arcs_.reserve(2 * view_.NumBonds());
  for (unsigned pos = 0; pos < n; ++pos) {
    const auto arcs = view_.Arcs(pos);
    arcs_.insert(arcs_.end(), arcs.begin(), arcs.end());
    arc_start_[pos + 1] = static_cast<unsigned>(arcs_.size());
    std::sort(arcs_.begin() + arc_start_[pos], arcs_.end(),
              [&](const QvRankGraph::Arc& a, const QvRankGraph::Arc& b) { return rank_[a.nbr] < rank_[b.nbr]; });
  }
}

// ---- first run: tree bonds and ring closures ----

void SmilesWalk::Classify(unsigned start) {
  std::vector<Frame> stack{{start, 0, false}};
  visit_[start] = Visit::OnPath;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const auto arcs = Arcs(frame.atom);
    if (frame.next == arcs.size()) {
      visit_[frame.atom] = Visit::Done;
      stack.pop_back();
      continue;
    }
    const QvRankGraph::Arc arc = arcs[frame.next++];
    if (kind_[arc.bond] != BondKind::None) continue;
    tree_order_.push_back(arc.bond);
    if (visit_[arc.nbr] == Visit::New) {
      kind_[arc.bond] = BondKind::Tree;
      first_atom_[arc.bond] = frame.atom;
      parent_bond_[arc.nbr] = arc.bond;
      visit_[arc.nbr] = Visit::OnPath;
      stack.push_back({arc.nbr, 0, false});
    } else {
      kind_[arc.bond] = BondKind::Ring;
      first_atom_[arc.bond] = arc.nbr;
      closures_.push_back({arc.nbr, frame.atom, arc.bond});
    }
  }
}

// Per atom, its closures in writing order: those it closes (in the order
// they were found at it), then those it opens (in the order found).
void SmilesWalk::IndexClosures() {
  const unsigned n = view_.NumAtoms();
  closure_start_.assign(n + 1, 0);
  closing_count_.assign(n, 0);
  for (const Closure& c : closures_) {
    ++closure_start_[c.open + 1];
    ++closure_start_[c.close + 1];
    ++closing_count_[c.close];
  }
  for (unsigned pos = 0; pos < n; ++pos) closure_start_[pos + 1] += closure_start_[pos];
  closure_list_.resize(closure_start_[n]);
  std::vector<unsigned> fill_close(closure_start_.begin(), closure_start_.end() - 1);
  std::vector<unsigned> fill_open(n);
  for (unsigned pos = 0; pos < n; ++pos) fill_open[pos] = closure_start_[pos] + closing_count_[pos];
  for (unsigned c = 0; c < closures_.size(); ++c) {
    closure_list_[fill_close[closures_[c].close]++] = c;
    closure_list_[fill_open[closures_[c].open]++] = c;
  }
}

// ---- cis/trans directions ----

// A neighbour of `atom` (other than across the double bond `dbl`) to carry
// the direction mark: one whose bond is marked already (its side known,
// `side` != 0), else the first one across a single bond (`side` 0). At an
// aromatic end of a double bond leaving its ring the only such bonds are
// aromatic ring bonds, which take the mark as well as any.
bool SmilesWalk::ChooseReference(unsigned atom, unsigned dbl, Reference& ref) const {
  bool found = false;
  ref.side = 0;
  for (const QvRankGraph::Arc& arc : Arcs(atom)) {
    if (arc.bond == dbl) continue;
    if (dir_[arc.bond]) {
      ref = {arc.nbr, arc.bond, first_atom_[arc.bond] == atom ? -dir_[arc.bond] : dir_[arc.bond]};
      return true;
    }
    const QvBondBase* bond = view_.Bond(arc.bond);
    if (!found && (bond->GetOrder() == 1 || bond->IsAromatic())) {
      ref = {arc.nbr, arc.bond, 0};
      found = true;
    }
  }
  return found;
}

// The side `ref.nbr` must take relative to `atom` when `ref.nbr` is itself
// an end of a stereo double bond with another marked neighbour (the two
// must lie on opposite sides there); 0 when nothing constrains it.
int SmilesWalk::FarSide(unsigned atom, const Reference& ref) const {
  const unsigned far = ref.nbr;
  const auto arcs = Arcs(far);
  const bool stereo_end = std::any_of(arcs.begin(), arcs.end(), [&](const QvRankGraph::Arc& arc) {
    const QvBondBase* bond = view_.Bond(arc.bond);
    return arc.nbr != atom && bond->GetOrder() == 2 && QvHasBondStereo(*bond);
  });
  if (!stereo_end) return 0;
  for (const QvRankGraph::Arc& arc : arcs)
    if (arc.bond != ref.bond && dir_[arc.bond]) return first_atom_[arc.bond] == far ? -dir_[arc.bond] : dir_[arc.bond];
  return 0;
}

// Marks `bond` so that its atom other than `atom` lies on `side` of `atom`.
void SmilesWalk::SetSide(unsigned bond, unsigned atom, int side) {
  dir_[bond] = static_cast<std::int8_t>(first_atom_[bond] == atom ? -side : side);
}

// Double bonds in the order the walk meets them; a reference bond marked
// for an earlier double bond keeps its mark (conjugated systems).
void SmilesWalk::AssignDirections() {
  for (unsigned b : tree_order_) {
    const QvBondBase* bond = view_.Bond(b);
    if (bond->GetOrder() != 2 || !QvHasBondStereo(*bond)) continue;
    // From the end written first, so that the marks follow the output order.
    const unsigned a1 = first_atom_[b];
    const unsigned a2 = view_.Other(b, a1);
    Reference r1;
    Reference r2;
    if (!ChooseReference(a1, b, r1) || !ChooseReference(a2, b, r2)) continue;
    const bool forward = view_.BondBgn(b) == a1;
    const QvBondConfig config = QvGetBondStereo(*bond, view_.Atom(forward ? r1.nbr : r2.nbr),
                                                view_.Atom(forward ? r2.nbr : r1.nbr));
    if (config == QvBondConfig::None || (r1.side && r2.side)) continue;
    const int relation = config == QvBondConfig::Cis ? 1 : -1;
    if (!r1.side && !r2.side) {
      // Free to choose: keep a conjugated neighbour's two marks on opposite
      // sides, else write the first mark of a system as "/".
      int side = FarSide(a1, r1);
      if (!side) side = FarSide(a2, r2) * relation;
      if (!side) side = first_atom_[r1.bond] == a1 ? 1 : -1;
      r1.side = side;
      SetSide(r1.bond, a1, side);
    }
    if (!r2.side) SetSide(r2.bond, a2, r1.side * relation);
    else SetSide(r1.bond, a1, r2.side * relation);
  }
}

// ---- second run: writing ----

bool SmilesWalk::Write(std::string& out) {
  const unsigned n = view_.NumAtoms();
  const unsigned nb = view_.NumBonds();
  Rank();
  SortArcs();
  visit_.assign(n, Visit::New);
  parent_bond_.assign(n, kNoBond);
  kind_.assign(nb, BondKind::None);
  first_atom_.assign(nb, 0);
  for (unsigned atom : order_) {
    if (visit_[atom] != Visit::New) continue;
    components_.push_back({atom, RoleOf(atom)});
    Classify(atom);
  }
  IndexClosures();
  dir_.assign(nb, 0);
  if (flags_ & Flag::BondStereo) AssignDirections();
  ring_number_.assign(nb, 0);
  const bool reaction = mol_.GetAtom([](const QvAtomBase& a) { return a.GetRxnRole() != 0; }) != nullptr;
  for (unsigned role = 1; role <= (reaction ? 3u : 1u); ++role) {
    bool first = true;
    for (const Component& c : components_) {
      if (reaction && c.role != role) continue;
      if (!first) out += '.';
      first = false;
      if (!WriteComponent(c.start, out)) return false;
    }
    if (reaction && role < 3) out += '>';
  }
  if (flags_ & Flag::CXBlock) AppendStereoGroups(out);
  return true;
}

unsigned SmilesWalk::NextChild(unsigned atom, unsigned from) const {
  const auto arcs = Arcs(atom);
  for (unsigned i = from; i < arcs.size(); ++i)
    if (kind_[arcs[i].bond] == BondKind::Tree && parent_bond_[arcs[i].nbr] == arcs[i].bond) return i;
  return static_cast<unsigned>(arcs.size());
}

bool SmilesWalk::WriteComponent(unsigned start, std::string& out) {
  if (!WriteAtomAndClosures(start, out)) return false;
  std::vector<Frame> stack{{start, 0, false}};
  while (!stack.empty()) {
    const unsigned atom = stack.back().atom;
    const unsigned child = NextChild(atom, stack.back().next);
    if (child == Arcs(atom).size()) {
      if (stack.back().paren) out += ')';
      stack.pop_back();
      continue;
    }
    stack.back().next = child + 1;
    const bool last = NextChild(atom, child + 1) == Arcs(atom).size();
    if (!last) out += '(';
    const QvRankGraph::Arc arc = Arcs(atom)[child];
    AppendBond(arc.bond, out);
    if (!WriteAtomAndClosures(arc.nbr, out)) return false;
    stack.push_back({arc.nbr, 0, !last});
  }
  return true;
}

unsigned SmilesWalk::NextRingNumber() {
  if (handed_out_ < kFirstNumbers) return ++handed_out_;
  for (unsigned n = 1; n <= kMaxRingNumber; ++n)
    if (!ring_busy_[n]) {
      ++handed_out_;
      return n;
    }
  return 0;
}

// The atom, the digits of the closures it ends, then those it begins.
bool SmilesWalk::WriteAtomAndClosures(unsigned atom, std::string& out) {
  written_.push_back(atom);
  AppendAtom(atom, out);
  const unsigned first = closure_start_[atom];
  const unsigned opening = first + closing_count_[atom];
  for (unsigned i = first; i < opening; ++i) {
    const unsigned number = ring_number_[closures_[closure_list_[i]].bond];
    AppendRingNumber(out, number);
    ring_busy_[number] = false;
  }
  for (unsigned i = opening; i < closure_start_[atom + 1]; ++i) {
    const unsigned bond = closures_[closure_list_[i]].bond;
    const unsigned number = NextRingNumber();
    if (number == 0) {
      QvErrorHandler::Warning("Structure has more than 99 ring closures open at once.");
      return false;
    }
    ring_busy_[number] = true;
    ring_number_[bond] = number;
    AppendBond(bond, out);
    AppendRingNumber(out, number);
  }
  return true;
}

// ---- atoms and bonds ----

unsigned SmilesWalk::HydrogenCount(unsigned atom) const { return view_.Hydrogens(atom); }

// The neighbours as written: the preceding atom, the hydrogen or lone pair,
// the ring closures, the branches and the next atom.
QvChirality SmilesWalk::WrittenChirality(unsigned atom) const {
  const QvAtomBase& a = *view_.Atom(atom);
  if (!QvHasAtomStereo(a)) return QvChirality::None;
  std::array<const QvAtomBase*, 5> nbrs{};
  std::size_t count = 0;
  const auto add = [&](const QvAtomBase* nbr) {
    if (count < nbrs.size()) nbrs[count] = nbr;
    ++count;
  };
  const bool has_parent = parent_bond_[atom] != kNoBond;
  if (has_parent) add(view_.Atom(view_.Other(parent_bond_[atom], atom)));
  // A written hydrogen comes right after the preceding atom (or first); a
  // lone pair as lonepair.h says, as the parser reads them.
  const bool lone_pair = view_.Degree(atom) == 3 && HydrogenCount(atom) == 0;
  if (HydrogenCount(atom) == 1) add(view_.ImplicitNeighbour(atom));
  if (lone_pair && has_parent) add(nullptr);
  for (unsigned i = closure_start_[atom]; i < closure_start_[atom + 1]; ++i) {
    const Closure& c = closures_[closure_list_[i]];
    add(view_.Atom(c.open == atom ? c.close : c.open));
  }
  for (unsigned i = NextChild(atom, 0); i < Arcs(atom).size(); i = NextChild(atom, i + 1))
    add(view_.Atom(Arcs(atom)[i].nbr));
  if (count > nbrs.size()) return QvChirality::None;
  if (lone_pair && !has_parent && count == 3) {
    std::rotate(nbrs.begin() + 1, nbrs.begin() + 3, nbrs.begin() + 4);  // the empty slot moves to 1
    count = 4;
  }
  const QvChirality seen = QvGetAtomStereo(a, std::span<const QvAtomBase* const>(nbrs.data(), count));
  const unsigned digits = closure_start_[atom + 1] - closure_start_[atom];
  if (!lone_pair || !QvLonePairFlipsHand(digits, WrittenAllSingle(atom))) return seen;
  return seen == QvChirality::None ? seen : seen == QvChirality::Clockwise ? QvChirality::Anticlockwise
                                                                          : QvChirality::Clockwise;
}

// Whether every bond of the atom is written (and read back) as a single bond.
bool SmilesWalk::WrittenAllSingle(unsigned atom) const {
  const bool kekule = flags_ & Flag::Kekule;
  const auto arcs = view_.Arcs(atom);
  return std::all_of(arcs.begin(), arcs.end(), [&](const QvRankGraph::Arc& arc) {
    const QvBondBase& bond = *view_.Bond(arc.bond);
    return bond.GetOrder() == 1 && (kekule || !bond.IsAromatic());
  });
}

// Whether the parser would give the atom `h` hydrogens from its bonds alone.
bool SmilesWalk::OrganicSubset(unsigned atom, unsigned h) const {
  const QvAtomBase& a = *view_.Atom(atom);
  unsigned twice = 0;
  for (const QvRankGraph::Arc& arc : view_.Arcs(atom)) {
    const unsigned order = view_.Bond(arc.bond)->GetOrder();
    twice += order == 5 ? 3 : 2 * order;
  }
  const unsigned v = twice / 2 + h;
  const bool aromatic = a.IsAromatic() && !(flags_ & Flag::Kekule);
  switch (a.GetAtomicNum()) {
    case 0: return h == 0;
    case 5: return v == 3 || (v >= 4 && h == 0);
    case 6: return v == 4 || (v >= 5 && h == 0);
    case 8: return v == 2 || (v >= 3 && h == 0);
    case 7:
    case 15: return (v == 3 && !(aromatic && h > 0)) || (v == 5 && h <= 1) || (v > 5 && h == 0);
    case 16: return v == 2 || ((v == 4 || v == 6) && h <= 1) || (v > 6 && h == 0);
    case 9:
    case 17:
    case 35:
    case 53: return v == 1 || (v >= 2 && h == 0);
    default: return false;
  }
}

void SmilesWalk::AppendAtom(unsigned atom, std::string& out) const {
  const QvAtomBase& a = *view_.Atom(atom);
  const unsigned z = a.GetAtomicNum();
  if (z == 0 && (flags_ & Flag::RGroups) && a.GetMapIdx() != 0) {
    out += "[R";
    Pellar::AppendInt(out, a.GetMapIdx());
    out += ']';
    return;
  }
  if (z == 0 && (flags_ & Flag::AtomNames) && *a.GetName()) {
    out += '[';
    out += a.GetName();
    out += ']';
    return;
  }
  const unsigned h = HydrogenCount(atom);
  const unsigned isotope = (flags_ & Flag::Isotopes) ? a.GetIsotope() : 0;
  const unsigned map = (flags_ & Flag::AtomMaps) ? a.GetMapIdx() : 0;
  const int charge = a.GetFormalCharge();
  const QvChirality chirality = (flags_ & Flag::AtomStereo) && h < 2 ? WrittenChirality(atom) : QvChirality::None;

  char symbol[Pellar::kIntChars + 2] = "*";
  if (z != 0) {
    const std::string_view element = QvGetAtomicSymbol(z);
    if (!element.empty() && element.size() < sizeof symbol) {
      symbol[element.copy(symbol, element.size())] = '\0';
    } else {
      symbol[0] = '#';
      *Pellar::FormatInt(symbol + 1, z) = '\0';
    }
    if (a.IsAromatic() && !(flags_ & Flag::Kekule) && symbol[0] != '#') symbol[0] = static_cast<char>(symbol[0] - 'A' + 'a');
  }
  const bool bare = isotope == 0 && charge == 0 && chirality == QvChirality::None && map == 0 &&
                    !((flags_ & Flag::HydrogenBrackets) && h > 0) && OrganicSubset(atom, h);
  if (bare) {
    out += symbol;
    return;
  }
  out += '[';
  if (isotope) Pellar::AppendInt(out, isotope);
  out += symbol;
  if (chirality == QvChirality::Anticlockwise) out += '@';
  if (chirality == QvChirality::Clockwise) out += "@@";
  if (h) {
    out += 'H';
    if (h > 1) Pellar::AppendInt(out, h);
  }
  if (charge) {
    out += charge > 0 ? '+' : '-';
    const unsigned magnitude = static_cast<unsigned>(charge > 0 ? charge : -charge);
    if (magnitude > 1) Pellar::AppendInt(out, magnitude);
  }
  if (map) {
    out += ':';
    Pellar::AppendInt(out, map);
  }
  out += ']';
}

void SmilesWalk::AppendBond(unsigned bond, std::string& out) const {
  const QvBondBase& b = *view_.Bond(bond);
  const bool kekule = flags_ & Flag::Kekule;
  const bool explicit_bonds = flags_ & Flag::ExplicitBonds;
  if (dir_[bond]) {
    out += dir_[bond] < 0 ? '/' : '\\';
  } else if (b.IsAromatic() && !kekule) {
    if (explicit_bonds) out += ':';
  } else {
    switch (b.GetOrder()) {
      case 1: {
        const QvAtomBase& x = *b.GetBgn();
        const QvAtomBase& y = *b.GetEnd();
        const bool aromatic_pair = !kekule && x.IsAromatic() && y.IsAromatic();
        if (explicit_bonds || (aromatic_pair && (b.IsInRing() || (!x.IsInRing() && !y.IsInRing())))) out += '-';
        break;
      }
      case 2: out += '='; break;
      case 3: out += '#'; break;
      case 4: out += '$'; break;
      default: break;
    }
  }
  if (annotations_)
    if (const char* note = annotations_->Annotation(b.GetIdx())) out += note;
}

// " |a:i,...,o<n>:i,...,&<n>:i,...|" over the written atom positions.
void SmilesWalk::AppendStereoGroups(std::string& out) const {
  if (!(flags_ & Flag::AtomStereo)) return;
  struct Entry {
    QvStereoGroup group;
    unsigned position;
  };
  std::vector<Entry> entries;
  for (unsigned i = 0; i < written_.size(); ++i) {
    const QvStereoGroup group = QvGetStereoGroup(*view_.Atom(written_[i]));
    if (group.kind != QvStereoGroupKind::None) entries.push_back({group, i});
  }
  if (entries.empty()) return;
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& x, const Entry& y) {
    return x.group.kind != y.group.kind ? x.group.kind < y.group.kind : x.group.number < y.group.number;
  });
  out += " |";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const QvStereoGroup& g = entries[i].group;
    const bool new_group = i == 0 || !(entries[i - 1].group == g);
    if (i) out += ',';
    if (new_group) {
      out += g.kind == QvStereoGroupKind::Absolute ? "a" : g.kind == QvStereoGroupKind::Or ? "o" : "&";
      if (g.kind != QvStereoGroupKind::Absolute) Pellar::AppendInt(out, g.number);
      out += ':';
    }
    Pellar::AppendInt(out, entries[i].position);
  }
  out += '|';
}

}  // namespace

bool QvCreateSmiString(std::string& out, const QvMolBase& mol, unsigned flags, const QvSmiBondAnnotations* annotations) {
  out.clear();
  const QvWorkingMol work = WorkingMol(mol, flags);
  SmilesWalk walk(work.Get(), flags, annotations);
  if (walk.Write(out)) return true;
  out.clear();
  QvErrorHandler::Warning("Problem has been detected during SMILES generation for molecule `%s`.", mol.GetTitle());
  return false;
}

bool QvCreateSmiString(std::string& out, const QvMolBase& mol) { return QvCreateSmiString(out, mol, QvSmiDefault); }

}  // namespace Tamrin
