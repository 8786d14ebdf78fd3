#include "tamrin/perception/connectivity.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/model/eachrecord.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/molimpl.h"

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
  unsigned idx;  // the atom's index, asked for often
  unsigned atomic_num;
};

struct Candidate {
  double excess;  // distance minus the sum of radii: the most stretched go last
  unsigned a, b;  // site numbers
};

// A position in the grid order within reach, and its squared distance.
struct Hit {
  unsigned q;
  double squared;
};

// The larger working arrays, kept by each thread from one molecule to the
// next: a reader bonding model after model reuses them rather than going to
// the heap, and through it to the system, for every model.
struct Work {
  std::vector<double> coords;
  std::vector<Site> sites;
  // The grid.
  std::vector<std::uint64_t> keys;
  std::vector<unsigned> order, slot, slot_at, first;
  // The search.
  std::vector<unsigned> packed_order;
  std::vector<double> packed;
  std::vector<char> wide;
  std::vector<Hit> hits;
  std::vector<Candidate> found, overlaps;
};

[[gnu::noinline]] Work& ThreadWork() {
  thread_local Work work;
  return work;
}

// Arrays for more sites than this go back to the heap after use: a thread
// that once bonded a huge structure does not keep its memory.
constexpr std::size_t kKeptSites = std::size_t{1} << 16;

// The atoms that can bond at all, with their coordinates, into `sites`.
void SitesOf(QvMolBase& mol, std::vector<double>& coords, std::vector<Site>& sites) {
  // Every coordinate is written by GetCoords.
  coords.resize(3 * static_cast<size_t>(mol.GetMaxAtomIdx()));
  mol.GetCoords(coords.data());
  const std::array<double, QvMaxAtomicNum + 1>& radii = QvCovalentRadii();
  sites.clear();
  sites.reserve(mol.NumAtoms());
  QvForEachAtom(mol, [&](auto& atom) {
    const unsigned z = atom.GetAtomicNum(), idx = atom.GetIdx();
    const double radius = z <= QvMaxAtomicNum ? radii[z] : 0.0;
    const double* xyz = coords.data() + 3 * static_cast<size_t>(idx);
    if (radius <= 0.0 || !std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2])) return;
    sites.push_back({&atom, {xyz[0], xyz[1], xyz[2]}, radius, idx, z});
  });
}

constexpr std::int64_t kMaxCell = (1 << 21) - 1;

// Cells of the grid: 21 bits per axis, counted from the lowest corner and
// clamped, so that far-flung coordinates only share an edge cell (the
// distance test stays exact) instead of overflowing the key. A box of
// modest size (a protein, a crystal cell) indexes its cells in one array;
// sparse or far-flung coordinates look them up by key. Its arrays are the
// thread's (Work).
class CellGrid {
 public:
  CellGrid(const std::vector<Site>& sites, double cell, Work& work)
      : inv_cell_(1.0 / cell), order_(work.order), slot_(work.slot_at), first_(work.first) {
    for (int axis = 0; axis < 3; ++axis) {
      lo_[axis] = sites.front().xyz[axis];
      for (const Site& s : sites) lo_[axis] = std::min(lo_[axis], s.xyz[axis]);
    }
    order_.resize(sites.size());
    first_.clear();
    std::vector<std::uint64_t>& keys = work.keys;
    keys.resize(sites.size());
    std::int64_t top[3] = {0, 0, 0};
    for (unsigned i = 0; i < sites.size(); ++i) {
      const std::int64_t c[3] = {Cell(sites[i], 0), Cell(sites[i], 1), Cell(sites[i], 2)};
      for (int axis = 0; axis < 3; ++axis) top[axis] = std::max(top[axis], c[axis]);
      keys[i] = Key(c[0], c[1], c[2]);
      order_[i] = i;
    }
    // Cells of the array, with the empty layer all round.
    const double dense = static_cast<double>(top[0] + 3) * static_cast<double>(top[1] + 3) *
                         static_cast<double>(top[2] + 3);
    if (dense <= 16.0 * static_cast<double>(sites.size()) + 4096.0) {
      // Counted into their slots in number order: the order of a sort by
      // key, then number. A layer of empty cells all round lets the
      // neighbours of any cell be read without bounds checks.
      for (int axis = 0; axis < 3; ++axis) {
        top_[axis] = top[axis];
        size_[axis] = top[axis] + 3;
      }
      // Counted one slot up, so that placing them moves each start to
      // where it belongs.
      first_.assign(static_cast<std::size_t>(dense) + 2, 0);
      std::vector<unsigned>& slot = work.slot;
      slot.resize(sites.size());
      for (unsigned i = 0; i < sites.size(); ++i) {
        slot[i] = static_cast<unsigned>(Slot(keys[i] >> 42, (keys[i] >> 21) & kMaxCell, keys[i] & kMaxCell));
        ++first_[slot[i] + 2];
      }
      for (std::size_t k = 2; k < first_.size(); ++k) first_[k] += first_[k - 1];
      slot_.resize(sites.size());
      for (unsigned i = 0; i < sites.size(); ++i) {
        slot_[first_[slot[i] + 1]] = slot[i];
        order_[first_[slot[i] + 1]++] = i;
      }
      first_.pop_back();
      return;
    }
    std::sort(order_.begin(), order_.end(),
              [&](unsigned x, unsigned y) { return keys[x] != keys[y] ? keys[x] < keys[y] : x < y; });
    cells_.reserve(sites.size());
    for (unsigned k = 0; k < order_.size();) {
      unsigned end = k + 1;
      while (end < order_.size() && keys[order_[end]] == keys[order_[k]]) ++end;
      cells_.emplace(keys[order_[k]], std::pair<unsigned, unsigned>{k, end});
      k = end;
    }
  }

