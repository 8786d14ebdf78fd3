#include "tamrin/perception/connectivity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

unsigned MaxBonds(unsigned atomic_num) {
  switch (atomic_num) {
    case 1: case 9: return 1;
    case 8: return 2;
    case 5: case 6: case 7: case 17: case 35: case 53: return 4;
    case 14: case 15: case 16: case 33: case 34: case 52: return 6;
    default: return 12;
  }
}

struct Site {
  QvAtomBase* atom;
  double xyz[3];
  double radius;
};

struct Candidate {
  double excess;  // distance minus the sum of radii: the most stretched go last
  unsigned a, b;  // site numbers
};

// The atoms that can bond at all, with their coordinates.
std::vector<Site> SitesOf(QvMolBase& mol) {
  std::vector<double> coords(3 * static_cast<size_t>(mol.GetMaxAtomIdx()));
  mol.GetCoords(coords.data());
  std::vector<Site> sites;
  sites.reserve(mol.NumAtoms());
  for (QvAtomBase& atom : mol.GetAtoms()) {
    const double radius = QvGetCovalentRadius(atom.GetAtomicNum());
    const double* xyz = coords.data() + 3 * static_cast<size_t>(atom.GetIdx());
    if (radius <= 0.0 || !std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) continue;
    sites.push_back({&atom, {xyz[0], xyz[1], xyz[2]}, radius});
  }
  return sites;
}

// Cells of the grid: 21 bits per axis, counted from the lowest corner and
// clamped, so that far-flung coordinates only share an edge cell (the
// distance test stays exact) instead of overflowing the key. A box of
// modest size (a protein, a crystal cell) indexes its cells in one array;
// sparse or far-flung coordinates look them up by key.
class CellGrid {
 public:
  CellGrid(const std::vector<Site>& sites, double cell) : inv_cell_(1.0 / cell) {
    for (int axis = 0; axis < 3; ++axis) {
      lo_[axis] = sites.front().xyz[axis];
      for (const Site& s : sites) lo_[axis] = std::min(lo_[axis], s.xyz[axis]);
    }
    order_.resize(sites.size());
    std::vector<std::uint64_t> keys(sites.size());
    std::int64_t top[3] = {0, 0, 0};
    for (unsigned i = 0; i < sites.size(); ++i) {
      const std::int64_t c[3] = {Cell(sites[i], 0), Cell(sites[i], 1), Cell(sites[i], 2)};
      for (int axis = 0; axis < 3; ++axis) top[axis] = std::max(top[axis], c[axis]);
      keys[i] = Key(c[0], c[1], c[2]);
      order_[i] = i;
    }
    std::sort(order_.begin(), order_.end(),
              [&](unsigned x, unsigned y) { return keys[x] != keys[y] ? keys[x] < keys[y] : x < y; });
    const double dense = static_cast<double>(top[0] + 1) * static_cast<double>(top[1] + 1) *
                         static_cast<double>(top[2] + 1);
    if (dense <= 8.0 * static_cast<double>(sites.size()) + 4096.0) {
      for (int axis = 0; axis < 3; ++axis) size_[axis] = top[axis] + 1;
      first_.assign(static_cast<std::size_t>(dense) + 1, 0);
      for (unsigned i = 0; i < sites.size(); ++i) ++first_[Slot(sites[i]) + 1];
      for (std::size_t k = 1; k < first_.size(); ++k) first_[k] += first_[k - 1];
      return;
    }
    cells_.reserve(sites.size());
    for (unsigned k = 0; k < order_.size();) {
      unsigned end = k + 1;
      while (end < order_.size() && keys[order_[end]] == keys[order_[k]]) ++end;
      cells_.emplace(keys[order_[k]], std::pair<unsigned, unsigned>{k, end});
      k = end;
    }
  }

  std::int64_t Cell(const Site& s, int axis) const {
    const double c = std::floor((s.xyz[axis] - lo_[axis]) * inv_cell_);
    return static_cast<std::int64_t>(std::clamp(c, 0.0, static_cast<double>(kMaxCell)));
  }

  // Calls f(site) for every site in the cell (cx, cy, cz), if it exists.
  template <class F>
  void ForEachIn(std::int64_t cx, std::int64_t cy, std::int64_t cz, F&& f) const {
    if (cx < 0 || cy < 0 || cz < 0 || cx > kMaxCell || cy > kMaxCell || cz > kMaxCell) return;
    unsigned begin, end;
    if (!first_.empty()) {
      if (cx >= size_[0] || cy >= size_[1] || cz >= size_[2]) return;
      const std::size_t slot = Slot(cx, cy, cz);
      begin = first_[slot];
      end = first_[slot + 1];
    } else {
      const auto it = cells_.find(Key(cx, cy, cz));
      if (it == cells_.end()) return;
      begin = it->second.first;
      end = it->second.second;
    }
    for (unsigned k = begin; k < end; ++k) f(order_[k]);
  }

