#include "tamrin/search/substructure.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/search/smarts.h"

namespace Tamrin {

using AP = QvQAtomPrim;
using BP = QvQBondPrim;

struct QvQuery::Plan {
  struct Step {
    unsigned atom;                 // query atom placed at this step
    unsigned expr;                 // its expression
    int parent = -1;               // earlier step whose target atom's bonds give the candidates
    unsigned parent_bond = 0;      // bond expression to the parent
    std::vector<std::pair<unsigned, unsigned>> back;  // (earlier step, bond expression)
  };
  std::vector<Step> steps;
  std::vector<unsigned> step_of;  // by query atom
  // For a step whose atom has no bonds: an earlier step whose atom has none
  // either and the same expression and group, or -1. When only the set of
  // target atoms counts, the later twin takes an atom after the earlier's,
  // so that a search does not try every order of the same atoms.
  std::vector<int> twin;
  std::vector<std::unique_ptr<QvQuery>> nested;  // compiled $(...) queries
  // Stereo marks, checked when asked for as soon as the step `ready` has
  // placed the last of their atoms.
  struct Centre {
    unsigned atom;
    QvChirality chirality;
    unsigned count;                // 3 or 4 query neighbours; 0 when it has another number
    std::array<unsigned, 4> nbrs;  // in the stored order (qmol.h)
    unsigned ready = 0;
  };
  struct CisTrans {
    unsigned bgn, end;          // the double bond's atoms
    unsigned ref_bgn, ref_end;  // a marked neighbour of each
    QvBondConfig config;
    unsigned ready = 0;
  };
  std::vector<Centre> centres;
  std::vector<CisTrans> cis_trans;
  // Component-level group of each step's atom; empty when the query has none.
  std::vector<unsigned> groups;
  // Atoms of each element the query needs at least (index: atomic number).
  std::vector<std::pair<unsigned, unsigned>> needed_elements;
};

// The element an atom expression demands, or 0: a primitive naming one, or
// one named anywhere along a chain of ands.
unsigned QvQDemandedElement(const QvQMolBase& q, unsigned idx) {
  const QvQNode& n = q.Node(idx);
  if (n.op == QvQOp::Prim) {
    const AP p = AP(n.prim);
    if ((p == AP::AtomicNum || p == AP::AliphaticElement || p == AP::AromaticElement) && n.value > 0 && n.value < 256)
      return unsigned(n.value);
    return 0;
  }
  if (n.op == QvQOp::And || n.op == QvQOp::AndLow) {
    if (unsigned z = QvQDemandedElement(q, n.left)) return z;
    return QvQDemandedElement(q, n.right);
  }
  return 0;
}

namespace {

// The first primitive `want` accepts along the chain of ands from `idx`.
template <class Want>
const QvQNode* AlongAnds(const QvQMolBase& q, unsigned idx, const Want& want) {
  const QvQNode& n = q.Node(idx);
  if (n.op == QvQOp::Prim) return want(n) ? &n : nullptr;
  if (n.op != QvQOp::And && n.op != QvQOp::AndLow) return nullptr;
  if (const QvQNode* found = AlongAnds(q, n.left, want)) return found;
  return AlongAnds(q, n.right, want);
}

// The first chirality mark of an atom expression outside any '!': an atom
// takes its hand from it, whatever the operators around ([C@,N@@] is a
// carbon or nitrogen with the hand of @, as RDKit reads it).
const QvQNode* ChiralityMark(const QvQMolBase& q, unsigned idx) {
  const QvQNode& n = q.Node(idx);
  switch (n.op) {
    case QvQOp::Prim: return AP(n.prim) == AP::Chirality ? &n : nullptr;
    case QvQOp::Not: return nullptr;
    default:
      if (const QvQNode* found = ChiralityMark(q, n.left)) return found;
      return ChiralityMark(q, n.right);
  }
}

void CompileStereo(const QvQMolBase& q, QvQuery::Plan& plan) {
  const unsigned n = q.NumAtoms();
  std::vector<std::vector<std::pair<unsigned, unsigned>>> bonds(n);  // (neighbour, bond position) in bond order
  for (unsigned i = 0; i < q.NumBonds(); ++i) {
    bonds[q.Bonds()[i].bgn].push_back({q.Bonds()[i].end, i});
    bonds[q.Bonds()[i].end].push_back({q.Bonds()[i].bgn, i});
  }
  for (unsigned a = 0; a < n; ++a) {
    const QvQNode* mark = ChiralityMark(q, q.Atoms()[a].expr);
    if (!mark || (mark->value != 1 && mark->value != 2)) continue;
    // Too few or too many query neighbours to read a hand from: the atom
    // only needs a configuration.
    const bool readable = bonds[a].size() >= 3 && bonds[a].size() <= 4;
    QvQuery::Plan::Centre centre{a, QvChirality(mark->value), readable ? unsigned(bonds[a].size()) : 0u, {}};
    centre.ready = plan.step_of[a];
    for (unsigned k = 0; k < centre.count; ++k) {
      centre.nbrs[k] = bonds[a][k].first;
      centre.ready = std::max(centre.ready, plan.step_of[centre.nbrs[k]]);
    }
    plan.centres.push_back(centre);
  }
  // The side of the first marked neighbour of `end` (other than `other`),
  // read outward from `end`: 1 for '/', 2 for '\'.
  auto marked = [&](unsigned end, unsigned other, unsigned& ref) {
    for (auto [nbr, pos] : bonds[end]) {
      if (nbr == other) continue;
      const QvQBond& b = q.Bonds()[pos];
      const QvQNode* dir = AlongAnds(q, b.expr, [](const QvQNode& p) {
        return BP(p.prim) == BP::Up || BP(p.prim) == BP::Down;
      });
      if (!dir) continue;
      ref = nbr;
      return (BP(dir->prim) == BP::Up) == (b.bgn == end) ? 1 : 2;
    }
    return 0;
  };
  for (const QvQBond& b : q.Bonds()) {
    if (!AlongAnds(q, b.expr, [](const QvQNode& p) { return BP(p.prim) == BP::Double; })) continue;
    unsigned ref_bgn = 0, ref_end = 0;
    const int side_bgn = marked(b.bgn, b.end, ref_bgn);
    const int side_end = marked(b.end, b.bgn, ref_end);
    if (side_bgn && side_end) {
      const QvBondConfig config = side_bgn == side_end ? QvBondConfig::Cis : QvBondConfig::Trans;
      const unsigned ready = std::max({plan.step_of[b.bgn], plan.step_of[b.end], plan.step_of[ref_bgn],
                                       plan.step_of[ref_end]});
      plan.cis_trans.push_back({b.bgn, b.end, ref_bgn, ref_end, config, ready});
    }
  }
}

// How much an atom expression narrows the candidates, for ordering: rarer
// elements and more demands first.
int Selectivity(const QvQMolBase& q, unsigned idx) {
  const QvQNode& n = q.Node(idx);
  switch (n.op) {
    case QvQOp::Prim:
      switch (AP(n.prim)) {
        case AP::AtomicNum:
        case AP::AliphaticElement:
        case AP::AromaticElement: return n.value == 6 ? 2 : n.value == 7 || n.value == 8 ? 6 : 10;
        case AP::Any:
        case AP::Chirality: return 0;
        case AP::Recursive: return 3;
        default: return 1;
      }
    case QvQOp::Not: return 0;
    case QvQOp::Or: return std::min(Selectivity(q, n.left), Selectivity(q, n.right));
    default: return Selectivity(q, n.left) + Selectivity(q, n.right);
  }
}

bool SameExpression(const QvQMolBase& q, unsigned a, unsigned b) {
  const QvQNode &x = q.Node(a), &y = q.Node(b);
  if (x.op != y.op || x.prim != y.prim || x.value != y.value) return false;
  switch (x.op) {
    case QvQOp::Prim: return true;
    case QvQOp::Not: return SameExpression(q, x.left, y.left);
    default: return SameExpression(q, x.left, y.left) && SameExpression(q, x.right, y.right);
  }
}

std::unique_ptr<QvQuery::Plan> Compile(const QvQMolBase& q, bool anchored) {
  auto plan = std::make_unique<QvQuery::Plan>();
  const unsigned n = q.NumAtoms();
  std::vector<std::vector<std::pair<unsigned, unsigned>>> nbrs(n);  // (atom, bond expr)
  for (const QvQBond& b : q.Bonds()) {
    nbrs[b.bgn].push_back({b.end, b.expr});
    nbrs[b.end].push_back({b.bgn, b.expr});
  }
  std::vector<int> score(n), step_of(n, -1);
  for (unsigned i = 0; i < n; ++i) score[i] = Selectivity(q, q.Atoms()[i].expr) * 4 + int(nbrs[i].size());

  std::vector<unsigned> connections(n, 0);  // bonds to placed atoms
  for (unsigned placed = 0; placed < n; ++placed) {
    int best = -1;
    for (unsigned i = 0; i < n; ++i) {
      if (step_of[i] >= 0) continue;
      if (anchored && placed == 0) {
        best = 0;
        break;
      }
      // Atoms bound to the placed ones come first; among them, or among the
      // roots of new components, the most connected and selective.
      auto key = [&](unsigned a) { return std::pair<unsigned, int>(connections[a], score[a]); };
      if (best < 0 || key(i) > key(unsigned(best))) best = int(i);
    }
    const unsigned atom = unsigned(best);
    QvQuery::Plan::Step step;
    step.atom = atom;
    step.expr = q.Atoms()[atom].expr;
    for (auto [other, expr] : nbrs[atom]) {
      if (step_of[other] < 0) continue;
      if (step.parent < 0) {
        step.parent = step_of[other];
        step.parent_bond = expr;
      } else {
        step.back.push_back({unsigned(step_of[other]), expr});
      }
    }
    step_of[atom] = int(placed);
    for (auto [other, expr] : nbrs[atom]) ++connections[other];
    plan->steps.push_back(std::move(step));
  }

  std::array<unsigned, 256> counts{};
  for (const QvQAtom& a : q.Atoms())
    if (unsigned z = QvQDemandedElement(q, a.expr)) ++counts[z];
  for (unsigned z = 1; z < counts.size(); ++z)
    if (counts[z]) plan->needed_elements.push_back({z, counts[z]});
  // One demanded atom is what the search's first pass over the atoms looks
  // for anyway; the count pays only when it can refuse more than that.
  if (plan->needed_elements.size() == 1 && plan->needed_elements[0].second == 1) plan->needed_elements.clear();

  for (const auto& nested : q.Recursive()) plan->nested.push_back(std::make_unique<QvQuery>(*nested, true));
  plan->step_of.assign(step_of.begin(), step_of.end());
  plan->twin.assign(n, -1);
  for (unsigned i = anchored ? 2 : 1; i < n; ++i) {
    const QvQAtom& atom = q.Atoms()[plan->steps[i].atom];
    if (!nbrs[plan->steps[i].atom].empty()) continue;
    for (unsigned e = i; e-- > (anchored ? 1u : 0u);) {
      const QvQAtom& earlier = q.Atoms()[plan->steps[e].atom];
      if (nbrs[plan->steps[e].atom].empty() && earlier.component == atom.component &&
          SameExpression(q, earlier.expr, atom.expr)) {
        plan->twin[i] = int(e);
        break;
      }
    }
  }
  CompileStereo(q, *plan);
  for (const auto& step : plan->steps)
    if (q.Atoms()[step.atom].component) {
      for (const auto& s : plan->steps) plan->groups.push_back(q.Atoms()[s.atom].component);
      break;
    }
  return plan;
}

// One molecule being searched, with what is worked out about it on demand.
class Target {
 public:
  Target(const QvMolBase& mol, QvMatchOptions options)
      : mol_(mol), flags_valid_(mol.HasPerceived(QvPerceivedRings)), stereo_(options.stereo) {}