  std::int64_t Cell(const Site& s, int axis) const {
    // Clamped first, truncation is the floor (no call into the maths library).
    const double c = (s.xyz[axis] - lo_[axis]) * inv_cell_;
    return c <= 0.0 ? 0 : c >= static_cast<double>(kMaxCell) ? kMaxCell : static_cast<std::int64_t>(c);
  }


  // Calls f(begin, end) with the positions (in Order()) of the sites in the
  // cells (cx, cy, zlo) to (cx, cy, zhi), cell by cell. In the array the
  // cells of a column lie side by side, so there it is one range.
  template <class F>
  void ForEachRange(std::int64_t cx, std::int64_t cy, std::int64_t zlo, std::int64_t zhi, F&& f) const {
    if (cx < 0 || cy < 0 || cx > kMaxCell || cy > kMaxCell) return;
    zlo = std::max<std::int64_t>(zlo, 0);
    zhi = std::min<std::int64_t>(zhi, kMaxCell);
    if (first_.empty()) {
      for (std::int64_t z = zlo; z <= zhi; ++z) {
        const auto it = cells_.find(Key(cx, cy, z));
        if (it != cells_.end()) f(it->second.first, it->second.second);
      }
      return;
    }
    if (cx > top_[0] || cy > top_[1]) return;
    zhi = std::min(zhi, top_[2]);
    if (zlo > zhi) return;
    f(first_[Slot(cx, cy, zlo)], first_[Slot(cx, cy, zhi) + 1]);
  }

  // Site numbers by position: sorted by cell, then by number.
  const std::vector<unsigned>& Order() const { return order_; }

  // The array of cells, when there is one: the cell of the site at each
  // position, and the cell one step along each axis from a cell (cells
  // all round every site's exist; empty ones past the sites' box).
  bool Dense() const { return !first_.empty(); }
  std::size_t SlotAt(unsigned pos) const { return slot_[pos]; }
  std::size_t Step(int axis) const {
    return axis == 2 ? 1 : static_cast<std::size_t>(axis == 1 ? size_[2] : size_[1] * size_[2]);
  }
  // The positions of the sites in the cells `from` to `to` (slots) of a column.
  std::pair<unsigned, unsigned> Range(std::size_t from, std::size_t to) const { return {first_[from], first_[to + 1]}; }

 private:
  static std::uint64_t Key(std::int64_t x, std::int64_t y, std::int64_t z) {
    return (static_cast<std::uint64_t>(x) << 42) | (static_cast<std::uint64_t>(y) << 21) |
           static_cast<std::uint64_t>(z);
  }
  // Slots run x-major like the keys, so the sorted order fills them in turn.
  // The padding puts cell (0, 0, 0) at (1, 1, 1).
  std::size_t Slot(std::int64_t x, std::int64_t y, std::int64_t z) const {
    return static_cast<std::size_t>(((x + 1) * size_[1] + y + 1) * size_[2] + z + 1);
  }

