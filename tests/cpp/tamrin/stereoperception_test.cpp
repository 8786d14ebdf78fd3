#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "perception_test_support.h"
#include "tamrin/formats/mdl/mdlparity.h"
#include "tamrin/perception/stereoperception.h"

namespace {

using namespace perception_test;
using Tamrin::QvBondConfig;
using Tamrin::QvChirality;
using Tamrin::QvGetAtomStereo;
using Tamrin::QvGetBondStereo;
using Tamrin::QvStereoGroup;
using Tamrin::QvStereoGroupKind;
using Nbrs = std::vector<const QvAtomBase*>;
constexpr auto kAnti = QvChirality::Anticlockwise;
constexpr auto kClock = QvChirality::Clockwise;
constexpr auto kNone = QvChirality::None;

// Which atoms and bonds are stereo candidates (positions in SMILES order;
// double bonds by their end atoms).
TEST(StereoCandidates, AreExactlyTheStereoElements) {
  const struct {
    const char* smiles;
    std::vector<unsigned> atoms;
    std::vector<std::pair<unsigned, unsigned>> bonds;
  } cases[] = {
      {"FC(Cl)Br", {1}, {}}, {"CC(C)O", {}, {}}, {"CCC(C)O", {2}, {}}, {"CS(=O)CC", {1}, {}}, {"CS(C)=O", {}, {}},
      {"CS(=O)(=O)CC", {}, {}}, {"C[S+](CC)CCC", {1}, {}}, {"CP(CC)c1ccccc1", {1}, {}}, {"CN(CC)CCC", {}, {}},
      {"CN1CC1C", {1, 3}, {}}, {"C[NH+](CC)CCC", {1}, {}}, {"C[N+](CC)(CCC)CCCC", {1}, {}},
      {"C[N+](C)(CC)CCC", {}, {}}, {"OC1CN2CCC1CC2", {1}, {}}, {"CC1CN2CCC1C2", {1, 3, 6}, {}},
      {"C1CCC2CCCCC2C1", {3, 8}, {}}, {"O=C(O)C12CNCC1CNC2", {3, 7}, {}}, {"C1CCN2CCCC2C1", {7}, {}},
      {"CC1CCC(C)CC1", {1, 4}, {}}, {"CC1CCCCC1", {}, {}}, {"CC1CCC(C)(C)CC1", {}, {}}, {"CC1CCCC(C)C1", {1, 5}, {}},
      {"Cc1ccccc1", {}, {}}, {"[H]C([H])(F)Cl", {}, {}}, {"[H]C(F)(Cl)Br", {1}, {}}, {"[2H]C([H])(F)Cl", {1}, {}},
      {"CC=CC", {}, {{1, 2}}}, {"CC=C(C)C", {}, {}}, {"C=CC", {}, {}}, {"CC=NO", {}, {{1, 2}}}, {"CC(C)=NO", {}, {}},
      {"CC=C=CC", {}, {}}, {"CC1=CCCCC1", {}, {}}, {"C1CCCC=CCC1", {}, {{4, 5}}},
      {"c1ccccc1N=Nc1ccccc1", {}, {{6, 7}}}, {"CC=CC=C", {}, {{1, 2}}},
      // an aromatic end of a double bond leaving the ring, told apart by its ring neighbours or not
      {"CC(=O)N=c1scnn1C", {}, {{3, 4}}}, {"O=c1c(=CC)sc(C)n1", {}, {{2, 3}}}, {"CN=c1cc[nH]cc1", {}, {}},
  };
  for (const auto& c : cases) {
    QvGraphMol mol = Mol(c.smiles);
    const Tamrin::QvStereoCandidates found = Tamrin::QvFindStereoCandidates(mol);
    std::vector<unsigned> atoms;
    for (const QvAtomBase& atom : mol.GetMol().GetAtoms())
      if (found.atoms[atom.GetIdx()]) atoms.push_back(atom.GetIdx());
    std::vector<std::pair<unsigned, unsigned>> bonds;
    for (const QvBondBase& bond : mol.GetMol().GetBonds())
      if (found.bonds[bond.GetIdx()]) bonds.emplace_back(bond.GetBgn()->GetIdx(), bond.GetEnd()->GetIdx());
    EXPECT_EQ(atoms, c.atoms) << c.smiles;
    EXPECT_EQ(bonds, c.bonds) << c.smiles;
  }
}

// Pentane-2,3,4-triol: C3 is a centre only between mirror-image ends (meso
// forms), not between ends of one hand, nor before the ends are configured.
TEST(StereoCandidates, PseudoAsymmetricCarbonNeedsMirrorImageBranches) {
  for (const int ends : {0, 1, 2}) {  // unconfigured, alike, mirror images
    QvGraphMol mol = Mol("OC(C)C(O)C(C)O");
    if (ends > 0) {
      ASSERT_TRUE(Tamrin::QvSetAtomStereo(*AtomAt(mol, 1), Nbrs{AtomAt(mol, 0), AtomAt(mol, 2), AtomAt(mol, 3), nullptr},
                                          kAnti));
      ASSERT_TRUE(Tamrin::QvSetAtomStereo(*AtomAt(mol, 5), Nbrs{AtomAt(mol, 7), AtomAt(mol, 6), AtomAt(mol, 3), nullptr},
                                          ends == 1 ? kAnti : kClock));
    }
    const std::vector<bool> found = Tamrin::QvFindStereoCandidates(mol).atoms;
    EXPECT_TRUE(found[1] && found[5]) << ends;
    EXPECT_EQ(found[3], ends == 2) << ends;
  }
}

// CNN=C(C=NO)C=NO: the hydrazone bond is a cis/trans bond only between a
// cis and a trans oxime, not between two alike nor before they are
// configured.
TEST(StereoCandidates, DoubleBondNeedsCisAndTransBranches) {
  for (const int ends : {0, 1, 2}) {  // unconfigured, alike, cis and trans
    QvGraphMol mol = Mol("CNN=C(C=NO)C=NO");
    const auto bond = [&mol](unsigned a, unsigned b) { return mol.GetMol().GetBond(AtomAt(mol, a), AtomAt(mol, b)); };
    if (ends > 0) {
      ASSERT_TRUE(Tamrin::QvSetBondStereo(*bond(4, 5), AtomAt(mol, 3), AtomAt(mol, 6), QvBondConfig::Cis));
      ASSERT_TRUE(Tamrin::QvSetBondStereo(*bond(7, 8), AtomAt(mol, 3), AtomAt(mol, 9),
                                          ends == 1 ? QvBondConfig::Cis : QvBondConfig::Trans));
    }
    const Tamrin::QvStereoCandidates found = Tamrin::QvFindStereoCandidates(mol);
    EXPECT_TRUE(found.bonds[bond(4, 5)->GetIdx()] && found.bonds[bond(7, 8)->GetIdx()]) << ends;
    EXPECT_EQ(found.bonds[bond(2, 3)->GetIdx()], ends == 2) << ends;
  }
}

// ---------------------------------------------------------------------------
// Molecules drawn by hand: atoms with coordinates, created in any order.

struct AtomDef {
  unsigned z;
  double x, y, w;
  unsigned h = 0;
};
struct BondDef {
  unsigned a, b, order = 1;
  int mark = 0;
};

class Sketch {
 public:
  Sketch(const std::vector<AtomDef>& atoms, const std::vector<BondDef>& bonds, unsigned dim) {
    for (const AtomDef& a : atoms) {
      at_.push_back(mol_.GetMol().NewAtom(a.z));
      at_.back()->SetImplicitHCount(a.h);
      const double xyz[3] = {a.x, a.y, a.w};
      at_.back()->SetCoords(xyz);
    }
    for (const BondDef& b : bonds) {
      QvBondBase* bond = mol_.GetMol().NewBond(at_[b.a], at_[b.b], b.order);
      if (b.mark) bond->SetData(Sorvil::QvBondStereoTag, b.mark);
    }
    mol_.GetMol().SetDimension(dim);
  }
  QvMolBase& Mol() { return mol_.GetMol(); }
  QvAtomBase* At(unsigned i) const { return at_[i]; }
  QvChirality Hand(unsigned centre, const std::vector<int>& nbrs) const {
    Nbrs list;
    for (const int n : nbrs) list.push_back(n < 0 ? nullptr : at_[n]);
    return QvGetAtomStereo(*at_[centre], list);
  }

