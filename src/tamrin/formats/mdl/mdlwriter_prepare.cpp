// Preparation of a molecule for the molfile writer, and the table of what is
// written for each atom and bond.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "sorvil/base/basedata.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/mdl/mdlparity.h"
#include "tamrin/formats/mdl/mdlvalence.h"
#include "tamrin/formats/mdl/mdlwriter.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/layout2d.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

namespace MDLWrite {

namespace {

using Sorvil::QvErrorHandler;
using Sorvil::QvTag;

QvTag AtomParityTag() {
  static const QvTag tag = Sorvil::QvGetTag("MDLAtomParity");
  return tag;
}
QvTag ChiralFlagTag() {
  static const QvTag tag = Sorvil::QvGetTag("MDLParity");
  return tag;
}
QvTag AtomCommentTag() {
  static const QvTag tag = Sorvil::QvGetTag("QvAtomComment");
  return tag;
}

// Integer data as the readers and the stereo passes store it; other types
// (or none) read as 0.
int IntData(const Sorvil::QvBase& object, QvTag tag) {
  const Sorvil::QvBaseData* item = object.GetDataItem(tag);
  if (!item) return 0;
  if (const auto* v = Sorvil::QvDataValue<std::int32_t>(*item)) return *v;
  if (const auto* v = Sorvil::QvDataValue<std::uint32_t>(*item)) return static_cast<int>(*v);
  if (const auto* v = Sorvil::QvDataValue<bool>(*item)) return *v ? 1 : 0;
  return 0;
}

bool HasUnresolvedAromatic(const QvMolBase& mol) {
  for (const QvBondBase& bond : mol.GetBonds())
    if (bond.GetOrder() == kQvAromaticOrder) return true;
  return false;
}

bool HasNonZeroCoords(const QvMolBase& mol) {
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    float xyz[3];
    mol.GetCoords(&atom, xyz);
    if (xyz[0] != 0.0f || xyz[1] != 0.0f || xyz[2] != 0.0f) return true;
  }
  return false;
}

// Stereo configurations and wedge marks are generic data: a molecule whose
// atoms and bonds carry none has nothing its depiction could get wrong.
bool MayHaveStereoData(const QvMolBase& mol) {
  for (const QvAtomBase& atom : mol.GetAtoms())
    if (atom.NumData() != 0) return true;
  for (const QvBondBase& bond : mol.GetBonds())
    if (bond.NumData() != 0) return true;
  return false;
}

// Whether the layout step must draw the molecule afresh; warns as it decides.
bool NeedsLayout(const QvMolBase& mol) {
  const unsigned dimension = mol.GetDimension();
  if (dimension == 3) return false;
  if (dimension == 2) {
    if (!MayHaveStereoData(mol) || QvHasCorrectDepictionStereo(mol)) return false;
    QvErrorHandler::Warning("QvWriteMolecule() : assigning 2D coordinates to stereo hydrogens");
    return true;
  }
  if (HasNonZeroCoords(mol))
    QvErrorHandler::Warning(
        "QvWriteMolecule() : adding 2D coordinates to zero-dimension molecule that actually has coordinates, "
        "someone else should be calling mol.SetDimension() on this molecule");
  return true;
}

// One end of a double bond as a cis/trans candidate needs one or two other
// substituents, not two implicit hydrogens.
bool EndMayBeStereo(const QvAtomBase& end) {
  const unsigned others = end.GetExplicitDegree() - 1 + end.GetImplicitHCount();
  return (others == 1 || others == 2) && end.GetImplicitHCount() < 2;
}

// Which double bonds could carry cis/trans. The full search (symmetry
// classes, rings) runs once per molecule and only when a bond passes the
// quick tests of its ends and its ring, which most double bonds fail.
class StereoBonds {
 public:
  explicit StereoBonds(const QvMolBase& mol) : mol_(mol) {}

  bool IsCandidate(const QvBondBase& bond) {
    if (!EndMayBeStereo(*bond.GetBgn()) || !EndMayBeStereo(*bond.GetEnd())) return false;
    const bool may_be_in_ring = !mol_.HasPerceived(QvPerceivedRings) || bond.IsInRing();
    if (may_be_in_ring && QvSmallestRingSize(bond, 7) != 0) return false;
    if (!found_) {
      bonds_ = QvFindStereoCandidates(mol_).bonds;
      found_ = true;
    }
    return bonds_[bond.GetIdx()];
  }

