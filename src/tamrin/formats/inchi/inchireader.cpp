#include <inchi_api.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "tamrin/chem/elements.h"
#include "tamrin/formats/inchi/inchi.h"
#include "tamrin/formats/inchi/inchilib.h"
#include "tamrin/formats/inchi/inchishape.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/perceived.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/stereo.h"

namespace Tamrin {

namespace {

// Frees the library's structure whatever happens to the molecule built
// from it.
struct OutputStruct {
  inchi_OutputStruct s{};
  ~OutputStruct() { FreeStructFromINCHI(&s); }
};

// The mass number from which the library counts an element's isotope
// shifts: the standard atomic weight rounded for most elements, but not for
// all of those without a stable isotope, so the library is asked, once per
// element: it writes the shift of a guessed mass number as "/i1+k".
// Called with the library's mutex held, which guards the cache too.
long NominalMass(unsigned atomic_num) {
  const long guess = std::lround(QvGetAtomicMass(atomic_num));
  static std::array<long, 128> cache{};
  if (atomic_num <= 1 || atomic_num >= cache.size()) return guess;
  if (cache[atomic_num] != 0) return cache[atomic_num];
  inchi_Atom atom{};
  std::strncpy(atom.elname, QvGetAtomicSymbol(atomic_num), ATOM_EL_LEN - 1);
  atom.isotopic_mass = static_cast<AT_NUM>(guess);
  char options[] = "-AuxNone";
  inchi_Input in{&atom, nullptr, options, 1, 0};
  inchi_Output out{};
  long nominal = guess;
  const int status = GetINCHI(&in, &out);
  if ((status == inchi_Ret_OKAY || status == inchi_Ret_WARNING) && out.szInChI)
    if (const char* layer = std::strstr(out.szInChI, "/i1")) nominal = guess - std::strtol(layer + 3, nullptr, 10);
  FreeINCHI(&out);
  cache[atomic_num] = nominal;
  return nominal;
}

// The library gives isotopes as shifts from that mass, or as mass numbers.
unsigned MassNumber(unsigned atomic_num, int isotopic_mass) {
  if (isotopic_mass < ISOTOPIC_SHIFT_FLAG - ISOTOPIC_SHIFT_MAX) return static_cast<unsigned>(isotopic_mass);
  const long mass = NominalMass(atomic_num) + (isotopic_mass - ISOTOPIC_SHIFT_FLAG);
  return mass > 0 ? static_cast<unsigned>(mass) : 0;
}

unsigned BondOrder(S_CHAR type) {
  switch (type) {
    case INCHI_BOND_TYPE_DOUBLE: return 2;
    case INCHI_BOND_TYPE_TRIPLE: return 3;
    case INCHI_BOND_TYPE_ALTERN: return kQvAromaticOrder;
    default: return 1;
  }
}

unsigned Valence(const QvAtomBase& atom) {
  unsigned valence = atom.GetImplicitHCount();
  for (const QvBondBase& bond : atom.GetBonds()) valence += bond.GetOrder();
  return valence;
}

// The library's structure output draws some charged groups with a
// pentavalent neutral nitrogen (N(=O)=O, [NH+]=N(R)=N in a ring) or a
// sulfonate as a sulfur anion with three =O; other readers, and SMILES parsers, expect
// the charge-separated form. One double bond of the atom becomes single and
// a charge moves across it: from a cation neighbour where there is one
// (the charge shifts), else onto a terminal oxygen, else onto the partner.
void SeparateCharges(QvMolBase& mol) {
  for (QvAtomBase& atom : mol.GetAtoms()) {
    const unsigned z = atom.GetAtomicNum();
    const int charge = atom.GetFormalCharge();
    const bool nitrogen = z == 7 && charge == 0 && Valence(atom) == 5;
    const bool sulfur = (z == 16 || z == 34) && charge == -1 && Valence(atom) == 7;
    if (!nitrogen && !sulfur) continue;
    QvBondBase* best = nullptr;
    int best_rank = 0;
    for (QvBondBase& bond : atom.GetBonds()) {
      if (bond.GetOrder() != 2) continue;
      const QvAtomBase& nbr = *bond.GetNbr(&atom);
      const bool terminal_o = nbr.GetAtomicNum() == 8 && nbr.GetExplicitDegree() == 1;
      const int rank = nbr.GetFormalCharge() > 0 ? 3 : terminal_o ? 2 : nitrogen ? 1 : 0;
      if (rank > best_rank) {
        best = &bond;
        best_rank = rank;
      }
    }
    if (!best) continue;
    QvAtomBase& nbr = *best->GetNbr(&atom);
    best->SetOrder(1);
    atom.SetFormalCharge(charge + 1);
    nbr.SetFormalCharge(nbr.GetFormalCharge() - 1);
  }
}

class Builder {
 public:
  Builder(QvMolBase& mol, const inchi_OutputStruct& s) : mol_(mol), s_(s) {}

