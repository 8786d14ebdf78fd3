// Test-only builder for the perception tests: a small SMILES reader that
// makes molecules through the model API the way the real parser does
// (aromatic bonds left at order 5, implicit hydrogens by the parser's rule),
// so that these tests do not depend on the format code. Chirality marks and
// "/" "\" are read and ignored; anything it does not know fails the test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tamrin/chem/elements.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/stereo.h"

namespace perception_test {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

class MiniSmiles {
 public:
  MiniSmiles(QvMolBase& mol, const std::string& text) : mol_(mol), text_(text) {}

  bool Parse() {
    while (pos_ < text_.size() && ok_) Step();
    if (open_rings_ != 0 || !branches_.empty()) ok_ = false;
    if (ok_) AssignHydrogens();
    return ok_;
  }

 private:
  void Step() {
    const char c = text_[pos_];
    if (std::strchr("-=#$:", c)) {
      order_ = std::string("-=#$:").find(c) + 1;
      ++pos_;
    } else if (c == '/' || c == '\\') {
      ++pos_;
    } else if (c == '(') {
      branches_.push_back(prev_);
      ++pos_;
    } else if (c == ')') {
      ok_ = !branches_.empty();
      if (ok_) prev_ = branches_.back(), branches_.pop_back();
      ++pos_;
    } else if (c == '.') {
      prev_ = nullptr;
      ++pos_;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '%') {
      RingClosure();
    } else if (c == '[') {
      Bracket();
    } else {
      Organic();
    }
  }

