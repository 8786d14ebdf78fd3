// The models of an NMR entry or a trajectory repeat one topology: after
// the bonds are found from each model's own coordinates, what the later
// steps make of a model (orders, charges, hydrogens, rings, aromaticity)
// is decided by its atoms, its bonds in their order and, for bond orders,
// the length tier of each bond. Molecules that agree on all of those get
// the outcome of the first of them instead of a second run.
#include "tamrin/formats/pdb/pdbperception.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "tamrin/model/eachrecord.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/atomcompletion.h"
#include "tamrin/perception/bondorders.h"
#include "tamrin/perception/connectivity.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/residues.h"
#include "tamrin/perception/rings.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/formatinfo.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

constexpr unsigned kConnectivity = 0x1000;
constexpr unsigned kBondOrders = 0x400;
constexpr unsigned kHierarchy = 0x2000;

void HierarchyStep(QvMolBase& mol) { QvPerceiveResidueHierarchy(mol, true); }

// The steps between connectivity and the residue hierarchy, in flavor order.
constexpr QvPostReadStep kTopologySteps[] = {{0x800, QvPerceiveRings},
                                             {0x400, QvAssignBondOrders},
                                             {0x200, QvAssignImplicitHydrogens},
                                             {0x100, QvCompleteAtoms}};

constexpr unsigned kPerceivedBits[] = {QvPerceivedRings, QvPerceivedAromaticity, QvPerceivedAtomStereo,
                                       QvPerceivedBondStereo, QvPerceivedHybridization};

// What decides the outcome.
struct Topology {
  std::uint64_t hash = 0;  // first, so that most mismatches stop there
  unsigned flavor = 0;
  unsigned perceived = 0;
  std::vector<std::uint64_t> atoms;  // element, isotope, charge, implicit hydrogens
  std::vector<std::uint64_t> bonds;  // ends and order
  std::vector<std::uint8_t> tiers;

  bool operator==(const Topology&) const = default;
};

// What the steps leave on the atoms and bonds.
struct Outcome {
  struct Atom {
    int charge;
    unsigned implicit_h;
    bool aromatic, in_ring;
  };
  struct Bond {
    unsigned order;
    bool aromatic, in_ring;
  };
  std::vector<Atom> atoms;
  std::vector<Bond> bonds;
  unsigned perceived = 0;
};

std::uint64_t Mix(std::uint64_t hash, std::uint64_t value) {
  return (hash ^ value) * 0x100000001b3ull + (hash >> 29);
}

unsigned PerceivedOf(const QvMolBase& mol) {
  unsigned mask = 0;
  for (const unsigned bit : kPerceivedBits)
    if (mol.HasPerceived(bit)) mask |= bit;
  return mask;
}

// False when the outcome cannot be told from the topology alone (bond
// orders of a molecule without hydrogens read angles too).
bool TopologyOf(const QvMolBase& mol, unsigned flavor, Topology& t) {
  t.flavor = flavor;
  t.perceived = PerceivedOf(mol);
  t.atoms.clear();
  t.bonds.clear();
  t.tiers.clear();
  if ((flavor & kBondOrders) && !QvBondOrderLengthTiers(mol, t.tiers)) return false;
  std::uint64_t hash = Mix(Mix(0xcbf29ce484222325ull, flavor), t.perceived);
  t.atoms.reserve(mol.NumAtoms());
  QvForEachAtom(mol, [&](const auto& atom) {
    const std::uint64_t key = std::uint64_t{atom.GetAtomicNum()} | std::uint64_t{atom.GetIsotope()} << 16 |
                              std::uint64_t{static_cast<std::uint16_t>(atom.GetFormalCharge())} << 32 |
                              std::uint64_t{atom.GetImplicitHCount()} << 48;
    t.atoms.push_back(key);
    hash = Mix(hash, key);
  });
  t.bonds.reserve(mol.NumBonds());
  QvForEachBond(mol, [&](const auto& bond) {
    const std::uint64_t key = std::uint64_t{bond.GetBgn()->GetIdx()} | std::uint64_t{bond.GetEnd()->GetIdx()} << 28 |
                              std::uint64_t{bond.GetOrder()} << 56;
    t.bonds.push_back(key);
    hash = Mix(hash, key);
  });
  for (const std::uint8_t tier : t.tiers) hash = Mix(hash, tier);
  t.hash = hash;
  return true;
}

