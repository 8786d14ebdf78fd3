#include "tamrin/search/fingerprint.h"

#include <algorithm>
#include <bit>
#include <utility>
#include <vector>

#include "tamrin/model/atombase.h"
#include "tamrin/model/bondbase.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/rings.h"
#include "tamrin/search/qmol.h"

namespace Tamrin {

namespace {

std::uint64_t Mix(std::uint64_t h, std::uint64_t x) { return (h ^ x) * 0x100000001B3ull; }

// splitmix64's finaliser: the low bits that pick a fingerprint bit depend on
// every input bit.
std::uint64_t Finish(std::uint64_t h) {
  h ^= h >> 30;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 27;
  h *= 0x94D049BB133111EBull;
  return h ^ (h >> 31);
}

std::uint64_t Seed(QvScreenFeature kind, std::size_t atoms) {
  return Mix(Mix(0xCBF29CE484222325ull, static_cast<std::uint64_t>(kind)), atoms);
}

// Interleaved atom and bond codes of a walk that starts at atom `start` and
// steps `dir` (+1 or -1) around a ring of n atoms, or along a path.
struct Walk {
  std::span<const std::uint32_t> atoms;
  std::span<const std::uint8_t> bonds;
  std::size_t Length() const { return atoms.size() + bonds.size(); }
  // Element k of the walk from `start` in direction `dir`.
  std::uint32_t At(std::size_t start, int dir, std::size_t k) const {
    const std::size_t n = atoms.size();
    const std::size_t step = k / 2;
    if (dir > 0) {
      const std::size_t a = (start + step) % n;
      return k % 2 == 0 ? atoms[a] : bonds[a];
    }
    const std::size_t a = (start + n - step % n) % n;
    // Walking backwards, the bond after atom a is the one before it.
    return k % 2 == 0 ? atoms[a] : bonds[(a + n - 1) % n];
  }
  // Whether the walk (s1, d1) is lexicographically before (s2, d2).
  bool Before(std::size_t s1, int d1, std::size_t s2, int d2) const {
    for (std::size_t k = 0; k < Length(); ++k) {
      const std::uint32_t x = At(s1, d1, k), y = At(s2, d2, k);
      if (x != y) return x < y;
    }
    return false;
  }
};

}  // namespace

std::uint64_t QvScreenFeatureHash(QvScreenFeature kind, std::span<const std::uint32_t> atoms,
                                  std::span<const std::uint8_t> bonds) {
  const bool cycle = kind == QvScreenFeature::Cycle;
  if (cycle ? atoms.size() < 3 || bonds.size() != atoms.size() : atoms.size() != bonds.size() + 1) return 0;
  const Walk walk{atoms, bonds};
  std::size_t best_start = 0;
  int best_dir = 1;
  if (cycle) {
    for (std::size_t s = 0; s < atoms.size(); ++s)
      for (int d : {1, -1})
        if (walk.Before(s, d, best_start, best_dir)) best_start = s, best_dir = d;
  } else if (walk.Before(atoms.size() - 1, -1, 0, 1)) {
    best_start = atoms.size() - 1, best_dir = -1;
  }
  std::uint64_t h = Seed(kind, atoms.size());
  if (cycle) {
    for (std::size_t k = 0; k < walk.Length(); ++k) h = Mix(h, walk.At(best_start, best_dir, k));
  } else {
    // A path is not a ring: its walk indices never wrap, so At's modular
    // stepping reads it straight (bonds[i] sits between atoms i and i + 1).
    const std::size_t last = atoms.size() - 1;
    for (std::size_t k = 0; k < walk.Length(); ++k) {
      const std::size_t i = best_dir > 0 ? k / 2 : last - k / 2;
      h = Mix(h, k % 2 == 0 ? atoms[i] : bonds[best_dir > 0 ? i : i - 1]);
    }
  }
  return Finish(h);
}

namespace {

// Per atom and per bond, what the fingerprints read.
struct Codes {
  std::vector<std::uint32_t> atom_code;
  std::vector<std::uint8_t> bond_code;
  std::vector<char> heavy, ring_bond, ring_atom;

  Codes(unsigned atoms, unsigned bonds)
      : atom_code(atoms), bond_code(bonds), heavy(atoms), ring_bond(bonds), ring_atom(atoms) {}
};

// The molecule's graph with its codes.
struct CodedGraph : Codes {
  const QvGraphView& view;