  void Organic() {
    static const char* const symbols[] = {"Cl", "Br", "B", "C", "N", "O", "P", "S", "F", "I",
                                          "b", "c", "n", "o", "p", "s", "*"};
    for (const char* sym : symbols) {
      if (text_.compare(pos_, std::strlen(sym), sym) != 0) continue;
      pos_ += std::strlen(sym);
      const bool aromatic = std::islower(static_cast<unsigned char>(sym[0]));
      std::string upper(sym);
      upper[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[0])));
      AddAtom(sym[0] == '*' ? 0 : Tamrin::QvGetAtomicNum(upper), aromatic, false);
      return;
    }
    ok_ = false;
  }

  unsigned Number() {
    unsigned value = 0;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])))
      value = value * 10 + static_cast<unsigned>(text_[pos_++] - '0');
    return value;
  }

  void Bracket() {
    ++pos_;
    const unsigned isotope = Number();
    size_t len = 1;
    if (pos_ + 1 < text_.size() && std::islower(static_cast<unsigned char>(text_[pos_ + 1])) &&
        Tamrin::QvGetAtomicNum(text_.substr(pos_, 2)) != 0 && text_[pos_] != 'c' && text_[pos_] != 'n' &&
        text_[pos_] != 'o' && text_[pos_] != 'p')
      len = 2;
    const std::string sym = text_.substr(pos_, len);
    pos_ += len;
    const bool aromatic = std::islower(static_cast<unsigned char>(sym[0]));
    const unsigned z = sym == "*" ? 0 : Tamrin::QvGetAtomicNum(sym);
    ok_ = z != 0 || sym == "*";
    QvAtomBase* atom = AddAtom(z, aromatic, true);
    atom->SetIsotope(isotope);
    while (pos_ < text_.size() && text_[pos_] == '@') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == 'H') {
      ++pos_;
      const bool digits = pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]));
      atom->SetImplicitHCount(digits ? Number() : 1);
    }
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
      const int sign = text_[pos_++] == '+' ? 1 : -1;
      int count = 1;
      while (pos_ < text_.size() && text_[pos_] == (sign > 0 ? '+' : '-')) ++count, ++pos_;
      if (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])))
        count = static_cast<int>(Number());
      atom->SetFormalCharge(sign * count);
    }
    if (pos_ < text_.size() && text_[pos_] == ':') {
      ++pos_;
      atom->SetMapIdx(Number());
    }
    ok_ = ok_ && pos_ < text_.size() && text_[pos_] == ']';
    ++pos_;
  }

  unsigned DefaultOrder(const QvAtomBase* a, const QvAtomBase* b) const {
    return order_ ? order_ : (a->IsAromatic() && b->IsAromatic() ? 5 : 1);
  }

  QvAtomBase* AddAtom(unsigned z, bool aromatic, bool bracket) {
    QvAtomBase* atom = mol_.NewAtom(z);
    atom->SetAromatic(aromatic);
    if (prev_) mol_.NewBond(prev_, atom, DefaultOrder(prev_, atom));
    order_ = 0;
    if (!bracket) organic_.push_back(atom);
    prev_ = atom;
    return atom;
  }

  void RingClosure() {
    unsigned n = 0;
    if (text_[pos_] == '%') {
      ++pos_;
      n = static_cast<unsigned>((text_[pos_] - '0') * 10 + (text_[pos_ + 1] - '0'));
      pos_ += 2;
    } else {
      n = static_cast<unsigned>(text_[pos_++] - '0');
    }
    if (!prev_) {
      ok_ = false;
      return;
    }
    Ring& ring = rings_[n];
    if (!ring.atom) {
      ring = {prev_, order_};
      ++open_rings_;
    } else {
      const unsigned order = ring.order ? ring.order : DefaultOrder(ring.atom, prev_);
      ok_ = mol_.NewBond(ring.atom, prev_, order) != nullptr;
      ring = {};
      --open_rings_;
    }
    order_ = 0;
  }

  // The parser's rule for atoms written without brackets.
  void AssignHydrogens() {
    for (QvAtomBase* atom : organic_) {
      unsigned s = 0;
      for (const QvBondBase& bond : atom->GetBonds()) s += bond.GetOrder() == 5 ? 3 : 2 * bond.GetOrder();
      if (s >= 12) continue;
      atom->SetImplicitHCount(Hydrogens(*atom, s));
    }
  }

  static unsigned Below(unsigned target, unsigned v) { return target > v ? target - v : 0; }

  static unsigned Hydrogens(const QvAtomBase& atom, unsigned s) {
    const unsigned v = s / 2;
    const bool arom = atom.IsAromatic();
    switch (atom.GetAtomicNum()) {
      case 5: return Below(3, v);
      case 6:
        if (!arom) return Below(4, v);
        if (s == 0) return 3;
        if (s <= 3) return 2;
        if (s == 4) return atom.GetExplicitDegree() == 1 ? 2 : 1;
        if (s == 5) return 1;
        return Below(4, v);
      case 7: case 15:
        if (arom) return s == 0 ? 2 : (s >= 2 && s <= 4) ? 1 : 0;
        return Below(v >= 4 ? 5 : 3, v);
      case 8: return arom ? 0 : Below(2, v);
      case 9: case 17: case 35: case 53: return Below(1, v);
      case 16: return arom ? 0 : Below(v <= 2 ? 2 : v <= 4 ? 4 : 6, v);
      default: return 0;
    }
  }

  struct Ring {
    QvAtomBase* atom = nullptr;
    unsigned order = 0;
  };

  QvMolBase& mol_;
  const std::string text_;
  size_t pos_ = 0;
  bool ok_ = true;
  unsigned order_ = 0;
  QvAtomBase* prev_ = nullptr;
  std::vector<QvAtomBase*> branches_;
  std::vector<QvAtomBase*> organic_;
  Ring rings_[100];
  unsigned open_rings_ = 0;
};

// Adds the molecule of `smiles` to `mol`; aromatic bonds stay at order 5.
inline bool ParseInto(QvMolBase& mol, const std::string& smiles) { return MiniSmiles(mol, smiles).Parse(); }

// A molecule from `smiles`, kekulized; a parse or kekulization failure fails
// the calling test.
inline QvGraphMol Mol(const std::string& smiles) {
  QvGraphMol mol;
  EXPECT_TRUE(ParseInto(mol, smiles)) << smiles;
  EXPECT_TRUE(Tamrin::QvKekulize(mol)) << smiles;
  return mol;
}

// Names parametrised cases after their `name` field.
struct CaseName {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P>& info) const {
    return info.param.name;
  }
};

// The atom at list position `pos`.
inline QvAtomBase* AtomAt(const QvMolBase& mol, unsigned pos) { return mol.AtomList().at(pos); }