  const QvMolBase& Mol() const { return mol_; }
  bool Stereo() const { return stereo_; }

  // Connected components, numbered by atom index.
  unsigned Component(const QvAtomBase& a) {
    if (component_.empty()) {
      component_.assign(mol_.GetMaxAtomIdx(), ~0u);
      unsigned next = 0;
      std::vector<const QvAtomBase*> stack;
      for (const QvAtomBase* root : mol_.AtomList()) {
        if (root->IsDeleted() || component_[root->GetIdx()] != ~0u) continue;
        component_[root->GetIdx()] = next;
        stack.push_back(root);
        while (!stack.empty()) {
          const QvAtomBase* at = stack.back();
          stack.pop_back();
          for (const QvAtomBase& nbr : at->GetAtoms())
            if (component_[nbr.GetIdx()] == ~0u) {
              component_[nbr.GetIdx()] = next;
              stack.push_back(&nbr);
            }
        }
        ++next;
      }
    }
    return component_[a.GetIdx()];
  }

  bool AtomInRing(const QvAtomBase& a) {
    if (flags_valid_) return a.IsInRing();
    Rings();
    return ring_count_[a.GetIdx()] > 0;
  }
  bool BondInRing(const QvBondBase& b) {
    if (flags_valid_) return b.IsInRing();
    Rings();
    return bond_in_ring_[b.GetIdx()];
  }
  unsigned RingCount(const QvAtomBase& a) {
    Rings();
    return ring_count_[a.GetIdx()];
  }
  unsigned MinRingSize(const QvAtomBase& a) {
    Rings();
    return min_ring_[a.GetIdx()];
  }
  unsigned RingBonds(const QvAtomBase& a) {
    unsigned count = 0;
    for (const QvBondBase& b : a.GetBonds()) count += BondInRing(b);
    return count;
  }