  // Calls f(site) for every site in the cells (cx, cy, cz - 1) to (cx, cy,
  // cz + 1), cell by cell. In the array the three cells lie side by side, so
  // one range holds them in the same order as three calls of ForEachIn.
  template <class F>
  void ForEachInColumn(std::int64_t cx, std::int64_t cy, std::int64_t cz, F&& f) const {
    if (first_.empty()) {
      for (std::int64_t z = cz - 1; z <= cz + 1; ++z) ForEachIn(cx, cy, z, f);
      return;
    }
    if (cx < 0 || cy < 0 || cx >= size_[0] || cy >= size_[1]) return;
    const std::int64_t lo = std::max<std::int64_t>(cz - 1, 0), hi = std::min(cz + 1, size_[2] - 1);
    if (lo > hi) return;
    const unsigned end = first_[Slot(cx, cy, hi) + 1];
    for (unsigned k = first_[Slot(cx, cy, lo)]; k < end; ++k) f(order_[k]);
  }

 private:
  static constexpr std::int64_t kMaxCell = (1 << 21) - 1;
  static std::uint64_t Key(std::int64_t x, std::int64_t y, std::int64_t z) {
    return (static_cast<std::uint64_t>(x) << 42) | (static_cast<std::uint64_t>(y) << 21) |
           static_cast<std::uint64_t>(z);
  }
  // Slots run x-major like the keys, so the sorted order fills them in turn.
  std::size_t Slot(std::int64_t x, std::int64_t y, std::int64_t z) const {
    return static_cast<std::size_t>((x * size_[1] + y) * size_[2] + z);
  }
  std::size_t Slot(const Site& s) const { return Slot(Cell(s, 0), Cell(s, 1), Cell(s, 2)); }

  double inv_cell_;
  double lo_[3] = {};
  std::int64_t size_[3] = {0, 0, 0};
  std::vector<unsigned> order_;
  std::vector<unsigned> first_;  // dense: the sites of slot k are order_[first_[k]] to order_[first_[k + 1]]
  std::unordered_map<std::uint64_t, std::pair<unsigned, unsigned>> cells_;
};

double SquaredDistance(const Site& a, const Site& b) {
  const double dx = a.xyz[0] - b.xyz[0], dy = a.xyz[1] - b.xyz[1], dz = a.xyz[2] - b.xyz[2];
  return dx * dx + dy * dy + dz * dz;
}

double Distance(const Site& a, const Site& b) { return std::sqrt(SquaredDistance(a, b)); }

struct Overlap {
  bool seen = false;
  unsigned a = 0, b = 0;
  double distance = 0.0;
};

// Every pair within bonding distance, each once; overlapping pairs are noted.
// Small molecules compare all pairs: building the grid costs more there.
std::vector<Candidate> Candidates(const std::vector<Site>& sites, Overlap& overlap) {
  constexpr size_t kAllPairsUpTo = 96;
  std::vector<Candidate> found;
  std::vector<Candidate> overlaps;  // the distance in place of the excess
  const auto consider = [&](unsigned i, unsigned j) {  // i < j
    const double reach = sites[i].radius + sites[j].radius;
    // Most pairs of neighbouring cells are far apart: the squared distance
    // turns them away without a square root, with a margin that leaves the
    // exact test below to decide the borderline ones.
    const double limit = reach + kQvBondTolerance;
    if (SquaredDistance(sites[i], sites[j]) > limit * limit * (1.0 + 1e-9)) return;
    const double d = Distance(sites[i], sites[j]);
    if (d >= limit) return;
    if (d < kQvOverlapDistance) {
      overlaps.push_back({d, i, j});
      return;
    }
    found.push_back({d - reach, i, j});
  };
  const auto note_overlap = [&](const Candidate& c) { overlap = {true, c.a, c.b, c.excess}; };
  if (sites.size() <= kAllPairsUpTo) {
    for (unsigned i = 0; i < sites.size(); ++i)
      for (unsigned j = i + 1; j < sites.size(); ++j) consider(i, j);
    if (!overlaps.empty()) note_overlap(overlaps.front());
    return found;
  }
  double max_radius = 0.0;
  for (const Site& s : sites) max_radius = std::max(max_radius, s.radius);
  const CellGrid grid(sites, 2.0 * max_radius + kQvBondTolerance);
  // Each pair of neighbouring cells once: a site's own cell, and the 13 of
  // its 26 neighbours that lie ahead of it (the other 13 see it from theirs).
  for (unsigned i = 0; i < sites.size(); ++i) {
    const std::int64_t cx = grid.Cell(sites[i], 0), cy = grid.Cell(sites[i], 1), cz = grid.Cell(sites[i], 2);
    const auto either = [&](unsigned j) { i < j ? consider(i, j) : consider(j, i); };
    grid.ForEachIn(cx, cy, cz, [&](unsigned j) {
      if (i < j) consider(i, j);
    });
    grid.ForEachIn(cx, cy, cz + 1, either);
    grid.ForEachInColumn(cx, cy + 1, cz, either);
    for (std::int64_t dy = -1; dy <= 1; ++dy) grid.ForEachInColumn(cx + 1, cy + dy, cz, either);
  }
  // The warning names the pair that a walk over every site's 27 cells, in
  // turn, would meet first: the lowest site, then its nearest cell in that
  // walk, then the lowest partner.
  if (!overlaps.empty()) {
    const auto key = [&grid, &sites](const Candidate& c) {
      std::int64_t rank = 0;
      for (int axis = 0; axis < 3; ++axis)
        rank = 3 * rank + grid.Cell(sites[c.b], axis) - grid.Cell(sites[c.a], axis) + 1;
      return std::tuple(c.a, rank, c.b);
    };
    note_overlap(*std::min_element(overlaps.begin(), overlaps.end(),
                                   [&key](const Candidate& x, const Candidate& y) { return key(x) < key(y); }));
  }
  return found;
}

