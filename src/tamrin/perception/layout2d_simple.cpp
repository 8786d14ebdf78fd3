// Our own 2D layout, for the components coordgen does not take: ring systems
// built ring by ring (regular polygons on a shared bond, arcs for bridges,
// a polygon on the shared atom for spiro rings), chains grown outward from
// them in zigzags into the widest free angle, then a relaxation of whatever
// still overlaps. Plain, linear in the size of the component, and never
// stuck: proteins and polymers of many thousands of atoms come out in time.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <utility>

#include "tamrin/perception/layout2d.h"
#include "tamrin/perception/layout2d_component.h"

namespace Tamrin::layout2d {
namespace {

constexpr double kBond = kQvLayout2DBondLength;
constexpr double kPi = std::numbers::pi;
constexpr unsigned kNone = ~0u;

// Relaxation: pairs of unbonded atoms closer than this (in bond lengths) are
// pushed apart; it stops when none is closer than kRelaxDone, or after
// kRelaxRounds rounds.
constexpr double kRelaxReach = 0.9;
constexpr double kRelaxDone = 0.6;
constexpr unsigned kRelaxRounds = 400;
// Untangling: mirror attempts per round and rounds; components beyond
// kUntangleAtoms atoms are left to the relaxation alone, as each attempt
// costs a pass over the component.
constexpr unsigned kUntangleTries = 300;
constexpr unsigned kUntangleRounds = 6;
constexpr unsigned kUntangleAtoms = 3000;

Point Add(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point Sub(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
Point Scale(Point a, double s) { return {a.x * s, a.y * s}; }
double Norm(Point a) { return std::hypot(a.x, a.y); }
Point Polar(double r, double angle) { return {r * std::cos(angle), r * std::sin(angle)}; }
double Angle(Point a) { return std::atan2(a.y, a.x); }

class SimpleLayouter {
 public:
  explicit SimpleLayouter(Component& comp)
      : comp_(comp), rings_(comp.rings), xy_(comp.xy), placed_(comp.Size(), 0), turn_(comp.Size(), 1),
        system_of_atom_(comp.Size(), kNone), grid_(kBond) {
    xy_.assign(comp.Size(), Point{});
    GroupRingSystems();
  }

  void Run() {
    std::vector<unsigned> queue;
    if (!systems_.empty()) {
      const auto largest = std::max_element(systems_.begin(), systems_.end(), [](const auto& a, const auto& b) {
        return a.atoms.size() < b.atoms.size();
      });
      PlaceSystem(static_cast<unsigned>(largest - systems_.begin()), kNone, {}, queue);
    } else {
      Place(0, {});
      queue.push_back(0);
    }
    for (size_t k = 0; k < queue.size(); ++k) PlaceNeighbours(queue[k], queue);
    // Before untangling, which keeps every cis/trans configuration it finds
    // (it mirrors across single bonds only), so that clashes the repair
    // makes are cleared too.
    FixStereo(comp_);
    Untangle();
    Relax();
  }

 private:
  struct System {
    std::vector<unsigned> rings;
    std::vector<unsigned> atoms;
    bool placed = false;
  };

  void GroupRingSystems() {
    std::vector<unsigned> parent(rings_.size());
    std::iota(parent.begin(), parent.end(), 0u);
    auto find = [&parent](unsigned r) {
      while (parent[r] != r) r = parent[r] = parent[parent[r]];
      return r;
    };
    std::vector<unsigned> first_ring(comp_.Size(), kNone);
    for (unsigned r = 0; r < rings_.size(); ++r)
      for (unsigned a : rings_[r]) {
        if (first_ring[a] == kNone)
          first_ring[a] = r;
        else
          parent[find(r)] = find(first_ring[a]);
      }
    std::vector<unsigned> system_of_root(rings_.size(), kNone);
    for (unsigned r = 0; r < rings_.size(); ++r) {
      unsigned& sys = system_of_root[find(r)];
      if (sys == kNone) {
        sys = static_cast<unsigned>(systems_.size());
        systems_.emplace_back();
      }
      systems_[sys].rings.push_back(r);
      for (unsigned a : rings_[r])
        if (system_of_atom_[a] == kNone) {
          system_of_atom_[a] = sys;
          systems_[sys].atoms.push_back(a);
        }
    }
  }

  void Place(unsigned atom, Point p) {
    xy_[atom] = p;
    placed_[atom] = 1;
    grid_.Add(atom, p);
  }

  // How crowded a spot is: the summed closeness of placed atoms within a bond.
  double Crowding(Point p, unsigned ignore) const {
    double crowd = 0;
    grid_.ForNear(p, [&](unsigned other) {
      const double d = Norm(Sub(xy_[other], p));
      if (other != ignore && d < kBond) crowd += kBond - d;
    });
    return crowd;
  }

  unsigned EdgeOrder(unsigned a, unsigned b) const {
    for (size_t k = 0; k < comp_.adj[a].size(); ++k)
      if (comp_.adj[a][k] == b) return comp_.edges[comp_.adj_edge[a][k]].order;
    return 1;
  }

  // Directions for `count` new bonds of `atom`, in the widest free angle
  // between its placed neighbours; a chain continues in a zigzag (straight
  // through triple bonds and cumulated double bonds).
  std::vector<double> FreeDirections(unsigned atom, unsigned count) const {
    std::vector<double> taken;
    for (unsigned nbr : comp_.adj[atom])
      if (placed_[nbr]) taken.push_back(Angle(Sub(xy_[nbr], xy_[atom])));
    std::vector<double> dirs;
    if (taken.empty()) {
      if (count == 2) return {kPi / 6, 5 * kPi / 6};  // the first bend of a zigzag
      for (unsigned i = 0; i < count; ++i) dirs.push_back(2 * kPi * i / count);
      return dirs;
    }
    if (taken.size() == 1 && count == 1) {
      const unsigned prev = PlacedNbr(atom), next = UnplacedNbr(atom);
      const unsigned in = EdgeOrder(prev, atom), out = EdgeOrder(atom, next);
      const bool linear = in == 3 || out == 3 || (in == 2 && out == 2);
      dirs.push_back(taken[0] + kPi + (linear ? 0 : turn_[atom] * kPi / 3));
      return dirs;
    }
    std::sort(taken.begin(), taken.end());
    double gap_start = taken.back(), gap = taken.front() + 2 * kPi - taken.back();
    for (size_t i = 1; i < taken.size(); ++i)
      if (taken[i] - taken[i - 1] > gap) {
        gap = taken[i] - taken[i - 1];
        gap_start = taken[i - 1];
      }
    for (unsigned i = 0; i < count; ++i) dirs.push_back(gap_start + gap * (i + 1) / (count + 1));
    return dirs;
  }

  unsigned PlacedNbr(unsigned atom) const {
    for (unsigned nbr : comp_.adj[atom])
      if (placed_[nbr]) return nbr;
    return kNone;
  }
  unsigned UnplacedNbr(unsigned atom) const {
    for (unsigned nbr : comp_.adj[atom])
      if (!placed_[nbr]) return nbr;
    return kNone;
  }

  void PlaceNeighbours(unsigned atom, std::vector<unsigned>& queue) {
    unsigned count = 0;
    for (unsigned nbr : comp_.adj[atom]) count += !placed_[nbr];
    if (count == 0) return;
    const std::vector<double> dirs = FreeDirections(atom, count);
    size_t k = 0;
    for (unsigned nbr : comp_.adj[atom]) {
      if (placed_[nbr]) continue;  // also those placed with a ring system just now
      double dir = dirs[k++ % dirs.size()];
      if (count == 1) dir = LeastCrowded(atom, dir);
      const Point p = Add(xy_[atom], Polar(kBond, dir));
      Place(nbr, p);
      turn_[nbr] = -turn_[atom];
      queue.push_back(nbr);
      const unsigned sys = system_of_atom_[nbr];
      if (sys != kNone && !systems_[sys].placed) PlaceSystem(sys, nbr, Scale(Sub(p, xy_[atom]), 1 / kBond), queue);
    }
  }

  // A lone new bond tries the zigzag direction first, then its mirror image
  // and turns of 30 degrees, keeping the least crowded.
  double LeastCrowded(unsigned atom, double dir) const {
    const unsigned prev = PlacedNbr(atom);
    if (prev == kNone) return dir;
    const double back = Angle(Sub(xy_[prev], xy_[atom]));
    double best = dir, best_crowd = Crowding(Add(xy_[atom], Polar(kBond, dir)), atom);
    for (int step = 1; step < 12 && best_crowd > 0; ++step) {
      const double cand = back + step * kPi / 6;
      if (std::abs(std::remainder(cand - back, 2 * kPi)) < kPi / 2) continue;  // folds back onto the bond
      const double crowd = Crowding(Add(xy_[atom], Polar(kBond, cand)), atom);
      if (crowd < best_crowd - 1e-9) {
        best = cand;
        best_crowd = crowd;
      }
    }
    return best;
  }

  // The ring of `sys` to start from: the smallest through `anchor`, or the
  // one sharing atoms with most other rings.
  unsigned FirstRing(const System& sys, unsigned anchor) const {
    unsigned best = sys.rings.front();
    long best_score = -1;
    for (unsigned r : sys.rings) {
      long score = 0;
      if (anchor != kNone) {
        if (std::find(rings_[r].begin(), rings_[r].end(), anchor) == rings_[r].end()) continue;
        score = 1000000 - static_cast<long>(rings_[r].size());
      } else {
        for (unsigned other : sys.rings)
          if (other != r && SharesAtom(r, other)) ++score;
      }
      if (score > best_score) {
        best_score = score;
        best = r;
      }
    }
    return best;
  }

  bool SharesAtom(unsigned r1, unsigned r2) const {
    for (unsigned a : rings_[r1])
      if (std::find(rings_[r2].begin(), rings_[r2].end(), a) != rings_[r2].end()) return true;
    return false;
  }

  // A regular polygon for ring `r` through `anchor` at its current place,
  // its centre in direction `dir` from there.
  void PlacePolygon(unsigned r, unsigned anchor, Point dir, std::vector<unsigned>& queue) {
    const std::vector<unsigned>& ring = rings_[r];
    const size_t n = ring.size();
    const double radius = kBond / (2 * std::sin(kPi / static_cast<double>(n)));
    const size_t at = static_cast<size_t>(std::find(ring.begin(), ring.end(), anchor) - ring.begin());
    const Point centre = Add(xy_[anchor], Scale(dir, radius));
    const double start = Angle(Sub(xy_[anchor], centre));
    for (size_t i = 1; i < n; ++i) {
      const unsigned atom = ring[(at + i) % n];
      if (placed_[atom]) continue;
      Place(atom, Add(centre, Polar(radius, start + 2 * kPi * static_cast<double>(i) / static_cast<double>(n))));
      queue.push_back(atom);
    }
  }

  void PlaceSystem(unsigned s, unsigned anchor, Point dir, std::vector<unsigned>& queue) {
    System& sys = systems_[s];
    sys.placed = true;
    const unsigned first = FirstRing(sys, anchor);
    if (anchor == kNone) {
      anchor = rings_[first][0];
      Place(anchor, {});
      queue.push_back(anchor);
      dir = {0, 1};
    }
    PlacePolygon(first, anchor, dir, queue);
    std::vector<char> done(rings_.size(), 0);
    done[first] = 1;
    for (size_t round = 1; round < sys.rings.size(); ++round) {
      const unsigned r = NextRing(sys, done);
      done[r] = 1;
      PlaceRing(r, sys, queue);
    }
  }

  // The ring with most placed atoms (fewest atoms on ties) not yet drawn.
  unsigned NextRing(const System& sys, const std::vector<char>& done) const {
    unsigned best = kNone;
    long best_score = -1;
    for (unsigned r : sys.rings) {
      if (done[r]) continue;
      long n_placed = 0;
      for (unsigned a : rings_[r]) n_placed += placed_[a];
      const long score = n_placed * 1000 - static_cast<long>(rings_[r].size());
      if (n_placed > 0 && score > best_score) {
        best_score = score;
        best = r;
      }
    }
    if (best == kNone)  // not reached for a connected system; keeps going if it were not
      for (unsigned r : sys.rings)
        if (!done[r]) return r;
    return best;
  }

  void PlaceRing(unsigned r, const System& sys, std::vector<unsigned>& queue) {
    const std::vector<unsigned>& ring = rings_[r];
    const size_t n = ring.size();
    std::vector<size_t> anchors;
    for (size_t i = 0; i < n; ++i)
      if (placed_[ring[i]]) anchors.push_back(i);
    if (anchors.size() == n) return;
    if (anchors.empty()) {  // not reached for a connected system
      Place(ring[0], Add(xy_[sys.atoms[0]], {2 * kBond, 0}));
      anchors.push_back(0);
    }
    if (anchors.size() == 1) {
      const unsigned spiro = ring[anchors[0]];
      PlacePolygon(r, spiro, AwayFromNeighbours(spiro), queue);
      return;
    }
    const Point centroid = PlacedCentroid(sys);
    for (size_t k = 0; k < anchors.size(); ++k) {
      const size_t from = anchors[k], to = anchors[(k + 1) % anchors.size()];
      const size_t run = (to + n - from) % n - 1;  // unplaced atoms between them
      if (run > 0) PlaceArc(ring, from, run, centroid, queue);
    }
  }

  Point AwayFromNeighbours(unsigned atom) const {
    Point sum{};
    for (unsigned nbr : comp_.adj[atom])
      if (placed_[nbr]) sum = Add(sum, Sub(xy_[atom], xy_[nbr]));
    const double len = Norm(sum);
    return len > 1e-9 ? Scale(sum, 1 / len) : Point{1, 0};
  }

  Point PlacedCentroid(const System& sys) const {
    Point sum{};
    unsigned n = 0;
    for (unsigned a : sys.atoms)
      if (placed_[a]) {
        sum = Add(sum, xy_[a]);
        ++n;
      }
    return Scale(sum, 1.0 / n);
  }

  // Atoms ring[from+1 .. from+run] on a circular arc of bond-long chords from
  // ring[from] to ring[from+run+1], bulging away from `centroid`: for a ring
  // fused on one bond this is exactly the regular polygon.
  void PlaceArc(const std::vector<unsigned>& ring, size_t from, size_t run, Point centroid,
                std::vector<unsigned>& queue) {
    const size_t n = ring.size();
    const Point q = xy_[ring[from]], p = xy_[ring[(from + run + 1) % n]];
    const double chord = Norm(Sub(p, q));
    const double segments = static_cast<double>(run + 1);
    const Point mid = Scale(Add(p, q), 0.5);
    Point normal = chord > 1e-9 ? Point{-(p.y - q.y) / chord, (p.x - q.x) / chord} : Point{0, 1};
    if ((centroid.x - mid.x) * normal.x + (centroid.y - mid.y) * normal.y > 0) normal = Scale(normal, -1);
    // Arc angle beta with chord / arc length = sin(beta/2) / (beta/2), solved
    // by bisection (the ratio falls steadily over 0 < beta < 2 pi).
    const double ratio = chord / (segments * kBond);
    if (ratio >= 0.999) {
      for (size_t j = 1; j <= run; ++j) PlaceRun(ring[(from + j) % n], Add(q, Scale(Sub(p, q), j / segments)), queue);
      return;
    }
    double lo = 1e-9, hi = 2 * kPi - 1e-9;
    for (int it = 0; it < 60; ++it) {
      const double beta = (lo + hi) / 2;
      (std::sin(beta / 2) / (beta / 2) > ratio ? lo : hi) = beta;
    }
    const double beta = (lo + hi) / 2, radius = segments * kBond / beta;
    const Point centre = Sub(mid, Scale(normal, radius * std::cos(beta / 2)));
    const double start = Angle(Sub(q, centre));
    // Walk the way that passes the bulge side halfway.
    const Point halfway = Add(centre, Polar(radius, start + beta / 2));
    const double sense = (halfway.x - mid.x) * normal.x + (halfway.y - mid.y) * normal.y >= 0 ? 1 : -1;
    for (size_t j = 1; j <= run; ++j)
      PlaceRun(ring[(from + j) % n], Add(centre, Polar(radius, start + sense * beta * j / segments)), queue);
  }

  void PlaceRun(unsigned atom, Point p, std::vector<unsigned>& queue) {
    if (placed_[atom]) return;
    Place(atom, p);
    queue.push_back(atom);
  }

  // Pairs of unbonded atoms closer than kRelaxDone bonds.
  std::vector<std::pair<unsigned, unsigned>> Clashes() const {
    PointGrid grid(kBond);
    for (unsigned i = 0; i < comp_.Size(); ++i) grid.Add(i, xy_[i]);
    std::vector<std::pair<unsigned, unsigned>> clashes;
    for (unsigned i = 0; i < comp_.Size(); ++i)
      grid.ForNear(xy_[i], [&](unsigned j) {
        if (j > i && Norm(Sub(xy_[j], xy_[i])) < kRelaxDone * kBond && !IsBonded(i, j)) clashes.emplace_back(i, j);
      });
    return clashes;
  }

  // The atoms of a shortest path from `from` to `to`, both included.
  std::vector<unsigned> Path(unsigned from, unsigned to) const {
    std::vector<unsigned> prev(comp_.Size(), kNone), todo{from};
    prev[from] = from;
    for (size_t k = 0; k < todo.size() && prev[to] == kNone; ++k)
      for (unsigned nbr : comp_.adj[todo[k]])
        if (prev[nbr] == kNone) {
          prev[nbr] = todo[k];
          todo.push_back(nbr);
        }
    std::vector<unsigned> path;
    if (prev[to] == kNone) return path;
    for (unsigned at = to; at != from; at = prev[at]) path.push_back(at);
    path.push_back(from);
    return path;
  }

  // Growth leaves clashes a chain could avoid by bending the other way, as
  // when substituents on every other atom of a zigzag meet. For each clash,
  // the chain bonds on the path between the two atoms are tried in turn: the
  // smaller side is mirrored across the bond and kept when that lowers the
  // number of clashes. Mirroring across a bond keeps the cis/trans
  // configuration of every double bond but that one, so stereo double bonds
  // are not tried.
  void Untangle() {
    if (comp_.Size() > kUntangleAtoms) return;
    for (unsigned round = 0; round < kUntangleRounds; ++round) {
      const auto clashes = Clashes();
      size_t count = clashes.size(), tries = 0;
      for (const auto& [i, j] : clashes) {
        if (count == 0 || tries >= kUntangleTries) break;
        const std::vector<unsigned> path = Path(i, j);
        for (size_t k = 0; k + 1 < path.size() && tries < kUntangleTries; ++k) {
          const unsigned u = path[k], v = path[k + 1];
          if (IsStereoEdge(u, v)) continue;
          std::vector<unsigned> side_u = SideOf(comp_, u, v);
          if (std::find(side_u.begin(), side_u.end(), v) != side_u.end()) continue;  // a ring bond
          std::vector<unsigned> side_v = SideOf(comp_, v, u);
          const std::vector<unsigned>& side = side_u.size() <= side_v.size() ? side_u : side_v;
          ++tries;
          const Point a = xy_[u], b = xy_[v];
          MirrorAcross(xy_, side, a, b);
          const size_t now = Clashes().size();
          if (now < count) {
            count = now;
            break;
          }
          MirrorAcross(xy_, side, a, b);
        }
      }
      if (count == clashes.size()) return;
    }
  }

  // Bonds pulled towards their length and unbonded atoms closer than
  // kRelaxReach bonds pushed apart, until nothing is closer than kRelaxDone.
  void Relax() {
    const unsigned n = comp_.Size();
    const double reach = kRelaxReach * kBond;
    for (unsigned round = 0; round < kRelaxRounds; ++round) {
      PointGrid grid(reach);
      for (unsigned i = 0; i < n; ++i) grid.Add(i, xy_[i]);
      std::vector<Point> move(n);
      double closest = std::numeric_limits<double>::infinity();
      for (unsigned i = 0; i < n; ++i)
        grid.ForNear(xy_[i], [&](unsigned j) {
          if (j <= i || IsBonded(i, j)) return;
          const Point d = Sub(xy_[j], xy_[i]);
          const double len = Norm(d);
          closest = std::min(closest, len);
          if (len >= reach) return;
          // Coincident atoms part along a direction of their own.
          const Point dir = len > 1e-6 ? Scale(d, 1 / len) : Polar(1, i * 2.39996 + j);
          const Point push = Scale(dir, 0.25 * (reach - len));
          move[i] = Sub(move[i], push);
          move[j] = Add(move[j], push);
        });
      if (closest >= kRelaxDone * kBond) return;
      for (const Edge& e : comp_.edges) {
        const Point d = Sub(xy_[e.b], xy_[e.a]);
        const double len = std::max(Norm(d), 1e-6);
        const Point pull = Scale(d, 0.25 * (len - kBond) / len);
        move[e.a] = Add(move[e.a], pull);
        move[e.b] = Sub(move[e.b], pull);
      }
      for (unsigned i = 0; i < n; ++i) xy_[i] = Add(xy_[i], move[i]);
    }
  }

  bool IsStereoEdge(unsigned a, unsigned b) const {
    for (const StereoEdge& st : comp_.stereo) {
      const Edge& e = comp_.edges[st.edge];
      if ((e.a == a && e.b == b) || (e.a == b && e.b == a)) return true;
    }
    return false;
  }

  bool IsBonded(unsigned a, unsigned b) const {
    const auto& nbrs = comp_.adj[a];
    return std::find(nbrs.begin(), nbrs.end(), b) != nbrs.end();
  }

  Component& comp_;
  const std::vector<std::vector<unsigned>>& rings_;
  std::vector<Point>& xy_;
  std::vector<char> placed_;
  std::vector<int> turn_;
  std::vector<unsigned> system_of_atom_;
  std::vector<System> systems_;
  PointGrid grid_;
};

}  // namespace

void SimpleLayout(Component& comp) {
  if (comp.Size() == 0) return;
  SimpleLayouter(comp).Run();
}

}  // namespace Tamrin::layout2d
