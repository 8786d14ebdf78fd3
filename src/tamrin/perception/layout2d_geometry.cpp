// Geometry shared by the layouts: adjacency, the cis/trans check and repair,
// and the closest-pair measure.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tamrin/perception/layout2d_component.h"

namespace Tamrin::layout2d {
namespace {

double Cross(Point o, Point a, Point b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

}  // namespace

std::vector<unsigned> SideOf(const Component& comp, unsigned start, unsigned other) {
  std::vector<char> seen(comp.Size(), 0);
  std::vector<unsigned> side{start}, stack{start};
  seen[start] = 1;
  while (!stack.empty()) {
    const unsigned u = stack.back();
    stack.pop_back();
    for (unsigned v : comp.adj[u]) {
      if (seen[v] || (u == start && v == other)) continue;
      seen[v] = 1;
      side.push_back(v);
      stack.push_back(v);
    }
  }
  return side;
}

void MirrorAcross(std::vector<Point>& xy, std::span<const unsigned> atoms, Point a, Point b) {
  const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  if (len2 == 0) return;
  for (unsigned i : atoms) {
    const double px = xy[i].x - a.x, py = xy[i].y - a.y;
    const double t = (px * dx + py * dy) / len2;
    xy[i] = {a.x + 2 * t * dx - px, a.y + 2 * t * dy - py};
  }
}

void Component::BuildAdjacency() {
  adj.assign(Size(), {});
  adj_edge.assign(Size(), {});
  for (unsigned k = 0; k < edges.size(); ++k) {
    adj[edges[k].a].push_back(edges[k].b);
    adj[edges[k].b].push_back(edges[k].a);
    adj_edge[edges[k].a].push_back(k);
    adj_edge[edges[k].b].push_back(k);
  }
}

int StereoShown(const Component& comp, const StereoEdge& st) {
  const Edge& e = comp.edges[st.edge];
  const auto& xy = comp.xy;
  const double sa = Cross(xy[e.a], xy[e.b], xy[st.ref_a]);
  const double sb = Cross(xy[e.a], xy[e.b], xy[st.ref_b]);
  // Against the bond's length squared: references within a few hundredths of
  // a bond of the line are no clear depiction.
  const double eps = 1e-2 * ((xy[e.b].x - xy[e.a].x) * (xy[e.b].x - xy[e.a].x) +
                             (xy[e.b].y - xy[e.a].y) * (xy[e.b].y - xy[e.a].y));
  if (std::abs(sa) <= eps || std::abs(sb) <= eps) return 0;
  const bool same_side = (sa > 0) == (sb > 0);
  return same_side == st.cis ? 1 : -1;
}

unsigned FixStereo(Component& comp) {
  unsigned wrong = 0;
  for (const StereoEdge& st : comp.stereo) {
    if (StereoShown(comp, st) == 1) continue;
    const Edge& e = comp.edges[st.edge];
    std::vector<unsigned> side_a = SideOf(comp, e.a, e.b);
    if (std::find(side_a.begin(), side_a.end(), e.b) == side_a.end()) {
      std::vector<unsigned> side_b = SideOf(comp, e.b, e.a);
      const Point a = comp.xy[e.a], b = comp.xy[e.b];
      MirrorAcross(comp.xy, side_a.size() <= side_b.size() ? side_a : side_b, a, b);
    }
    if (StereoShown(comp, st) != 1) ++wrong;
  }
  return wrong;
}

double MinPairDistance(std::span<const Point> xy, double cutoff) {
  double best = std::numeric_limits<double>::infinity();
  if (xy.size() < 2 || !(cutoff > 0)) return best;
  PointGrid grid(cutoff);
  for (unsigned i = 0; i < xy.size(); ++i) grid.Add(i, xy[i]);
  for (unsigned i = 0; i < xy.size(); ++i)
    grid.ForNear(xy[i], [&](unsigned j) {
      if (j > i) best = std::min(best, std::hypot(xy[i].x - xy[j].x, xy[i].y - xy[j].y));
    });
  return best < cutoff ? best : std::numeric_limits<double>::infinity();
}

}  // namespace Tamrin::layout2d
