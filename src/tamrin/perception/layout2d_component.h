// The working form of one connected component while it is laid out: dense
// local atom numbers, its bonds, the cis/trans bonds it must show, and the
// coordinates the layouts fill (bond length kQvLayout2DBondLength).
#pragma once

#include <span>
#include <vector>

namespace Tamrin::layout2d {

struct Point {
  double x = 0, y = 0;
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
  std::vector<Point> xy;  // one per atom once laid out
  // Neighbours (local numbers) of each atom, built by BuildAdjacency.
  std::vector<std::vector<unsigned>> adj;

  unsigned Size() const { return static_cast<unsigned>(atoms.size()); }
  void BuildAdjacency();
};

// The coordgen library; false (xy untouched) when it refuses the component or
// its result is unusable. Safe to call from several threads (serialised).
bool CoordgenLayout(Component& comp, bool quick);
// Our own layout: ring systems as regular polygons fused edge to edge (other
// ring closures as arcs), chains as zigzags, then a relaxation that pushes
// apart atoms closer than a bond length. Never fails; linear-time relaxation
// rounds, so large molecules are fine.
void SimpleLayout(Component& comp);

// True when the component suits coordgen: its size and degrees are within
// what that library handles well (see layout2d_coordgen.cpp).
bool CoordgenSuits(const Component& comp);

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
