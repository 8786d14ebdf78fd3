#include "tamrin/perception/bondorders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "tamrin/chem/elements.h"
#include "tamrin/model/eachrecord.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/matching.h"

namespace Tamrin {

namespace {

constexpr unsigned kNone = QvMatching::kNone;
// Bond length over the sum of covalent radii: below these a bond is taken
// as at least double, or triple (C=C 0.88, C=O 0.85, aromatic 0.91; C#C 0.79).
constexpr double kMultipleRatio = 0.93;
constexpr double kTripleRatio = 0.84;
constexpr double kSingleRatio = 0.97;

enum Family { kOther, kHydrogen, kBoron, kCarbon, kNitrogen, kOxygen, kChalcogen, kHalogen };

Family FamilyOf(unsigned atomic_num) {
  switch (atomic_num) {
    case 1: return kHydrogen;
    case 5: return kBoron;
    case 6: case 14: return kCarbon;
    case 7: case 15: case 33: return kNitrogen;
    case 8: return kOxygen;
    case 16: case 34: case 52: return kChalcogen;
    case 9: case 17: case 35: case 53: return kHalogen;
    default: return kOther;
  }
}

// Who is satisfied first: the order of the matching rounds.
enum Rank : unsigned { kCarbonRank, kNitrogenRank, kHypervalentRank, kTerminalRank };

struct Plan {
  Family family = kOther;
  unsigned atomic_num = 0;
  unsigned degree = 0;      // bonds to non-metals
  unsigned need = 0;        // extra bond-order units wanted
  Rank rank = kCarbonRank;
  unsigned first = 0;       // first vertex of the `need` copies
  unsigned cation = kNone;  // vertex of the N+ unit of a three-connected N
  unsigned extra = kNone;   // vertex of the second unit of a two-connected N
  unsigned oxygens = 0;     // terminal O and S on a three-connected N
};

// Bond length over the sum of covalent radii; 1 (an ordinary single bond)
// when there is nothing to measure.
template <class T>
double LengthRatio(const T* a, const T* b, double radii) {
  if (radii <= 0.0) return 1.0;
  const double dx = double{a[0]} - double{b[0]}, dy = double{a[1]} - double{b[1]}, dz = double{a[2]} - double{b[2]};
  const double r = std::sqrt(dx * dx + dy * dy + dz * dz) / radii;
  return std::isfinite(r) ? r : 1.0;
}

double LengthRatio(const double* a, const double* b, unsigned za, unsigned zb) {
  return LengthRatio(a, b, QvGetCovalentRadius(za) + QvGetCovalentRadius(zb));
}

// The greedy seed takes bonds in tiers of growing length (relative to the
// radii), so that where matchings compete the bond lengths decide: a
// carbonyl (0.86) before the C-N of its amide (0.93), the short bonds of
// a Kekule form before the long ones.
constexpr double kTierLimits[] = {0.86, 0.89, 0.92, 0.95, kSingleRatio};

unsigned TierOf(double ratio) {
  unsigned tier = 0;
  while (tier < std::size(kTierLimits) && ratio >= kTierLimits[tier]) ++tier;
  return tier;
}

class Geometry {
 public:
  Geometry(const QvMolBase& mol, const QvGraphView& g) : g_(g), xyz_(g.NumAtoms()) {
    has_ = mol.GetDimension() == 3;
    for (unsigned a = 0; a < g.NumAtoms() && has_; ++a) mol.GetCoords(g.Atom(a), xyz_[a].data());
  }

  // 1 (an ordinary single bond) when there are no coordinates to measure.
  double Ratio(unsigned bond) const {
    const unsigned a = g_.BondBgn(bond), b = g_.BondEnd(bond);
    return has_ ? LengthRatio(xyz_[a].data(), xyz_[b].data(), g_.Atom(a)->GetAtomicNum(), g_.Atom(b)->GetAtomicNum())
                : 1.0;
  }

  // Degrees; 0 when the arms are degenerate.
  double Angle(unsigned centre, unsigned a, unsigned b) const {
    std::array<double, 3> u{}, v{};
    for (int k = 0; k < 3; ++k) {
      u[k] = xyz_[a][k] - xyz_[centre][k];
      v[k] = xyz_[b][k] - xyz_[centre][k];
    }
    const double nu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    const double nv = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!has_ || !(nu * nv > 0.0)) return 0.0;
    const double c = (u[0] * v[0] + u[1] * v[1] + u[2] * v[2]) / (nu * nv);
    return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / 3.14159265358979323846;
  }