// Stereo is stored relative to atom indices, so a copy made atom by atom
// states it again in its own terms.
template <class CopyOf>
void CopyStereo(const std::vector<QvAtomBase*>& atoms, const std::vector<QvAtomBase*>& map, CopyOf copy_of,
                QvMolBase& out) {
  for (size_t i = 0; i < atoms.size(); ++i) {
    Tamrin::QvClearAtomStereo(*map[i]);
    if (!Tamrin::QvHasAtomStereo(*atoms[i])) continue;
    std::vector<const QvAtomBase*> nbrs, mapped;
    if (atoms[i]->GetExplicitDegree() == 3) nbrs.push_back(nullptr);
    for (const QvAtomBase& nbr : atoms[i]->GetAtoms()) nbrs.push_back(&nbr);
    for (const QvAtomBase* nbr : nbrs) mapped.push_back(nbr ? copy_of(nbr) : nullptr);
    EXPECT_TRUE(Tamrin::QvSetAtomStereo(*map[i], mapped, Tamrin::QvGetAtomStereo(*atoms[i], nbrs)));
  }
  for (const QvAtomBase* atom : atoms)
    for (const QvBondBase& bond : atom->GetBonds()) {
      if (bond.GetBgn() != atom || !Tamrin::QvHasBondStereo(bond)) continue;
      const QvAtomBase* ref_bgn = nullptr;
      const QvAtomBase* ref_end = nullptr;
      for (const QvAtomBase& nbr : bond.GetBgn()->GetAtoms())
        if (&nbr != bond.GetEnd()) ref_bgn = &nbr;
      for (const QvAtomBase& nbr : bond.GetEnd()->GetAtoms())
        if (&nbr != bond.GetBgn()) ref_end = &nbr;
      QvBondBase* copy = out.GetBond(copy_of(bond.GetBgn()), copy_of(bond.GetEnd()));
      const QvAtomBase* copy_bgn = copy_of(bond.GetBgn());
      // The copy's bond may run the other way.
      const bool same = copy->GetBgn() == copy_bgn;
      const QvAtomBase* a = ref_bgn ? copy_of(ref_bgn) : nullptr;
      const QvAtomBase* b = ref_end ? copy_of(ref_end) : nullptr;
      EXPECT_TRUE(Tamrin::QvSetBondStereo(*copy, same ? a : b, same ? b : a,
                                          Tamrin::QvGetBondStereo(bond, ref_bgn, ref_end)));
    }
}

// A copy of `mol` whose atoms and bonds are created in a random order and
// whose bonds have random directions; aromatic flags, ring flags and orders
// are copied. `map[i]` is the copy of the source atom at list position i.
inline QvGraphMol Permuted(const QvMolBase& mol, std::mt19937& rng, std::vector<QvAtomBase*>& map) {
  std::vector<QvAtomBase*> atoms;
  for (QvAtomBase* atom : mol.AtomList())
    if (!atom->IsDeleted()) atoms.push_back(atom);
  std::vector<unsigned> order(atoms.size());
  std::iota(order.begin(), order.end(), 0u);
  std::shuffle(order.begin(), order.end(), rng);
  QvGraphMol out;
  map.assign(atoms.size(), nullptr);
  for (const unsigned i : order) map[i] = out.NewAtom(*atoms[i]);
  std::vector<QvBondBase*> bonds;
  for (QvBondBase* bond : mol.BondList())
    if (!bond->IsDeleted()) bonds.push_back(bond);
  std::shuffle(bonds.begin(), bonds.end(), rng);
  const auto copy_of = [&](const QvAtomBase* atom) {
    return map[static_cast<size_t>(std::find(atoms.begin(), atoms.end(), atom) - atoms.begin())];
  };
  for (const QvBondBase* bond : bonds) {
    QvAtomBase* a = copy_of(bond->GetBgn());
    QvAtomBase* b = copy_of(bond->GetEnd());
    if (rng() & 1) std::swap(a, b);
    QvBondBase* copy = out.NewBond(a, b, bond->GetOrder());
    copy->SetAromatic(bond->IsAromatic());
    copy->SetInRing(bond->IsInRing());
  }
  CopyStereo(atoms, map, copy_of, out);
  return out;
}

inline unsigned CountAromaticAtoms(const QvMolBase& mol) {
  unsigned n = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) n += atom.IsAromatic();
  return n;
}

inline unsigned CountAromaticBonds(const QvMolBase& mol) {
  unsigned n = 0;
  for (const QvBondBase& bond : mol.GetBonds()) n += bond.IsAromatic();
  return n;
}

}  // namespace perception_test