 private:
  QvGraphMol mol_;
  std::vector<QvAtomBase*> at_;
};

// CHFClBr: F on top, Cl at 0, Br at 120 and the hydrogen at 240 degrees seen
// from F, so anticlockwise from F: F[C@H](Cl)Br along (F, H, Cl, Br).
const std::vector<AtomDef> kChfclbr3D{{9, 0, 0, 1.0}, {6, 0, 0, 0, 1}, {17, 0.94, 0, -0.33}, {35, -0.47, 0.82, -0.33}};

// 2-butene from 2D or 3D coordinates; a twisted bond shows no side.
TEST(BondStereoFromCoords, ButeneCisTransAndTwisted) {
  struct Case {
    double y3, w3;
    unsigned dim;
    QvBondConfig expected;
  };
  for (const Case& c : {Case{0.9, 0, 2, QvBondConfig::Cis}, Case{-0.9, 0, 2, QvBondConfig::Trans},
                        Case{0.9, 0, 3, QvBondConfig::Cis}, Case{-0.9, 0.1, 3, QvBondConfig::Trans},
                        Case{0.0, 0.9, 3, QvBondConfig::None}, Case{0.0, 0.0, 2, QvBondConfig::None}}) {
    Sketch s({{6, -1.2, 0.9, 0, 3}, {6, -0.6, 0, 0, 1}, {6, 0.6, 0, 0, 1}, {6, c.y3 == 0 && c.w3 == 0 ? 2.0 : 1.2,
                                                                              c.y3, c.w3, 3}},
             {{0, 1}, {1, 2, 2}, {2, 3}}, c.dim);
    s.Mol().SetPerceived(Tamrin::QvPerceivedBondStereo, false);
    Tamrin::QvPerceiveBondStereoFromCoords(s.Mol(), {});
    const QvBondBase& dbl = *s.Mol().GetBond(s.At(1), s.At(2));
    EXPECT_EQ(QvGetBondStereo(dbl, s.At(0), s.At(3)), c.expected) << c.y3 << " " << c.w3 << " " << c.dim;
    EXPECT_EQ(QvGetBondStereo(dbl, nullptr, s.At(3)),
              c.expected == QvBondConfig::None ? c.expected
              : c.expected == QvBondConfig::Cis ? QvBondConfig::Trans
                                                : QvBondConfig::Cis);
    EXPECT_TRUE(s.Mol().HasPerceived(Tamrin::QvPerceivedBondStereo));
  }
}

TEST(BondStereoFromCoords, ExclusionsLeaveTheBondUnset) {
  for (const int mode : {0, 1, 2}) {
    Sketch s({{6, -1.2, 0.9, 0, 3}, {6, -0.6, 0, 0, 1}, {6, 0.6, 0, 0, 1}, {6, 1.2, 0.9, 0, 3}},
             {{0, 1}, {1, 2, 2, mode == 1 ? 6 : 0}, {2, 3}}, 2);
    QvBondBase& dbl = *s.Mol().GetBond(s.At(1), s.At(2));
    ASSERT_TRUE(Tamrin::QvSetBondStereo(dbl, s.At(0), s.At(3), QvBondConfig::Trans));  // stale
    Tamrin::QvPerceiveBondStereoFromCoords(s.Mol(), [&](const QvBondBase& b) { return mode == 2 && &b == &dbl; });
    EXPECT_EQ(QvGetBondStereo(dbl, s.At(0), s.At(3)), mode == 0 ? QvBondConfig::Cis : QvBondConfig::None) << mode;
  }
}

// ---------------------------------------------------------------------------
// 2D wedges. CHFClBr drawn with F at the top, Cl lower left, Br lower right
// and the hydrogen implicit: any one of the three bonds wedged up from C gives
// F[C@H](Cl)Br; hashed, the mirror image; "either" or a mark that does not
// start at C, nothing (unless option 0x1 reads it from the wide end).

struct WedgeCase {
  unsigned marked;  // listed position of the neighbour whose bond carries the mark
  int mark;
  bool from_centre;
  unsigned options;
  QvChirality expected;
};

TEST(StereoFromWedges, ThreeNeighboursAndImplicitHydrogen) {
  const std::vector<AtomDef> atoms{{9, 0, 1, 0}, {6, 0, 0, 0, 1}, {17, -0.87, -0.5, 0}, {35, 0.87, -0.5, 0}};
  const WedgeCase cases[] = {{0, 2, true, 0, kAnti},  {2, 2, true, 0, kAnti},  {3, 2, true, 0, kAnti},
                             {0, 1, true, 0, kClock}, {3, 1, true, 0, kClock}, {0, 5, true, 0, kNone},
                             {0, 2, false, 0, kNone}, {0, 2, false, 1, kClock}, {2, 1, false, 1, kAnti},
                             {0, 0, true, 0, kNone}};
  for (const WedgeCase& c : cases) {
    std::vector<BondDef> bonds;
    for (const unsigned n : {0u, 2u, 3u}) {
      const int mark = n == c.marked ? c.mark : 0;
      bonds.push_back(c.from_centre || mark == 0 ? BondDef{1, n, 1, mark} : BondDef{n, 1, 1, mark});
    }
    Sketch s(atoms, bonds, 2);
    Tamrin::QvPerceiveAtomStereoFromWedges(s.Mol(), c.options);
    EXPECT_EQ(s.Hand(1, {0, -1, 2, 3}), c.expected) << c.marked << " " << c.mark << " " << c.from_centre;
    EXPECT_TRUE(s.Mol().HasPerceived(Tamrin::QvPerceivedAtomStereo));
  }
}

// Four neighbours on a cross (F up, Cl left, Br down, I right): seen from F
// wedged towards the viewer, Cl, Br, I turn anticlockwise. A wedge on Br (the
// opposite side) or a hash on Cl says the same, a wedge on I the opposite;
// wedges on two neighbours side by side contradict each other.
TEST(StereoFromWedges, FourNeighbours) {
  const std::vector<AtomDef> atoms{{6, 0, 0, 0}, {9, 0, 1, 0}, {17, -1, 0, 0}, {35, 0, -1, 0}, {53, 1, 0, 0}};
  struct Case {
    std::vector<int> marks;  // per neighbour 1..4
    QvChirality expected;
  };
  for (const Case& c : {Case{{2, 0, 0, 0}, kAnti}, Case{{1, 0, 0, 0}, kClock}, Case{{0, 0, 0, 2}, kClock},
                        Case{{0, 0, 2, 0}, kAnti}, Case{{2, 0, 2, 0}, kAnti}, Case{{2, 1, 0, 0}, kAnti},
                        Case{{0, 1, 0, 0}, kAnti}, Case{{2, 2, 0, 0}, kNone}, Case{{2, 0, 0, 5}, kNone}}) {
    std::vector<BondDef> bonds;
    for (unsigned n = 1; n <= 4; ++n) bonds.push_back({0, n, 1, c.marks[n - 1]});
    Sketch s(atoms, bonds, 2);
    Tamrin::QvPerceiveAtomStereoFromWedges(s.Mol(), 0);
    EXPECT_EQ(s.Hand(0, {1, 2, 3, 4}), c.expected);
  }
}

// ---------------------------------------------------------------------------
// MDL parities.

// An atom's neighbours, a null for the hydrogen or lone pair of a
// three-connected one.
Nbrs NbrsOf(const QvAtomBase& atom) {
  Nbrs nbrs;
  for (const QvAtomBase& nbr : atom.GetAtoms()) nbrs.push_back(&nbr);
  if (nbrs.size() == 3) nbrs.push_back(nullptr);
  return nbrs;
}

// Random configurations on every centre, written as parities and read back,
// in random atom orders.
TEST(MDLParity, RoundTripsInRandomAtomOrders) {
  std::mt19937 rng(11);
  for (const char* smiles : {"F[CH](Cl)Br", "CS(=O)CC", "FC(Cl)(Br)I", "CC1CCC(C)CC1", "[H]C(F)(Cl)Br",
                             "OC(C(O)C(F)Cl)C(N)C=O", "CN1CC1C"}) {
    for (int round = 0; round < 8; ++round) {
      std::vector<QvAtomBase*> map;
      QvGraphMol mol = Permuted(Mol(smiles), rng, map);
      const Tamrin::QvStereoCandidates cand = Tamrin::QvFindStereoCandidates(mol);
      std::vector<QvChirality> set;
      for (QvAtomBase& atom : mol.GetMol().GetAtoms()) {
        const Nbrs nbrs = NbrsOf(atom);
        const QvChirality hand = rng() % 2 ? kAnti : kClock;
        set.push_back(cand.atoms[atom.GetIdx()] && Tamrin::QvSetAtomStereo(atom, nbrs, hand) ? hand : kNone);
      }
      Tamrin::QvDeriveMDLParities(mol);
      const Sorvil::QvTag tag = Sorvil::QvGetTag("MDLAtomParity");
      Tamrin::QvClearStereo(mol);
      Tamrin::QvPerceiveAtomStereoFromParities(mol);
      size_t i = 0, centres = 0;
      for (QvAtomBase& atom : mol.GetMol().GetAtoms()) {
        EXPECT_EQ(QvGetAtomStereo(atom, NbrsOf(atom)), set[i]) << smiles << " atom " << i;
        EXPECT_EQ(atom.HasData(tag), set[i] != kNone) << smiles;
        centres += set[i++] != kNone;
      }
      EXPECT_GT(centres, 0u) << smiles;
    }
  }
}

// Pentane-2,3,4-triol from parities: the middle carbon becomes a centre only
// once its ends are configured as mirror images, so its parity is read in a
// later round; between ends of one hand it has none to read.
TEST(MDLParity, PseudoAsymmetricCentreIsReadAfterItsEnds) {
  for (const bool meso : {true, false}) {
    QvGraphMol mol = Mol("OC(C)C(O)C(C)O");
    QvAtomBase& middle = *AtomAt(mol, 3);
    ASSERT_TRUE(Tamrin::QvSetAtomStereo(*AtomAt(mol, 1), Nbrs{AtomAt(mol, 0), AtomAt(mol, 2), &middle, nullptr},
                                        kAnti));
    ASSERT_TRUE(Tamrin::QvSetAtomStereo(*AtomAt(mol, 5), Nbrs{AtomAt(mol, 7), AtomAt(mol, 6), &middle, nullptr},
                                        meso ? kClock : kAnti));
    if (meso) {
      ASSERT_TRUE(Tamrin::QvSetAtomStereo(middle, NbrsOf(middle), kClock));
    }
    Tamrin::QvDeriveMDLParities(mol);
    Tamrin::QvClearStereo(mol);
    Tamrin::QvPerceiveAtomStereoFromParities(mol);
    EXPECT_EQ(QvGetAtomStereo(*AtomAt(mol, 1), NbrsOf(*AtomAt(mol, 1))), kAnti) << meso;
    EXPECT_EQ(QvGetAtomStereo(middle, NbrsOf(middle)), meso ? kClock : kNone) << meso;
  }
}

TEST(MDLParity, ParitiesOnNonCentresAndEitherSetNothing) {
  QvGraphMol mol = Mol("CC(C)O.FC(Cl)Br.FC(Cl)Br");
  const Sorvil::QvTag tag = Sorvil::QvGetTag("MDLAtomParity");
  AtomAt(mol, 1)->SetData(tag, 1);  // isopropanol's carbon
  AtomAt(mol, 5)->SetData(tag, 3);  // either
  AtomAt(mol, 9)->SetData(tag, 2);
  Tamrin::QvPerceiveAtomStereoFromParities(mol);
  EXPECT_FALSE(Tamrin::QvHasAtomStereo(*AtomAt(mol, 1)));
  EXPECT_FALSE(Tamrin::QvHasAtomStereo(*AtomAt(mol, 5)));
  EXPECT_EQ(Tamrin::QvMDLParity(*AtomAt(mol, 9)), 2u);
  EXPECT_TRUE(mol.GetMol().HasPerceived(Tamrin::QvPerceivedAtomStereo));
}

// ---------------------------------------------------------------------------
// Wedge marks for writing.

TEST(WedgeMarks, FlatCentreStaysUnmarked) {
  // F, Cl and Br on one line through the centre: no mark can show a side.
  Sketch s({{9, 0, 1, 0}, {6, 0, 0, 0, 1}, {17, 0, -1, 0}, {35, 0, 2, 0}}, {{1, 0}, {1, 2}, {1, 3}}, 2);
  ASSERT_TRUE(Tamrin::QvSetAtomStereo(*s.At(1), Nbrs{s.At(0), nullptr, s.At(2), s.At(3)}, kAnti));
  Tamrin::QvAssignWedgeMarks(s.Mol());
  for (const QvBondBase& bond : s.Mol().GetBonds()) EXPECT_FALSE(bond.HasData(Sorvil::QvBondStereoTag));
  EXPECT_FALSE(Tamrin::QvHasCorrectDepictionStereo(s.Mol()));
}

// ---------------------------------------------------------------------------
// Stereo groups and the reading step.

TEST(MDLStereoGroups, FromTheChiralFlag) {
  struct Case {
    int flag;  // -1 absent
    bool existing_and2;
    QvStereoGroup expected;
  };
  for (const Case& c : {Case{1, false, {QvStereoGroupKind::Absolute, 0}}, Case{0, false, {QvStereoGroupKind::And, 1}},
                        Case{-1, false, {QvStereoGroupKind::And, 1}}, Case{0, true, {QvStereoGroupKind::And, 3}},
                        Case{1, true, {QvStereoGroupKind::Absolute, 0}}}) {
    QvGraphMol mol = Mol("F[CH](Cl)Br.F[CH](Cl)Br.CC(C)O");
    for (const unsigned centre : {1u, 5u}) {
      QvAtomBase* atom = AtomAt(mol, centre);
      ASSERT_TRUE(Tamrin::QvSetAtomStereo(
          *atom, Nbrs{AtomAt(mol, centre - 1), nullptr, AtomAt(mol, centre + 1), AtomAt(mol, centre + 2)}, kAnti));
    }
    if (c.flag >= 0) mol.GetMol().SetData(Sorvil::QvGetTag("MDLParity"), c.flag == 1);
    if (c.existing_and2) {
      ASSERT_TRUE(Tamrin::QvSetStereoGroup(*AtomAt(mol, 5), {QvStereoGroupKind::And, 2}));
    }
    EXPECT_TRUE(Tamrin::QvCreateMDLStereoGroups(mol));
    EXPECT_EQ(Tamrin::QvGetStereoGroup(*AtomAt(mol, 1)), c.expected) << c.flag;
    const QvStereoGroup second = c.existing_and2 ? QvStereoGroup{QvStereoGroupKind::And, 2} : c.expected;
    EXPECT_EQ(Tamrin::QvGetStereoGroup(*AtomAt(mol, 5)), second);
    EXPECT_EQ(Tamrin::QvGetStereoGroup(*AtomAt(mol, 9)).kind, QvStereoGroupKind::None);
  }
}

TEST(StereoStep, ReadingStepPerceivesFrom3DOnly) {
  for (const unsigned dim : {3u, 0u}) {
    Sketch s(kChfclbr3D, {{1, 0}, {1, 2}, {1, 3}}, dim);
    Tamrin::QvPerceiveStereoFromCoords(s.Mol());
    EXPECT_EQ(s.Hand(1, {0, -1, 2, 3}), dim == 3 ? kAnti : kNone);
    EXPECT_EQ(s.Mol().HasPerceived(Tamrin::QvPerceivedAtomStereo), dim == 3);
  }
}

}  // namespace