  double inv_cell_;
  double lo_[3] = {};
  std::int64_t size_[3] = {0, 0, 0};  // cells along each axis, with the padding
  std::int64_t top_[3] = {0, 0, 0};   // the last cell of a site along each axis
  std::vector<unsigned>& order_;
  std::vector<unsigned>& slot_;  // dense: the slot of the site at each position
  std::vector<unsigned>& first_;  // dense: the sites of slot k are order_[first_[k]] to order_[first_[k + 1]]
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

// Coordinates and radii of the sites in grid order, one array each.
struct PackedSites {
  const double *x, *y, *z, *radius;
};

// A site looking for partners: its coordinates and radius plus the tolerance.
struct Reach {
  double x, y, z, radius;
};

// Writes from `out` on the positions `begin` to `end` within reach of
// `site`, and returns the end of what it wrote; `out` has room for one more
// than the positions. Most are out of reach: every one is written and only
// those within reach are kept, without a branch that would guess wrong.
Hit* ScanRange(const PackedSites& sites, const Reach& site, unsigned begin, unsigned end, Hit* out) {
  for (unsigned q = begin; q < end; ++q) {
    const double dx = site.x - sites.x[q], dy = site.y - sites.y[q], dz = site.z - sites.z[q];
    const double limit = site.radius + sites.radius[q];
    // The same margin as the test in `consider`, which decides.
    const double squared = dx * dx + dy * dy + dz * dz;
    *out = {q, squared};
    out += squared <= limit * limit * (1.0 + 1e-9);
  }
  return out;
}

// Every pair within bonding distance, each once, into `work.found`;
// overlapping pairs are noted. Small molecules compare all pairs: building
// the grid costs more there.
void Candidates(const std::vector<Site>& sites, Overlap& overlap, Work& work) {
  constexpr size_t kAllPairsUpTo = 96;
  std::vector<Candidate>& found = work.found;
  std::vector<Candidate>& overlaps = work.overlaps;  // the distance in place of the excess
  found.clear();
  overlaps.clear();
  // `squared`: the squared distance of the pair, the same whichever end
  // the difference was taken from.
  const auto consider = [&](unsigned i, unsigned j, double squared) {  // i < j
    const double reach = sites[i].radius + sites[j].radius;
    // Most pairs of neighbouring cells are far apart: the squared distance
    // turns them away without a square root, with a margin that leaves the
    // exact test below to decide the borderline ones.
    const double limit = reach + kQvBondTolerance;
    if (squared > limit * limit * (1.0 + 1e-9)) return;
    const double d = std::sqrt(squared);
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
      for (unsigned j = i + 1; j < sites.size(); ++j) consider(i, j, SquaredDistance(sites[i], sites[j]));
    if (!overlaps.empty()) note_overlap(overlaps.front());
    return;
  }
  double max_radius = 0.0;
  for (const Site& s : sites) max_radius = std::max(max_radius, s.radius);
  // The cells fit the bonds of the common light elements (H, C, N, O, F);
  // the few wider atoms (S, P, Cl, B, ions and metals) reach further, two or
  // three cells out, from a pass of their own. Where they are not few, the
  // cells fit them as well.
  constexpr double kCellRadius = 0.8;
  double cell_radius = 0.0;
  std::size_t num_wide = 0;
  for (const Site& s : sites) {
    if (s.radius <= kCellRadius)
      cell_radius = std::max(cell_radius, s.radius);
    else
      ++num_wide;
  }
  if (cell_radius == 0.0 || num_wide > sites.size() / 16) cell_radius = max_radius;
  const double cell_size = 2.0 * cell_radius + kQvBondTolerance;
  const CellGrid grid(sites, cell_size, work);
  // The sites in cell order, coordinates side by side: the pair loop below
  // runs over plain arrays, and most pairs fail its first test.
  const std::size_t n = sites.size();
  std::vector<unsigned>& order = work.packed_order;
  order.resize(n);
  work.packed.resize(4 * n);
  double* const px = work.packed.data();
  double* const py = px + n;
  double* const pz = py + n;
  double* const pr = pz + n;
  std::vector<char>& wide = work.wide;
  wide.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    order[k] = grid.Order()[k];
    const Site& s = sites[order[k]];
    px[k] = s.xyz[0];
    py[k] = s.xyz[1];
    pz[k] = s.xyz[2];
    pr[k] = s.radius;
    wide[k] = s.radius > cell_radius;
  }
  // Each pair of neighbouring cells once: a site's own cell (the sites after
  // it there), and the 13 of its 26 neighbours that lie ahead of it (the
  // other 13 see it from theirs). The sites of one cell share those ranges.
  // Wide sites take no part: their x is NaN here, which fails every test.
  for (std::size_t k = 0; k < n; ++k)
    if (wide[k]) px[k] = std::numeric_limits<double>::quiet_NaN();
  std::pair<unsigned, unsigned> ahead[13];
  std::size_t num_ahead = 0;
  unsigned cell_end = 0, next_end = 0;
  const PackedSites packed_sites{px, py, pz, pr};
  std::vector<Hit>& hits = work.hits;
  for (unsigned p = 0; p < n; ++p) {
    if (p >= cell_end && grid.Dense()) {
      const std::size_t slot = grid.SlotAt(p), sy = grid.Step(1), sx = grid.Step(0);
      cell_end = grid.Range(slot, slot).second;
      next_end = grid.Range(slot + 1, slot + 1).second;
      num_ahead = 0;
      const auto keep = [&](std::size_t column) {
        const auto [begin, end] = grid.Range(column - 1, column + 1);
        if (begin < end) ahead[num_ahead++] = {begin, end};
      };
      keep(slot + sy);
      keep(slot + sx - sy);
      keep(slot + sx);
      keep(slot + sx + sy);
    } else if (p >= cell_end) {
      const Site& site = sites[grid.Order()[p]];
      const std::int64_t cx = grid.Cell(site, 0), cy = grid.Cell(site, 1), cz = grid.Cell(site, 2);
      num_ahead = 0;
      const auto keep = [&](unsigned begin, unsigned end) {
        if (begin < end) ahead[num_ahead++] = {begin, end};
      };
      grid.ForEachRange(cx, cy, cz, cz, [&](unsigned, unsigned end) { cell_end = end; });
      // The next cell up the column follows this one in the order.
      next_end = cell_end;
      grid.ForEachRange(cx, cy, cz + 1, cz + 1, [&](unsigned, unsigned end) { next_end = end; });
      grid.ForEachRange(cx, cy + 1, cz - 1, cz + 1, keep);
      for (std::int64_t dy = -1; dy <= 1; ++dy) grid.ForEachRange(cx + 1, cy + dy, cz - 1, cz + 1, keep);
    }
    if (wide[p]) continue;  // paired below
    std::size_t scanned = next_end - p;
    for (std::size_t r = 0; r < num_ahead; ++r) scanned += ahead[r].second - ahead[r].first;
    if (hits.size() < scanned) hits.resize(2 * scanned);
    const Reach site{px[p], py[p], pz[p], pr[p] + kQvBondTolerance};
    Hit* end = ScanRange(packed_sites, site, p + 1, next_end, hits.data());
    for (std::size_t r = 0; r < num_ahead; ++r)
      end = ScanRange(packed_sites, site, ahead[r].first, ahead[r].second, end);
    const unsigned i = order[p];
    for (const auto& [q, squared] : std::span<const Hit>(hits.data(), end)) {
      const unsigned j = order[q];
      i < j ? consider(i, j, squared) : consider(j, i, squared);
    }
  }
  // Each wide site with every site as far as it reaches, and with the
  // wide sites after it in the grid order.
  for (unsigned p = 0; p < n; ++p) {
    if (!wide[p]) continue;
    const Site& site = sites[grid.Order()[p]];
    const std::int64_t cx = grid.Cell(site, 0), cy = grid.Cell(site, 1), cz = grid.Cell(site, 2);
    const auto reach = static_cast<std::int64_t>(std::ceil((site.radius + max_radius + kQvBondTolerance) / cell_size));
    const unsigned i = order[p];
    for (std::int64_t dx = -reach; dx <= reach; ++dx)
      for (std::int64_t dy = -reach; dy <= reach; ++dy)
        grid.ForEachRange(cx + dx, cy + dy, cz - reach, cz + reach, [&](unsigned begin, unsigned end) {
          for (unsigned q = begin; q < end; ++q) {
            if (q == p || (wide[q] && q < p)) continue;
            const unsigned j = order[q];
            const double squared = SquaredDistance(sites[i], sites[j]);
            i < j ? consider(i, j, squared) : consider(j, i, squared);
          }
        });
  }
  // The warning names the pair that a walk over every site's 27 cells, in
  // turn, would meet first: the lowest site, then its nearest cell in that
  // walk, then the lowest partner.
  if (!overlaps.empty()) {
    // That walk's cells are as long as the longest bond, from the lowest
    // corner of all sites.
    double lo[3], longest = 0.0;
    for (int axis = 0; axis < 3; ++axis) lo[axis] = sites.front().xyz[axis];
    for (const Site& s : sites) {
      longest = std::max(longest, s.radius);
      for (int axis = 0; axis < 3; ++axis) lo[axis] = std::min(lo[axis], s.xyz[axis]);
    }
    const double inv_cell = 1.0 / (2.0 * longest + kQvBondTolerance);
    const auto cell = [&](const Site& s, int axis) {
      const double c = std::floor((s.xyz[axis] - lo[axis]) * inv_cell);
      return static_cast<std::int64_t>(std::clamp(c, 0.0, static_cast<double>(kMaxCell)));
    };
    const auto key = [&cell, &sites](const Candidate& c) {
      std::int64_t rank = 0;
      for (int axis = 0; axis < 3; ++axis) rank = 3 * rank + cell(sites[c.b], axis) - cell(sites[c.a], axis) + 1;
      return std::tuple(c.a, rank, c.b);
    };
    note_overlap(*std::min_element(overlaps.begin(), overlaps.end(),
                                   [&key](const Candidate& x, const Candidate& y) { return key(x) < key(y); }));
  }
}