  explicit CodedGraph(const QvGraphView& g) : Codes(g.NumAtoms(), g.NumBonds()), view(g) {
    for (unsigned a = 0; a < g.NumAtoms(); ++a) {
      const QvAtomBase& atom = *g.Atom(a);
      atom_code[a] = QvScreenAtomCode(atom.GetAtomicNum());
      heavy[a] = atom.GetAtomicNum() > 1;
    }
    for (unsigned b = 0; b < g.NumBonds(); ++b) {
      const QvBondBase& bond = *g.Bond(b);
      bond_code[b] = QvScreenBondCode(bond.GetOrder(), bond.IsAromatic());
      ring_bond[b] = bond.IsInRing();
      if (ring_bond[b]) ring_atom[g.BondBgn(b)] = ring_atom[g.BondEnd(b)] = 1;
    }
  }
  unsigned NumAtoms() const { return view.NumAtoms(); }
  std::span<const QvGraphView::Arc> Arcs(unsigned a) const { return view.Arcs(a); }
};

// A query's graph coded the same way. Only what every match is sure to find
// in the target is coded: an atom whose expression demands one heavy
// element, a bond whose expression demands one of the four bond types. Other
// atoms count as not heavy and other bonds are left out of the walk, so no
// feature passes through them. A bond is a ring bond when it lies on a cycle
// of the query (its image then lies on a cycle of the target), whatever its
// expression.
struct QueryGraph : Codes {
  std::vector<std::vector<QvGraphView::Arc>> arcs;

  explicit QueryGraph(const QvQMolBase& q) : Codes(q.NumAtoms(), q.NumBonds()), arcs(q.NumAtoms()) {
    for (unsigned a = 0; a < q.NumAtoms(); ++a) {
      const unsigned z = QvQDemandedElement(q, q.Atoms()[a].expr);
      atom_code[a] = QvScreenAtomCode(z);
      heavy[a] = z > 1;
    }
    for (unsigned b = 0; b < q.NumBonds(); ++b) {
      const QvQBond& bond = q.Bonds()[b];
      const int code = DemandedBondCode(q, bond.expr);
      if (code == 0) continue;
      bond_code[b] = static_cast<std::uint8_t>(code);
      arcs[bond.bgn].push_back({bond.end, b});
      arcs[bond.end].push_back({bond.bgn, b});
    }
    for (unsigned b = 0; b < q.NumBonds(); ++b) {
      ring_bond[b] = OnCycle(q, b);
      if (ring_bond[b]) ring_atom[q.Bonds()[b].bgn] = ring_atom[q.Bonds()[b].end] = 1;
    }
  }
  unsigned NumAtoms() const { return static_cast<unsigned>(arcs.size()); }
  std::span<const QvGraphView::Arc> Arcs(unsigned a) const { return arcs[a]; }

 private:
  // The screen's code of the bond type an expression demands, or 0.
  static int DemandedBondCode(const QvQMolBase& q, unsigned idx) {
    const QvQNode& n = q.Node(idx);
    if (n.op == QvQOp::And || n.op == QvQOp::AndLow) {
      if (const int code = DemandedBondCode(q, n.left)) return code;
      return DemandedBondCode(q, n.right);
    }
    if (n.op != QvQOp::Prim) return 0;
    switch (QvQBondPrim(n.prim)) {
      case QvQBondPrim::Single: return QvScreenBondCode(1, false);
      case QvQBondPrim::Double: return QvScreenBondCode(2, false);
      case QvQBondPrim::Triple: return QvScreenBondCode(3, false);
      case QvQBondPrim::Aromatic: return QvScreenBondCode(1, true);
      default: return 0;
    }
  }

  // Whether bond b's ends stay connected without it. Queries are small, so
  // a search per bond costs nothing worth a bridge-finding pass.
  static bool OnCycle(const QvQMolBase& q, unsigned b) {
    const unsigned from = q.Bonds()[b].bgn, to = q.Bonds()[b].end;
    std::vector<char> seen(q.NumAtoms());
    std::vector<unsigned> todo{from};
    seen[from] = 1;
    while (!todo.empty()) {
      const unsigned a = todo.back();
      todo.pop_back();
      for (unsigned other = 0; other < q.NumBonds(); ++other) {
        const QvQBond& bond = q.Bonds()[other];
        if (other == b || (bond.bgn != a && bond.end != a)) continue;
        const unsigned next = bond.bgn == a ? bond.end : bond.bgn;
        if (next == to) return true;
        if (!seen[next]) seen[next] = 1, todo.push_back(next);
      }
    }
    return false;
  }
};

// The ring flags the fingerprints need: the molecule's own, or a copy's.
struct WithRings {
  QvWorkingMol work;
  explicit WithRings(const QvMolBase& mol) : work(mol) {
    if (!mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(work.Copy());
  }
};

constexpr unsigned kMaxAtoms = kQvScreenMaxPathBonds + 1;

template <class Graph>
class PathWalker {
 public:
  PathWalker(const Graph& g, QvFingerprint& fp) : g_(g), fp_(fp), on_path_(g.NumAtoms()) {}

