#include "tamrin/perception/canonical.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/stereo.h"

namespace Tamrin {

namespace {

using Key = std::array<std::int64_t, 8>;

Key AtomInvariant(const QvAtomBase& atom, unsigned degree, unsigned options) {
  return {atom.GetAtomicNum(),
          (options & QvRankIsotopes) ? atom.GetIsotope() : 0,
          atom.GetFormalCharge(),
          atom.GetImplicitHCount(),
          degree,
          atom.IsAromatic(),
          atom.IsInRing(),
          (options & QvRankMapIdx) ? atom.GetMapIdx() : 0};
}

// Classes are "how many atoms have a smaller key", so a class of k tied
// atoms leaves the k - 1 values above it free for splitting.
class Ranker {
 public:
  Ranker(const QvMolBase& mol, unsigned options)
      : g_(mol), options_(options), n_(g_.NumAtoms()), cls_(n_), order_(n_), stereo_(n_, 0) {
    std::iota(order_.begin(), order_.end(), 0u);
    std::vector<Key> keys(n_);
    for (unsigned a = 0; a < n_; ++a) keys[a] = AtomInvariant(*g_.Atom(a), g_.Degree(a), options);
    Reclassify([&keys](unsigned a, unsigned b) { return keys[a] < keys[b]; },
               [&keys](unsigned a, unsigned b) { return keys[a] == keys[b]; });
    for (unsigned b = 0; b < g_.NumBonds(); ++b) codes_.push_back(BondCode(b));
  }

  std::vector<unsigned> Run() {
    RefineWithStereo();
    const bool stereo = HasStereo();
    for (unsigned tied = LowestTiedClass(); tied != kQvNoPos; tied = LowestTiedClass()) {
      if (stereo) {
        BreakTieByStereo(tied);
        continue;
      }
      // Without stereo, tied atoms after refinement are alike: the first one
      // (in the current sorted order) moves ahead.
      const auto first = std::find_if(order_.begin(), order_.end(), [&](unsigned a) { return cls_[a] == tied; });
      MoveAhead(tied, *first);
    }
    return cls_;
  }

  const QvGraphView& View() const { return g_; }

 private:
  struct State {
    unsigned classes;
    std::vector<unsigned> cls, order, stereo;
  };
  State Save() const { return {classes_, cls_, order_, stereo_}; }
  void Restore(const State& state) {
    classes_ = state.classes;
    cls_ = state.cls;
    order_ = state.order;
    stereo_ = state.stereo;
  }

  void MoveAhead(unsigned tied, unsigned chosen) {
    for (unsigned a = 0; a < n_; ++a)
      if (cls_[a] == tied && a != chosen) cls_[a] = tied + 1;
    RefineWithStereo();
  }

  // Atoms alike in the graph may differ once the parities they make visible
  // are read (a cage whose centres are not all of one hand). Each candidate
  // is tried, and the one whose parities, listed by class, come out smallest
  // wins, so the choice does not depend on the input order.
  void BreakTieByStereo(unsigned tied) {
    const State start = Save();
    State best;
    std::vector<std::uint64_t> best_key;
    for (unsigned a = 0; a < n_; ++a) {
      if (start.cls[a] != tied) continue;
      Restore(start);
      MoveAhead(tied, a);
      std::vector<std::uint64_t> key{classes_};
      for (const unsigned b : order_) key.push_back(std::uint64_t{cls_[b]} << 32 | stereo_[b]);
      if (best_key.empty() || key < best_key) {
        best_key = std::move(key);
        best = Save();
      }
    }
    Restore(best);
  }

  bool HasStereo() const {
    if (!(options_ & (QvRankAtomStereo | QvRankBondStereo))) return false;
    for (unsigned a = 0; a < n_; ++a)
      if ((options_ & QvRankAtomStereo) && QvHasAtomStereo(*g_.Atom(a))) return true;
    for (unsigned b = 0; b < g_.NumBonds(); ++b)
      if ((options_ & QvRankBondStereo) && QvHasBondStereo(*g_.Bond(b))) return true;
    return false;
  }

  unsigned BondCode(unsigned b) const {
    const QvBondBase& bond = *g_.Bond(b);
    if (bond.IsAromatic() && !(options_ & QvRankKekule)) return 15;
    return std::min(bond.GetOrder(), 14u);
  }

  // Sorts the atoms by (class, key) and renumbers the classes.
  template <class Less, class Equal>
  bool Reclassify(Less less, Equal equal) {
    const auto by_class = [&](unsigned a, unsigned b) {
      return cls_[a] != cls_[b] ? cls_[a] < cls_[b] : less(a, b);
    };
    std::sort(order_.begin(), order_.end(), by_class);
    std::vector<unsigned> next(n_);
    unsigned distinct = 0;
    for (unsigned i = 0; i < n_; ++i) {
      const unsigned a = order_[i];
      const bool same = i > 0 && cls_[order_[i - 1]] == cls_[a] && equal(order_[i - 1], a);
      next[a] = same ? next[order_[i - 1]] : i;
      distinct += !same;
    }
    const bool changed = distinct != classes_;
    classes_ = distinct;
    cls_ = std::move(next);
    return changed;
  }

