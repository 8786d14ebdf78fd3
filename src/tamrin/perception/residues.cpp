#include "tamrin/perception/residues.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "sorvil/error/errorhandler.h"
#include "tamrin/chem/elements.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/perceived.h"
#include "tamrin/model/residue.h"
#include "tamrin/perception/residuetemplates.h"
#include "tamrin/perception/stereo.h"

namespace Tamrin {

namespace {

bool Bonded(const QvMolBase& mol, const QvResidue& a, const QvResidue& b, const QvAtomBase& atom_b) {
  for (const QvBondBase* bond : atom_b.BondList()) {
    if (bond->IsDeleted()) continue;
    const QvAtomBase* nbr = bond->GetNbr(&atom_b);
    const QvResidue* other = nbr ? QvGetResidue(*nbr) : nullptr;
    if (other && other->SameResidue(a)) return true;
  }
  // Atoms of one residue need not all be bonded across; look at the whole
  // residue `b` only when the first atom had no such bond.
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const QvResidue* res = QvGetResidue(atom);
    if (!res || &atom == &atom_b || !res->SameResidue(b)) continue;
    for (const QvBondBase* bond : atom.BondList()) {
      if (bond->IsDeleted()) continue;
      const QvAtomBase* nbr = bond->GetNbr(&atom);
      const QvResidue* other = nbr ? QvGetResidue(*nbr) : nullptr;
      if (other && other->SameResidue(a)) return true;
    }
  }
  return false;
}

}  // namespace

// Residues are changed where they lie, in the atoms' data, so the previous
// atom's stays in place to compare with.
void QvPerceiveResidueHierarchy(QvMolBase& mol, bool force) {
  if (!force && mol.HasPerceived(QvPerceivedResidues)) return;
  const QvResidue* last = nullptr;
  int fragment = 1;
  int serial = 0;
  for (QvAtomBase& atom : mol.GetAtoms()) {
    QvResidue* res = QvMutableResidue(atom);
    if (!res) continue;
    // Consecutive atoms mostly share a residue: what it decides is carried
    // over, and the name is looked up once per run of one name.
    if (last && res->SameResidue(*last)) {
      res->hetero = last->hetero;
    } else {
      res->hetero = last && res->name == last->name ? last->hetero : !QvIsStandardResidueName(res->name);
      if (last) {
        const bool new_chain = res->chain != last->chain || res->model != last->model;
        const bool polymer_ends = res->hetero && !last->hetero && !Bonded(mol, *last, *res, atom);
        if (new_chain || polymer_ends) {
          ++fragment;
          ++serial;
        }
      }
    }
    res->fragment = fragment;
    if (res->serial <= 0) res->serial = serial + 1;
    serial = res->serial;
    last = res;
  }
  mol.SetPerceived(QvPerceivedResidues, true);
}

}  // namespace Tamrin

namespace Tamrin {

namespace {

namespace rt = residue_templates;

bool Heavy(const QvAtomBase& atom) { return atom.GetAtomicNum() != 1; }

template <class F>
void ForEachHeavyNbr(const QvAtomBase& atom, F f) {
  for (const QvBondBase* bond : atom.BondList()) {
    if (bond->IsDeleted()) continue;
    QvAtomBase* nbr = bond->GetNbr(&atom);
    if (nbr && Heavy(*nbr)) f(*nbr);
  }
}

unsigned HeavyDegree(const QvAtomBase& atom) {
  unsigned n = 0;
  ForEachHeavyNbr(atom, [&n](const QvAtomBase&) { ++n; });
  return n;
}

// Template matching by depth-first search: each template atom is looked for
// among the unused neighbours of the atom its parent matched.
class Matcher {
 public:
  Matcher(const QvMolBase& mol, std::vector<char>& used) : mol_(mol), used_(used) {}

  // `root`, when given, is taken as the first template atom.
  bool Match(std::span<const rt::Atom> atoms, const QvAtomBase* anchor, const QvAtomBase* backbone_n,
             const QvAtomBase* root = nullptr) {
    atoms_ = atoms;
    anchor_ = anchor;
    backbone_n_ = backbone_n;
    got_.assign(atoms.size(), nullptr);
    if (!root) return Next(0);
    if (root->GetAtomicNum() != atoms[0].element || used_[root->GetIdx()]) return false;
    got_[0] = root;
    used_[root->GetIdx()] = 1;
    if (Next(1)) return true;
    used_[root->GetIdx()] = 0;
    return false;
  }

