// The working form of one connected component while it is laid out: dense
// local atom numbers, its bonds, the cis/trans bonds it must show, and the
// coordinates the layouts fill (bond length kQvLayout2DBondLength).
#pragma once

#include <cmath>
#include <span>
#include <unordered_map>
#include <vector>

namespace Tamrin::layout2d {

struct Point {
  double x = 0, y = 0;
};

// Points bucketed in square cells, for finding the points near a place in
// time proportional to how many there are.
class PointGrid {
 public:
  explicit PointGrid(double cell) : cell_(cell) {}
  void Add(unsigned id, Point p) { cells_[Key(Cell(p.x), Cell(p.y))].push_back(id); }
  void Clear() { cells_.clear(); }
  // Calls f(id) for every point added in the cell of `p` and the eight cells
  // around it: every point within one cell side of `p`, and some further.
  template <class F>
  void ForNear(Point p, F f) const {
    const long long cx = Cell(p.x), cy = Cell(p.y);
    for (long long dx = -1; dx <= 1; ++dx)
      for (long long dy = -1; dy <= 1; ++dy) {
        auto it = cells_.find(Key(cx + dx, cy + dy));
        if (it != cells_.end())
          for (unsigned id : it->second) f(id);
      }
  }

 private:
  long long Cell(double v) const { return static_cast<long long>(std::floor(v / cell_)); }
  static unsigned long long Key(long long cx, long long cy) {
    return (static_cast<unsigned long long>(cx) << 32) ^ (static_cast<unsigned long long>(cy) & 0xffffffffULL);
  }
  double cell_;
  std::unordered_map<unsigned long long, std::vector<unsigned>> cells_;
};

struct Edge {
  unsigned a, b;   // local atom numbers
  unsigned order;  // 1, 2 or 3 (anything else drawn as 1)
};

// A double bond whose references (a neighbour at each end, other than the
// bond's own atoms) must lie on the same side (cis) or on opposite sides.
struct StereoEdge {
  unsigned edge;
  unsigned ref_a, ref_b;  // neighbours of edges[edge].a and .b
  bool cis;
};

struct Component {
  std::vector<unsigned> atoms;  // positions in the molecule's graph view
  std::vector<unsigned> atomic_nums;
  std::vector<Edge> edges;
  std::vector<StereoEdge> stereo;
  // A smallest set of smallest rings, local atom numbers in walking order.
  std::vector<std::vector<unsigned>> rings;
  std::vector<Point> xy;  // one per atom once laid out
  // Neighbours (local numbers) of each atom and the edges to them, built by
  // BuildAdjacency.
  std::vector<std::vector<unsigned>> adj;
  std::vector<std::vector<unsigned>> adj_edge;

  unsigned Size() const { return static_cast<unsigned>(atoms.size()); }
  void BuildAdjacency();
};

// The coordgen library; false (xy untouched) when it refuses the component or
// its result is unusable. Safe to call from several threads (serialised).
bool CoordgenLayout(Component& comp);
// Our own layout: ring systems as regular polygons fused edge to edge (other
// ring closures as arcs), chains as zigzags, then a relaxation that pushes
// apart atoms closer than a bond length. Never fails; each relaxation round
// is linear, so large molecules are fine.
void SimpleLayout(Component& comp);

// True when the component suits coordgen: its size, degrees and ring sizes
// are within what that library handles well (see layout2d_coordgen.cpp).
bool CoordgenSuits(const Component& comp);

// Atoms reachable from `start` without the bond from `start` to `other`
// (`start` first); `other` is among them exactly when that bond is in a ring.
std::vector<unsigned> SideOf(const Component& comp, unsigned start, unsigned other);
// Reflects the points `atoms` of `xy` across the line through a and b.
void MirrorAcross(std::vector<Point>& xy, std::span<const unsigned> atoms, Point a, Point b);

// Sign test of a stereo edge in the current coordinates: +1 shown as stored,
// -1 shown the other way, 0 undecidable (a reference on the bond's line).
int StereoShown(const Component& comp, const StereoEdge& st);
// Mirrors the smaller side of every stereo edge shown the wrong way across
// the bond's line when the bond is not in a ring. Returns the number of
// stereo edges left wrong or undecidable.
unsigned FixStereo(Component& comp);

// The smallest distance between two points when some pair is closer than
// `cutoff`, else infinity; grid-bucketed, linear for even layouts.
double MinPairDistance(std::span<const Point> xy, double cutoff);

}  // namespace Tamrin::layout2d
