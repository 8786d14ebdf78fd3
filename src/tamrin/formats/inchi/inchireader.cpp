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

// Layers come in a fixed order within each part of an InChI: the main
// layers, the isotopic ones after /i, the fixed-H ones after /f (with their
// own /i part) and, after /r, the reconnected structure from the start.
class LayerOrder {
 public:
  // False for a letter that cannot follow the layers seen so far.
  bool Next(char letter) {
    if (letter == 'r') {
      part_ = Part::Main;
      last_ = -1;
      return true;
    }
    if (letter == 'i' && (part_ == Part::Main || part_ == Part::Fixed)) return Enter(part_ == Part::Main ? Part::Isotopic : Part::FixedIsotopic);
    if (letter == 'f' && (part_ == Part::Main || part_ == Part::Isotopic)) return Enter(Part::Fixed);
    const std::string_view order = kOrders[static_cast<int>(part_)];
    const std::size_t rank = order.find(letter);
    if (rank == std::string_view::npos || static_cast<int>(rank) <= last_) return false;
    last_ = static_cast<int>(rank);
    return true;
  }

 private:
  enum class Part { Main, Isotopic, Fixed, FixedIsotopic };
  static constexpr std::string_view kOrders[] = {"chqpbtms", "hbtms", "hqbtmso", "hbtmso"};
  bool Enter(Part part) {
    part_ = part;
    last_ = -1;
    return true;
  }
  Part part_ = Part::Main;
  int last_ = -1;
};

// The formula layer: components joined by '.', each an optional
// multiplier of 2 or more, then elements with counts of 2 or more.
bool FormulaShape(std::string_view formula) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  const auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
  // A number, which must not be 0 or 1 where InChI would leave it out.
  const auto number = [&](std::string_view s, std::size_t& i) {
    const std::size_t start = i;
    while (i < s.size() && digit(s[i])) ++i;
    return i == start || !(i - start == 1 && (s[start] == '0' || s[start] == '1'));
  };
  for (std::size_t begin = 0; begin <= formula.size();) {
    const std::size_t end = std::min(formula.find('.', begin), formula.size());
    const std::string_view part = formula.substr(begin, end - begin);
    std::size_t i = 0;
    if (!number(part, i) || i == part.size()) return false;
    while (i < part.size()) {
      if (!upper(part[i++])) return false;
      if (i < part.size() && lower(part[i])) ++i;
      if (!number(part, i)) return false;
    }
    begin = end + 1;
  }
  return true;
}

// A number written with a leading zero ("07"), which InChI never writes.
bool LeadingZero(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '0' && text[i + 1] >= '0' && text[i + 1] <= '9' && (i == 0 || text[i - 1] < '0' || text[i - 1] > '9'))
      return true;
  return false;
}

// The components a layer of per-component parts counts: parts joined by
// ';' (or, in the formula, '.'), each standing for k components when it
// starts with a multiplier k ("2*" in layers, "2" in the formula).
std::size_t ComponentCount(std::string_view layer, char separator, bool formula) {
  std::size_t count = 0;
  for (std::size_t begin = 0; begin <= layer.size();) {
    const std::size_t end = std::min(layer.find(separator, begin), layer.size());
    const std::string_view part = layer.substr(begin, end - begin);
    std::size_t digits = 0;
    while (digits < part.size() && part[digits] >= '0' && part[digits] <= '9') ++digits;
    const bool multiplied = digits > 0 && (formula || (digits < part.size() && part[digits] == '*'));
    std::size_t k = 1;
    if (multiplied && digits <= 4) k = std::stoul(std::string(part.substr(0, digits)));
    else if (multiplied) return 0;
    count += k;
    begin = end + 1;
  }
  return count;
}

// Whether `text` has the shape of an InChI: the prefix, a formula layer
// of that shape, then layers in their order that
// each start with their letter and hold only the characters InChI layers
// are made of. The library's parser reads past its buffers on some
// malformed strings (a repeated layer among them), so only strings of this
// shape are given to it.
bool LooksLikeInChI(std::string_view text) {
  constexpr std::string_view kStandard = "InChI=1S/";
  constexpr std::string_view kOther = "InChI=1/";
  if (text.starts_with(kStandard))
    text.remove_prefix(kStandard.size());
  else if (text.starts_with(kOther))
    text.remove_prefix(kOther.size());
  else
    return false;
  const auto alnum = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  const std::size_t formula_end = std::min(text.find('/'), text.size());
  if (formula_end == 0 || !FormulaShape(text.substr(0, formula_end)) || LeadingZero(text)) return false;
  constexpr std::string_view kLayerPunctuation = ",;()*+-?.";
  // A component's connections name at least one bond; one atom alone has
  // none listed at all. The library crashes on a lone atom number there.
  const auto lone_atom = [](std::string_view connections) {
    for (std::size_t begin = 0; begin <= connections.size();) {
      const std::size_t end = std::min(connections.find(';', begin), connections.size());
      std::string_view piece = connections.substr(begin, end - begin);
      if (const std::size_t star = piece.find('*'); star != std::string_view::npos) piece.remove_prefix(star + 1);
      if (!piece.empty() && piece.find_first_not_of("0123456789") == std::string_view::npos) return true;
      begin = end + 1;
    }
    return false;
  };
  LayerOrder order;
  // The main connection, hydrogen and charge layers have a part for each
  // component of the formula; the library corrupts its memory when they
  // do not.
  const std::size_t components = ComponentCount(text.substr(0, formula_end), '.', true);
  bool main_part = true;
  std::size_t start = formula_end;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('/', start + 1), text.size());
    const std::string_view layer = text.substr(start + 1, end - start - 1);
    if (layer.empty() || !order.Next(layer.front())) return false;
    if (layer.front() == 'c' && lone_atom(layer.substr(1))) return false;
    main_part = main_part && std::string_view("ifr").find(layer.front()) == std::string_view::npos;
    if (main_part && std::string_view("chq").find(layer.front()) != std::string_view::npos &&
        ComponentCount(layer.substr(1), ';', false) != components)
      return false;
    for (char c : layer)
      if (!alnum(c) && kLayerPunctuation.find(c) == std::string_view::npos) return false;
    start = end;
  }
  return true;
}

}  // namespace

bool QvParseInChI(QvMolBase& mol, std::string_view inchi, const char* title) {
  std::string text(inchi);
  if (!LooksLikeInChI(text)) {
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