 private:
  const QvGraphView& g_;
  std::vector<std::array<double, 3>> xyz_;
  bool has_ = false;
};

bool Takes(Family f) { return f != kOther && f != kHydrogen; }

class BondOrderAssigner {
 public:
  BondOrderAssigner(QvMolBase& mol, const QvGraphView& g)
      : g_(g), geo_(mol, g), plans_(g.NumAtoms()), units_(g.NumBonds(), 0) {
    for (unsigned a = 0; a < g.NumAtoms(); ++a) {
      if (g.Atom(a)->GetAtomicNum() == 1) explicit_h_ = true;
      plans_[a].atomic_num = g.Atom(a)->GetAtomicNum();
      plans_[a].family = FamilyOf(plans_[a].atomic_num);
    }
    for (unsigned a = 0; a < g.NumAtoms(); ++a)
      for (const QvGraphView::Arc& arc : g.Arcs(a))
        if (plans_[arc.nbr].family != kOther) ++plans_[a].degree;
  }

  void Run() {
    PlanAtoms();
    IndexPlan();
    QvMatching m(vertices_);
    for (const Round round : {kCarbonRound, kHeteroRound}) {
      for (unsigned tier = 0; tier < kSingleTier; ++tier) {
        AddEdges(m, round, tier);
        m.Greedy();
      }
      Complete(m, round == kCarbonRound ? kCarbonRank : kTerminalRank);
    }
    // A charge where geometry shows a bond is single, rather than a double
    // bond the lengths deny (a pyridinium beside its carboxylic acid).
    // N-oxide nitrogens first: their oxygen then carries the counter-charge.
    for (const Round round : {kOxideCationRound, kCationRound}) {
      AddEdges(m, round);
      Complete(m, kHypervalentRank);
      if (round == kOxideCationRound) BalanceOxides(m);
    }
    // Not from terminal atoms: their paths could run through a cation taken
    // above and move the charge off the N-oxide's oxygen.
    for (const Round round : {kCarbonRound, kHeteroRound}) AddEdges(m, round, kSingleTier);
    Complete(m, kHypervalentRank);
    AddEdges(m, kExtraRound);
    Complete(m, kNitrogenRank);
    Collect(m);
    PairNitroOxygens(m);
  }

  void Apply() {
    for (unsigned b = 0; b < g_.NumBonds(); ++b)
      if (units_[b] > 0) g_.Bond(b)->SetOrder(1 + std::min(units_[b], 2u));
    std::vector<int> charges(g_.NumAtoms(), 0);
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) charges[a] = Charge(a);
    if (!explicit_h_) AddCounterCharges(charges);
    for (unsigned a = 0; a < g_.NumAtoms(); ++a)
      if (charges[a] != 0) g_.Atom(a)->SetFormalCharge(charges[a]);
  }

 private:
  enum Round { kCarbonRound = 1, kHeteroRound, kOxideCationRound, kCationRound, kExtraRound };
  static constexpr unsigned kTiers = std::size(kTierLimits) + 1;
  static constexpr unsigned kSingleTier = kTiers - 1;  // as long as a single bond

  struct Edge {
    unsigned u, v;
    Round round;
    unsigned tier;
  };

  unsigned ExplicitNeed(const Plan& p) const {
    switch (p.family) {
      case kCarbon: return p.degree == 4 || p.degree == 0 ? 0 : std::min(4 - p.degree, 2u);
      case kNitrogen:
        if (p.degree == 1) return 2;
        if (p.degree == 2) return 1;
        return p.degree == 4 && p.atomic_num != 7 ? 1 : 0;  // P=O, As=O
      case kBoron: return p.degree == 1 || p.degree == 2 ? 1 : 0;
      case kOxygen: return p.degree == 1 ? 1 : 0;
      case kChalcogen:
        if (p.degree == 1 || p.degree == 3) return 1;
        return p.degree == 4 ? 2 : 0;
      // Oxyanions of Cl, Br, I: valence 2d - 1 (chlorite 3 ... perchlorate 7).
      case kHalogen: return p.degree >= 2 && p.atomic_num != 9 ? p.degree - 1 : 0;
      default: return 0;
    }
  }