  // False when the walk was cut at kQvScreenMaxPaths.
  bool Run() {
    for (unsigned a = 0; a < g_.NumAtoms() && walked_ <= kQvScreenMaxPaths; ++a) {
      if (!g_.heavy[a]) continue;
      pos_[0] = a;
      codes_[0] = g_.atom_code[a];
      on_path_[a] = 1;
      Extend(0);
      on_path_[a] = 0;
    }
    return walked_ <= kQvScreenMaxPaths;
  }

 private:
  void Emit(unsigned nbonds) {
    // Each path is walked from both ends: hash it from the lower one only.
    if (nbonds > 0 && pos_[0] > pos_[nbonds]) return;
    const std::span<const std::uint32_t> atoms(codes_, nbonds + 1);
    const std::span<const std::uint8_t> bonds(bcodes_, nbonds);
    QvSetFeatureBit(fp_, QvScreenFeatureHash(QvScreenFeature::Path, atoms, bonds));
    bool ring = nbonds > 0 || g_.ring_atom[pos_[0]];
    for (unsigned i = 0; i < nbonds && ring; ++i) ring = g_.ring_bond[bonds_[i]];
    if (ring) QvSetFeatureBit(fp_, QvScreenFeatureHash(QvScreenFeature::RingPath, atoms, bonds));
  }

  void Extend(unsigned nbonds) {
    if (++walked_ > kQvScreenMaxPaths) return;
    Emit(nbonds);
    const unsigned last = pos_[nbonds];
    for (const QvGraphView::Arc& arc : g_.Arcs(last)) {
      if (!g_.heavy[arc.nbr]) continue;
      if (arc.nbr == pos_[0]) {
        // A ring closes: hashed once, from its lowest atom towards the lower
        // of that atom's two ring neighbours.
        if (nbonds >= 2 && IsLowest(nbonds) && pos_[1] < last) {
          bcodes_[nbonds] = g_.bond_code[arc.bond];
          QvSetFeatureBit(fp_, QvScreenFeatureHash(QvScreenFeature::Cycle, std::span(codes_, nbonds + 1),
                                                   std::span<const std::uint8_t>(bcodes_, nbonds + 1)));
        }
        continue;
      }
      if (on_path_[arc.nbr] || nbonds == kQvScreenMaxPathBonds) continue;
      pos_[nbonds + 1] = arc.nbr;
      codes_[nbonds + 1] = g_.atom_code[arc.nbr];
      bonds_[nbonds] = arc.bond;
      bcodes_[nbonds] = g_.bond_code[arc.bond];
      on_path_[arc.nbr] = 1;
      Extend(nbonds + 1);
      on_path_[arc.nbr] = 0;
      if (walked_ > kQvScreenMaxPaths) return;
    }
  }

  bool IsLowest(unsigned nbonds) const {
    for (unsigned i = 1; i <= nbonds; ++i)
      if (pos_[i] < pos_[0]) return false;
    return true;
  }

