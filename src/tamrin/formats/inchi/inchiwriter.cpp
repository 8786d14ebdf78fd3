#include <inchi_api.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tamrin/chem/elements.h"
#include "tamrin/formats/inchi/inchi.h"
#include "tamrin/formats/inchi/inchilib.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/perceived.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

namespace {

namespace Flavor = QvOFlavor::INCHI;

// The library's own limit (its atom numbers are shorts, and it refuses
// larger structures).
constexpr unsigned kMaxAtoms = 1023;

bool HasUnresolvedAromatic(const QvMolBase& mol) {
  for (const QvBondBase& bond : mol.GetBonds())
    if (bond.GetOrder() == kQvAromaticOrder) return true;
  return false;
}

// The molecule the library is given: a copy with Kekulé orders (the library
// takes alternating bonds only as a last resort) or with the stereo of its 3D
// coordinates when none is stored.
QvWorkingMol WorkingMol(const QvMolBase& mol) {
  QvWorkingMol work(mol);
  if (HasUnresolvedAromatic(mol)) QvKekulize(work.Copy());
  if (mol.GetDimension() == 3 && !mol.HasPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo)) {
    QvMolBase& copy = work.Copy();
    if (!copy.HasPerceived(QvPerceivedRings)) QvPerceiveRings(copy);
    QvPerceiveStereoFrom3D(copy);
  }
  return work;
}

// The library's input: atoms at the origin, so that stereo comes from the
// 0D parities alone.
class Input {
 public:
  // False, with `error` set, for a molecule the library cannot take.
  bool Build(const QvMolBase& mol, std::string& error) {
    if (mol.NumAtoms() > kMaxAtoms) {
      error = "more than " + std::to_string(kMaxAtoms) + " atoms";
      return false;
    }
    index_.assign(mol.GetMaxAtomIdx(), -1);
    for (const QvAtomBase& atom : mol.GetAtoms()) {
      index_[atom.GetIdx()] = static_cast<AT_NUM>(atoms_.size());
      inchi_Atom a{};
      const char* symbol = QvGetAtomicSymbol(atom.GetAtomicNum());
      std::strncpy(a.elname, *symbol ? symbol : "*", ATOM_EL_LEN - 1);
      a.num_iso_H[0] = static_cast<S_CHAR>(std::min(atom.GetImplicitHCount(), 127u));
      a.isotopic_mass = static_cast<AT_NUM>(std::min(atom.GetIsotope(), 9999u));
      a.charge = static_cast<S_CHAR>(std::clamp(atom.GetFormalCharge(), -127, 127));
      atoms_.push_back(a);
    }
    for (const QvBondBase& bond : mol.GetBonds())
      if (!AddBond(Index(*bond.GetBgn()), Index(*bond.GetEnd()), BondType(bond.GetOrder()))) {
        error = "an atom with more than " + std::to_string(MAXVAL) + " bonds";
        return false;
      }
    for (const QvAtomBase& atom : mol.GetAtoms())
      if (QvHasAtomStereo(atom)) AddCentre(atom);
    for (const QvBondBase& bond : mol.GetBonds())
      if (bond.GetOrder() == 2 && QvHasBondStereo(bond)) AddDoubleBond(bond);
    return true;
  }

  inchi_Input Get(char* options) {
    inchi_Input in{};
    in.atom = atoms_.data();
    in.num_atoms = static_cast<AT_NUM>(atoms_.size());
    in.stereo0D = stereo_.empty() ? nullptr : stereo_.data();
    in.num_stereo0D = static_cast<AT_NUM>(stereo_.size());
    in.szOptions = options;
    return in;
  }

 private:
  AT_NUM Index(const QvAtomBase& atom) const { return index_[atom.GetIdx()]; }

  static S_CHAR BondType(unsigned order) {
    switch (order) {
      case 2: return INCHI_BOND_TYPE_DOUBLE;
      case 3: return INCHI_BOND_TYPE_TRIPLE;
      case 4:
      case kQvAromaticOrder: return INCHI_BOND_TYPE_ALTERN;
      default: return INCHI_BOND_TYPE_SINGLE;
    }
  }

  // Each bond is listed once, on whichever end has room.
  bool AddBond(AT_NUM a, AT_NUM b, S_CHAR type) {
    if (atoms_[a].num_bonds >= MAXVAL) std::swap(a, b);
    inchi_Atom& at = atoms_[a];
    if (at.num_bonds >= MAXVAL) return false;
    at.neighbor[at.num_bonds] = b;
    at.bond_type[at.num_bonds] = type;
    ++at.num_bonds;
    return true;
  }

  // Seen from the first neighbour the other three run clockwise: even.
  static S_CHAR Parity(QvChirality chirality) {
    return chirality == QvChirality::Clockwise ? INCHI_PARITY_EVEN : INCHI_PARITY_ODD;
  }