  // The shortest bond to a non-metal, as a ratio (1 when there is none).
  double ShortestRatio(unsigned a) const {
    double best = 1.0;
    for (const QvGraphView::Arc& arc : g_.Arcs(a))
      if (plans_[arc.nbr].family != kOther) best = std::min(best, geo_.Ratio(arc.bond));
    return best;
  }

  // Sum of the angles between the three non-metal neighbours: 360 when flat.
  double AngleSum(unsigned a) const {
    std::vector<unsigned> nbrs;
    for (const QvGraphView::Arc& arc : g_.Arcs(a))
      if (plans_[arc.nbr].family != kOther) nbrs.push_back(arc.nbr);
    if (nbrs.size() != 3) return 0.0;
    return geo_.Angle(a, nbrs[0], nbrs[1]) + geo_.Angle(a, nbrs[1], nbrs[2]) + geo_.Angle(a, nbrs[0], nbrs[2]);
  }

  double FirstAngle(unsigned a) const {
    std::vector<unsigned> nbrs;
    for (const QvGraphView::Arc& arc : g_.Arcs(a))
      if (plans_[arc.nbr].family != kOther) nbrs.push_back(arc.nbr);
    return nbrs.size() == 2 ? geo_.Angle(a, nbrs[0], nbrs[1]) : 0.0;
  }

  // Without hydrogens the degree says little; the shape says the rest.
  unsigned GeometricNeed(unsigned a, const Plan& p) const {
    const double ratio = ShortestRatio(a);
    const unsigned by_length = ratio < kTripleRatio ? 2 : ratio < kMultipleRatio ? 1 : 0;
    switch (p.family) {
      case kCarbon:
        if (p.degree == 3) return AngleSum(a) > 345.0 || by_length > 0 ? 1 : 0;
        if (p.degree == 2) return FirstAngle(a) > 155.0 ? 2 : ratio < 0.95 ? 1 : 0;
        return p.degree == 1 ? by_length : 0;
      case kNitrogen:
        if (p.degree == 2) return ratio < 0.95 ? 1 : 0;
        // An amino group on a ring (0.93) is not an imine (0.87).
        if (p.degree == 1) return ratio < kTripleRatio ? 2 : ratio < 0.90 ? 1 : 0;
        return ExplicitNeed(p);
      case kBoron:
      case kOxygen: return p.degree == 1 || (p.family == kBoron && p.degree == 2) ? std::min(by_length, 1u) : 0;
      case kChalcogen: return p.degree == 1 ? std::min(by_length, 1u) : ExplicitNeed(p);
      case kHalogen: return ExplicitNeed(p);
      default: return 0;
    }
  }

  static Rank RankOf(const Plan& p) {
    switch (p.family) {
      case kCarbon: return kCarbonRank;
      case kBoron: return kNitrogenRank;
      case kNitrogen: return p.degree <= 2 ? kNitrogenRank : kHypervalentRank;
      case kOxygen: return kTerminalRank;
      case kChalcogen: return p.degree == 1 ? kTerminalRank : kHypervalentRank;
      case kHalogen: return kHypervalentRank;
      default: return kCarbonRank;
    }
  }

  unsigned TerminalChalcogens(unsigned a) const {
    unsigned n = 0;
    for (const QvGraphView::Arc& arc : g_.Arcs(a)) {
      const Plan& q = plans_[arc.nbr];
      n += q.degree == 1 && (q.family == kOxygen || q.family == kChalcogen);
    }
    return n;
  }

  // A one-connected C or N beside a two-connected N: azide, diazo, isocyanide.
  bool BesideTerminal(unsigned a) const {
    for (const QvGraphView::Arc& arc : g_.Arcs(a)) {
      const Plan& q = plans_[arc.nbr];
      if (q.degree == 1 && (q.family == kCarbon || q.family == kNitrogen)) return true;
    }
    return false;
  }

