// Sequence to molecule: residues joined by peptide or phosphodiester bonds,
// Kekulé bond orders, then hydrogen counts from the standard valences and
// the stereo of the L-amino acids and D-sugars.
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "tamrin/formats/fasta/fasta.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/implicith.h"
#include "tamrin/perception/residues.h"
#include "tamrin/perception/residuetemplates.h"
#include "tamrin/perception/stereo.h"

namespace Tamrin {

namespace {

namespace templates = residue_templates;

constexpr unsigned C = 6, N = 7, O = 8, P = 15, Se = 34;

// One-letter codes and residue names.
struct Letter {
  char letter;
  std::string_view name;
};
constexpr Letter kAminoAcids[] = {{'A', "ALA"}, {'R', "ARG"}, {'N', "ASN"}, {'D', "ASP"}, {'C', "CYS"},
                                  {'Q', "GLN"}, {'E', "GLU"}, {'G', "GLY"}, {'H', "HIS"}, {'I', "ILE"},
                                  {'L', "LEU"}, {'K', "LYS"}, {'M', "MET"}, {'F', "PHE"}, {'P', "PRO"},
                                  {'S', "SER"}, {'T', "THR"}, {'W', "TRP"}, {'Y', "TYR"}, {'V', "VAL"},
                                  {'U', "SEC"}};

// The double bonds of the side chains (Kekulé forms; histidine with its
// hydrogen on NE2).
struct Double {
  std::string_view residue, a, b;
};
constexpr Double kDoubles[] = {
    {"PHE", " CG ", " CD1"}, {"PHE", " CE1", " CZ "}, {"PHE", " CE2", " CD2"}, {"TYR", " CG ", " CD1"},
    {"TYR", " CE1", " CZ "}, {"TYR", " CE2", " CD2"}, {"TRP", " CG ", " CD1"}, {"TRP", " CE2", " CZ2"},
    {"TRP", " CH2", " CZ3"}, {"TRP", " CE3", " CD2"}, {"HIS", " CG ", " CD2"}, {"HIS", " CE1", " ND1"},
    {"ASP", " CG ", " OD1"}, {"ASN", " CG ", " OD1"}, {"GLU", " CD ", " OE1"}, {"GLN", " CD ", " OE1"},
    {"ARG", " CZ ", " NH2"},
    // Bases.
    {"A", " C8 ", " N7 "},   {"A", " C6 ", " N1 "},   {"A", " C2 ", " N3 "},   {"A", " C4 ", " C5 "},
    {"G", " C8 ", " N7 "},   {"G", " C6 ", " O6 "},   {"G", " C2 ", " N3 "},   {"G", " C4 ", " C5 "},
    {"C", " C2 ", " O2 "},   {"C", " N3 ", " C4 "},   {"C", " C5 ", " C6 "},   {"U", " C2 ", " O2 "},
    {"U", " C4 ", " O4 "},   {"U", " C5 ", " C6 "},   {"T", " C2 ", " O2 "},   {"T", " C4 ", " O4 "},
    {"T", " C5 ", " C6 "}};

// A stereo centre as SMILES states it: the neighbours by atom name ("" for
// the hydrogen) looking from the first, and '@' or '@@'.
struct Centre {
  std::string_view residue;  // "*" for every amino acid but glycine, "sugar"
  std::array<std::string_view, 5> atoms;  // centre, then four neighbours
  QvChirality chirality;
};
constexpr auto kAcw = QvChirality::Anticlockwise;
constexpr auto kCw = QvChirality::Clockwise;
constexpr Centre kCentres[] = {
    // N[C@@H](R)C(=O)O: every L-amino acid.
    {"*", {" CA ", " N  ", "", " CB ", " C  "}, kCw},
    // CC[C@H](C)[C@H](N)C(=O)O and C[C@@H](O)[C@H](N)C(=O)O.
    {"ILE", {" CB ", " CG1", "", " CG2", " CA "}, kAcw},
    {"THR", {" CB ", " CG2", "", " OG1", " CA "}, kCw},
    // n[C@@H]1O[C@H](CO)[C@@H](O)[C@H]1O: beta-D-ribose; the 2' centre is
    // RNA's only.
    {"sugar", {" C1'", " N? ", "", " C2'", " O4'"}, kCw},
    {"sugar", {" C4'", " O4'", "", " C5'", " C3'"}, kAcw},
    {"sugar", {" C3'", " C4'", "", " O3'", " C2'"}, kCw},
    {"sugar", {" C2'", " C3'", "", " C1'", " O2'"}, kAcw},
};

// The atoms of one residue by name while it is built.
class Residue {
 public:
  Residue(QvMolBase& mol, QvResidue res) : mol_(mol), res_(std::move(res)) {}

