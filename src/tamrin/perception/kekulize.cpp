#include "tamrin/perception/kekulize.h"

#include "tamrin/model/molbase.h"
#include "tamrin/perception/matching.h"
#include "tamrin/perception/valence.h"

namespace Tamrin {

namespace {

enum class Need : unsigned char { Nothing, Double, Optional };

// What an atom next to unresolved bonds needs, from its valence with every
// unresolved bond counted as single.
Need NeedOf(const QvGraphView& g, unsigned atom, const std::vector<unsigned>& orders) {
  const QvAtomBase& a = *g.Atom(atom);
  unsigned used = a.GetImplicitHCount();
  for (const auto& arc : g.Arcs(atom)) used += orders[arc.bond] == kQvAromaticOrder ? 1 : orders[arc.bond];
  if (a.GetAtomicNum() == 0) return Need::Optional;
  if (QvStandardValences(a.GetAtomicNum(), a.GetFormalCharge()).empty()) return Need::Optional;
  const unsigned target = QvTargetValence(a.GetAtomicNum(), a.GetFormalCharge(), used);
  // Nothing to reach (an over-full atom) or already there: no double bond.
  return target > used ? Need::Double : Need::Nothing;
}

class Kekulizer {
 public:
  Kekulizer(const QvGraphView& g, std::vector<unsigned>& orders)
      : g_(g), orders_(orders), need_(g.NumAtoms(), Need::Nothing) {
    for (unsigned b = 0; b < g.NumBonds(); ++b) {
      if (orders[b] != kQvAromaticOrder) continue;
      for (const unsigned atom : {g.BondBgn(b), g.BondEnd(b)}) need_[atom] = NeedOf(g, atom, orders);
    }
  }

  // Required atoms alone first; wildcards and uncovered elements join only
  // when the required ones cannot all be matched without them.
  bool Run() {
    QvMatching matching(g_.NumAtoms());
    AddEdges(matching, false);
    matching.Greedy();
    if (!AugmentRequired(matching)) {
      AddEdges(matching, true);
      if (!AugmentRequired(matching)) {
        Apply(matching);
        return false;
      }
    }
    Apply(matching);
    return true;
  }

 private:
  bool Allowed(unsigned atom, bool optional) const {
    return need_[atom] == Need::Double || (optional && need_[atom] == Need::Optional);
  }

  // With `optional`, only the edges that touch an optional atom are added,
  // the others being there already.
  void AddEdges(QvMatching& matching, bool optional) const {
    for (unsigned b = 0; b < g_.NumBonds(); ++b) {
      if (orders_[b] != kQvAromaticOrder) continue;
      const unsigned x = g_.BondBgn(b), y = g_.BondEnd(b);
      const bool touches_optional = need_[x] == Need::Optional || need_[y] == Need::Optional;
      if (Allowed(x, optional) && Allowed(y, optional) && touches_optional == optional)
        matching.AddEdge(x, y);
    }
  }

  bool AugmentRequired(QvMatching& matching) const {
    bool all = true;
    for (unsigned atom = 0; atom < g_.NumAtoms(); ++atom)
      if (need_[atom] == Need::Double && !matching.Augment(atom)) all = false;
    return all;
  }

  void Apply(const QvMatching& matching) {
    std::vector<bool> used(g_.NumAtoms(), false);
    for (unsigned b = 0; b < g_.NumBonds(); ++b) {
      if (orders_[b] != kQvAromaticOrder) continue;
      const unsigned x = g_.BondBgn(b), y = g_.BondEnd(b);
      const bool dbl = matching.Mate(x) == y && !used[x];
      if (dbl) used[x] = used[y] = true;
      orders_[b] = dbl ? 2 : 1;
    }
  }

  const QvGraphView& g_;
  std::vector<unsigned>& orders_;
  std::vector<Need> need_;
};

}  // namespace

bool QvKekulizeOrders(const QvGraphView& g, std::vector<unsigned>& orders) {
  return Kekulizer(g, orders).Run();
}

bool QvKekulize(QvMolBase& mol) {
  const QvGraphView g(mol);
  std::vector<unsigned> orders(g.NumBonds());
  bool any = false;
  for (unsigned b = 0; b < g.NumBonds(); ++b) {
    orders[b] = g.Bond(b)->GetOrder();
    any = any || orders[b] == kQvAromaticOrder;
  }
  if (!any) return true;
  const bool ok = QvKekulizeOrders(g, orders);
  // New orders for the same aromatic bonds change neither aromaticity nor
  // stereo, so the bits that SetOrder clears are put back.
  unsigned kept = 0;
  for (unsigned bit = 1; bit != 0; bit <<= 1)
    if (mol.HasPerceived(bit)) kept |= bit;
  for (unsigned b = 0; b < g.NumBonds(); ++b)
    if (g.Bond(b)->GetOrder() == kQvAromaticOrder) g.Bond(b)->SetOrder(orders[b]);
  mol.SetPerceived(kept, true);
  return ok;
}

}  // namespace Tamrin
