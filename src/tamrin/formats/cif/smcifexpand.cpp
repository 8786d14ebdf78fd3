#include "tamrin/formats/cif/smcifexpand.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>

#include "tamrin/chem/elements.h"
#include "tamrin/formats/cif/smallmolecule.h"
#include "tamrin/perception/connectivity.h"

namespace Tamrin::smcif {

namespace {

using Vec = std::array<double, 3>;
using Shift = std::array<int, 3>;

struct Site {
  unsigned asym;
  Vec frac;    // wrapped into [0, 1)
  Shift cell;  // the cell the image fell in before wrapping
  gemmi::Position cart;
};

Vec Wrap(const Vec& f, Shift& cell) {
  Vec w{};
  for (int i = 0; i < 3; ++i) {
    const double fl = std::floor(f[i]);
    cell[i] = static_cast<int>(fl);
    w[i] = f[i] - fl;
    // -1e-17 wraps to 1.0 exactly.
    if (w[i] >= 1.0) w[i] = 0.0;
  }
  return w;
}

double DistanceModuloCell(const gemmi::UnitCell& cell, const Vec& a, const Vec& b) {
  gemmi::Fractional d(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
  d.x -= std::round(d.x);
  d.y -= std::round(d.y);
  d.z -= std::round(d.z);
  return cell.orthogonalize_difference(d).length();
}

// Sites ordered by operator, then atom; an image within kQvCIFSameSite of an
// earlier image of the same atom is that image. `first[a]` is atom a's
// identity image.
std::vector<Site> UnitCellSites(const gemmi::UnitCell& cell, const std::vector<gemmi::Op>& ops,
                                const std::vector<AsymAtom>& atoms, std::vector<unsigned>& first) {
  std::vector<Site> sites;
  std::vector<std::vector<unsigned>> images(atoms.size());
  for (const gemmi::Op& op : ops) {
    for (unsigned a = 0; a < atoms.size(); ++a) {
      const Vec f = op.apply_to_xyz(atoms[a].frac);
      Shift shift{};
      const Vec w = Wrap(f, shift);
      const bool seen = std::any_of(images[a].begin(), images[a].end(), [&](unsigned s) {
        return DistanceModuloCell(cell, sites[s].frac, w) < kQvCIFSameSite;
      });
      if (seen) continue;
      images[a].push_back(static_cast<unsigned>(sites.size()));
      sites.push_back({a, w, shift, cell.orthogonalize(gemmi::Fractional(w[0], w[1], w[2]))});
    }
  }
  first.resize(atoms.size());
  for (unsigned a = 0; a < atoms.size(); ++a) first[a] = images[a].empty() ? 0 : images[a][0];
  return sites;
}

// Sites in bins of the cell at least `cutoff` wide across, so the sites
// within `cutoff` of a point lie in the bins around the point's.
class PeriodicBins {
 public:
  PeriodicBins(const gemmi::UnitCell& cell, const std::vector<Site>& sites, double cutoff) {
    const double reciprocal[3] = {cell.ar, cell.br, cell.cr};
    for (int i = 0; i < 3; ++i) {
      const double width = 1.0 / reciprocal[i];
      n_[i] = std::clamp(static_cast<int>(width / cutoff), 1, 64);
      reach_[i] = static_cast<int>(std::ceil(cutoff / (width / n_[i])));
    }
    bins_.resize(static_cast<size_t>(n_[0]) * n_[1] * n_[2]);
    for (unsigned s = 0; s < sites.size(); ++s) bins_[Index(Bin(sites[s].frac))].push_back(s);
  }

  // f(site, translation) for every site image in the bins around `frac`.
  template <class F>
  void ForNear(const Vec& frac, F&& f) const {
    Shift home{};
    const Shift b = Bin(Wrap(frac, home));
    Shift d{};
    for (d[0] = -reach_[0]; d[0] <= reach_[0]; ++d[0])
      for (d[1] = -reach_[1]; d[1] <= reach_[1]; ++d[1])
        for (d[2] = -reach_[2]; d[2] <= reach_[2]; ++d[2]) {
          Shift bin{}, t{};
          for (int i = 0; i < 3; ++i) {
            const int k = b[i] + d[i];
            const int q = k >= 0 ? k / n_[i] : -((-k + n_[i] - 1) / n_[i]);
            bin[i] = k - q * n_[i];
            t[i] = home[i] + q;
          }
          for (unsigned s : bins_[Index(bin)]) f(s, t);
        }
  }

 private:
  Shift Bin(const Vec& w) const {
    Shift b{};
    for (int i = 0; i < 3; ++i) b[i] = std::min(n_[i] - 1, static_cast<int>(w[i] * n_[i]));
    return b;
  }
  size_t Index(const Shift& b) const {
    return (static_cast<size_t>(b[0]) * n_[1] + b[1]) * n_[2] + b[2];
  }

  int n_[3]{};
  int reach_[3]{};
  std::vector<std::vector<unsigned>> bins_;
};

Vec Plus(const Vec& f, const Shift& t) { return {f[0] + t[0], f[1] + t[1], f[2] + t[2]}; }

class MoleculeGrower {
 public:
  MoleculeGrower(const gemmi::UnitCell& cell, const std::vector<Site>& sites,
                 const std::vector<AsymAtom>& atoms)
      : cell_(cell), sites_(sites), radius_(sites.size()), placed_(sites.size(), kNone) {
    double largest = 0.0;
    for (size_t s = 0; s < sites.size(); ++s) {
      radius_[s] = QvGetCovalentRadius(atoms[sites[s].asym].atomic_num);
      largest = std::max(largest, radius_[s]);
    }
    bins_.emplace(cell, sites, 2.0 * largest + kQvBondTolerance);
  }

  // Grows the component of `start` placed in `cell`; its nodes are appended
  // to the node list. False when the component meets its own translate.
  bool Grow(unsigned start, const Shift& cell) {
    std::deque<unsigned> queue{Place(start, cell)};
    bool finite = true;
    while (!queue.empty()) {
      const Node node = nodes_[queue.front()];
      queue.pop_front();
      if (radius_[node.site] <= 0.0) continue;
      const gemmi::Position here = Cartesian(node.site, node.cell);
      bins_->ForNear(Plus(sites_[node.site].frac, node.cell), [&](unsigned s, const Shift& t) {
        if (radius_[s] <= 0.0) return;
        const double d = Cartesian(s, t).dist(here);
        if (d < kQvOverlapDistance || d >= radius_[node.site] + radius_[s] + kQvBondTolerance) return;
        if (placed_[s] == kNone)
          queue.push_back(Place(s, t));
        else if (nodes_[placed_[s]].cell != t)
          finite = false;
      });
    }
    return finite;
  }

  struct Node {
    unsigned site;
    Shift cell;
  };
  std::vector<Node>& nodes() { return nodes_; }

 private:
  static constexpr unsigned kNone = ~0u;

  unsigned Place(unsigned site, const Shift& cell) {
    placed_[site] = static_cast<unsigned>(nodes_.size());
    nodes_.push_back({site, cell});
    return placed_[site];
  }
  gemmi::Position Cartesian(unsigned site, const Shift& t) const {
    return sites_[site].cart +
           cell_.orthogonalize_difference(gemmi::Fractional(t[0], t[1], t[2]));
  }

  const gemmi::UnitCell& cell_;
  const std::vector<Site>& sites_;
  std::vector<double> radius_;
  std::vector<unsigned> placed_;
  std::vector<Node> nodes_;
  std::optional<PeriodicBins> bins_;
};

}  // namespace

bool ExpandAsymmetricUnit(const gemmi::UnitCell& cell, const std::vector<gemmi::Op>& ops,
                          const std::vector<AsymAtom>& atoms, bool whole_molecules,
                          std::vector<PlacedAtom>& out, size_t& site_count) {
  std::vector<unsigned> first;
  const std::vector<Site> sites = UnitCellSites(cell, ops, atoms, first);
  site_count = sites.size();
  out.clear();
  // Also what keeps the search for neighbours linear in the atoms.
  if (static_cast<double>(sites.size()) * kMinVolumePerAtom > cell.volume) return false;
  if (!whole_molecules) {
    for (const Site& site : sites) out.push_back({site.asym, site.frac});
    return true;
  }

  MoleculeGrower grower(cell, sites, atoms);
  auto& nodes = grower.nodes();
  // An atom with an image in a molecule already grown belongs to a copy of
  // that molecule.
  std::vector<bool> covered(atoms.size(), false);
  for (unsigned a = 0; a < atoms.size(); ++a) {
    if (covered[a]) continue;
    const size_t begin = nodes.size();
    const bool finite = grower.Grow(first[a], sites[first[a]].cell);
    std::sort(nodes.begin() + static_cast<std::ptrdiff_t>(begin), nodes.end(),
              [](const auto& x, const auto& y) { return x.site < y.site; });
    for (size_t i = begin; i < nodes.size(); ++i) {
      const Site& site = sites[nodes[i].site];
      covered[site.asym] = true;
      out.push_back({site.asym, finite ? Plus(site.frac, nodes[i].cell) : site.frac});
    }
  }
  return true;
}

}  // namespace Tamrin::smcif