  QvAtomBase* Add(std::string_view name, unsigned element) {
    QvAtomBase* atom = mol_.NewAtom(element);
    atom->SetName(std::string(name));
    QvSetResidue(*atom, res_);
    atoms_.push_back(atom);
    return atom;
  }
  QvAtomBase* Get(std::string_view name) const {
    for (QvAtomBase* atom : atoms_)
      if (name == atom->GetName()) return atom;
    return nullptr;
  }
  void Bond(std::string_view a, std::string_view b, unsigned order = 1) { mol_.NewBond(Get(a), Get(b), order); }
  const std::string& Name() const { return res_.name; }

 private:
  QvMolBase& mol_;
  QvResidue res_;
  std::vector<QvAtomBase*> atoms_;
};

void AddDoubles(QvMolBase& mol, const Residue& r, std::string_view template_name) {
  for (const Double& d : kDoubles)
    if (d.residue == template_name)
      if (QvBondBase* bond = mol.GetBond(r.Get(d.a), r.Get(d.b))) bond->SetOrder(2);
}

void AddStereo(const Residue& r, std::string_view kind, std::string_view base_n) {
  for (const Centre& c : kCentres) {
    if (c.residue != kind && !(c.residue == "*" && kind != "GLY" && kind != "sugar")) continue;
    QvAtomBase* centre = r.Get(c.atoms[0]);
    if (!centre) continue;
    std::array<const QvAtomBase*, 4> nbrs{};
    bool complete = true;
    for (unsigned k = 0; k < 4; ++k) {
      const std::string_view name = c.atoms[k + 1] == " N? " ? base_n : c.atoms[k + 1];
      if (name.empty()) continue;
      nbrs[k] = r.Get(name);
      complete = complete && nbrs[k];
    }
    if (complete) QvSetAtomStereo(*centre, nbrs, c.chirality);
  }
}

const templates::Residue* Template(std::span<const templates::Residue> list, std::string_view name) {
  for (const templates::Residue& t : list)
    if (t.name == name) return &t;
  return nullptr;
}

// The side chain from CB on, as residue perception knows it; selenocysteine
// is cysteine with selenium.
void AddSideChain(QvMolBase& mol, Residue& r, const templates::Residue& t, bool selenium) {
  std::vector<QvAtomBase*> made;
  for (const templates::Atom& a : t.atoms) {
    const bool se = selenium && a.name == " SG ";
    QvAtomBase* atom = r.Add(se ? "SE  " : a.name, se ? Se : a.element);
    made.push_back(atom);
    mol.NewBond(a.parent < 0 ? r.Get(" CA ") : made[a.parent], atom, 1);
    if (a.closure >= 0) mol.NewBond(made[a.closure], atom, 1);
    if (a.closure == -2) mol.NewBond(r.Get(" N  "), atom, 1);
  }
  AddDoubles(mol, r, t.name);
}

bool BuildPeptide(QvMolBase& mol, std::string_view seq, std::size_t& bad) {
  QvAtomBase* last_c = nullptr;
  std::vector<Residue> residues;
  residues.reserve(seq.size());
  for (std::size_t i = 0; i < seq.size(); ++i) {
    const Letter* letter = nullptr;
    for (const Letter& l : kAminoAcids)
      if (l.letter == seq[i]) letter = &l;
    if (!letter) {
      bad = i;
      return false;
    }
    const bool sec = letter->name == "SEC";
    const templates::Residue* t = Template(templates::AminoAcids(), sec ? "CYS" : letter->name);
    QvResidue res;
    res.name = letter->name;
    res.chain = "A";
    res.number = static_cast<int>(i + 1);
    Residue& r = residues.emplace_back(mol, res);
    QvAtomBase* n = r.Add(" N  ", N);
    r.Add(" CA ", C);
    QvAtomBase* c = r.Add(" C  ", C);
    r.Add(" O  ", O);
    r.Bond(" N  ", " CA ");
    r.Bond(" CA ", " C  ");
    r.Bond(" C  ", " O  ", 2);
    if (last_c) mol.NewBond(last_c, n, 1);
    if (t) AddSideChain(mol, r, *t, sec);
    last_c = c;
  }
  if (!residues.empty()) {
    residues.back().Add(" OXT", O);
    residues.back().Bond(" C  ", " OXT");
  }
  QvAssignImplicitHydrogens(mol);
  for (const Residue& r : residues) AddStereo(r, r.Name(), "");
  return true;
}

bool BuildNucleicAcid(QvMolBase& mol, std::string_view seq, QvFASTAKind kind, std::size_t& bad) {
  const bool dna = kind != QvFASTAKind::RNA;
  QvAtomBase* last_o3 = nullptr;
  std::vector<std::pair<Residue, std::string_view>> residues;  // with the base's glycosidic N
  residues.reserve(seq.size());
  for (std::size_t i = 0; i < seq.size(); ++i) {
    const char base = seq[i];
    if (std::string_view(dna ? "ACGTU" : "ACGU").find(base) == std::string_view::npos) {
      bad = i;
      return false;
    }
    // The base templates are filed under their DNA names.
    const std::string dna_name = std::string("D") + base;
    const templates::Residue* t = Template(templates::Bases(), dna_name);
    QvResidue res;
    res.name = dna ? dna_name : std::string(1, base);
    res.chain = "A";
    res.number = static_cast<int>(i + 1);
    auto& [r, glycosidic] = residues.emplace_back(Residue(mol, res), t->atoms.front().name);
    const bool phosphate = last_o3 || kind == QvFASTAKind::DNA5Phosphate;
    if (phosphate) {
      QvAtomBase* p = r.Add(" P  ", P);
      r.Add(" OP1", O);
      r.Add(" OP2", O);
      r.Bond(" P  ", " OP1", 2);
      r.Bond(" P  ", " OP2");
      if (last_o3) {
        mol.NewBond(last_o3, p, 1);
      } else {
        r.Add(" OP3", O);
        r.Bond(" P  ", " OP3");
      }
    }
    for (std::string_view name : {" O5'", " C5'", " C4'", " O4'", " C3'", " O3'", " C2'"})
      r.Add(name, name[1] == 'O' ? O : C);
    if (!dna) r.Add(" O2'", O);
    r.Add(" C1'", C);
    if (phosphate) r.Bond(" P  ", " O5'");
    r.Bond(" O5'", " C5'");
    r.Bond(" C5'", " C4'");
    r.Bond(" C4'", " O4'");
    r.Bond(" C4'", " C3'");
    r.Bond(" C3'", " O3'");
    r.Bond(" C3'", " C2'");
    if (!dna) r.Bond(" C2'", " O2'");
    r.Bond(" C2'", " C1'");
    r.Bond(" C1'", " O4'");
    // The base: a tree from its glycosidic N with ring closures.
    std::vector<QvAtomBase*> made;
    for (const templates::Atom& a : t->atoms) {
      QvAtomBase* atom = r.Add(a.name, a.element);
      mol.NewBond(a.parent < 0 ? r.Get(" C1'") : made[a.parent], atom, 1);
      if (a.closure >= 0) mol.NewBond(made[a.closure], atom, 1);
      made.push_back(atom);
    }
    AddDoubles(mol, r, std::string_view(&base, 1));
    last_o3 = r.Get(" O3'");
  }
  QvAssignImplicitHydrogens(mol);
  for (const auto& [r, glycosidic] : residues) AddStereo(r, "sugar", glycosidic);
  return true;
}

}  // namespace

bool QvBuildSequence(QvMolBase& mol, std::string_view sequence, QvFASTAKind kind, std::size_t& bad) {
  const bool ok = kind == QvFASTAKind::Protein ? BuildPeptide(mol, sequence, bad)
                                               : BuildNucleicAcid(mol, sequence, kind, bad);
  if (!ok) return false;
  unsigned serial = 0;
  for (QvAtomBase& atom : mol.GetAtoms())
    if (QvResidue* res = QvMutableResidue(atom)) res->serial = static_cast<int>(++serial);
  QvPerceiveResidueHierarchy(mol, true);
  return true;
}

}  // namespace Tamrin