  // With three neighbours the library takes the centre itself in the
  // place of its hydrogen or lone pair.
  void AddCentre(const QvAtomBase& atom) {
    std::array<const QvAtomBase*, 4> nbrs{};
    unsigned n = 0;
    for (const QvAtomBase& nbr : atom.GetAtoms()) {
      if (n == 4) return;
      nbrs[n++] = &nbr;
    }
    if (n < 3) return;
    if (n == 3) std::rotate(nbrs.begin(), nbrs.begin() + 3, nbrs.end());  // null first
    const QvChirality chirality = QvGetAtomStereo(atom, nbrs);
    if (chirality == QvChirality::None) return;
    inchi_Stereo0D s{};
    s.central_atom = Index(atom);
    for (unsigned i = 0; i < 4; ++i) s.neighbor[i] = nbrs[i] ? Index(*nbrs[i]) : s.central_atom;
    s.type = INCHI_StereoType_Tetrahedral;
    s.parity = Parity(chirality);
    stereo_.push_back(s);
  }

  // The first neighbour of `end` other than `other`, or null for its
  // implicit hydrogen: the substituent its configuration is read against.
  static const QvAtomBase* Reference(const QvAtomBase& end, const QvAtomBase& other) {
    for (const QvAtomBase& nbr : end.GetAtoms())
      if (&nbr != &other) return &nbr;
    return nullptr;
  }

  // The input atom of a reference; an implicit hydrogen becomes an atom of
  // the input, since the library refers to atoms only. -1 when there is none.
  AT_NUM ReferenceIndex(const QvAtomBase* ref, const QvAtomBase& end) {
    if (ref) return Index(*ref);
    inchi_Atom& e = atoms_[Index(end)];
    if (e.num_iso_H[0] < 1 || atoms_.size() > kMaxAtoms) return -1;
    --e.num_iso_H[0];
    inchi_Atom h{};
    std::strcpy(h.elname, "H");
    atoms_.push_back(h);
    const auto index = static_cast<AT_NUM>(atoms_.size() - 1);
    return AddBond(index, Index(end), INCHI_BOND_TYPE_SINGLE) ? index : -1;
  }

  void AddDoubleBond(const QvBondBase& bond) {
    const QvAtomBase& a = *bond.GetBgn();
    const QvAtomBase& b = *bond.GetEnd();
    const QvAtomBase* ref_a = Reference(a, b);
    const QvAtomBase* ref_b = Reference(b, a);
    const QvBondConfig config = QvGetBondStereo(bond, ref_a, ref_b);
    if (config == QvBondConfig::None) return;
    const AT_NUM x = ReferenceIndex(ref_a, a);
    const AT_NUM y = ReferenceIndex(ref_b, b);
    if (x < 0 || y < 0) return;
    inchi_Stereo0D s{};
    s.central_atom = NO_ATOM;
    s.neighbor[0] = x;
    s.neighbor[1] = Index(a);
    s.neighbor[2] = Index(b);
    s.neighbor[3] = y;
    s.type = INCHI_StereoType_DoubleBond;
    // Trans: even.
    s.parity = config == QvBondConfig::Trans ? INCHI_PARITY_EVEN : INCHI_PARITY_ODD;
    stereo_.push_back(s);
  }

  std::vector<inchi_Atom> atoms_;
  std::vector<inchi_Stereo0D> stereo_;
  std::vector<AT_NUM> index_;
};

std::string Options(unsigned flavor) {
  std::string options = "-AuxNone";
  if (!(flavor & Flavor::Stereo)) options += " -SNon";
  if (flavor & Flavor::FixedH) options += " -FixedH";
  if (flavor & Flavor::RecMet) options += " -RecMet";
  if (flavor & Flavor::KET) options += " -KET";
  if (flavor & Flavor::T15) options += " -15T";
  if (flavor & Flavor::SUU) options += " -SUU";
  if (flavor & Flavor::SLUUD) options += " -SLUUD";
  return options;
}

}  // namespace

bool QvCreateInChI(std::string& out, const QvMolBase& mol, unsigned flavor) {
  out.clear();
  if (mol.NumAtoms() == 0) return false;
  const QvWorkingMol work = WorkingMol(mol);
  Input input;
  std::string error;
  if (!input.Build(work.Get(), error)) {
    QvReportInChIMessage("InChI error", mol.GetTitle(), error.c_str());
    return false;
  }
  std::string options = Options(flavor);
  inchi_Input in = input.Get(options.data());
  inchi_Output result{};
  std::lock_guard lock(QvInChILibraryMutex());
  const int status = GetINCHI(&in, &result);
  const bool made = (status == inchi_Ret_OKAY || status == inchi_Ret_WARNING) && result.szInChI;
  if (made) out = result.szInChI;
  if (!made)
    QvReportInChIMessage("InChI error", mol.GetTitle(), result.szMessage);
  else if (status == inchi_Ret_WARNING && (flavor & Flavor::Warnings))
    QvReportInChIMessage("InChI warning", mol.GetTitle(), result.szMessage);
  FreeINCHI(&result);
  return made;
}

bool QvInChIKey(std::string& key, const std::string& inchi, const char* title) {
  char buffer[32] = {};
  char extra1[65] = {};
  char extra2[65] = {};
  int status;
  {
    std::lock_guard lock(QvInChILibraryMutex());
    status = GetINCHIKeyFromINCHI(inchi.c_str(), 0, 0, buffer, extra1, extra2);
  }
  if (status != INCHIKEY_OK) {
    QvReportInChIMessage("InChIKey error", title, "the InChI was refused");
    key.clear();
    return false;
  }
  key = buffer;
  return true;
}

}  // namespace Tamrin