  const Graph& g_;
  QvFingerprint& fp_;
  std::vector<char> on_path_;
  unsigned pos_[kMaxAtoms] = {};
  unsigned bonds_[kMaxAtoms] = {};
  std::uint32_t codes_[kMaxAtoms] = {};
  std::uint8_t bcodes_[kMaxAtoms] = {};
  std::size_t walked_ = 0;
};

}  // namespace

bool QvScreenFingerprint(const QvMolBase& mol, QvFingerprint& fp) {
  fp.fill(0);
  const WithRings rings(mol);
  const QvGraphView view(rings.work.Get());
  const CodedGraph graph(view);
  if (PathWalker(graph, fp).Run()) return true;
  fp.fill(~std::uint64_t{0});
  return false;
}

QvFingerprint QvScreenFingerprint(const QvMolBase& mol) {
  QvFingerprint fp;
  QvScreenFingerprint(mol, fp);
  return fp;
}

QvFingerprint QvScreenFingerprint(const QvQMolBase& query) {
  QvFingerprint fp{};
  const QueryGraph graph(query);
  // A query too dense to walk screens nothing out.
  if (!PathWalker(graph, fp).Run()) fp.fill(0);
  return fp;
}

QvFingerprint QvCircularFingerprint(const QvMolBase& mol) {
  QvFingerprint fp{};
  const WithRings rings(mol);
  const QvGraphView g(rings.work.Get());
  const CodedGraph coded(g);
  const unsigned n = g.NumAtoms();
  std::vector<std::uint64_t> ids(n), next(n);
  for (unsigned a = 0; a < n; ++a) {
    if (!coded.heavy[a]) continue;
    const QvAtomBase& atom = *g.Atom(a);
    unsigned degree = 0, hydrogens = atom.GetImplicitHCount();
    for (const QvGraphView::Arc& arc : g.Arcs(a)) {
      if (coded.heavy[arc.nbr]) ++degree;
      else if (g.Atom(arc.nbr)->GetAtomicNum() == 1) ++hydrogens;
    }
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (std::uint64_t x : {std::uint64_t{atom.GetAtomicNum()}, std::uint64_t{degree}, std::uint64_t{hydrogens},
                            static_cast<std::uint64_t>(static_cast<std::int64_t>(atom.GetFormalCharge())),
                            std::uint64_t{atom.GetIsotope()}, std::uint64_t(coded.ring_atom[a]),
                            std::uint64_t{atom.IsAromatic()}})
      h = Mix(h, x);
    ids[a] = Finish(h);
    QvSetFeatureBit(fp, ids[a]);
  }
  std::vector<std::pair<std::uint8_t, std::uint64_t>> around;
  for (unsigned round = 1; round <= 2; ++round) {
    for (unsigned a = 0; a < n; ++a) {
      if (!coded.heavy[a]) continue;
      around.clear();
      for (const QvGraphView::Arc& arc : g.Arcs(a))
        if (coded.heavy[arc.nbr]) around.emplace_back(coded.bond_code[arc.bond], ids[arc.nbr]);
      std::sort(around.begin(), around.end());
      std::uint64_t h = Mix(Mix(0x84222325CBF29CE4ull, round), ids[a]);
      for (const auto& [bond, id] : around) h = Mix(Mix(h, bond), id);
      next[a] = Finish(h);
      QvSetFeatureBit(fp, next[a]);
    }
    ids.swap(next);
  }
  return fp;
}

bool QvFingerprintContains(const QvFingerprint& super, const QvFingerprint& sub) {
  for (unsigned w = 0; w < kQvFingerprintWords; ++w)
    if (sub[w] & ~super[w]) return false;
  return true;
}

unsigned QvPopCount(const QvFingerprint& fp) {
  unsigned n = 0;
  for (std::uint64_t w : fp) n += static_cast<unsigned>(std::popcount(w));
  return n;
}

double QvTanimoto(const QvFingerprint& a, const QvFingerprint& b) {
  unsigned both = 0, either = 0;
  for (unsigned w = 0; w < kQvFingerprintWords; ++w) {
    both += static_cast<unsigned>(std::popcount(a[w] & b[w]));
    either += static_cast<unsigned>(std::popcount(a[w] | b[w]));
  }
  return either ? static_cast<double>(both) / either : 0.0;
}

namespace {

template <class Count>
void BulkTanimoto(const QvFingerprint& query, const std::uint64_t* fps, std::size_t count, double* scores,
                  Count popcount) {
  unsigned query_bits = 0;
  for (std::uint64_t w : query) query_bits += popcount(w);
  for (std::size_t i = 0; i < count; ++i, fps += kQvFingerprintWords) {
    unsigned both = 0, bits = 0;
    for (unsigned w = 0; w < kQvFingerprintWords; ++w) {
      both += popcount(query[w] & fps[w]);
      bits += popcount(fps[w]);
    }
    const unsigned either = query_bits + bits - both;
    scores[i] = either ? static_cast<double>(both) / either : 0.0;
  }
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("popcnt"))) void BulkTanimotoPopcnt(const QvFingerprint& query, const std::uint64_t* fps,
                                                          std::size_t count, double* scores) {
  BulkTanimoto(query, fps, count, scores,
               [](std::uint64_t w) { return static_cast<unsigned>(__builtin_popcountll(w)); });
}
#endif

}  // namespace

void QvBulkTanimoto(const QvFingerprint& query, const std::uint64_t* fps, std::size_t count, double* scores) {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool has_popcnt = __builtin_cpu_supports("popcnt");
  if (has_popcnt) return BulkTanimotoPopcnt(query, fps, count, scores);
#endif
  BulkTanimoto(query, fps, count, scores, [](std::uint64_t w) { return static_cast<unsigned>(std::popcount(w)); });
}

}  // namespace Tamrin