constexpr unsigned kNoSite = ~0u;

std::vector<unsigned> SiteIndex(const QvMolBase& mol, const std::vector<Site>& sites) {
  std::vector<unsigned> site_of(mol.GetMaxAtomIdx(), kNoSite);
  for (unsigned i = 0; i < sites.size(); ++i) site_of[sites[i].idx] = i;
  return site_of;
}

// Angle a-k-b in degrees.
double Angle(const Site& a, const Site& k, const Site& b) {
  double dot = 0.0;
  for (int axis = 0; axis < 3; ++axis) dot += (a.xyz[axis] - k.xyz[axis]) * (b.xyz[axis] - k.xyz[axis]);
  const double c = dot / (Distance(a, k) * Distance(b, k));
  return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / 3.14159265358979323846;
}

// The neighbours (atom indices) of each site, those it had and those the
// search gives it, side by side in one block: the search asks about them for
// every candidate, which the atom records answer more slowly.
class SiteNbrs {
 public:
  // `room`: how many bonds each site may still take; `bonded`: whether it
  // has any bond yet (most have none, and need no walk over their bonds).
  SiteNbrs(const std::vector<Site>& sites, const std::vector<unsigned>& room, const std::vector<char>& bonded)
      : start_(sites.size() + 1, 0) {
    for (unsigned i = 0; i < sites.size(); ++i) {
      unsigned have = 0;
      if (bonded[i]) ForEachNbr(*sites[i].atom, [&have](unsigned) { ++have; });
      start_[i + 1] = start_[i] + have + room[i];
    }
    nbrs_.resize(start_.back());
    count_.assign(sites.size(), 0);
    for (unsigned i = 0; i < sites.size(); ++i)
      if (bonded[i]) ForEachNbr(*sites[i].atom, [this, i](unsigned nbr) { Add(i, nbr); });
  }