  // False, with `error` set, for a structure that does not hold together.
  bool Build(std::string& error) {
    const unsigned n = s_.num_atoms > 0 ? static_cast<unsigned>(s_.num_atoms) : 0;
    for (unsigned i = 0; i < n; ++i) {
      const inchi_Atom& a = s_.atom[i];
      const unsigned z = QvGetAtomicNum(std::string_view(a.elname, strnlen(a.elname, ATOM_EL_LEN)));
      if (z == 0) {
        error = "unknown element \"" + std::string(a.elname, strnlen(a.elname, ATOM_EL_LEN)) + "\"";
        return false;
      }
      QvAtomBase* atom = mol_.NewAtom(z);
      atom->SetFormalCharge(a.charge);
      if (a.isotopic_mass) atom->SetIsotope(MassNumber(z, a.isotopic_mass));
      atom->SetImplicitHCount(a.num_iso_H[0] > 0 ? static_cast<unsigned>(a.num_iso_H[0]) : 0);
      atoms_.push_back(atom);
    }
    bool alternating = false;
    for (unsigned i = 0; i < n; ++i) {
      const inchi_Atom& a = s_.atom[i];
      for (int j = 0; j < a.num_bonds && j < MAXVAL; ++j) {
        const int k = a.neighbor[j];
        if (k < 0 || static_cast<unsigned>(k) >= n || static_cast<unsigned>(k) == i) {
          error = "a bond to a missing atom";
          return false;
        }
        if (atoms_[i]->IsConnected(atoms_[k])) continue;
        const unsigned order = BondOrder(a.bond_type[j]);
        alternating |= order == kQvAromaticOrder;
        mol_.NewBond(atoms_[i], atoms_[k], order);
      }
    }
    // Isotopic hydrogens are atoms here: an implicit count has no isotope.
    added_h_.assign(n, nullptr);
    for (unsigned i = 0; i < n; ++i)
      for (unsigned iso = 1; iso <= NUM_H_ISOTOPES; ++iso)
        for (int k = 0; k < s_.atom[i].num_iso_H[iso]; ++k) {
          QvAtomBase* h = mol_.NewAtom(1u);
          h->SetIsotope(iso);
          mol_.NewBond(atoms_[i], h, 1);
          if (!added_h_[i]) added_h_[i] = h;
        }
    if (alternating) QvKekulize(mol_);
    SeparateCharges(mol_);
    for (int i = 0; i < s_.num_stereo0D; ++i) AddStereo(s_.stereo0D[i]);
    mol_.SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, true);
    return true;
  }

 private:
  QvAtomBase* Atom(AT_NUM k) const {
    return k >= 0 && static_cast<std::size_t>(k) < atoms_.size() ? atoms_[k] : nullptr;
  }

  void AddStereo(const inchi_Stereo0D& s) {
    const int parity = s.parity & 0x7;
    if (parity != INCHI_PARITY_EVEN && parity != INCHI_PARITY_ODD) return;
    const bool even = parity == INCHI_PARITY_EVEN;
    if (s.type == INCHI_StereoType_Tetrahedral) {
      QvAtomBase* centre = Atom(s.central_atom);
      if (!centre) return;
      // The centre in its own list stands for its hydrogen or lone pair;
      // when that hydrogen is isotopic it is an atom here.
      const QvAtomBase* self = centre->GetImplicitHCount() == 0 && added_h_[s.central_atom]
                                   ? added_h_[s.central_atom]
                                   : nullptr;
      std::array<const QvAtomBase*, 4> nbrs{};
      for (unsigned i = 0; i < 4; ++i) nbrs[i] = s.neighbor[i] == s.central_atom ? self : Atom(s.neighbor[i]);
      QvSetAtomStereo(*centre, nbrs, even ? QvChirality::Clockwise : QvChirality::Anticlockwise);
    } else if (s.type == INCHI_StereoType_DoubleBond) {
      const QvAtomBase* a = Atom(s.neighbor[1]);
      const QvAtomBase* b = Atom(s.neighbor[2]);
      if (!a || !b) return;
      QvBondBase* bond = a->GetBond(b);
      if (!bond || bond->GetOrder() != 2) return;
      // A reference that is an end itself stands for that end's hydrogen.
      const QvAtomBase* x = s.neighbor[0] == s.neighbor[1] ? nullptr : Atom(s.neighbor[0]);
      const QvAtomBase* y = s.neighbor[3] == s.neighbor[2] ? nullptr : Atom(s.neighbor[3]);
      if (bond->GetBgn() != a) std::swap(x, y);
      QvSetBondStereo(*bond, x, y, even ? QvBondConfig::Trans : QvBondConfig::Cis);
    }
  }

  QvMolBase& mol_;
  const inchi_OutputStruct& s_;
  std::vector<QvAtomBase*> atoms_;
  std::vector<QvAtomBase*> added_h_;
};

}  // namespace

bool QvParseInChI(QvMolBase& mol, std::string_view inchi, const char* title) {
  std::string text(inchi);
  if (!QvLooksLikeInChI(text)) {
    const std::string what = "Invalid InChI \"" + text + "\"";
    QvReportInChIMessage(what.c_str(), title, "not the layout of an InChI");
    return false;
  }
  std::string options;
  inchi_InputINCHI in{text.data(), options.data()};
  std::string error;
  std::string warning;
  bool ok = false;
  {
    std::lock_guard lock(QvInChILibraryMutex());
    OutputStruct out;
    const int status = GetStructFromINCHI(&in, &out.s);
    const char* message = out.s.szMessage && *out.s.szMessage ? out.s.szMessage : nullptr;
    if ((status == inchi_Ret_OKAY || status == inchi_Ret_WARNING) && out.s.num_atoms > 0) {
      ok = Builder(mol, out.s).Build(error);
      if (ok && status == inchi_Ret_WARNING && message) warning = message;
    } else {
      error = message ? message : "the library found no structure in it";
    }
  }
  if (!warning.empty()) QvReportInChIMessage("InChI warning", title, warning.c_str());
  if (!ok) {
    const std::string what = "Invalid InChI \"" + text + "\"";
    QvReportInChIMessage(what.c_str(), title, error.c_str());
  }
  return ok;
}

}  // namespace Tamrin
