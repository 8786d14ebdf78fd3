// Formatted checkpoints written by other programs (../shared/testdata/fchk):
// atoms, coordinates and scalars of each, or the refusal the rules call for.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "cube_fchk_testutil.h"
#include "sorvil/base/tagregistry.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/fchk_handler.h"

namespace {

using cubefchk_test::Elements;
using cubefchk_test::kBohr;
using cubefchk_test::TestDataDir;
using cubefchk_test::ThrowsWith;
using Sorvil::QvGetTag;
using Tamrin::QvGraphMol;
using velk::builtin::FchkMolSource;


class FchkTestData : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TestDataDir("fchk");
    if (dir_.empty()) GTEST_SKIP() << "../shared/testdata/fchk is not present in this checkout";
  }
  QvGraphMol Read(const std::string& name) const {
    FchkMolSource source(dir_ + "/" + name);
    QvGraphMol mol;
    EXPECT_TRUE(source.next(mol));
    return mol;
  }
  static std::vector<float> Coords(const QvGraphMol& mol, size_t atom) {
    auto it = mol.GetAtoms().begin();
    for (size_t i = 0; i < atom; ++i) ++it;
    float xyz[3];
    mol.GetCoords(&*it, xyz);
    return {xyz[0], xyz[1], xyz[2]};
  }
  static std::vector<float> Angstrom(double x, double y, double z) {
    return {static_cast<float>(x * kBohr), static_cast<float>(y * kBohr), static_cast<float>(z * kBohr)};
  }
  std::string dir_;
};

TEST_F(FchkTestData, Gaussian16Tryptophan) {
  const QvGraphMol mol = Read("cclib_g16_trp_polar.fchk");
  EXPECT_STREQ(mol.GetTitle(), "tryptophan static polarizability");
  EXPECT_EQ(Elements(mol), (std::vector<unsigned>{7, 6, 6, 8, 6, 1, 1, 6, 6, 7, 1, 6, 6, 6, 1, 6, 1, 6,
                                                   1, 6, 1, 1, 1, 1, 1, 8, 1}));
  EXPECT_EQ(Coords(mol, 0), Angstrom(-1.32248113E-01, 6.27764598E-01, 5.33145252E-01));
  EXPECT_EQ(Coords(mol, 1), Angstrom(2.59422272E+00, 1.83438232E-01, -2.44885336E-02));
  EXPECT_EQ(mol.GetData<std::string>(QvGetTag("Method")), "RHF");
  // This writer puts the basis at column 70, beyond the basis field (40-69).
  EXPECT_FALSE(mol.HasData(QvGetTag("Basis")));
  EXPECT_EQ(std::tuple(mol.GetData<std::int32_t>(QvGetTag("Charge")), mol.GetData<std::int32_t>(QvGetTag("Multiplicity")),
                       mol.GetData<std::int32_t>(QvGetTag("Number of electrons")),
                       mol.GetData<double>(QvGetTag("Total Energy"))),
            std::tuple(0, 1, 108, -6.735905711573295E+02));
}

TEST_F(FchkTestData, Gaussian03Water) {
  const QvGraphMol mol = Read("iodata_water_sto3g_hf_g03.fchk");
  EXPECT_STREQ(mol.GetTitle(), "Foo Bar");
  EXPECT_EQ(Elements(mol), (std::vector<unsigned>{8, 1, 1}));
  EXPECT_EQ(Coords(mol, 0), Angstrom(0, 0, 0));
  EXPECT_EQ(Coords(mol, 1), Angstrom(0, 0, 1.79523983E+00));
  EXPECT_EQ(Coords(mol, 2), Angstrom(1.69257101E+00, 0, -5.98406347E-01));
  EXPECT_EQ(std::tuple(mol.GetData<double>(QvGetTag("Total Energy")),
                       mol.GetData<std::int32_t>(QvGetTag("Number of electrons"))),
            std::tuple(-7.495929232844363E+01, 10));
}

TEST_F(FchkTestData, QChemWaterWithoutTotalEnergy) {
  const QvGraphMol mol = Read("iodata_water_qchem52.fchk");
  EXPECT_STREQ(mol.GetTitle(), "Jobname.Temp");
  EXPECT_EQ(Elements(mol), (std::vector<unsigned>{8, 1, 1}));
  EXPECT_EQ(Coords(mol, 1), Angstrom(-1.96386100E+00, -2.16453248E-16, -9.07068540E-01));
  EXPECT_EQ(std::tuple(mol.GetData<std::string>(QvGetTag("Method")), mol.GetData<std::string>(QvGetTag("Basis")),
                       mol.GetData<std::int32_t>(QvGetTag("Multiplicity"))),
            std::tuple("R", "STO-3G", 1));
  EXPECT_FALSE(mol.HasData(QvGetTag("Total Energy")));
}

TEST_F(FchkTestData, GhostDimerWithoutAtomCountIsRefused) {
  FchkMolSource source(dir_ + "/iodata_water_dimer_ghost_no_natoms.fchk");
  QvGraphMol mol;
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { source.next(mol); }, "velk: FCHK: missing 'Number of atoms'"));
  // The scalars read before the refusal stay on the molecule.
  EXPECT_EQ(std::tuple(mol.GetData<std::int32_t>(QvGetTag("Number of electrons")), mol.NumAtoms()), std::tuple(10, 0u));
}

}  // namespace