  std::span<const unsigned> Of(unsigned site) const { return {nbrs_.data() + start_[site], count_[site]}; }
  bool Has(unsigned site, unsigned atom) const {
    const std::span<const unsigned> nbrs = Of(site);
    return std::find(nbrs.begin(), nbrs.end(), atom) != nbrs.end();
  }
  void Add(unsigned site, unsigned atom) { nbrs_[start_[site] + count_[site]++] = atom; }

 private:
  template <class F>
  static void ForEachNbr(const QvAtomBase& atom, F f) {
    for (const QvBondBase& bond : atom.GetBonds())
      if (const QvAtomBase* nbr = bond.GetNbr(&atom)) f(nbr->GetIdx());
  }

  std::vector<unsigned> start_, count_, nbrs_;
};

// Two atoms that already share a neighbour close a three-membered ring only
// across a narrow angle (60 degrees, a little more in lopsided rings); across
// a wide one they are the 1,3 contact of a strained ring (the diagonal of a
// cyclobutene, 88 degrees, can come within bonding distance).
bool AcrossOpenAngle(const std::vector<Site>& sites, const std::vector<unsigned>& site_of, const SiteNbrs& nbrs,
                     const Candidate& c) {
  constexpr double kWidestRingAngle = 80.0;
  const unsigned b = sites[c.b].idx;
  for (const unsigned k : nbrs.Of(c.a)) {
    if (k >= site_of.size() || site_of[k] == kNoSite || !nbrs.Has(site_of[k], b)) continue;
    if (Angle(sites[c.a], sites[site_of[k]], sites[c.b]) > kWidestRingAngle) return true;
  }
  return false;
}

