#include "tamrin/perception/canonical.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/hydrogens.h"
#include "tamrin/perception/stereo.h"

namespace Tamrin {

namespace {

using Key = std::array<std::int64_t, 8>;
constexpr unsigned kNone = kQvNoRank;  // no atom, no class
using Words = std::vector<std::uint64_t>;

// The stereo tie-break search stops branching once it has refined this many
// atoms in all (a trial costs one refinement of the molecule) or is this
// deep; symmetric copies of one stereo unit (dot-separated or repeated)
// would otherwise multiply the trials.
constexpr unsigned long kSearchWork = 200000;
constexpr unsigned kSearchDepth = 16;

Key AtomInvariant(const QvAtomBase& atom, unsigned hydrogens, unsigned degree, unsigned options) {
  return {atom.GetAtomicNum(),
          (options & QvRankIsotopes) ? atom.GetIsotope() : 0,
          atom.GetFormalCharge(),
          hydrogens,
          degree,
          atom.IsAromatic(),
          atom.IsInRing(),
          (options & QvRankMapIdx) ? atom.GetMapIdx() : 0};
}

// A tetrahedral centre, its configuration read once along a fixed list
// (kNone for the implicit hydrogen or lone pair).
struct Centre {
  unsigned atom;
  std::array<unsigned, 4> nbrs;
  bool clockwise;
};

// A cis/trans bond: per end its substituents (at most two) and the
// configuration seen from the first substituent of each end.
struct DoubleBond {
  unsigned bond;
  std::array<unsigned, 2> ends;
  std::array<std::array<unsigned, 2>, 2> subs;
  std::array<unsigned, 2> count;
  bool cis;
};

// Classes are "how many atoms have a smaller key", so a class of k tied
// atoms occupies positions cls .. cls + k - 1 of the sorted order and leaves
// the values above it free for splitting.
class Ranker {
 public:
  Ranker(const QvRankGraph& g, unsigned options)
      : g_(g), options_(options), n_(g.NumAtoms()), cls_(n_), order_(n_), stereo_(n_, 0) {
    for (unsigned b = 0; b < g_.NumBonds(); ++b) codes_.push_back(BondCode(b));
    FindStereo();
    std::vector<Key> keys(n_);
    for (unsigned a = 0; a < n_; ++a) keys[a] = AtomInvariant(*g_.Atom(a), g_.Hydrogens(a), g_.Degree(a), options);
    std::iota(order_.begin(), order_.end(), 0u);
    std::sort(order_.begin(), order_.end(), [&keys](unsigned a, unsigned b) { return keys[a] < keys[b]; });
    for (unsigned i = 0; i < n_; ++i) {
      const bool same = i > 0 && keys[order_[i]] == keys[order_[i - 1]];
      cls_[order_[i]] = same ? cls_[order_[i - 1]] : i;
      classes_ += !same;
    }
  }

  std::vector<unsigned> Run() {
    RefineWithStereo();
    Complete();
    return cls_;
  }

 private:
  struct State {
    unsigned classes = 0;
    std::vector<unsigned> cls, order, stereo;
  };
  State Save() const { return {classes_, cls_, order_, stereo_}; }
  void Restore(const State& state) {
    classes_ = state.classes;
    cls_ = state.cls;
    order_ = state.order;
    stereo_ = state.stereo;
  }

  unsigned BondCode(unsigned b) const {
    const QvBondBase& bond = *g_.Bond(b);
    if (bond.IsAromatic() && !(options_ & QvRankKekule)) return 15;
    return std::min(bond.GetOrder(), 14u);
  }

  // The stored configurations, read once so that refinement compares
  // classes only.
  void FindStereo() {
    if (options_ & QvRankAtomStereo)
      for (unsigned a = 0; a < n_; ++a) AddCentre(a);
    if (options_ & QvRankBondStereo)
      for (unsigned b = 0; b < g_.NumBonds(); ++b) AddDoubleBond(b);
  }

  void AddCentre(unsigned a) {
    const QvAtomBase& atom = *g_.Atom(a);
    const unsigned degree = g_.Degree(a);
    if ((degree != 3 && degree != 4) || !QvHasAtomStereo(atom)) return;
    Centre centre{a, {kNone, kNone, kNone, kNone}, false};
    std::array<const QvAtomBase*, 4> atoms{g_.ImplicitNeighbour(a)};
    unsigned i = 4 - degree;  // the implicit neighbour, if any, first
    for (const auto& arc : g_.Arcs(a)) {
      centre.nbrs[i] = arc.nbr;
      atoms[i++] = g_.Atom(arc.nbr);
    }
    const QvChirality chirality = QvGetAtomStereo(atom, atoms);
    if (chirality == QvChirality::None) return;
    centre.clockwise = chirality == QvChirality::Clockwise;
    centres_.push_back(centre);
  }