  // The answer of a $(...) query at `atom`: -1 unknown, 0 no, 1 yes.
  signed char& Memo(const QvQuery* nested, unsigned atom_idx) {
    for (auto& [query, answers] : memo_)
      if (query == nested) return answers[atom_idx];
    memo_.push_back({nested, std::vector<signed char>(mol_.GetMaxAtomIdx(), -1)});
    return memo_.back().second[atom_idx];
  }

 private:
  void Rings() {
    if (have_rings_) return;
    have_rings_ = true;
    ring_count_.assign(mol_.GetMaxAtomIdx(), 0);
    min_ring_.assign(mol_.GetMaxAtomIdx(), 0);
    bond_in_ring_.assign(mol_.GetMaxBondIdx(), false);
    for (const QvRing& ring : QvFindSSSR(mol_)) {
      const unsigned size = unsigned(ring.size());
      for (const QvAtomBase* a : ring.atoms) {
        const unsigned idx = a->GetIdx();
        ++ring_count_[idx];
        if (min_ring_[idx] == 0 || size < min_ring_[idx]) min_ring_[idx] = size;
      }
      for (const QvBondBase* b : ring.bonds) bond_in_ring_[b->GetIdx()] = true;
    }
  }

  const QvMolBase& mol_;
  bool flags_valid_;
  bool stereo_;
  bool have_rings_ = false;
  std::vector<unsigned> component_;
  std::vector<unsigned> ring_count_, min_ring_;
  std::vector<bool> bond_in_ring_;
  std::vector<std::pair<const QvQuery*, std::vector<signed char>>> memo_;
};

template <class Found>
bool SearchFrom(const QvQuery& query, Target& target, const QvAtomBase* anchor, bool sets_only, Found&& found);

unsigned HydrogenNeighbours(const QvAtomBase& a) {
  unsigned count = 0;
  for (const QvAtomBase& nbr : a.GetAtoms()) count += nbr.GetAtomicNum() == 1;
  return count;
}

unsigned Valence(const QvAtomBase& a) {
  unsigned sum = a.GetImplicitHCount();
  for (const QvBondBase& b : a.GetBonds()) sum += b.GetOrder();
  return sum;
}

// The operators of an expression tree, with `leaf` deciding its primitives.
template <class Leaf>
bool EvalTree(const QvQMolBase& q, unsigned idx, const Leaf& leaf) {
  const QvQNode& n = q.Node(idx);
  switch (n.op) {
    case QvQOp::Not: return !EvalTree(q, n.left, leaf);
    case QvQOp::And:
    case QvQOp::AndLow: return EvalTree(q, n.left, leaf) && EvalTree(q, n.right, leaf);
    case QvQOp::Or: return EvalTree(q, n.left, leaf) || EvalTree(q, n.right, leaf);
    case QvQOp::Prim: break;
  }
  return leaf(n);
}

bool AtomPrim(const QvQuery& query, const QvQNode& n, const QvAtomBase& a, Target& target) {
  const int v = n.value;
  switch (AP(n.prim)) {
    case AP::Any:
    case AP::Chirality: return true;
    case AP::AtomicNum: return int(a.GetAtomicNum()) == v;
    case AP::AliphaticElement: return int(a.GetAtomicNum()) == v && !a.IsAromatic();
    case AP::AromaticElement: return int(a.GetAtomicNum()) == v && a.IsAromatic();
    case AP::Aromatic: return a.IsAromatic();
    case AP::Aliphatic: return !a.IsAromatic();
    case AP::Isotope: return int(a.GetIsotope()) == v;
    case AP::Charge: return a.GetFormalCharge() == v;
    case AP::TotalH: return int(a.GetImplicitHCount() + HydrogenNeighbours(a)) == v;
    case AP::ImplicitH: return v < 0 ? a.GetImplicitHCount() > 0 : int(a.GetImplicitHCount()) == v;
    case AP::Degree: return int(a.GetExplicitDegree()) == v;
    case AP::Connectivity: return int(a.GetTotalDegree()) == v;
    case AP::Valence: return int(Valence(a)) == v;
    case AP::RingCount:
      if (v < 0) return target.AtomInRing(a);
      if (v == 0) return !target.AtomInRing(a);
      return int(target.RingCount(a)) == v;
    case AP::RingSize:
      if (v < 0) return target.AtomInRing(a);
      if (v == 0) return !target.AtomInRing(a);
      return int(target.MinRingSize(a)) == v;
    case AP::RingConnectivity: return v < 0 ? target.RingBonds(a) > 0 : int(target.RingBonds(a)) == v;
    case AP::Recursive: {
      const auto& nested = query.GetPlan().nested;
      if (v < 0 || unsigned(v) >= nested.size()) return false;
      const QvQuery* sub = nested[unsigned(v)].get();
      signed char& memo = target.Memo(sub, a.GetIdx());
      const auto stop = [](const QvAtomBase* const*, std::size_t) { return true; };
      if (memo < 0) memo = SearchFrom(*sub, target, &a, true, stop) ? 1 : 0;
      return memo == 1;
    }
  }
  return false;
}

bool EvalAtom(const QvQuery& query, unsigned idx, const QvAtomBase& a, Target& target) {
  return EvalTree(query.Mol(), idx, [&](const QvQNode& n) { return AtomPrim(query, n, a, target); });
}

bool BondPrim(const QvQNode& n, const QvBondBase& b, Target& target) {
  const bool aromatic = b.IsAromatic();
  switch (BP(n.prim)) {
    case BP::Any: return true;
    case BP::Default:
    case BP::Up:
    case BP::Down: return aromatic || b.GetOrder() == 1;
    case BP::Single: return !aromatic && b.GetOrder() == 1;
    case BP::Double: return !aromatic && b.GetOrder() == 2;
    case BP::Triple: return !aromatic && b.GetOrder() == 3;
    case BP::Aromatic: return aromatic;
    case BP::Ring: return target.BondInRing(b);
  }
  return false;
}

bool EvalBond(const QvQMolBase& q, unsigned idx, const QvBondBase& b, Target& target) {
  return EvalTree(q, idx, [&](const QvQNode& n) { return BondPrim(n, b, target); });
}

// Whether the stereo marks of the query hold for a complete match (`placed`
// by step).
// The stereo marks whose atoms `step` completes hold among the placed atoms.
// Checked as early as that rather than on whole matches, a search does not
// try every placement of the later atoms around a centre of the wrong hand.
bool StereoHoldsAt(const QvQuery::Plan& plan, const QvAtomBase* const* placed, std::size_t step) {
  for (const auto& c : plan.centres) {
    if (c.ready != step) continue;
    const QvAtomBase* atom = placed[plan.step_of[c.atom]];
    if (c.count == 0) {
      if (!QvHasAtomStereo(*atom)) return false;
      continue;
    }
    std::array<const QvAtomBase*, 4> nbrs{};
    for (unsigned k = 0; k < c.count; ++k) nbrs[k] = placed[plan.step_of[c.nbrs[k]]];
    if (c.count == 3) {
      // The fourth: a neighbour the query leaves out, else the implicit
      // hydrogen or lone pair (null).
      for (const QvAtomBase& nbr : atom->GetAtoms())
        if (&nbr != nbrs[0] && &nbr != nbrs[1] && &nbr != nbrs[2]) {
          nbrs[3] = &nbr;
          break;
        }
    }
    if (QvGetAtomStereo(*atom, nbrs) != c.chirality) return false;
  }
  for (const auto& ct : plan.cis_trans) {
    if (ct.ready != step) continue;
    const QvAtomBase* bgn = placed[plan.step_of[ct.bgn]];
    const QvAtomBase* end = placed[plan.step_of[ct.end]];
    const QvBondBase* bond = bgn->GetBond(end);
    if (!bond) return false;
    const QvAtomBase* ref_bgn = placed[plan.step_of[ct.ref_bgn]];
    const QvAtomBase* ref_end = placed[plan.step_of[ct.ref_end]];
    if (bond->GetBgn() != bgn) std::swap(ref_bgn, ref_end);
    if (QvGetBondStereo(*bond, ref_bgn, ref_end) != ct.config) return false;
  }
  return true;
}

// Whether `a`, as the first atom of the fragment at `step`, keeps the
// component-level groups: alike with the earlier fragments of its group,
// apart from those of other groups.
bool GroupsAgree(const QvQuery::Plan& plan, Target& target, const QvAtomBase* const* placed, std::size_t step,
                 const QvAtomBase& a) {
  const unsigned group = plan.groups[step];
  if (!group) return true;
  const unsigned component = target.Component(a);
  for (std::size_t s = 0; s < step; ++s)
    if (plan.steps[s].parent < 0 && plan.groups[s] &&
        (plan.groups[s] == group) != (target.Component(*placed[s]) == component))
      return false;
  return true;
}

// Whether `mol` has atoms and bonds enough for the query: each query atom and
// bond takes one of its own. A search that cannot succeed would otherwise try
// every placement, which for many unconnected atoms is its whole step budget.
bool TargetSuffices(const QvQuery& query, const QvMolBase& mol) {
  if (query.Mol().NumAtoms() > mol.NumAtoms() || query.Mol().NumBonds() > mol.NumBonds()) return false;
  const auto& needed = query.GetPlan().needed_elements;
  if (needed.empty() || needed.size() > 8) return true;
  std::array<unsigned, 8> have{};
  for (const QvAtomBase* a : mol.AtomList()) {
    if (a->IsDeleted()) continue;
    const unsigned z = a->GetAtomicNum();
    for (std::size_t k = 0; k < needed.size(); ++k) have[k] += needed[k].first == z;
  }
  for (std::size_t k = 0; k < needed.size(); ++k)
    if (have[k] < needed[k].second) return false;
  return true;
}

// Depth-first placement along the plan's steps; `found(placed, n)` answers
// whether to stop. Iterative, so long queries cannot exhaust the stack; the
// state of ordinary queries lives on the stack, as most targets are rejected
// within a few steps and an allocation would cost more than that. With
// kChecks false, queries that have neither stereo marks to check nor
// component-level groups run without looking for them.
template <bool kChecks, class Found>
bool Search(const QvQuery& query, Target& target, const QvAtomBase* anchor, bool sets_only, Found&& found) {
  const QvQuery::Plan& plan = query.GetPlan();
  const auto& steps = plan.steps;
  const QvQMolBase& q = query.Mol();
  const QvMolBase& mol = target.Mol();
  const std::size_t n = steps.size();
  if (n == 0 || mol.NumAtoms() < n) return false;
  const bool check_stereo = kChecks && target.Stereo() && !(plan.centres.empty() && plan.cis_trans.empty());
  const bool check_groups = kChecks && !plan.groups.empty();
  constexpr std::size_t kOnStack = 48;
  std::array<const QvAtomBase*, kOnStack> placed_buf;
  std::array<std::size_t, kOnStack> cursor_buf;
  std::vector<const QvAtomBase*> placed_heap;
  std::vector<std::size_t> cursor_heap;
  if (n > kOnStack) {
    placed_heap.resize(n);
    cursor_heap.resize(n);
  }
  const QvAtomBase** placed = n > kOnStack ? placed_heap.data() : placed_buf.data();
  std::size_t* cursor = n > kOnStack ? cursor_heap.data() : cursor_buf.data();
  cursor[0] = 0;
  const QvAtomVector& atoms = mol.AtomList();
  std::size_t i = 0;
  bool any = false;
  std::size_t budget = kQvMaxMatchSteps;
  for (;;) {
    const auto& step = steps[i];
    const QvAtomBase* chosen = nullptr;
    if (step.parent < 0) {
      if (i == 0 && anchor) {
        if (cursor[i]++ == 0 && EvalAtom(query, step.expr, *anchor, target)) chosen = anchor;
      } else {
        while (!chosen && cursor[i] < atoms.size()) {
          if (--budget == 0) return any;
          const QvAtomBase* a = atoms[cursor[i]++];
          if (a->IsDeleted() || std::find(placed, placed + i, a) != placed + i)
            continue;
          if (EvalAtom(query, step.expr, *a, target) &&
              (!check_groups || GroupsAgree(plan, target, placed, i, *a)))
            chosen = a;
        }
      }
    } else {
      const QvAtomBase* from = placed[unsigned(step.parent)];
      const QvBondList& bonds = from->BondList();
      while (!chosen && cursor[i] < bonds.size()) {
        if (--budget == 0) return any;
        const QvBondBase* b = bonds[cursor[i]++];
        if (b->IsDeleted()) continue;
        const QvAtomBase* a = b->GetNbr(from);
        if (!a || std::find(placed, placed + i, a) != placed + i) continue;
        if (!EvalBond(q, step.parent_bond, *b, target)) continue;
        if (!EvalAtom(query, step.expr, *a, target)) continue;
        bool closes = true;
        for (auto [earlier, expr] : step.back) {
          const QvBondBase* back = a->GetBond(placed[earlier]);
          if (!back || !EvalBond(q, expr, *back, target)) {
            closes = false;
            break;
          }
        }
        if (closes) chosen = a;
      }
    }
    if (chosen) {
      placed[i] = chosen;
      if (check_stereo && !StereoHoldsAt(plan, placed, i)) continue;
      if (i + 1 < n) {
        ++i;
        cursor[i] = sets_only && plan.twin[i] >= 0 ? cursor[plan.twin[i]] : 0;
        continue;
      }
      any = true;
      if (found(placed, n)) return true;
      continue;  // try the next candidate for the last step
    }
    placed[i] = nullptr;
    if (i == 0) return any;
    --i;
  }
}

// The search with checks, kept out of line so that the plain one stays
// small enough to inline where it is called.
template <class Found>
[[gnu::noinline]] bool SearchChecked(const QvQuery& query, Target& target, const QvAtomBase* anchor, bool sets_only,
                                     Found&& found) {
  return Search<true>(query, target, anchor, sets_only, std::forward<Found>(found));
}

bool NeedsChecks(const QvQuery::Plan& plan, const Target& target) {
  return !plan.groups.empty() || (target.Stereo() && !(plan.centres.empty() && plan.cis_trans.empty()));
}

// `sets_only`: the caller keeps one match per set of target atoms at most.
template <class Found>
bool SearchFrom(const QvQuery& query, Target& target, const QvAtomBase* anchor, bool sets_only, Found&& found) {
  if (NeedsChecks(query.GetPlan(), target))
    return SearchChecked(query, target, anchor, sets_only, std::forward<Found>(found));
  return Search<false>(query, target, anchor, sets_only, std::forward<Found>(found));
}

}  // namespace

QvQuery::QvQuery() : plan_(Compile(mol_, false)) {}
QvQuery::~QvQuery() = default;
QvQuery::QvQuery(QvQuery&&) noexcept = default;
QvQuery& QvQuery::operator=(QvQuery&&) noexcept = default;
QvQuery::QvQuery(QvQMolBase mol, bool anchored) : mol_(std::move(mol)), plan_(Compile(mol_, anchored)) {}

bool QvQuery::FromSmarts(std::string_view text, std::string* error) {
  QvQMolBase parsed;
  if (!QvParseSmarts(parsed, text, error)) return false;
  *this = QvQuery(std::move(parsed));
  return true;
}

std::string QvQuery::Smarts() const { return QvCreateSmarts(mol_); }

bool QvMatches(const QvQuery& query, const QvMolBase& mol, QvMatchOptions options) {
  if (!TargetSuffices(query, mol)) return false;
  Target target(mol, options);
  return SearchFrom(query, target, nullptr, true, [](const QvAtomBase* const*, std::size_t) { return true; });
}

namespace {

// Cache-line fetches of what matching a molecule reads first, in stages: the
// molecule object, then (once that has arrived) its atom list, then its atoms.
void FetchMolecule(const QvMolBase* mol) {
  // The object's first lines: its vtable pointer, atom list and perception flags.
  for (unsigned line = 0; line < 4; ++line) __builtin_prefetch(reinterpret_cast<const char*>(mol) + 64 * line);
}
void FetchAtomList(const QvMolBase* mol) {
  const QvAtomVector& atoms = mol->AtomList();
  const char* data = reinterpret_cast<const char*>(atoms.data());
  for (std::size_t line = 0; line < atoms.size() * sizeof(QvAtomBase*) && line < 512; line += 64)
    __builtin_prefetch(data + line);
}
void FetchAtoms(const QvMolBase* mol) {
  const QvAtomVector& atoms = mol->AtomList();
  for (std::size_t i = 0; i < atoms.size() && i < 64; ++i) __builtin_prefetch(atoms[i]);
}

}  // namespace

std::vector<std::size_t> QvFilter(const QvQuery& query, std::span<const QvMolBase* const> mols,
                                  QvMatchOptions options) {
  // How far ahead each stage runs: far enough for a fetch to arrive before
  // the next stage needs it, near enough not to crowd the cache.
  constexpr std::size_t kMolAhead = 8, kListAhead = 4, kAtomsAhead = 2;
  std::vector<std::size_t> hits;
  const std::size_t n = mols.size();
  for (std::size_t i = 0; i < n && i < kMolAhead; ++i) FetchMolecule(mols[i]);
  for (std::size_t i = 0; i < n && i < kListAhead; ++i) FetchAtomList(mols[i]);
  for (std::size_t i = 0; i < n && i < kAtomsAhead; ++i) FetchAtoms(mols[i]);
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kMolAhead < n) FetchMolecule(mols[i + kMolAhead]);
    if (i + kListAhead < n) FetchAtomList(mols[i + kListAhead]);
    if (i + kAtomsAhead < n) FetchAtoms(mols[i + kAtomsAhead]);
    if (QvMatches(query, *mols[i], options)) hits.push_back(i);
  }
  return hits;
}

std::vector<std::vector<unsigned>> QvFindMatches(const QvQuery& query, const QvMolBase& mol, unsigned limit,
                                                 bool unique, QvMatchOptions options) {
  std::vector<std::vector<unsigned>> matches;
  if (!TargetSuffices(query, mol)) return matches;
  const auto& steps = query.GetPlan().steps;
  Target target(mol, options);
  std::set<std::vector<unsigned>> seen;
  SearchFrom(query, target, nullptr, unique, [&](const QvAtomBase* const* placed, std::size_t n) {
    std::vector<unsigned> match(n);
    for (std::size_t s = 0; s < n; ++s) match[steps[s].atom] = placed[s]->GetIdx();
    if (unique) {
      std::vector<unsigned> key = match;
      std::sort(key.begin(), key.end());
      if (!seen.insert(std::move(key)).second) return false;
    }
    matches.push_back(std::move(match));
    return limit != 0 && matches.size() >= limit;
  });
  return matches;
}

}  // namespace Tamrin