// The order of the candidates by length decides only where some are turned
// away: at an atom with fewer places than candidates, or across an angle,
// which takes three atoms bonded in a triangle. A candidate between two
// atoms with room for all of theirs, closing no triangle with the others
// and the bonds there already, is taken whatever the order; and whatever
// is decided elsewhere cannot reach it, nor it the others (a neighbour
// that would close an angle with it would make a triangle). In a protein
// nearly all are such: only the others need the sort. Moves those to the
// front and returns how many there are (`num_atom_idx`: the molecule's
// GetMaxAtomIdx()).
std::size_t Contested(const std::vector<Site>& sites, std::vector<Candidate>& candidates,
                      const std::vector<unsigned>& room, const SiteNbrs& nbrs, std::size_t num_atom_idx) {
  std::vector<unsigned> wanted(sites.size(), 0);
  for (const Candidate& c : candidates) {
    ++wanted[c.a];
    ++wanted[c.b];
  }
  // Neighbours (atom indices, as SiteNbrs keeps them) by site, those bonded
  // already and the candidates, as one graph.
  std::vector<unsigned> start(sites.size() + 1, 0);
  for (unsigned i = 0; i < sites.size(); ++i)
    start[i + 1] = start[i] + static_cast<unsigned>(nbrs.Of(i).size()) + wanted[i];
  std::vector<unsigned> adj(start.back());
  std::vector<unsigned> fill(start.begin(), start.end() - 1);
  for (unsigned i = 0; i < sites.size(); ++i)
    for (const unsigned atom : nbrs.Of(i)) adj[fill[i]++] = atom;
  for (const Candidate& c : candidates) {
    adj[fill[c.a]++] = sites[c.b].idx;
    adj[fill[c.b]++] = sites[c.a].idx;
  }
  const auto of = [&](unsigned site) {
    return std::span<const unsigned>(adj.data() + start[site], start[site + 1] - start[site]);
  };
  // A shared neighbour: those of one end are marked with a number of this
  // test's own, then those of the other end looked up.
  std::vector<unsigned> mark(num_atom_idx, ~0u);
  unsigned test = 0;
  const auto contested = [&](const Candidate& c) {
    if (wanted[c.a] > room[c.a] || wanted[c.b] > room[c.b]) return true;
    ++test;
    for (const unsigned k : of(c.a)) mark[k] = test;
    for (const unsigned k : of(c.b))
      if (mark[k] == test) return true;
    return false;
  };
  return static_cast<std::size_t>(std::partition(candidates.begin(), candidates.end(), contested) - candidates.begin());
}

// Pairs of site numbers sorted, by a counting pass over the first: the
// lists are long and each site has few partners.
void SortPairs(std::vector<std::pair<unsigned, unsigned>>& pairs, std::size_t num_sites) {
  std::vector<unsigned> start(num_sites + 1, 0);
  for (const auto& [a, b] : pairs) ++start[a + 1];
  for (std::size_t i = 1; i < start.size(); ++i) start[i] += start[i - 1];
  std::vector<std::pair<unsigned, unsigned>> sorted(pairs.size());
  std::vector<unsigned> fill(start.begin(), start.end() - 1);
  for (const auto& pair : pairs) sorted[fill[pair.first]++] = pair;
  // A handful of partners each: sorted in place by insertion.
  for (std::size_t i = 0; i < num_sites; ++i) {
    for (unsigned k = start[i] + 1; k < start[i + 1]; ++k) {
      const std::pair<unsigned, unsigned> pair = sorted[k];
      unsigned m = k;
      for (; m > start[i] && pair.second < sorted[m - 1].second; --m) sorted[m] = sorted[m - 1];
      sorted[m] = pair;
    }
  }
  pairs = std::move(sorted);
}

