// CUBE files written by other programs (../shared/testdata/cube): what the
// reader makes of each, or the refusal the reading rules call for, and that a
// file read, written and read again keeps every value to float precision.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cube_fchk_testutil.h"
#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/cube_handler.h"

namespace {

using cubefchk_test::Elements;
using cubefchk_test::FirstAtom;
using cubefchk_test::kBohr;
using cubefchk_test::ScratchDir;
using cubefchk_test::TestDataDir;
using cubefchk_test::ThrowsWith;
using Sorvil::QvScalarGrid;
using Tamrin::QvGraphMol;
using velk::builtin::CubeMolSink;
using velk::builtin::CubeMolSource;


class CubeTestData : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TestDataDir("cube");
    if (dir_.empty()) GTEST_SKIP() << "../shared/testdata/cube is not present in this checkout";
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Read(const std::string& path, QvGraphMol& mol, std::vector<QvScalarGrid>& grids) const {
    CubeMolSource source(path);
    ASSERT_TRUE(source.next(mol.GetMol(), grids));
    ASSERT_FALSE(source.next(mol.GetMol(), grids));  // one record per file
    grids.clear();
    CubeMolSource again(path);
    ASSERT_TRUE(again.next(mol.GetMol(), grids));
  }
  // Writes the record and reads it back: same atoms, geometry and values.
  void ExpectRoundTrip(const QvGraphMol& mol, const std::vector<QvScalarGrid>& grids) const {
    ScratchDir tmp;
    CubeMolSink sink(tmp.file("copy.cube"));
    std::vector<const QvScalarGrid*> pointers;
    for (const QvScalarGrid& g : grids) pointers.push_back(&g);
    ASSERT_TRUE(sink.append(mol, pointers));
    QvGraphMol back;
    std::vector<QvScalarGrid> back_grids;
    Read(tmp.file("copy.cube"), back, back_grids);
    ASSERT_EQ(back_grids.size(), grids.size());
    ASSERT_EQ(back.NumAtoms(), mol.NumAtoms());
    for (size_t k = 0; k < grids.size(); ++k) {
      const QvScalarGrid &a = grids[k], &b = back_grids[k];
      ASSERT_EQ(b.GetSize(), a.GetSize());
      EXPECT_EQ(b.GetSpacing(), a.GetSpacing());
      for (auto mid : {&QvScalarGrid::GetXMid, &QvScalarGrid::GetYMid, &QvScalarGrid::GetZMid})
        EXPECT_NEAR((b.*mid)(), (a.*mid)(), 1e-5);
      for (unsigned i = 0; i < a.GetSize(); ++i) ASSERT_EQ(b.GetValues()[i], a.GetValues()[i]) << i;
    }
  }
  std::string dir_;
};

struct Voxel {
  unsigned i, j, k;
  float value;
};

// What a file must read as, in the file's units (Bohr).
struct RealCube {
  const char* file;
  std::vector<unsigned> elements;
  std::vector<double> first_atom;
  std::vector<unsigned> dims;
  double step;
  std::vector<double> origin;
  std::vector<Voxel> voxels;  // file value at voxel (i, j, k) is grid point (i, j, k)
};

TEST_F(CubeTestData, ReadAndRoundTrip) {
  const RealCube cases[] = {
      {"iodata_cubegen_ch4_6points.cube", {6, 1, 1, 1, 1}, {-0.000041, 0.000035, 0.000003}, {6, 6, 6}, 2.605101,
       {-6.512793, -6.512718, -6.512750},
       {{0, 0, 0, 2.66011e-09f}, {0, 0, 1, 2.43339e-09f}, {1, 2, 3, 1.28722e-03f}, {5, 5, 5, 3.65721e-08f}}},
      // The last value has no line end after it.
      {"psi4_cubeprop_Dt.cube", {8, 1, 1}, {0.0, 0.0, -0.129477}, {11, 26, 17}, 0.2, {-1.0, -2.5, -1.151015},
       {{0, 0, 0, 2.82186e-03f}, {1, 2, 3, 1.51504e-02f}, {10, 25, 16, 4.07036e-03f}}},
  };
  for (const RealCube& c : cases) {
    SCOPED_TRACE(c.file);
    QvGraphMol mol;
    std::vector<QvScalarGrid> grids;
    Read(Path(c.file), mol, grids);
    EXPECT_EQ(Elements(mol), c.elements);
    float xyz[3];
    mol.GetCoords(FirstAtom(mol), xyz);
    for (int d = 0; d < 3; ++d) EXPECT_FLOAT_EQ(xyz[d], static_cast<float>(c.first_atom[d] * kBohr)) << d;
    ASSERT_EQ(grids.size(), 1u);
    const QvScalarGrid& g = grids[0];
    EXPECT_EQ((std::vector<unsigned>{g.GetXDim(), g.GetYDim(), g.GetZDim()}), c.dims);
    EXPECT_EQ(g.GetSpacing(), static_cast<float>(c.step * kBohr));
    // The first point sits at the file's origin.
    const double origin[3] = {g.GetXCoord(0), g.GetYCoord(0), g.GetZCoord(0)};
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(origin[d], c.origin[d] * kBohr, 1e-5) << d;
    for (const Voxel& v : c.voxels) EXPECT_EQ(g.GetValue(v.i, v.j, v.k), v.value) << v.i << v.j << v.k;
    ExpectRoundTrip(mol, grids);
  }
}

TEST_F(CubeTestData, SkewedAxesAreRefused) {
  CubeMolSource source(Path("iodata_aelta_skewed.cube"));
  QvGraphMol mol;
  std::vector<QvScalarGrid> grids;
  EXPECT_TRUE(ThrowsWith<velk::FormatError>(
      [&] { source.next(mol.GetMol(), grids); },
      "velk: CUBE: only axis-aligned, positively-oriented, cubic-voxel grids are supported (v1); "
      "rotated/skewed/reflected/anisotropic axes rejected"));
  EXPECT_TRUE(grids.empty());
}

TEST_F(CubeTestData, FifthFieldOnTheOriginLineIsRefused) {
  CubeMolSource source(Path("chemsmart_g16_n2_dens_nval.cube"));
  QvGraphMol mol;
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { source.next(mol); },
                                            "velk: CUBE: unexpected extra data on origin"));
}

}  // namespace