  void AddDoubleBond(unsigned b) {
    const QvBondBase& bond = *g_.Bond(b);
    if (!QvHasBondStereo(bond)) return;
    DoubleBond db{b, {g_.BondBgn(b), g_.BondEnd(b)}, {}, {0, 0}, false};
    for (unsigned side = 0; side < 2; ++side)
      for (const auto& arc : g_.Arcs(db.ends[side])) {
        if (arc.nbr == db.ends[1 - side]) continue;
        if (db.count[side] == 2) return;
        db.subs[side][db.count[side]++] = arc.nbr;
      }
    if (!db.count[0] || !db.count[1]) return;
    const QvBondConfig config = QvGetBondStereo(bond, g_.Atom(db.subs[0][0]), g_.Atom(db.subs[1][0]));
    if (config == QvBondConfig::None) return;
    db.cis = config == QvBondConfig::Cis;
    bonds_.push_back(db);
  }

  // ---- refinement ----

  // Splits the cell at positions [start, end) of the order by stereo value
  // and the sorted (class, bond code) pairs of the neighbours; true when it
  // split. Cells are handled in class order and use the classes as they
  // stand, which depends on the classes only, never on the input order.
  bool SplitCell(unsigned start, unsigned end) {
    sig_.clear();
    sig_start_.clear();
    for (unsigned i = start; i < end; ++i) {
      const unsigned a = order_[i];
      sig_start_.push_back(static_cast<unsigned>(sig_.size()));
      sig_.push_back(stereo_[a]);
      for (const auto& arc : g_.Arcs(a)) sig_.push_back(std::uint64_t{cls_[arc.nbr]} << 4 | codes_[arc.bond]);
      std::sort(sig_.begin() + sig_start_.back() + 1, sig_.end());
    }
    sig_start_.push_back(static_cast<unsigned>(sig_.size()));
    const auto range = [this](unsigned k) {
      return std::pair(sig_.begin() + sig_start_[k], sig_.begin() + sig_start_[k + 1]);
    };
    const auto less = [&](unsigned x, unsigned y) {
      const auto [x0, x1] = range(x);
      const auto [y0, y1] = range(y);
      return std::lexicographical_compare(x0, x1, y0, y1);
    };
    slots_.resize(end - start);
    std::iota(slots_.begin(), slots_.end(), 0u);
    std::sort(slots_.begin(), slots_.end(), less);
    if (!less(slots_.front(), slots_.back())) return false;
    cell_.assign(order_.begin() + start, order_.begin() + end);
    unsigned cls = start;
    for (unsigned k = 0; k < slots_.size(); ++k) {
      if (k > 0 && less(slots_[k - 1], slots_[k])) {
        cls = start + k;
        ++classes_;
      }
      order_[start + k] = cell_[slots_[k]];
      cls_[order_[start + k]] = cls;
    }
    return true;
  }

  void Refine() {
    for (bool changed = true; changed && classes_ < n_;) {
      changed = false;
      for (unsigned start = 0; start < n_;) {
        unsigned end = start + 1;
        while (end < n_ && cls_[order_[end]] == start) ++end;
        if (end - start > 1 && SplitCell(start, end)) changed = true;
        start = end;
      }
    }
  }

  void RefineWithStereo() {
    Refine();
    while (UpdateStereo()) Refine();
  }

  // ---- stereo relative to classes ----

  // Whether sorting the four (distinct) values takes an odd number of swaps;
  // false when two are equal.
  static bool SortParity(const std::array<unsigned, 4>& cls, bool& odd) {
    odd = false;
    for (unsigned i = 0; i < 4; ++i)
      for (unsigned j = i + 1; j < 4; ++j) {
        if (cls[i] == cls[j]) return false;
        odd = odd != (cls[i] > cls[j]);
      }
    return true;
  }

  unsigned NbrClass(unsigned nbr) const { return nbr == kNone ? 0 : cls_[nbr] + 1; }

  // 1 or 2 for the configuration seen along the neighbours in class order,
  // 0 while two neighbours share a class.
  unsigned CentreValue(const Centre& c) const {
    std::array<unsigned, 4> cls{};
    for (unsigned i = 0; i < 4; ++i) cls[i] = NbrClass(c.nbrs[i]);
    bool odd = false;
    if (!SortParity(cls, odd)) return 0;
    return 1 + (c.clockwise != odd);
  }

  // 1 or 2 for cis or trans seen from the lowest-class substituent of each
  // end, 0 while the two substituents of an end share a class.
  unsigned BondValue(const DoubleBond& db) const {
    bool flip = false;
    for (unsigned side = 0; side < 2; ++side) {
      if (db.count[side] < 2) continue;
      const unsigned c0 = cls_[db.subs[side][0]], c1 = cls_[db.subs[side][1]];
      if (c0 == c1) return 0;
      flip = flip != (c1 < c0);
    }
    return 1 + (db.cis == flip);
  }