  // Every heavy neighbour of a matched atom is matched, the anchor, the
  // backbone N, or (for `bridge` elements) an atom of the same element
  // outside, as in a disulfide.
  bool Complete(unsigned bridge = 0) const {
    for (const QvAtomBase* atom : got_) {
      bool ok = true;
      ForEachHeavyNbr(*atom, [&](const QvAtomBase& nbr) {
        if (&nbr == anchor_ || &nbr == backbone_n_ || std::find(got_.begin(), got_.end(), &nbr) != got_.end()) return;
        if (bridge && atom->GetAtomicNum() == bridge && nbr.GetAtomicNum() == bridge) return;
        ok = false;
      });
      if (!ok) return false;
    }
    return true;
  }

  void Release() {
    for (const QvAtomBase* atom : got_)
      if (atom) used_[atom->GetIdx()] = 0;
  }

  const std::vector<const QvAtomBase*>& Got() const { return got_; }

 private:
  bool Next(std::size_t i) {
    if (i == atoms_.size()) return true;
    const rt::Atom& t = atoms_[i];
    const QvAtomBase* parent = t.parent < 0 ? anchor_ : got_[t.parent];
    if (!parent) return false;
    bool found = false;
    ForEachHeavyNbr(*parent, [&](const QvAtomBase& nbr) {
      if (found || nbr.GetAtomicNum() != t.element || used_[nbr.GetIdx()] || &nbr == anchor_ || &nbr == backbone_n_)
        return;
      if (t.closure >= 0 && !nbr.IsConnected(got_[t.closure])) return;
      if (t.closure == -2 && !(backbone_n_ && nbr.IsConnected(backbone_n_))) return;
      got_[i] = &nbr;
      used_[nbr.GetIdx()] = 1;
      if (Next(i + 1)) {
        found = true;
        return;
      }
      used_[nbr.GetIdx()] = 0;
      got_[i] = nullptr;
    });
    return found;
  }