  // Neighbour signatures: each atom's sorted (class, bond code) pairs.
  void Refine() {
    std::vector<std::uint64_t> sig;
    std::vector<unsigned> start(n_ + 1, 0);
    for (bool changed = true; changed;) {
      sig.clear();
      for (unsigned a = 0; a < n_; ++a) {
        start[a] = static_cast<unsigned>(sig.size());
        for (const auto& arc : g_.Arcs(a)) sig.push_back(std::uint64_t{cls_[arc.nbr]} << 4 | codes_[arc.bond]);
        std::sort(sig.begin() + start[a], sig.end());
      }
      start[n_] = static_cast<unsigned>(sig.size());
      const auto range = [&](unsigned a) {
        return std::pair(sig.begin() + start[a], sig.begin() + start[a + 1]);
      };
      changed = Reclassify(
          [&](unsigned a, unsigned b) {
            const auto [a0, a1] = range(a);
            const auto [b0, b1] = range(b);
            if (stereo_[a] != stereo_[b]) return stereo_[a] < stereo_[b];
            return std::lexicographical_compare(a0, a1, b0, b1);
          },
          [&](unsigned a, unsigned b) {
            const auto [a0, a1] = range(a);
            const auto [b0, b1] = range(b);
            return stereo_[a] == stereo_[b] && std::equal(a0, a1, b0, b1);
          });
    }
  }

  void RefineWithStereo() {
    Refine();
    if (!(options_ & (QvRankAtomStereo | QvRankBondStereo))) return;
    for (unsigned round = 0; round < n_ && UpdateStereo(); ++round) Refine();
  }

  // Parities seen from the neighbours' classes where those tell them apart.
  bool UpdateStereo() {
    bool changed = false;
    for (unsigned a = 0; a < n_; ++a) {
      const unsigned value = AtomParity(a) + 3 * BondParities(a);
      changed = changed || value != stereo_[a];
      stereo_[a] = value;
    }
    return changed;
  }

  unsigned AtomParity(unsigned a) const {
    const QvAtomBase& atom = *g_.Atom(a);
    if (!(options_ & QvRankAtomStereo) || !QvHasAtomStereo(atom)) return 0;
    std::vector<std::pair<unsigned, const QvAtomBase*>> nbrs;
    if (g_.Degree(a) == 3) nbrs.emplace_back(0, nullptr);
    for (const auto& arc : g_.Arcs(a)) nbrs.emplace_back(cls_[arc.nbr] + 1, g_.Atom(arc.nbr));
    std::sort(nbrs.begin(), nbrs.end());
    for (size_t i = 1; i < nbrs.size(); ++i)
      if (nbrs[i].first == nbrs[i - 1].first) return 0;
    std::vector<const QvAtomBase*> ordered;
    for (const auto& [cls, nbr] : nbrs) ordered.push_back(nbr);
    return static_cast<unsigned>(QvGetAtomStereo(atom, ordered));
  }

  // The lowest-class substituent of `end` other than `other`, null when two
  // substituents tie (then the configuration tells nothing yet).
  const QvAtomBase* Reference(unsigned end, unsigned other, bool& tied) const {
    const QvAtomBase* best = nullptr;
    unsigned best_cls = kQvNoPos, count = 0;
    for (const auto& arc : g_.Arcs(end)) {
      if (arc.nbr == other) continue;
      ++count;
      tied = tied || cls_[arc.nbr] == best_cls;
      if (cls_[arc.nbr] < best_cls) {
        best_cls = cls_[arc.nbr];
        best = g_.Atom(arc.nbr);
      }
    }
    return count ? best : nullptr;
  }

  unsigned BondParities(unsigned a) const {
    if (!(options_ & QvRankBondStereo)) return 0;
    unsigned value = 0;
    for (const auto& arc : g_.Arcs(a)) {
      const QvBondBase& bond = *g_.Bond(arc.bond);
      if (!QvHasBondStereo(bond)) continue;
      const unsigned bgn = g_.BondBgn(arc.bond), end = g_.BondEnd(arc.bond);
      bool tied = false;
      const QvAtomBase* ref_bgn = Reference(bgn, end, tied);
      const QvAtomBase* ref_end = Reference(end, bgn, tied);
      if (tied || !ref_bgn || !ref_end) continue;
      value += bond.GetOrder() + static_cast<unsigned>(QvGetBondStereo(bond, ref_bgn, ref_end)) * 16;
    }
    return value;
  }

  unsigned LowestTiedClass() const {
    if (classes_ == n_) return kQvNoPos;
    for (unsigned i = 1; i < n_; ++i)
      if (cls_[order_[i]] == cls_[order_[i - 1]]) return cls_[order_[i]];
    return kQvNoPos;
  }

  QvGraphView g_;
  unsigned options_;
  unsigned n_;
  unsigned classes_ = 0;
  std::vector<unsigned> cls_, order_, stereo_, codes_;
};

}  // namespace

std::vector<unsigned> QvCanonicalRanks(const QvMolBase& mol, unsigned options) {
  Ranker ranker(mol, options);
  const std::vector<unsigned> classes = ranker.Run();
  std::vector<unsigned> ranks(mol.GetMaxAtomIdx(), kQvNoRank);
  for (unsigned a = 0; a < classes.size(); ++a) ranks[ranker.View().Atom(a)->GetIdx()] = classes[a];
  return ranks;
}

}  // namespace Tamrin