  bool UpdateStereo() {
    std::vector<unsigned> value(n_, 0);
    for (const Centre& c : centres_) value[c.atom] = CentreValue(c);
    for (const DoubleBond& db : bonds_) {
      const unsigned v = BondValue(db);
      if (!v) continue;
      for (const unsigned end : db.ends) value[end] += 3 * (v + 2 * codes_[db.bond]);
    }
    const bool changed = value != stereo_;
    stereo_ = std::move(value);
    return changed;
  }

  // The lowest class that keeps a configuration from being read (two
  // neighbours of a centre, or two substituents of a double-bond end, in it);
  // kNone when every configuration reads.
  unsigned BlockingClass() const {
    unsigned lowest = kNone;
    for (const Centre& c : centres_) {
      std::array<unsigned, 4> cls{};
      for (unsigned i = 0; i < 4; ++i) cls[i] = NbrClass(c.nbrs[i]);
      std::sort(cls.begin(), cls.end());
      for (unsigned i = 1; i < 4; ++i)
        if (cls[i] == cls[i - 1]) lowest = std::min(lowest, cls[i] - 1);
    }
    for (const DoubleBond& db : bonds_)
      for (unsigned side = 0; side < 2; ++side)
        if (db.count[side] == 2 && cls_[db.subs[side][0]] == cls_[db.subs[side][1]])
          lowest = std::min(lowest, cls_[db.subs[side][0]]);
    return lowest;
  }

  // ---- tie breaking ----

  unsigned LowestTiedClass() const {
    for (unsigned i = 1; i < n_; ++i)
      if (cls_[order_[i]] == cls_[order_[i - 1]]) return cls_[order_[i]];
    return kNone;
  }

  // The chosen atom of the class at `tied` goes ahead of the others.
  void Individualise(unsigned tied, unsigned chosen) {
    unsigned end = tied;
    while (end < n_ && cls_[order_[end]] == tied) ++end;
    std::swap(order_[tied], *std::find(order_.begin() + tied, order_.begin() + end, chosen));
    for (unsigned i = tied + 1; i < end; ++i) cls_[order_[i]] = tied + 1;
    ++classes_;
    RefineWithStereo();
  }

  // Ties that no configuration depends on are between atoms alike in the
  // graph and in hand: any of them may go first (the first in the order),
  // and the labelled molecule comes out the same. A tie that hides a
  // configuration is searched instead.
  void Complete() {
    while (classes_ < n_) {
      const unsigned blocking = BlockingClass();
      if (blocking != kNone && Branching()) {
        Search(blocking);
        return;
      }
      const unsigned tied = blocking != kNone ? blocking : LowestTiedClass();
      Individualise(tied, order_[tied]);
    }
  }

  bool Branching() const { return work_ < kSearchWork && depth_ < kSearchDepth; }

  void Trial(unsigned tied, unsigned chosen) {
    work_ += n_;
    Individualise(tied, chosen);
  }

  // Each atom of the class goes first in turn; only those whose refined
  // classes and configurations come out smallest are followed, to a full
  // labelling each, and the labelling with the smallest configurations and
  // bonds wins. Candidates alike in hand give equal results, so the choice
  // does not depend on the input order; those that differ are told apart by
  // values that do not either. Past the budget the first candidate goes
  // ahead as in a tie without stereo (deterministic, no longer guaranteed
  // canonical).
  void Search(unsigned tied) {
    ++depth_;
    const State start = Save();
    std::vector<unsigned> members;
    for (unsigned i = tied; i < n_ && start.cls[start.order[i]] == tied; ++i) members.push_back(start.order[i]);
    Words best_key;
    std::vector<unsigned> best;
    for (const unsigned a : members) {
      Restore(start);
      Trial(tied, a);
      Words key = PartialKey();
      if (!best.empty() && best_key < key) continue;
      if (best.empty() || key < best_key) best.clear();
      best_key = std::move(key);
      best.push_back(a);
    }
    State best_state;
    Words best_final;
    for (const unsigned a : best) {
      if (a != best.front() && !Branching()) break;
      Restore(start);
      Trial(tied, a);
      Complete();
      if (best.size() == 1) break;
      Words key = FinalKey();
      if (best_final.empty() || key < best_final) {
        best_final = std::move(key);
        best_state = Save();
      }
    }
    if (!best_final.empty()) Restore(best_state);
    --depth_;
  }

  Words PartialKey() const {
    Words key{classes_};
    for (const unsigned a : order_) key.push_back(std::uint64_t{cls_[a]} << 32 | stereo_[a]);
    return key;
  }