  [[maybe_unused]] const QvMolBase& mol_;
  std::vector<char>& used_;
  std::span<const rt::Atom> atoms_;
  const QvAtomBase* anchor_ = nullptr;
  const QvAtomBase* backbone_n_ = nullptr;
  std::vector<const QvAtomBase*> got_;
};

// A recognised residue: its atoms with their names, and the atoms that link
// it to its neighbours in the chain (N and C, or P and O3').
struct Found {
  std::string name;
  std::vector<std::pair<QvAtomBase*, std::string_view>> atoms;
  const QvAtomBase* head = nullptr;  // N, or P (null at a 5' end without phosphate)
  const QvAtomBase* tail = nullptr;  // C, or O3'
  unsigned lowest = 0;               // the lowest atom index, for ordering chains
};

double Volume(const QvMolBase& mol, const QvAtomBase& centre, const QvAtomBase& a, const QvAtomBase& b,
              const QvAtomBase& c) {
  double o[3], p[3], q[3], r[3];
  mol.GetCoords(&centre, o);
  mol.GetCoords(&a, p);
  mol.GetCoords(&b, q);
  mol.GetCoords(&c, r);
  for (int k = 0; k < 3; ++k) {
    p[k] -= o[k];
    q[k] -= o[k];
    r[k] -= o[k];
  }
  return p[0] * (q[1] * r[2] - q[2] * r[1]) - p[1] * (q[0] * r[2] - q[2] * r[0]) + p[2] * (q[0] * r[1] - q[1] * r[0]);
}

// D-amino acids by the 3D layout, else by the atom stereo; a centre with
// neither is taken as L, as nature has it.
bool IsD(const QvMolBase& mol, const QvAtomBase& ca, const QvAtomBase& n, const QvAtomBase& c, const QvAtomBase& cb) {
  // L-residues of real structures all have a positive volume here.
  if (mol.GetDimension() == 3) return Volume(mol, ca, n, c, cb) < 0.0;
  const QvAtomBase* h = nullptr;
  for (const QvBondBase* bond : ca.BondList())
    if (const QvAtomBase* nbr = bond->IsDeleted() ? nullptr : bond->GetNbr(&ca); nbr && nbr->GetAtomicNum() == 1) h = nbr;
  const std::array<const QvAtomBase*, 4> order = {&n, h, &cb, &c};
  // N[C@@H](C)C(=O)O is L-alanine: from N, the hydrogen, CB and C run clockwise.
  return QvGetAtomStereo(ca, order) == QvChirality::Anticlockwise;
}

void FindAminoAcids(QvMolBase& mol, std::vector<char>& used, std::vector<Found>& found) {
  Matcher matcher(mol, used);
  for (QvAtomBase& ca : mol.GetAtoms()) {
    if (ca.GetAtomicNum() != 6 || used[ca.GetIdx()]) continue;
    std::vector<QvAtomBase*> nbrs;
    ForEachHeavyNbr(ca, [&](QvAtomBase& nbr) { nbrs.push_back(&nbr); });
    if (nbrs.size() < 2 || nbrs.size() > 3) continue;
    auto backbone = [&]() {
    for (QvAtomBase* n : nbrs) {
      if (n->GetAtomicNum() != 7 || used[n->GetIdx()]) continue;
      for (QvAtomBase* c : nbrs) {
        if (c->GetAtomicNum() != 6 || c == n || used[c->GetIdx()] || HeavyDegree(*c) > 3) continue;
        // The carbonyl O (a double bond when orders are known), then OXT.
        QvAtomBase* o = nullptr;
        QvAtomBase* oxt = nullptr;
        for (const QvBondBase* bond : c->BondList()) {
          QvAtomBase* nbr = bond->IsDeleted() ? nullptr : bond->GetNbr(c);
          if (!nbr || nbr->GetAtomicNum() != 8 || HeavyDegree(*nbr) != 1) continue;
          if (!o || (bond->GetOrder() == 2 && mol.GetBond(c, o)->GetOrder() != 2)) {
            oxt = o;
            o = nbr;
          } else {
            oxt = nbr;
          }
        }
        if (!o) continue;
        used[ca.GetIdx()] = used[n->GetIdx()] = used[c->GetIdx()] = used[o->GetIdx()] = 1;
        if (oxt) used[oxt->GetIdx()] = 1;
        const rt::Residue* match = nullptr;
        for (const rt::Residue& r : rt::AminoAcids()) {
          if (r.atoms.empty() ? nbrs.size() == 2 : matcher.Match(r.atoms, &ca, n) && matcher.Complete(16)) {
            match = &r;
            break;
          }
          if (!r.atoms.empty()) matcher.Release();
        }
        if (!match) {
          used[ca.GetIdx()] = used[n->GetIdx()] = used[c->GetIdx()] = used[o->GetIdx()] = 0;
          if (oxt) used[oxt->GetIdx()] = 0;
          continue;
        }
        Found f;
        const bool d = !match->atoms.empty() && IsD(mol, ca, *n, *c, *matcher.Got()[0]);
        f.name = d ? match->other_name : match->name;
        f.atoms = {{n, " N  "}, {&ca, " CA "}, {c, " C  "}, {o, " O  "}};
        if (oxt) f.atoms.emplace_back(oxt, " OXT");
        for (std::size_t i = 0; i < match->atoms.size(); ++i)
          f.atoms.emplace_back(const_cast<QvAtomBase*>(matcher.Got()[i]), match->atoms[i].name);
        f.head = n;
        f.tail = c;
        found.push_back(std::move(f));
        return true;
      }
    }
    return false;
    };
    backbone();
  }
}

constexpr rt::Atom kSugar[] = {{" C1'", 6, -1},   {" O4'", 8, 0}, {" C4'", 6, 1}, {" C3'", 6, 2},
                               {" C2'", 6, 3, 0}, {" O3'", 8, 3}, {" C5'", 6, 2}, {" O5'", 8, 6}};

void FindNucleotides(QvMolBase& mol, std::vector<char>& used, std::vector<Found>& found) {
  Matcher sugar(mol, used), base(mol, used);
  for (QvAtomBase& c1 : mol.GetAtoms()) {
    if (c1.GetAtomicNum() != 6 || used[c1.GetIdx()]) continue;
    if (!sugar.Match(kSugar, nullptr, nullptr, &c1)) continue;
    const rt::Residue* match = nullptr;
    for (const rt::Residue& r : rt::Bases()) {
      if (base.Match(r.atoms, &c1, nullptr) && base.Complete()) {
        match = &r;
        break;
      }
      base.Release();
    }
    if (!match) {
      sugar.Release();
      continue;
    }
    Found f;
    const auto& s = sugar.Got();
    for (std::size_t i = 0; i < s.size(); ++i) f.atoms.emplace_back(const_cast<QvAtomBase*>(s[i]), kSugar[i].name);
    for (std::size_t i = 0; i < match->atoms.size(); ++i)
      f.atoms.emplace_back(const_cast<QvAtomBase*>(base.Got()[i]), match->atoms[i].name);
    // O2' makes it RNA; the phosphate on O5' belongs to this residue.
    bool rna = false;
    ForEachHeavyNbr(*s[4], [&](QvAtomBase& nbr) {
      if (!rna && nbr.GetAtomicNum() == 8 && !used[nbr.GetIdx()] && HeavyDegree(nbr) == 1) {
        rna = true;
        used[nbr.GetIdx()] = 1;
        f.atoms.emplace_back(&nbr, " O2'");
      }
    });
    ForEachHeavyNbr(*s[7], [&](QvAtomBase& p) {
      if (p.GetAtomicNum() != 15 || used[p.GetIdx()]) return;
      used[p.GetIdx()] = 1;
      f.atoms.emplace_back(&p, " P  ");
      f.head = &p;
      static constexpr std::string_view kOP[] = {" OP1", " OP2", " OP3"};
      std::size_t k = 0;
      ForEachHeavyNbr(p, [&](QvAtomBase& o) {
        if (k < 3 && o.GetAtomicNum() == 8 && !used[o.GetIdx()] && HeavyDegree(o) == 1) {
          used[o.GetIdx()] = 1;
          f.atoms.emplace_back(&o, kOP[k++]);
        }
      });
    });
    f.name = rna && !match->other_name.empty() ? match->other_name : match->name;
    f.tail = s[5];
    found.push_back(std::move(f));
  }
}

// " C1 ", "CL12": the element right-aligned in two columns, then the count.
std::string HeteroName(unsigned z, unsigned count) {
  std::string symbol = QvGetAtomicSymbol(z);
  if (symbol.empty()) symbol = "X";
  for (char& c : symbol) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string name = symbol.size() == 1 ? " " + symbol : symbol;
  if (count < 1000) name += std::to_string(count);
  name.resize(4, ' ');
  return name.substr(0, 4);
}

}  // namespace

void QvPerceiveResidues(QvMolBase& mol, unsigned options) {
  std::vector<char> used(mol.GetMaxAtomIdx() + 1, 0);
  for (QvAtomBase& atom : mol.GetAtoms())
    if (atom.GetAtomicNum() == 1) used[atom.GetIdx()] = 1;  // named after their heavy atoms
  std::vector<Found> found;
  if (options & QvResidueOption::AminoAcids) FindAminoAcids(mol, used, found);
  if (options & QvResidueOption::NucleicAcids) FindNucleotides(mol, used, found);

  // Chains: a residue follows the one whose tail (C, O3') bonds to its head.
  std::vector<int> residue_of(mol.GetMaxAtomIdx() + 1, -1);
  for (std::size_t r = 0; r < found.size(); ++r) {
    found[r].lowest = found[r].atoms.front().first->GetIdx();
    for (const auto& [atom, name] : found[r].atoms) {
      residue_of[atom->GetIdx()] = static_cast<int>(r);
      found[r].lowest = std::min(found[r].lowest, atom->GetIdx());
    }
  }
  std::vector<int> next(found.size(), -1), prev(found.size(), -1);
  for (std::size_t r = 0; r < found.size(); ++r) {
    if (!found[r].head) continue;
    ForEachHeavyNbr(*found[r].head, [&](const QvAtomBase& nbr) {
      const int s = residue_of[nbr.GetIdx()];
      if (s >= 0 && s != static_cast<int>(r) && found[s].tail == &nbr && next[s] < 0 && prev[r] < 0) {
        next[s] = static_cast<int>(r);
        prev[r] = s;
      }
    });
  }
  std::vector<std::size_t> starts;
  for (std::size_t r = 0; r < found.size(); ++r)
    if (prev[r] < 0) starts.push_back(r);
  auto by_first = [&](std::size_t a, std::size_t b) { return found[a].lowest < found[b].lowest; };
  std::sort(starts.begin(), starts.end(), by_first);
  std::vector<char> placed(found.size(), 0);
  auto chain_id = [](unsigned i) {
    static constexpr std::string_view kIDs = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    return i < kIDs.size() ? std::string(1, kIDs[i]) : "X" + std::to_string(i);
  };
  unsigned chains = 0;
  int last_number = 0;
  auto place_chain = [&](std::size_t start) {
    const std::string chain = chain_id(chains++);
    int number = 0;
    for (int r = static_cast<int>(start); r >= 0 && !placed[r]; r = next[r]) {
      placed[r] = 1;
      QvResidue res;
      res.name = found[r].name;
      res.chain = chain;
      res.number = ++number;
      for (const auto& [atom, name] : found[r].atoms) {
        atom->SetName(std::string(name));
        QvSetResidue(*atom, res);
      }
    }
    last_number = number;
  };
  for (std::size_t r : starts) place_chain(r);
  // What is left is cyclic: each ring from its lowest residue.
  std::vector<std::size_t> rest;
  for (std::size_t r = 0; r < found.size(); ++r)
    if (!placed[r]) rest.push_back(r);
  std::sort(rest.begin(), rest.end(), by_first);
  for (std::size_t r : rest)
    if (!placed[r]) place_chain(r);

  if (options & QvResidueOption::Hetero) {
    const std::string chain = chain_id(chains == 0 ? 0 : chains - 1);
    std::vector<QvAtomBase*> stack;
    for (QvAtomBase& seed : mol.GetAtoms()) {
      if (QvGetResidue(seed) || (seed.GetAtomicNum() == 1 && [&] {
            bool on_named = false;
            ForEachHeavyNbr(seed, [&](const QvAtomBase& nbr) { on_named = on_named || QvGetResidue(nbr); });
            return on_named;
          }()))
        continue;
      // One hetero residue per connected piece of unnamed atoms.
      std::vector<QvAtomBase*> piece;
      QvResidue res;
      res.chain = chain;
      res.number = ++last_number;
      res.hetero = true;
      QvSetResidue(seed, res);
      stack.assign(1, &seed);
      while (!stack.empty()) {
        QvAtomBase* atom = stack.back();
        stack.pop_back();
        piece.push_back(atom);
        for (const QvBondBase* bond : atom->BondList()) {
          QvAtomBase* nbr = bond->IsDeleted() ? nullptr : bond->GetNbr(atom);
          if (!nbr || QvGetResidue(*nbr)) continue;
          QvSetResidue(*nbr, res);
          stack.push_back(nbr);
        }
      }
      std::sort(piece.begin(), piece.end(), [](auto* a, auto* b) { return a->GetIdx() < b->GetIdx(); });
      unsigned heavy = 0, oxygens = 0;
      for (const QvAtomBase* atom : piece) {
        heavy += Heavy(*atom);
        oxygens += atom->GetAtomicNum() == 8;
      }
      res.name = heavy == 1 && oxygens == 1 ? "HOH" : "UNL";
      std::array<unsigned, QvMaxAtomicNum + 1> counts{};
      for (QvAtomBase* atom : piece) {
        QvSetResidue(*atom, res);
        if (!Heavy(*atom)) continue;
        const unsigned z = std::min(atom->GetAtomicNum(), QvMaxAtomicNum);
        atom->SetName(res.name == "HOH" ? " O  " : HeteroName(z, ++counts[z]));
      }
    }
  }

  if (options & QvResidueOption::Hydrogens) {
    bool stop = false;
    for (QvAtomBase& heavy : mol.GetAtoms()) {
      if (stop || !Heavy(heavy) || !QvGetResidue(heavy)) continue;
      std::vector<QvAtomBase*> hs;
      for (const QvBondBase* bond : heavy.BondList()) {
        QvAtomBase* nbr = bond->IsDeleted() ? nullptr : bond->GetNbr(&heavy);
        if (nbr && nbr->GetAtomicNum() == 1) hs.push_back(nbr);
      }
      if (hs.size() > 9) {
        Sorvil::QvErrorHandler::Warning("Can't create PDB name when there are more than 9 hydrogens on an atom.");
        stop = true;
        continue;
      }
      const std::string_view heavy_name = heavy.GetName();
      std::string tail = heavy_name.size() == 4 ? std::string(heavy_name.substr(2, 2)) : "  ";
      if (heavy_name == " C  ") tail = "' ";
      for (std::size_t i = 0; i < hs.size(); ++i) {
        const unsigned isotope = hs[i]->GetIsotope();
        std::string name(1, hs.size() > 1 ? static_cast<char>('1' + i) : ' ');
        name += isotope == 2 ? 'D' : isotope == 3 ? 'T' : 'H';
        name += tail;
        hs[i]->SetName(name);
        QvSetResidue(*hs[i], *QvGetResidue(heavy));
      }
    }
  }
  QvPerceiveResidueHierarchy(mol, true);
}

}  // namespace Tamrin