Outcome OutcomeOf(const QvMolBase& mol) {
  Outcome out;
  out.atoms.reserve(mol.NumAtoms());
  for (const QvAtomBase& atom : mol.GetAtoms())
    out.atoms.push_back({atom.GetFormalCharge(), atom.GetImplicitHCount(), atom.IsAromatic(), atom.IsInRing()});
  out.bonds.reserve(mol.NumBonds());
  for (const QvBondBase& bond : mol.GetBonds())
    out.bonds.push_back({bond.GetOrder(), bond.IsAromatic(), bond.IsInRing()});
  out.perceived = PerceivedOf(mol);
  return out;
}

void Apply(const Outcome& out, QvMolBase& mol) {
  auto atom = out.atoms.begin();
  QvForEachAtom(mol, [&atom](auto& a) {
    if (a.GetFormalCharge() != atom->charge) a.SetFormalCharge(atom->charge);
    if (a.GetImplicitHCount() != atom->implicit_h) a.SetImplicitHCount(atom->implicit_h);
    a.SetAromatic(atom->aromatic);
    a.SetInRing(atom->in_ring);
    ++atom;
  });
  auto bond = out.bonds.begin();
  QvForEachBond(mol, [&bond](auto& b) {
    if (b.GetOrder() != bond->order) b.SetOrder(bond->order);
    b.SetAromatic(bond->aromatic);
    b.SetInRing(bond->in_ring);
    ++bond;
  });
  // Last: the edits above clear some of these bits.
  for (const unsigned bit : kPerceivedBits) mol.SetPerceived(bit, (out.perceived & bit) != 0);
}

}  // namespace

// The outcomes of the last few topologies of one input: enough for the
// models of an entry that alternate between a few (waters present in some
// models only), and memory stays flat however long the input runs.
class QvPDBTopologyCache {
 public:
  const Outcome* Find(const Topology& t) const {
    for (const auto& [key, outcome] : entries_)
      if (key == t) return &outcome;
    return nullptr;
  }

  void Store(Topology t, Outcome outcome) {
    if (entries_.size() == kEntries) entries_.pop_back();
    entries_.insert(entries_.begin(), {std::move(t), std::move(outcome)});
  }

  // The key of the molecule at hand, made in the arrays of the one before
  // unless that went into the cache.
  Topology& Scratch() { return scratch_; }

 private:
  static constexpr std::size_t kEntries = 4;
  std::vector<std::pair<Topology, Outcome>> entries_;
  Topology scratch_;
};

QvPDBInputState::QvPDBInputState() : topologies(std::make_unique<QvPDBTopologyCache>()) {}
QvPDBInputState::~QvPDBInputState() = default;

QvPDBInputState& QvPDBStateOf(qvmolistream& in) {
  std::unique_ptr<QvMolStreamReaderState>& slot = in.Cache().reader_state;
  if (auto* state = dynamic_cast<QvPDBInputState*>(slot.get())) return *state;
  slot = std::make_unique<QvPDBInputState>();
  return static_cast<QvPDBInputState&>(*slot);
}

namespace {

// The generic part of the flavor, as the streams apply it to other formats.
void Generic(QvMolBase& mol, unsigned flavor) {
  if ((flavor & QvIFlavor::Generic::Rings) && !mol.HasPerceived(QvPerceivedRings)) QvPerceiveRings(mol);
  QvPerceiveAromaticity(mol, QvAromaticityModelOf(flavor));
}

}  // namespace

void QvPDBPerceive(qvmolistream& in, QvMolBase& mol, unsigned flavor) {
  if (flavor & kConnectivity) QvDetermineConnectivity(mol);
  QvPDBTopologyCache& cache = *QvPDBStateOf(in).topologies;
  Topology& topology = cache.Scratch();
  const bool keyed = TopologyOf(mol, flavor, topology);
  if (const Outcome* known = keyed ? cache.Find(topology) : nullptr) {
    Apply(*known, mol);
  } else {
    QvRunPostReadSteps(mol, flavor, kTopologySteps);
    Generic(mol, flavor);
    if (keyed) cache.Store(std::move(topology), OutcomeOf(mol));
  }
  if (flavor & kHierarchy) HierarchyStep(mol);
}

}  // namespace Tamrin