// Bonds of order 1 between the pairs of sites. Their atoms are the
// molecule's own, undeleted and two different ones: the toolkit's own
// molecules take them without the checks of NewBond, their list grown once.
void MakeBonds(QvMolBase& mol, const std::vector<Site>& sites,
               const std::vector<std::pair<unsigned, unsigned>>& pairs) {
  if (pairs.empty()) return;
  auto* graph = Sorvil::QvCast<QvMolBaseImpl>(&mol);
  if (!graph) {
    for (const auto& [a, b] : pairs) mol.NewBond(sites[a].atom, sites[b].atom, 1);
    return;
  }
  graph->Reserve(static_cast<unsigned>(graph->AtomList().size()),
                 static_cast<unsigned>(graph->BondList().size() + pairs.size()));
  // As NewBond would.
  graph->ClearPerceived();
  for (const auto& [a, b] : pairs)
    graph->AddBond(static_cast<QvAtom*>(sites[a].atom), static_cast<QvAtom*>(sites[b].atom), 1);
}

}  // namespace

void QvDetermineConnectivity(QvMolBase& mol) {
  if (mol.GetDimension() != 3) return;
  Work& work = ThreadWork();
  const std::vector<Site>& sites = work.sites;
  SitesOf(mol, work.coords, work.sites);
  if (sites.size() < 2) return;
  Overlap overlap;
  Candidates(sites, overlap, work);
  std::vector<Candidate>& candidates = work.found;
  std::vector<unsigned> room(sites.size());
  std::vector<char> bonded(sites.size());
  for (unsigned i = 0; i < sites.size(); ++i) {
    const unsigned cap = MaxBonds(sites[i].atomic_num);
    const unsigned have = sites[i].atom->GetExplicitDegree();
    room[i] = cap > have ? cap - have : 0;
    bonded[i] = have > 0;
  }
  const std::vector<unsigned> site_of = SiteIndex(mol, sites);
  SiteNbrs nbrs(sites, room, bonded);
  std::vector<std::pair<unsigned, unsigned>> accepted;
  accepted.reserve(candidates.size());
  const std::size_t num_contested = Contested(sites, candidates, room, nbrs, site_of.size());
  const auto first_free = candidates.begin() + static_cast<std::ptrdiff_t>(num_contested);
  for (auto c = first_free; c != candidates.end(); ++c)
    if (!nbrs.Has(c->a, sites[c->b].idx)) accepted.emplace_back(c->a, c->b);
  std::sort(candidates.begin(), first_free, [](const Candidate& x, const Candidate& y) {
    return x.excess != y.excess ? x.excess < y.excess : (x.a != y.a ? x.a < y.a : x.b < y.b);
  });
  for (auto c = candidates.begin(); c != first_free; ++c) {
    if (room[c->a] == 0 || room[c->b] == 0) continue;
    if (nbrs.Has(c->a, sites[c->b].idx) || AcrossOpenAngle(sites, site_of, nbrs, *c)) continue;
    accepted.emplace_back(c->a, c->b);
    nbrs.Add(c->a, sites[c->b].idx);
    nbrs.Add(c->b, sites[c->a].idx);
    --room[c->a];
    --room[c->b];
  }
  // Made in atom order rather than by length, so that structures of one
  // topology (the models of an NMR entry, the frames of a trajectory) list
  // the same bonds in the same order, and what later passes decide from the
  // bond list alone carries over from one to the next.
  SortPairs(accepted, sites.size());
  MakeBonds(mol, sites, accepted);
  const unsigned overlap_a = sites[overlap.a].idx, overlap_b = sites[overlap.b].idx;
  if (sites.size() > kKeptSites) work = Work();
  // Last: a handler of the warning may bond another molecule, with the
  // thread's working arrays.
  if (overlap.seen)
    Sorvil::QvErrorHandler::Warning("Atoms %u and %u overlap (%.2f A apart); not bonded.", overlap_a, overlap_b,
                                    overlap.distance);
}

}  // namespace Tamrin