  // The labelled molecule: per rank its configuration value and its
  // neighbours' ranks with bond codes.
  Words FinalKey() const {
    Words key;
    for (const unsigned a : order_) {
      key.push_back(std::uint64_t{stereo_[a]} << 32 | g_.Degree(a));
      const std::size_t from = key.size();
      for (const auto& arc : g_.Arcs(a)) key.push_back(std::uint64_t{cls_[arc.nbr]} << 4 | codes_[arc.bond]);
      std::sort(key.begin() + static_cast<std::ptrdiff_t>(from), key.end());
    }
    return key;
  }

  const QvRankGraph& g_;
  unsigned options_;
  unsigned n_;
  unsigned classes_ = 0;
  unsigned long work_ = 0;
  unsigned depth_ = 0;
  std::vector<unsigned> cls_, order_, stereo_, codes_;
  std::vector<Centre> centres_;
  std::vector<DoubleBond> bonds_;
  // Scratch of SplitCell.
  Words sig_;
  std::vector<unsigned> sig_start_, slots_, cell_;
};

}  // namespace

QvRankGraph::QvRankGraph(const QvMolBase& mol, bool fold_hydrogens, bool keep_isotopic) {
  struct Slot {
    unsigned pos = kNone;
    unsigned folded = 0;
    const QvAtomBase* one_folded = nullptr;
  };
  const unsigned max_idx = mol.GetMaxAtomIdx();
  std::vector<Slot> slots(max_idx);
  atoms_.reserve(mol.NumAtoms());
  // One pass in list order: a hydrogen that folds is counted on its heavy
  // atom (which may come later), every other atom takes the next position.
  for (const QvAtomBase* atom : mol.AtomList()) {
    if (atom->IsDeleted()) continue;
    if (fold_hydrogens && atom->GetAtomicNum() == 1) {
      const QvAtomBase* heavy = QvHydrogenFoldTarget(*atom, keep_isotopic);
      Slot* target = heavy ? &slots[heavy->GetIdx()] : nullptr;
      if (target && heavy->GetImplicitHCount() + target->folded < kQvMaxImplicitHydrogens) {
        ++target->folded;
        target->one_folded = atom;
        continue;
      }
    }
    slots[atom->GetIdx()].pos = NumAtoms();
    atoms_.push_back(atom);
  }
  hydrogens_.reserve(NumAtoms());
  implicit_.reserve(NumAtoms());
  for (const QvAtomBase* atom : atoms_) {
    const Slot& slot = slots[atom->GetIdx()];
    hydrogens_.push_back(atom->GetImplicitHCount() + slot.folded);
    implicit_.push_back(slot.folded == 1 && hydrogens_.back() == 1 ? slot.one_folded : nullptr);
  }
  const auto position = [&](const QvAtomBase* atom) {
    if (!atom || atom->GetIdx() >= max_idx) return kNone;
    const unsigned p = slots[atom->GetIdx()].pos;
    return p != kNone && atoms_[p] == atom ? p : kNone;
  };
  start_.assign(NumAtoms() + 1, 0);
  bonds_.reserve(mol.NumBonds());
  ends_.reserve(2 * mol.NumBonds());
  for (const QvBondBase* bond : mol.BondList()) {
    if (bond->IsDeleted()) continue;
    const unsigned bgn = position(bond->GetBgn()), end = position(bond->GetEnd());
    if (bgn == kNone || end == kNone) continue;
    bonds_.push_back(bond);
    ends_.push_back(bgn);
    ends_.push_back(end);
    ++start_[bgn + 1];
    ++start_[end + 1];
  }
  for (unsigned a = 0; a < NumAtoms(); ++a) start_[a + 1] += start_[a];
  arcs_.resize(2 * NumBonds());
  std::vector<unsigned> fill(start_.begin(), start_.end() - 1);
  for (unsigned b = 0; b < NumBonds(); ++b) {
    arcs_[fill[BondBgn(b)]++] = {BondEnd(b), b};
    arcs_[fill[BondEnd(b)]++] = {BondBgn(b), b};
  }
}

std::vector<unsigned> QvCanonicalRanks(const QvRankGraph& graph, unsigned options) {
  return Ranker(graph, options).Run();
}

std::vector<unsigned> QvCanonicalRanks(const QvMolBase& mol, unsigned options) {
  const QvRankGraph graph(mol, false);
  const std::vector<unsigned> by_pos = QvCanonicalRanks(graph, options);
  std::vector<unsigned> ranks(mol.GetMaxAtomIdx(), kQvNoRank);
  for (unsigned a = 0; a < by_pos.size(); ++a) ranks[graph.Atom(a)->GetIdx()] = by_pos[a];
  return ranks;
}

}  // namespace Tamrin