  void PlanAtoms() {
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) {
      Plan& p = plans_[a];
      if (!Takes(p.family)) continue;
      p.rank = RankOf(p);
      p.need = explicit_h_ ? ExplicitNeed(p) : GeometricNeed(a, p);
      p.first = vertices_;
      vertices_ += p.need;
      const bool nitrogen = p.atomic_num == 7;
      if (nitrogen && p.degree == 3) {
        p.cation = vertices_++;
        p.oxygens = TerminalChalcogens(a);
      }
      if (nitrogen && p.degree == 2 && BesideTerminal(a)) p.extra = vertices_++;
      for (unsigned k = 0; k < p.need; ++k) owner_.push_back(a);
      while (owner_.size() < vertices_) owner_.push_back(a);
    }
    for (unsigned b = 0; b < g_.NumBonds(); ++b) PlanBond(b);
  }

  bool NearMetal(unsigned a) const {
    for (const QvGraphView::Arc& arc : g_.Arcs(a))
      if (plans_[arc.nbr].family == kOther) return true;
    return false;
  }

  Round CationRound(const Plan& p) const { return p.oxygens > 0 ? kOxideCationRound : kCationRound; }

  Round MainRound(const Plan& p) const { return p.rank == kCarbonRank ? kCarbonRound : kHeteroRound; }

  void PlanBond(unsigned b) {
    const unsigned a1 = g_.BondBgn(b), a2 = g_.BondEnd(b);
    const Plan& p = plans_[a1];
    const Plan& q = plans_[a2];
    if (!Takes(p.family) || !Takes(q.family)) return;
    // Without hydrogens to count, a bond as long as a single one is one
    // (the C-C of an oxamide must not pair its two carbons).
    if (!explicit_h_ && geo_.Ratio(b) >= kSingleRatio) return;
    // An atom held by a metal is the last to take a multiple bond (the
    // carboxylate O on a zinc is the charged one).
    const unsigned tier = NearMetal(a1) || NearMetal(a2) ? kTiers - 1 : TierOf(geo_.Ratio(b));
    for (unsigned i = 0; i < p.need; ++i)
      for (unsigned j = 0; j < q.need; ++j)
        edges_.push_back({p.first + i, q.first + j, std::max(MainRound(p), MainRound(q)), tier});
    // Slots pair only with ordinary units, never with each other, and a
    // cation never with its own oxygen (see PairNitroOxygens).
    for (const auto& [slot_owner, other] : {std::pair{&p, &q}, std::pair{&q, &p}})
      for (unsigned j = 0; j < other->need && other->rank != kTerminalRank; ++j) {
        if (slot_owner->cation != kNone)
          edges_.push_back({slot_owner->cation, other->first + j, CationRound(*slot_owner), tier});
        if (slot_owner->extra != kNone) edges_.push_back({slot_owner->extra, other->first + j, kExtraRound, tier});
      }
  }

  // The rounds ask for edges a dozen times per molecule, and Complete for
  // atoms by rank: lists of each, in planning and atom order, made once.
  static constexpr unsigned kRounds = kExtraRound + 1;
  static constexpr unsigned kRanks = kTerminalRank + 1;

  // Stable counting sort of 0..n-1 by key(i) < keys: positions in `out`,
  // the range of key k from start[k] to start[k + 1].
  template <class Key>
  static void Bucket(unsigned n, unsigned keys, Key key, std::vector<unsigned>& start, std::vector<unsigned>& out) {
    start.assign(keys + 1, 0);
    for (unsigned i = 0; i < n; ++i) ++start[key(i) + 1];
    for (unsigned k = 0; k < keys; ++k) start[k + 1] += start[k];
    out.resize(start[keys]);
    std::vector<unsigned> next(start.begin(), start.end() - 1);
    for (unsigned i = 0; i < n; ++i) out[next[key(i)]++] = i;
  }

  void IndexPlan() {
    const auto n = static_cast<unsigned>(edges_.size());
    Bucket(n, kRounds * kTiers, [this](unsigned i) { return edges_[i].round * kTiers + edges_[i].tier; }, tier_start_,
           by_tier_);
    Bucket(n, kRounds, [this](unsigned i) { return static_cast<unsigned>(edges_[i].round); }, round_start_, by_round_);
    // Atoms without units have nothing to complete: they go past the ranks.
    Bucket(g_.NumAtoms(), kRanks + 1,
           [this](unsigned a) { return plans_[a].need > 0 ? static_cast<unsigned>(plans_[a].rank) : kRanks; },
           rank_start_, by_rank_);
  }

  // Edges of one round, of one tier or (by default) all tiers.
  void AddEdges(QvMatching& m, Round round, unsigned tier = kTiers) const {
    const bool all = tier == kTiers;
    const unsigned key = all ? static_cast<unsigned>(round) : round * kTiers + tier;
    const std::vector<unsigned>& start = all ? round_start_ : tier_start_;
    const std::vector<unsigned>& list = all ? by_round_ : by_tier_;
    for (unsigned k = start[key]; k < start[key + 1]; ++k) m.AddEdge(edges_[list[k]].u, edges_[list[k]].v);
  }

  // Augmenting paths for the ordinary units still unmatched, best ranks
  // first. Only ranks that have edges by now: a search from a vertex that
  // cannot move costs a pass over the whole graph.
  void Complete(QvMatching& m, Rank last) const {
    for (unsigned k = rank_start_[kCarbonRank]; k < rank_start_[last + 1]; ++k) {
      const Plan& p = plans_[by_rank_[k]];
      for (unsigned u = 0; u < p.need; ++u)
        if (m.Mate(p.first + u) == kNone) m.Augment(p.first + u);
    }
  }

  // An N-oxide whose oxygen is left as O- takes its N+ if an alternating
  // path leads to another negative end (an O- elsewhere, a second N-oxide):
  // a quinoxaline di-N-oxide or a formyl pyridine N-oxide comes out neutral
  // instead of a dianion.
  void BalanceOxides(QvMatching& m) const {
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) {
      const Plan& p = plans_[a];
      if (p.oxygens == 1 && m.Mate(p.cation) == kNone && OxygenLeftShort(m, a)) m.Augment(p.cation);
    }
  }

  bool OxygenLeftShort(const QvMatching& m, unsigned a) const {
    for (const QvGraphView::Arc& arc : g_.Arcs(a)) {
      const Plan& q = plans_[arc.nbr];
      if (q.rank == kTerminalRank && q.degree == 1 && q.need > 0 && m.Mate(q.first) == kNone) return true;
    }
    return false;
  }

  unsigned BondBetween(unsigned a, unsigned b) const {
    for (const QvGraphView::Arc& arc : g_.Arcs(a))
      if (arc.nbr == b) return arc.bond;
    return kNone;
  }

  void Pair(unsigned u, unsigned v) {
    const unsigned bond = BondBetween(owner_[u], owner_[v]);
    if (bond == kNone) return;
    ++units_[bond];
    ++matched_[owner_[u]];
    ++matched_[owner_[v]];
  }

  void Collect(const QvMatching& m) {
    matched_.assign(g_.NumAtoms(), 0);
    for (unsigned u = 0; u < vertices_; ++u) {
      used_.push_back(m.Mate(u) != kNone);
      if (m.Mate(u) != kNone && u < m.Mate(u)) Pair(u, m.Mate(u));
    }
  }

  // A terminal O or S left short beside a three-connected N whose cation
  // unit is unused and which bears another one to take the charge: the nitro
  // group and its relatives (an N-oxide's lone O pairing would leave N+=O
  // with nothing to balance it).
  void PairNitroOxygens(const QvMatching& m) {
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) {
      const Plan& p = plans_[a];
      if (p.rank != kTerminalRank || p.need == 0 || m.Mate(p.first) != kNone) continue;
      for (const QvGraphView::Arc& arc : g_.Arcs(a)) {
        const unsigned slot = plans_[arc.nbr].cation;
        if (slot == kNone || used_[slot] || plans_[arc.nbr].oxygens < 2) continue;
        used_[slot] = true;
        Pair(p.first, slot);
        break;
      }
    }
  }

  unsigned Valence(unsigned a) const {
    unsigned v = 0;
    for (const QvGraphView::Arc& arc : g_.Arcs(a))
      if (plans_[arc.nbr].family != kOther) v += 1 + std::min(units_[arc.bond], 2u);
    return v;
  }

  int IsolatedIonCharge(unsigned a) const {
    const unsigned z = g_.Atom(a)->GetAtomicNum();
    switch (z) {
      case 3: case 11: case 19: case 37: case 55: return 1;
      case 12: case 20: case 38: case 56: return 2;
      case 9: case 17: case 35: case 53: return -1;
      default: return 0;
    }
  }

  int Charge(unsigned a) const {
    if (g_.Degree(a) == 0) return IsolatedIonCharge(a);
    const Plan& p = plans_[a];
    const unsigned v = Valence(a);
    switch (p.family) {
      case kNitrogen:
        if (v == 4) return 1;
        if (!explicit_h_) return 0;
        return v == 2 || (v == 6 && p.atomic_num != 7) ? -1 : 0;
      case kBoron: return v == 4 ? -1 : 0;
      default: break;
    }
    if (!explicit_h_) return 0;
    switch (p.family) {
      case kCarbon: return p.degree == 1 && v == 3 ? -1 : 0;
      case kOxygen:
      case kChalcogen:
        if (v == 1) return -1;
        return v == 3 ? 1 : 0;
      case kHalogen:
        if (v == 0) return -1;
        return v == 2 ? 1 : 0;
      default: return 0;
    }
  }

  // Without hydrogens, a singly bonded terminal O or S beside a cation, or
  // an atom that geometry calls multiply bonded but that was left short
  // there, is the cation's counter-ion (N-oxides, nitro, azide ends).
  void AddCounterCharges(std::vector<int>& charges) const {
    for (unsigned a = 0; a < g_.NumAtoms(); ++a) {
      const Plan& p = plans_[a];
      const bool single_terminal = p.rank == kTerminalRank && p.degree == 1 && matched_[a] == 0;
      if ((matched_[a] >= p.need && !single_terminal) || charges[a] != 0 || p.family == kCarbon) continue;
      for (const QvGraphView::Arc& arc : g_.Arcs(a))
        if (charges[arc.nbr] > 0) {
          charges[a] = -1;
          break;
        }
    }
  }

  const QvGraphView& g_;
  Geometry geo_;
  std::vector<Plan> plans_;
  std::vector<unsigned> units_;
  std::vector<unsigned> owner_;
  std::vector<unsigned> matched_;
  std::vector<bool> used_;
  std::vector<Edge> edges_;
  std::vector<unsigned> tier_start_, by_tier_, round_start_, by_round_, rank_start_, by_rank_;
  unsigned vertices_ = 0;
  bool explicit_h_ = false;
};

