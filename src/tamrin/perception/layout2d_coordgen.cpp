// The coordgen library behind our layout interface. It owns the atoms and
// bonds of the molecule handed to `initialize`, works in units of 50 per bond
// and keeps process-wide state (its ring templates), hence one call at a time.
#include <coordgen/sketcherMinimizer.h>

#include <cmath>
#include <memory>
#include <mutex>

#include "tamrin/perception/layout2d.h"
#include "tamrin/perception/layout2d_component.h"

namespace Tamrin::layout2d {
namespace {

constexpr double kCoordgenBondLength = 50.0;

// Its refinement compares every atom with every other and slows down
// steeply past a few hundred atoms; our own layout takes over there.
constexpr unsigned kMaxAtoms = 300;
// Atoms with more bonds than this come out cramped or crossed.
constexpr unsigned kMaxDegree = 8;
// Its macrocycle builder enumerates shapes on a hexagon lattice, which grows
// exponentially with the ring: 0.07 s for 26 atoms, 3 s for 32, minutes for 40.
constexpr size_t kMaxRingSize = 26;

std::mutex coordgen_mutex;

sketcherMinimizerBondStereoInfo StereoInfo(const StereoEdge& st, const std::vector<sketcherMinimizerAtom*>& atoms) {
  sketcherMinimizerBondStereoInfo info;
  info.atom1 = atoms[st.ref_a];
  info.atom2 = atoms[st.ref_b];
  info.stereo = st.cis ? sketcherMinimizerBondStereoInfo::cis : sketcherMinimizerBondStereoInfo::trans;
  return info;
}

bool Usable(const std::vector<Point>& xy) {
  for (const Point& p : xy)
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::abs(p.x) > 1e6 || std::abs(p.y) > 1e6) return false;
  return true;
}

std::vector<Point> RunCoordgen(const Component& comp) {
  sketcherMinimizer minimizer;
  auto owned = std::make_unique<sketcherMinimizerMolecule>();
  sketcherMinimizerMolecule* mol = owned.get();
  std::vector<sketcherMinimizerAtom*> atoms;
  atoms.reserve(comp.Size());
  for (unsigned i = 0; i < comp.Size(); ++i) {
    atoms.push_back(mol->addNewAtom());
    // Wildcards as carbon: the library's valence rules know no element 0.
    atoms.back()->setAtomicNumber(comp.atomic_nums[i] ? static_cast<int>(comp.atomic_nums[i]) : 6);
  }
  std::vector<sketcherMinimizerBond*> bonds;
  for (const Edge& e : comp.edges) {
    bonds.push_back(mol->addNewBond(atoms[e.a], atoms[e.b]));
    bonds.back()->setBondOrder(e.order >= 1 && e.order <= 3 ? static_cast<int>(e.order) : 1);
  }
  for (const StereoEdge& st : comp.stereo) bonds[st.edge]->setStereoChemistry(StereoInfo(st, atoms));
  minimizer.initialize(owned.release());  // the minimizer owns and frees it
  // `initialize` recomputes which double bonds are stereo; the stored
  // configurations are applied after it, or it would forget them.
  for (const StereoEdge& st : comp.stereo) bonds[st.edge]->setAbsoluteStereoFromStereoInfo();
  minimizer.runGenerateCoordinates();
  std::vector<Point> xy;
  xy.reserve(atoms.size());
  const double scale = kQvLayout2DBondLength / kCoordgenBondLength;
  for (sketcherMinimizerAtom* atom : atoms) {
    const sketcherMinimizerPointF p = atom->getCoordinates();
    xy.push_back({p.x() * scale, p.y() * scale});
  }
  return xy;
}

// coordgen draws bonds to terminal hydrogens shorter than the others; ours
// are all of one length, so those hydrogens move out along their bond.
void LengthenHydrogenBonds(Component& comp) {
  for (unsigned h = 0; h < comp.Size(); ++h) {
    if (comp.atomic_nums[h] != 1 || comp.adj[h].size() != 1) continue;
    const Point c = comp.xy[comp.adj[h][0]];
    const double dx = comp.xy[h].x - c.x, dy = comp.xy[h].y - c.y, len = std::hypot(dx, dy);
    if (len > 1e-6) comp.xy[h] = {c.x + dx * kQvLayout2DBondLength / len, c.y + dy * kQvLayout2DBondLength / len};
  }
}

}  // namespace

bool CoordgenSuits(const Component& comp) {
  if (comp.Size() > kMaxAtoms) return false;
  for (const auto& nbrs : comp.adj)
    if (nbrs.size() > kMaxDegree) return false;
  for (const auto& ring : comp.rings)
    if (ring.size() > kMaxRingSize) return false;
  return true;
}

bool CoordgenLayout(Component& comp) {
  if (!CoordgenSuits(comp)) return false;
  std::vector<Point> xy;
  try {
    std::lock_guard lock(coordgen_mutex);
    xy = RunCoordgen(comp);
  } catch (...) {
    return false;  // the library's own failures: our layout takes over
  }
  if (xy.size() != comp.Size() || !Usable(xy)) return false;
  comp.xy = std::move(xy);
  LengthenHydrogenBonds(comp);
  return true;
}

}  // namespace Tamrin::layout2d
