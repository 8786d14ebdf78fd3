// The stereo passes on arbitrary molecules: odd elements, charges and orders,
// parallel bonds, deleted records, bonds with an empty end, coordinates that
// coincide or are not finite, random wedge marks and parities. Nothing may
// crash or hang, and what each pass promises must still hold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "perception_test_support.h"
#include "tamrin/formats/mdl/mdlparity.h"
#include "tamrin/perception/neighbours.h"
#include "tamrin/perception/stereoperception.h"

namespace {

using namespace perception_test;

QvGraphMol RandomMolecule(std::mt19937& rng, unsigned dimension) {
  static const unsigned elements[] = {0, 1, 6, 6, 6, 6, 6, 6, 7, 7, 8, 15, 16, 9, 17, 35, 53, 26};
  static const double odd[] = {0.0, 1.0, std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(), 1e300};
  const auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
  std::uniform_real_distribution<double> coord(-3, 3);
  QvGraphMol mol;
  const unsigned atoms = 1 + pick(30);
  std::vector<QvAtomBase*> list;
  const Sorvil::QvTag parity = Sorvil::QvGetTag("MDLAtomParity");
  for (unsigned i = 0; i < atoms; ++i) {
    QvAtomBase* atom = mol.NewAtom(elements[pick(std::size(elements))]);
    atom->SetFormalCharge(static_cast<int>(pick(3)) - 1);
    atom->SetImplicitHCount(pick(4) / 3);
    atom->SetAromatic(pick(8) == 0);
    double xyz[3] = {coord(rng), coord(rng), dimension == 3 ? coord(rng) : 0.0};
    if (pick(25) == 0) xyz[pick(3)] = odd[pick(std::size(odd))];
    atom->SetCoords(xyz);
    if (pick(3) == 0) atom->SetData(parity, static_cast<int>(pick(5)));
    list.push_back(atom);
  }
  const unsigned bonds = pick(2 * atoms + 2);
  for (unsigned i = 0; i < bonds; ++i) {
    QvAtomBase* a = list[pick(atoms)];
    QvAtomBase* b = pick(20) == 0 ? nullptr : list[pick(atoms)];
    QvBondBase* bond = mol.NewBond(a, b, 1 + pick(3) / 2);
    if (bond && pick(3) == 0) bond->SetData(Sorvil::QvBondStereoTag, static_cast<int>(pick(8)));
  }
  for (unsigned i = 0; i < atoms / 8; ++i) mol.DeleteAtom(list[pick(atoms)]);
  mol.GetMol().SetDimension(dimension);
  return mol;
}

bool IsWedge(const QvBondBase& bond) {
  const int* mark = bond.GetDataPtr<int>(Sorvil::QvBondStereoTag);
  return mark && (*mark == 1 || *mark == 2 || *mark == 5);
}

// Configurations only on candidates, and readable along the atom's own
// neighbours.
void ExpectOnlyCandidatesConfigured(const QvMolBase& mol) {
  const Tamrin::QvStereoCandidates cand = Tamrin::QvFindStereoCandidates(mol);
  for (const QvAtomBase& atom : mol.GetAtoms())
    EXPECT_TRUE(!Tamrin::QvHasAtomStereo(atom) || cand.atoms[atom.GetIdx()]) << atom.GetIdx();
  for (const QvBondBase& bond : mol.GetBonds())
    EXPECT_TRUE(!Tamrin::QvHasBondStereo(bond) || cand.bonds[bond.GetIdx()]) << bond.GetIdx();
}

TEST(StereoRobustness, RandomMoleculesThroughEveryStereoPass) {
  std::mt19937 rng(20261206);
  unsigned from_layout = 0, from_parities = 0, marked_ok = 0;
  for (int round = 0; round < 600; ++round) {
    SCOPED_TRACE(round);
    const unsigned dimension = round % 2 ? 3 : 2;
    QvGraphMol mol = RandomMolecule(rng, dimension);
    QvMolBase& m = mol.GetMol();
    if (dimension == 3) {
      Tamrin::QvPerceiveStereoFrom3D(m);
    } else {
      Tamrin::QvPerceiveAtomStereoFromWedges(m, round % 4 == 0 ? 1 : 0);
      Tamrin::QvPerceiveBondStereoFromCoords(m, {});
    }
    EXPECT_TRUE(m.HasPerceived(Tamrin::QvPerceivedAtomStereo | Tamrin::QvPerceivedBondStereo));
    ExpectOnlyCandidatesConfigured(m);
    for (const QvAtomBase& atom : m.GetAtoms()) from_layout += Tamrin::QvHasAtomStereo(atom);
    for (const QvBondBase& bond : m.GetBonds()) from_layout += Tamrin::QvHasBondStereo(bond);
    if (round % 3 == 0) {
      Tamrin::QvPerceiveAtomStereoFromParities(m);
      ExpectOnlyCandidatesConfigured(m);
      for (const QvAtomBase& atom : m.GetAtoms()) from_parities += Tamrin::QvHasAtomStereo(atom);
    }

    // Parities written and read back give the same configurations.
    std::vector<unsigned> before;
    for (const QvAtomBase& atom : m.GetAtoms()) before.push_back(Tamrin::QvMDLParity(atom));
    Tamrin::QvDeriveMDLParities(m);
    Tamrin::QvPerceiveAtomStereoFromParities(m);
    std::vector<unsigned> after;
    for (const QvAtomBase& atom : m.GetAtoms()) after.push_back(Tamrin::QvMDLParity(atom));
    EXPECT_EQ(before, after);

    // Marks for a drawing: the drawing is right exactly when every
    // configured centre got a mark, each on a bond that starts at it.
    Tamrin::QvAssignWedgeMarks(m);
    bool all_marked = true;
    for (const QvAtomBase& atom : m.GetAtoms()) {
      if (!Tamrin::QvHasAtomStereo(atom)) continue;
      unsigned marks = 0;
      for (const QvBondBase& bond : atom.GetBonds()) marks += bond.GetBgn() == &atom && IsWedge(bond);
      EXPECT_LE(marks, 1u);
      all_marked = all_marked && marks == 1;
    }
    EXPECT_EQ(Tamrin::QvHasCorrectDepictionStereo(m), all_marked);
    marked_ok += all_marked;
    EXPECT_TRUE(Tamrin::QvCreateMDLStereoGroups(m));
  }
  // The random molecules must exercise the passes, not just pass through.
  std::printf("configured from layouts %u, from parities %u; drawings complete %u of 600\n", from_layout,
              from_parities, marked_ok);
  EXPECT_GT(from_layout, 60u);
  EXPECT_GT(from_parities, 3u);
  EXPECT_GT(marked_ok, 300u);
}

}  // namespace