bool OrdersUnknown(const QvMolBase& mol) {
  for (const QvBondBase& bond : mol.GetBonds())
    if (bond.GetOrder() != 1) return false;
  return true;
}

}  // namespace

void QvAssignBondOrders(QvMolBase& mol) {
  if (!OrdersUnknown(mol)) return;
  const QvGraphView g(mol);
  BondOrderAssigner assigner(mol, g);
  assigner.Run();
  assigner.Apply();
}

bool QvBondOrderLengthTiers(const QvMolBase& mol, std::vector<std::uint8_t>& tiers) {
  tiers.clear();
  if (!mol.GetAtom(QvHasAtomicNum{1})) return false;
  if (mol.GetDimension() != 3) {
    tiers.assign(mol.NumBonds(), static_cast<std::uint8_t>(TierOf(1.0)));
    return true;
  }
  // The coordinates as the molecule keeps them and the radius of each atom,
  // by index, read once: every bond asks for those of its two ends.
  const std::size_t num_idx = mol.GetMaxAtomIdx();
  const auto xyz = std::make_unique_for_overwrite<float[]>(3 * num_idx);
  mol.GetCoords(xyz.get());
  const auto radius = std::make_unique_for_overwrite<double[]>(num_idx);
  const std::array<double, QvMaxAtomicNum + 1>& radii = QvCovalentRadii();
  QvForEachAtom(mol, [&](const auto& atom) {
    const unsigned z = atom.GetAtomicNum();
    radius[atom.GetIdx()] = z <= QvMaxAtomicNum ? radii[z] : 0.0;
  });
  tiers.reserve(mol.NumBonds());
  QvForEachBond(mol, [&](const auto& bond) {
    const std::size_t a = bond.GetBgn()->GetIdx(), b = bond.GetEnd()->GetIdx();
    tiers.push_back(
        static_cast<std::uint8_t>(TierOf(LengthRatio(&xyz[3 * a], &xyz[3 * b], radius[a] + radius[b]))));
  });
  return true;
}

}  // namespace Tamrin
