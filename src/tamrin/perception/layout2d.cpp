// Component split, layout choice, cis/trans repair and the row packing of
// components; the layouts themselves are in layout2d_coordgen.cpp and
// layout2d_simple.cpp.
#include "tamrin/perception/layout2d.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/layout2d_component.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"

namespace Tamrin {
namespace {

using layout2d::Component;
using layout2d::Point;

// Clear space between neighbouring components, in bond lengths.
constexpr double kComponentGap = 1.5;
// Up to this many components stand in one row; more are wrapped into rows of
// about square overall shape.
constexpr unsigned kOneRowComponents = 10;

// Components as lists of graph-view positions, each in ascending order, the
// components ordered by their first atom.
std::vector<std::vector<unsigned>> Components(const QvGraphView& view) {
  std::vector<unsigned> comp_of(view.NumAtoms(), kQvNoPos);
  std::vector<std::vector<unsigned>> comps;
  for (unsigned seed = 0; seed < view.NumAtoms(); ++seed) {
    if (comp_of[seed] != kQvNoPos) continue;
    const auto id = static_cast<unsigned>(comps.size());
    std::vector<unsigned> members{seed};
    comp_of[seed] = id;
    for (size_t k = 0; k < members.size(); ++k)
      for (const QvGraphView::Arc& arc : view.Arcs(members[k]))
        if (comp_of[arc.nbr] == kQvNoPos) {
          comp_of[arc.nbr] = id;
          members.push_back(arc.nbr);
        }
    std::sort(members.begin(), members.end());
    comps.push_back(std::move(members));
  }
  return comps;
}

// The first neighbour of `atom` other than `skip`, local number, or kQvNoPos.
unsigned OtherNbr(const Component& comp, unsigned atom, unsigned skip) {
  for (unsigned nbr : comp.adj[atom])
    if (nbr != skip) return nbr;
  return kQvNoPos;
}

void AddStereo(Component& comp, const QvGraphView& view, const std::vector<unsigned>& bond_pos) {
  for (unsigned e = 0; e < comp.edges.size(); ++e) {
    const QvBondBase& bond = *view.Bond(bond_pos[e]);
    if (comp.edges[e].order != 2 || !QvHasBondStereo(bond)) continue;
    const unsigned a = comp.edges[e].a, b = comp.edges[e].b;
    const unsigned ref_a = OtherNbr(comp, a, b), ref_b = OtherNbr(comp, b, a);
    // An end whose only other neighbour is implicit has nothing to draw.
    if (ref_a == kQvNoPos || ref_b == kQvNoPos) continue;
    const QvBondConfig config =
        QvGetBondStereo(bond, view.Atom(comp.atoms[ref_a]), view.Atom(comp.atoms[ref_b]));
    if (config == QvBondConfig::None) continue;
    comp.stereo.push_back({e, ref_a, ref_b, config == QvBondConfig::Cis});
  }
}

Component MakeComponent(const QvGraphView& view, std::vector<unsigned> members) {
  Component comp;
  std::vector<unsigned> local(view.NumAtoms(), kQvNoPos);
  for (unsigned i = 0; i < members.size(); ++i) local[members[i]] = i;
  comp.atoms = std::move(members);
  std::vector<unsigned> bond_pos;
  for (unsigned pos : comp.atoms) {
    comp.atomic_nums.push_back(view.Atom(pos)->GetAtomicNum());
    for (const QvGraphView::Arc& arc : view.Arcs(pos))
      if (view.BondBgn(arc.bond) == pos) {
        comp.edges.push_back({local[pos], local[arc.nbr], view.Bond(arc.bond)->GetOrder()});
        bond_pos.push_back(arc.bond);
      }
  }
  comp.BuildAdjacency();
  AddStereo(comp, view, bond_pos);
  return comp;
}

struct Box {
  double x0, y0, x1, y1;
  double Width() const { return x1 - x0; }
  double Height() const { return y1 - y0; }
};

Box BoundingBox(const std::vector<Point>& xy) {
  Box box{xy[0].x, xy[0].y, xy[0].x, xy[0].y};
  for (const Point& p : xy) {
    box.x0 = std::min(box.x0, p.x);
    box.x1 = std::max(box.x1, p.x);
    box.y0 = std::min(box.y0, p.y);
    box.y1 = std::max(box.y1, p.y);
  }
  return box;
}

// Left to right in rows, top to bottom, each component centred on its row's
// middle line; then the whole picture centred on the origin.
void Pack(std::vector<Component>& comps) {
  const double gap = kComponentGap * kQvLayout2DBondLength;
  std::vector<Box> boxes;
  double area = 0, widest = 0;
  for (const Component& c : comps) {
    boxes.push_back(BoundingBox(c.xy));
    area += (boxes.back().Width() + gap) * (boxes.back().Height() + gap);
    widest = std::max(widest, boxes.back().Width());
  }
  const double row_width =
      comps.size() <= kOneRowComponents ? std::numeric_limits<double>::infinity() : std::max(widest, std::sqrt(area));
  double x = 0, row_top = 0, row_height = 0;
  std::vector<Point> shift(comps.size());
  size_t row_start = 0;
  auto close_row = [&](size_t end) {
    for (size_t k = row_start; k < end; ++k) shift[k].y = row_top - row_height / 2 - (boxes[k].y0 + boxes[k].y1) / 2;
    row_top -= row_height + gap;
    row_height = 0;
    x = 0;
    row_start = end;
  };
  for (size_t k = 0; k < comps.size(); ++k) {
    if (k > row_start && x + boxes[k].Width() > row_width) close_row(k);
    shift[k].x = x - boxes[k].x0;
    x += boxes[k].Width() + gap;
    row_height = std::max(row_height, boxes[k].Height());
  }
  close_row(comps.size());
  Box all{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (size_t k = 0; k < comps.size(); ++k) {
    for (Point& p : comps[k].xy) {
      p.x += shift[k].x;
      p.y += shift[k].y;
    }
    const Box b = BoundingBox(comps[k].xy);
    all = {std::min(all.x0, b.x0), std::min(all.y0, b.y0), std::max(all.x1, b.x1), std::max(all.y1, b.y1)};
  }
  const Point centre{(all.x0 + all.x1) / 2, (all.y0 + all.y1) / 2};
  for (Component& c : comps)
    for (Point& p : c.xy) {
      p.x -= centre.x;
      p.y -= centre.y;
    }
}

// Hands each ring of the molecule to its component, in local numbers.
void AddRings(std::vector<Component>& comps, const QvMolBase& mol, const QvGraphView& view) {
  std::vector<unsigned> comp_of(view.NumAtoms()), local(view.NumAtoms());
  for (unsigned c = 0; c < comps.size(); ++c)
    for (unsigned i = 0; i < comps[c].Size(); ++i) {
      comp_of[comps[c].atoms[i]] = c;
      local[comps[c].atoms[i]] = i;
    }
  for (const QvRing& ring : QvFindSSSR(mol)) {
    std::vector<unsigned> atoms;
    for (const QvAtomBase* atom : ring.atoms) {
      const unsigned pos = view.Pos(atom);
      if (pos == kQvNoPos) break;  // rings through half-made bonds are none of ours
      atoms.push_back(local[pos]);
    }
    if (atoms.size() == ring.size() && !atoms.empty())
      comps[comp_of[view.Pos(ring.atoms[0])]].rings.push_back(std::move(atoms));
  }
}

// Closer than this (in bond lengths) two atoms read as one.
constexpr double kClash = 0.3;

void LayOut(Component& comp, bool quick) {
  if (comp.Size() == 1) {
    comp.xy.assign(1, Point{});
    return;
  }
  if (quick || !layout2d::CoordgenLayout(comp)) {
    layout2d::SimpleLayout(comp);
  } else if (const double closest = layout2d::MinPairDistance(comp.xy, kClash * kQvLayout2DBondLength);
             std::isfinite(closest)) {
    // coordgen left atoms on top of each other: our layout may do better.
    std::vector<Point> theirs = std::move(comp.xy);
    layout2d::SimpleLayout(comp);
    if (layout2d::MinPairDistance(comp.xy, kClash * kQvLayout2DBondLength) < closest) comp.xy = std::move(theirs);
  }
  layout2d::FixStereo(comp);
}

}  // namespace

bool QvGenerate2DCoordinates(QvMolBase& mol, unsigned options) {
  const QvGraphView view(mol);
  std::vector<Component> comps;
  for (std::vector<unsigned>& members : Components(view)) comps.push_back(MakeComponent(view, std::move(members)));
  AddRings(comps, mol, view);
  for (Component& comp : comps) LayOut(comp, (options & kQvLayout2DQuick) != 0);
  if (!comps.empty()) Pack(comps);
  // Every write fails alike (a multi-conformer molecule without an active
  // conformer), so a failure shows at the first, before anything changed.
  for (const Component& comp : comps)
    for (unsigned i = 0; i < comp.Size(); ++i) {
      const double xyz[3] = {comp.xy[i].x, comp.xy[i].y, 0.0};
      if (!mol.SetCoords(view.Atom(comp.atoms[i]), xyz)) return false;
    }
  return mol.SetDimension(2);
}

}  // namespace Tamrin