constexpr unsigned kNoSite = ~0u;

std::vector<unsigned> SiteIndex(const QvMolBase& mol, const std::vector<Site>& sites) {
  std::vector<unsigned> site_of(mol.GetMaxAtomIdx(), kNoSite);
  for (unsigned i = 0; i < sites.size(); ++i) site_of[sites[i].atom->GetIdx()] = i;
  return site_of;
}

// Angle a-k-b in degrees.
double Angle(const Site& a, const Site& k, const Site& b) {
  double dot = 0.0;
  for (int axis = 0; axis < 3; ++axis) dot += (a.xyz[axis] - k.xyz[axis]) * (b.xyz[axis] - k.xyz[axis]);
  const double c = dot / (Distance(a, k) * Distance(b, k));
  return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / 3.14159265358979323846;
}

// Two atoms that already share a neighbour close a three-membered ring only
// across a narrow angle (60 degrees, a little more in lopsided rings); across
// a wide one they are the 1,3 contact of a strained ring (the diagonal of a
// cyclobutene, 88 degrees, can come within bonding distance).
bool AcrossOpenAngle(const std::vector<Site>& sites, const std::vector<unsigned>& site_of, const Candidate& c) {
  constexpr double kWidestRingAngle = 80.0;
  const QvAtomBase* b = sites[c.b].atom;
  for (const QvAtomBase& k : sites[c.a].atom->GetAtoms()) {
    if (!k.IsConnected(b) || k.GetIdx() >= site_of.size() || site_of[k.GetIdx()] == kNoSite) continue;
    if (Angle(sites[c.a], sites[site_of[k.GetIdx()]], sites[c.b]) > kWidestRingAngle) return true;
  }
  return false;
}

}  // namespace

void QvDetermineConnectivity(QvMolBase& mol) {
  if (mol.GetDimension() != 3) return;
  const std::vector<Site> sites = SitesOf(mol);
  if (sites.size() < 2) return;
  Overlap overlap;
  std::vector<Candidate> candidates = Candidates(sites, overlap);
  if (overlap.seen)
    Sorvil::QvErrorHandler::Warning("Atoms %u and %u overlap (%.2f A apart); not bonded.",
                                    sites[overlap.a].atom->GetIdx(), sites[overlap.b].atom->GetIdx(),
                                    overlap.distance);
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& x, const Candidate& y) {
    return x.excess != y.excess ? x.excess < y.excess : (x.a != y.a ? x.a < y.a : x.b < y.b);
  });
  std::vector<unsigned> room(sites.size());
  for (unsigned i = 0; i < sites.size(); ++i) {
    const unsigned cap = MaxBonds(sites[i].atom->GetAtomicNum());
    const unsigned have = sites[i].atom->GetExplicitDegree();
    room[i] = cap > have ? cap - have : 0;
  }
  const std::vector<unsigned> site_of = SiteIndex(mol, sites);
  for (const Candidate& c : candidates) {
    QvAtomBase* a = sites[c.a].atom;
    QvAtomBase* b = sites[c.b].atom;
    if (a->IsConnected(b) || room[c.a] == 0 || room[c.b] == 0) continue;
    if (AcrossOpenAngle(sites, site_of, c)) continue;
    if (!mol.NewBond(a, b, 1)) continue;
    --room[c.a];
    --room[c.b];
  }
}

}  // namespace Tamrin