 private:
  const QvMolBase& mol_;
  std::vector<bool> bonds_;
  bool found_ = false;
};

std::string_view SymbolOf(const QvAtomBase& atom) {
  if (const unsigned z = atom.GetAtomicNum(); z != 0) {
    const std::string_view symbol = QvGetAtomicSymbol(z);
    if (!symbol.empty()) return symbol;
  } else if (atom.GetMapIdx() != 0) {
    return "R#";
  }
  const std::string_view name = atom.GetName();
  return name.empty() ? std::string_view("*") : name;
}

// Per-thread scratch, reused from record to record.
struct Scratch {
  std::vector<unsigned> number_by_idx;  // atom index -> output number (1-based), 0 for none
  std::vector<unsigned> orders;         // Kekulé orders by graph-view bond position
};
thread_local Scratch scratch;

class TableBuilder {
 public:
  TableBuilder(const QvMolBase& mol, unsigned flavor, Table& table)
      : mol_(mol), flavor_(flavor), table_(table), stereo_bonds_(mol) {
    table_.Clear();
    table_.dimension = mol.GetDimension();
    if (HasUnresolvedAromatic(mol)) {
      view_ = std::make_unique<QvGraphView>(mol);
      scratch.orders.resize(view_->NumBonds());
      for (unsigned b = 0; b < view_->NumBonds(); ++b) scratch.orders[b] = view_->Bond(b)->GetOrder();
      QvKekulizeOrders(*view_, scratch.orders);
    }
  }

  void Build() {
    AddAtoms();
    AddBonds();
    AddHydrogens();
    AddGroups();
    table_.chiral = ChiralFlag();
  }

 private:
  unsigned OrderOf(const QvBondBase& bond) const {
    return view_ ? scratch.orders[view_->Pos(&bond)] : bond.GetOrder();
  }

  void AddAtoms() {
    scratch.number_by_idx.assign(mol_.GetMaxAtomIdx(), 0);
    const bool derive = flavor_ & Flavor::DeriveParities;
    for (const QvAtomBase& atom : mol_.GetAtoms()) {
      AtomOut& out = table_.atoms.emplace_back();
      scratch.number_by_idx[atom.GetIdx()] = static_cast<unsigned>(table_.atoms.size());
      out.atom = &atom;
      out.symbol = SymbolOf(atom);
      mol_.GetCoords(&atom, out.xyz);
      out.charge = atom.GetFormalCharge();
      out.isotope = atom.GetIsotope();
      out.map = atom.GetMapIdx();
      if (atom.GetAtomicNum() == 0) out.rgroup = out.map;
      out.hydrogens = atom.GetImplicitHCount();
      // Parities, aliases and groups are all generic data: most atoms have none.
      if (atom.NumData() == 0) continue;
      // The parity column holds one digit.
      out.parity = derive ? QvMDLParity(atom) : static_cast<unsigned>(std::clamp(IntData(atom, AtomParityTag()), 0, 9));
      if (const auto* alias = atom.GetDataPtr<std::string>(AtomCommentTag())) out.alias = *alias;
    }
  }

  void AddBonds() {
    const bool coords_decide = table_.dimension == 3 && !mol_.HasPerceived(QvPerceivedBondStereo);
    for (const QvBondBase& bond : mol_.GetBonds()) {
      const QvAtomBase* bgn = bond.GetBgn();
      const QvAtomBase* end = bond.GetEnd();
      if (!bgn || !end) continue;
      BondOut& out = table_.bonds.emplace_back();
      out.order = OrderOf(bond);
      out.wedge = bond.NumData() ? IntData(bond, Sorvil::QvBondStereoTag) : 0;
      out.first = scratch.number_by_idx[bgn->GetIdx()];
      out.second = scratch.number_by_idx[end->GetIdx()];
      if (out.wedge == 0 && out.first > out.second) std::swap(out.first, out.second);
      table_.atoms[out.first - 1].explicit_valence += out.order;
      table_.atoms[out.second - 1].explicit_valence += out.order;
      // In 3D without perceived bond stereo the coordinates still decide.
      out.unspecified_double = out.order == 2 && out.wedge == 0 && !coords_decide && !bond.IsAromatic() &&
                               bgn->GetTotalDegree() >= 2 && end->GetTotalDegree() >= 2 &&
                               !QvHasBondStereo(bond) && stereo_bonds_.IsCandidate(bond);
    }
  }

  void AddHydrogens() {
    for (AtomOut& out : table_.atoms) {
      const unsigned valence =
          QvMDLDefaultValence(out.atom->GetAtomicNum(), out.charge, out.explicit_valence);
      out.default_hydrogens = valence > out.explicit_valence ? valence - out.explicit_valence : 0;
    }
  }

  void AddGroups() {
    std::vector<GroupOut>& groups = table_.groups;
    for (const AtomOut& out : table_.atoms) {
      if (out.atom->NumData() == 0) continue;
      const QvStereoGroup group = QvGetStereoGroup(*out.atom);
      if (group.kind == QvStereoGroupKind::None) continue;
      auto it = std::find_if(groups.begin(), groups.end(), [&group](const GroupOut& g) {
        return g.kind == group.kind && g.number == group.number;
      });
      if (it == groups.end()) it = groups.insert(groups.end(), GroupOut{group.kind, group.number, {}});
      const unsigned number = static_cast<unsigned>(&out - table_.atoms.data()) + 1;
      it->atoms.push_back(number);
    }
    if (groups.empty()) return;
    // Absolute first, then relative and racemic groups by their numbers,
    // renumbered from 1 within each kind.
    std::sort(groups.begin(), groups.end(), [](const GroupOut& a, const GroupOut& b) {
      return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
    });
    unsigned running = 0;
    for (std::size_t i = 0; i < groups.size(); ++i) {
      if (i > 0 && groups[i].kind != groups[i - 1].kind) running = 0;
      groups[i].number = groups[i].kind == QvStereoGroupKind::Absolute ? 0 : ++running;
    }
  }

  bool ChiralFlag() const {
    if ((flavor_ & Flavor::ChiralFromStereo) && !(flavor_ & Flavor::DeriveParities)) {
      for (const AtomOut& out : table_.atoms)
        if (out.atom->NumData() && QvHasAtomStereo(*out.atom)) return true;
      return false;
    }
    if (const Sorvil::QvBaseData* item = mol_.GetDataItem(ChiralFlagTag())) {
      if (const bool* flag = Sorvil::QvDataValue<bool>(*item)) return *flag;
      return IntData(mol_, ChiralFlagTag()) == 1;
    }
    if (table_.groups.empty()) return false;
    return !(table_.groups.size() == 1 && table_.groups[0].kind == QvStereoGroupKind::And);
  }

  const QvMolBase& mol_;
  unsigned flavor_;
  Table& table_;
  StereoBonds stereo_bonds_;
  std::unique_ptr<QvGraphView> view_;
};

}  // namespace

unsigned StandardMass(unsigned atomic_num) {
  return static_cast<unsigned>(std::lround(QvGetAtomicMass(atomic_num)));
}

const QvMolBase& Prepare(QvWorkingMol& work, unsigned flavor, Table& table) {
  const QvMolBase& mol = work.Get();
  const bool stereo_from_3d = (flavor & Flavor::DeriveParities) && mol.GetDimension() == 3 &&
                              !mol.HasPerceived(QvPerceivedAtomStereo);
  const bool layout = (flavor & Flavor::Layout) && NeedsLayout(mol);
  if (stereo_from_3d || layout) {
    QvMolBase& copy = work.Copy();
    if (HasUnresolvedAromatic(copy)) QvKekulize(copy);
    if (stereo_from_3d) QvPerceiveStereoFrom3D(copy);
    if (layout && QvGenerate2DCoordinates(copy, flavor & Flavor::LayoutOption)) QvAssignWedgeMarks(copy);
  }
  TableBuilder(work.Get(), flavor, table).Build();
  return work.Get();
}

namespace {

// Whether the atom's numbers fit their three-column V2000 fields (the atom
// map and valence columns, the "M  CHG", "M  ISO" and "M  RGP" entries).
bool FitsV2000(const AtomOut& atom) {
  const unsigned map = atom.atom->GetAtomicNum() != 0 ? atom.map : atom.rgroup;
  return map <= 999 && atom.isotope <= 999 && atom.charge >= -99 && atom.charge <= 999 &&
         atom.explicit_valence + atom.hydrogens <= 999;
}

}  // namespace

bool NeedsV3000(const Table& table, unsigned flavor) {
  if ((flavor & Flavor::AlwaysV3000) || table.atoms.size() > 999 || table.bonds.size() > 999) return true;
  if (!std::all_of(table.atoms.begin(), table.atoms.end(), FitsV2000)) return true;
  const std::vector<GroupOut>& groups = table.groups;
  if (groups.size() > 1) return true;
  for (const GroupOut& group : groups) {
    if (group.kind == QvStereoGroupKind::Or) return true;
    if (group.kind == QvStereoGroupKind::And && table.chiral) return true;
  }
  return false;
}

}  // namespace MDLWrite

}  // namespace Tamrin
