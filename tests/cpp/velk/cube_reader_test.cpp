// The CUBE reader: every refusal with its message, units, the axis rule,
// orbital cubes, value scanning, the voxel order and the one-record life cycle.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "cube_fchk_testutil.h"
#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/cube_handler.h"

namespace {

using cubefchk_test::FailureCase;
using cubefchk_test::RefusingMol;
using cubefchk_test::PutFile;
using cubefchk_test::ScratchDir;
using cubefchk_test::ThrowsWith;
using cubefchk_test::WriteFile;
using Sorvil::QvScalarGrid;
using Tamrin::QvGraphMol;
using velk::builtin::CubeMolSource;


std::string Cube(const std::string& body) { return "comment one\ncomment two\n" + body; }

// A 2 x 2 x 2 lattice in Bohr with steps of 0.5.
const std::string kAxes = "2 0.5 0 0\n2 0 0.5 0\n2 0 0 0.5\n";
const std::string kEight = "1 2 3 4 5 6 7 8\n";

// Up to `count` tokens "1 2 3 ...", for orbital header lines.
std::string Numbers(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += " " + std::to_string(i);
  return text;
}

struct Record {
  QvGraphMol mol;
  std::vector<QvScalarGrid> grids;
};

class CubeReaderTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& text) { return PutFile(dir_, "in.cube", text); }
  Record Read(const std::string& text) {
    CubeMolSource source(Put(text));
    Record record;
    EXPECT_TRUE(source.next(record.mol.GetMol(), record.grids));
    return record;
  }
  ScratchDir dir_;
};

// The number rules (missing, malformed, out of range) are cube_text_test's;
// here a field that goes through them has one row, for its name.
std::vector<FailureCase> FailureCases() {
  const std::string one_atom = "1 0 0 0\n" + kAxes;
  const std::string orbital_head = "-1 0 0 0\n" + kAxes + "6 6 0 0 0\n";
  const std::string axis_rule =
      "velk: CUBE: only axis-aligned, positively-oriented, cubic-voxel grids are supported (v1); "
      "rotated/skewed/reflected/anisotropic axes rejected";
  const std::string bad_value = "velk: CUBE volumetric value is non-finite or out of range";
  return {
      {"Empty", "", "velk: CUBE: truncated header (missing comment lines)"},
      {"NoAtomCountLine", "c1\nc2\n", "velk: CUBE: truncated file, expected atom count line"},
      {"NoVoxelLine", Cube("0 0 0 0\n2 0.5 0 0\n"), "velk: CUBE: truncated file, expected voxel count line"},
      {"NoAtomLine", Cube(one_atom), "velk: CUBE: truncated file, expected atom line"},
      {"NoOrbitalLine", Cube(orbital_head), "velk: CUBE: truncated file, expected orbital header line"},
      {"AtomCountReal", Cube("1.0 0 0 0\n"), "velk: malformed CUBE atom count"},
      {"AtomCountLimit", Cube("-100000001 0 0 0\n"), "velk: CUBE: atom count exceeds limit (100000000)"},
      {"OriginShort", Cube("0 0 0\n"), "velk: CUBE: malformed origin"},
      {"OriginInf", Cube("0 inf 0 0\n"), "velk: CUBE: malformed origin"},
      {"OriginOverflow", Cube("0 1e400 0 0\n"), "velk: CUBE: malformed origin"},
      {"OriginFifthValue", Cube("0 0 0 0 1\n"), "velk: CUBE: unexpected extra data on origin"},
      {"OriginGluedText", Cube("0 0 0 0x1\n"), "velk: CUBE: unexpected extra data on origin"},
      {"VoxelCountReal", Cube("0 0 0 0\n2.5 1 0 0\n"), "velk: malformed CUBE voxel count"},
      {"VoxelCountZero", Cube("0 0 0 0\n0 1 0 0\n"), "velk: CUBE: voxel count per dimension must be in [1, 8192]"},
      {"VoxelCountAbove8192", Cube("0 0 0 0\n2 1 0 0\n8193 0 1 0\n"),
       "velk: CUBE: voxel count per dimension must be in [1, 8192]"},
      {"AxisShort", Cube("0 0 0 0\n2 1 0\n"), "velk: CUBE: malformed axis vector"},
      {"AxisExtra", Cube("0 0 0 0\n2 1 0 0 0\n"), "velk: CUBE: unexpected extra data on axis vector"},
      {"AxisOffDiagonal", Cube("0 0 0 0\n2 0.2 0.000002 0\n2 0 0.2 0\n2 0 0 0.2\n"), axis_rule},
      {"AxisReflected", Cube("0 0 0 0\n2 0.2 0 0\n2 0 0.2 0\n2 0 0 -0.2\n"), axis_rule},
      {"AxisAnisotropic", Cube("0 0 0 0\n2 0.2 0 0\n2 0 0.2000011 0\n2 0 0 0.2\n"), axis_rule},
      {"AxisZero", Cube("0 0 0 0\n2 0 0 0\n2 0 0 0\n2 0 0 0\n"), axis_rule},
      {"AtomicNumberZero", Cube(one_atom + "0 0 0 0 0\n"), "velk: CUBE: atomic number out of range [1, 118]"},
      {"AtomicNumber119", Cube(one_atom + "119 0 0 0 0\n"), "velk: CUBE: atomic number out of range [1, 118]"},
      {"AtomicNumberFraction", Cube(one_atom + "6.5 6 0 0 0\n"), "velk: CUBE: atomic number out of range [1, 118]"},
      {"AtomLineShort", Cube(one_atom + "6 6 0 0\n"), "velk: CUBE: malformed atom line"},
      {"AtomLineExtra", Cube(one_atom + "6 6 0 0 0 1\n"), "velk: CUBE: unexpected extra data on atom line"},
      {"AtomCoordinateAngstrom", Cube("1 0 0 0\n-2 1 0 0\n2 0 1 0\n2 0 0 1\n6 6 1e39 0 0\n"),
       "velk: CUBE atom coordinate is non-finite or out of range"},
      {"OrbitalCountWord", Cube(orbital_head + "one 1\n"), "velk: malformed CUBE orbital count"},
      {"OrbitalCountZero", Cube(orbital_head + "0\n"), "velk: CUBE: orbital count must be in [1, 1024]"},
      {"OrbitalCount1025", Cube(orbital_head + "1025" + Numbers(1025) + "\n"),
       "velk: CUBE: orbital count must be in [1, 1024]"},
      {"OrbitalIdsOnTwoLines", Cube(orbital_head + "3 10 11\n12\n"), "velk: missing CUBE orbital id"},
      {"OrbitalIdWord", Cube(orbital_head + "2 1 b\n"), "velk: malformed CUBE orbital id"},
      {"OrbitalLineExtra", Cube(orbital_head + "1 1 2\n"), "velk: CUBE: unexpected extra data on orbital header line"},
      {"ElementLimit", Cube("0 0 0 0\n8192 1 0 0\n8192 0 1 0\n3 0 0 1\n"),
       "velk: CUBE: total grid element count (201326592 x 1) exceeds limit (134217728 floats)"},
      {"ElementLimitOrbitals",
       Cube("-1 0 0 0\n100 1 0 0\n100 0 1 0\n100 0 0 1\n6 6 0 0 0\n135" + Numbers(135) + "\n"),
       "velk: CUBE: total grid element count (1000000 x 135) exceeds limit (134217728 floats)"},
      {"ValuesShort", Cube("0 0 0 0\n" + kAxes + "1 2 3 4 5 6 7\n"), "velk: CUBE: truncated volumetric block"},
      {"ValuesNone", Cube("0 0 0 0\n" + kAxes), "velk: CUBE: truncated volumetric block"},
      {"ValuesOrbitalShort", Cube(orbital_head + "2 1 2\n" + kEight), "velk: CUBE: truncated volumetric block"},
      {"ValueNan", Cube("0 0 0 0\n" + kAxes + "1 2 nan 4 5 6 7 8\n"), bad_value},
      {"ValueAboveFloat", Cube("0 0 0 0\n" + kAxes + "3.5e38 2 3 4 5 6 7 8\n"), bad_value},
      {"MidpointOutOfFloat", Cube("0 1e39 0 0\n-1 1 0 0\n1 0 1 0\n1 0 0 1\n5\n"),
       "velk: CUBE grid midpoint is non-finite or out of range"},
      {"SpacingOutOfFloat", Cube("0 0 0 0\n-1 1e39 0 0\n1 0 1e39 0\n1 0 0 1e39\n5\n"),
       "velk: CUBE grid spacing is non-finite or out of range"},
      // The value block is checked before the midpoint.
      {"ValueBeforeMidpoint", Cube("0 1e39 0 0\n-1 1 0 0\n1 0 1 0\n1 0 0 1\nnan\n"), bad_value},
  };
}

class CubeReaderFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CubeReaderFailureTest, RefusesWithMessageThenEnds) {
  ScratchDir dir;
  const std::string path = PutFile(dir, "bad.cube", GetParam().text);
  CubeMolSource source(path);
  QvGraphMol mol;
  std::vector<QvScalarGrid> grids(2);
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { source.next(mol.GetMol(), grids); }, GetParam().message));
  // Grids are only handed over once everything passed.
  EXPECT_TRUE(grids.empty());
  // The error is seen once; the source is spent.
  EXPECT_FALSE(source.next(mol.GetMol(), grids));
  EXPECT_EQ(mol.NumAtoms(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Messages, CubeReaderFailureTest, ::testing::ValuesIn(FailureCases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(CubeReaderTest, RefusedAtomIsReported) {
  CubeMolSource source(Put(Cube("1 0 0 0\n" + kAxes + "6 6 0 0 0\n" + kEight)));
  RefusingMol mol;
  std::vector<QvScalarGrid> grids;
  EXPECT_TRUE(ThrowsWith<velk::FormatError>([&] { source.next(mol, grids); }, "velk: CUBE: failed to create atom"));
}

TEST_F(CubeReaderTest, MidpointOfTwoByThreeByFour) {
  std::string values;
  for (int i = 0; i < 24; ++i) values += std::to_string(i) + (i % 6 == 5 ? "\n" : " ");
  const Record r = Read(Cube("0 0 0 0\n-2 1 0 0\n-3 0 1 0\n-4 0 0 1\n" + values));
  const QvScalarGrid& g = r.grids[0];
  float x, y, z;
  ASSERT_TRUE(g.GetMid(x, y, z));
  EXPECT_EQ(std::tuple(x, y, z), std::tuple(0.5f, 1.0f, 1.5f));
  // File voxel (i, j, k), listed with k fastest, is grid point (i, j, k).
  for (unsigned i = 0; i < 2; ++i)
    for (unsigned j = 0; j < 3; ++j)
      for (unsigned k = 0; k < 4; ++k) EXPECT_EQ(g.GetValue(i, j, k), static_cast<float>(k + 4 * (j + 3 * i)));
}

struct ValueCase {
  const char* name;
  std::string block;
  std::vector<float> expected;  // in file order
};

class CubeValueScanTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(CubeValueScanTest, ReadsTheValuesStrtodWould) {
  ScratchDir dir;
  const std::string path = dir.file("v.cube");
  WriteFile(path, Cube("0 0 0 0\n-2 1 0 0\n-2 0 1 0\n-2 0 0 1\n" + GetParam().block));
  CubeMolSource source(path);
  QvGraphMol mol;
  std::vector<QvScalarGrid> grids;
  ASSERT_TRUE(source.next(mol.GetMol(), grids));
  std::vector<float> got;
  for (unsigned i = 0; i < 2; ++i)
    for (unsigned j = 0; j < 2; ++j)
      for (unsigned k = 0; k < 2; ++k) got.push_back(grids[0].GetValue(i, j, k));
  EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, CubeValueScanTest,
    ::testing::Values(
        ValueCase{"SplitAnyWay", "1 2\n3\n\n   \n4 5 6 7\n8", {1, 2, 3, 4, 5, 6, 7, 8}},
        ValueCase{"SurplusAndTextIgnored", "1 2 3 4 5 6 7 8 9 10 trailing words\nnot read", {1, 2, 3, 4, 5, 6, 7, 8}},
        ValueCase{"WordEndsTheLine", "1 2 x 3\n4 5 6 7 8 9", {1, 2, 4, 5, 6, 7, 8, 9}},
        ValueCase{"FortranExponentEndsTheLine", "1 2.5D-01 7\n3 4 5 6 7 8", {1, 2.5f, 3, 4, 5, 6, 7, 8}},
        ValueCase{"StrtodForms", "+1.5 0x10 -.5 5. 1e2 1E-2 0x1p-2 -0", {1.5f, 16, -0.5f, 5, 100, 0.01f, 0.25f, -0.0f}},
        ValueCase{"CrLfLines", "1 2 3 4\r\n5 6 7 8\r\n", {1, 2, 3, 4, 5, 6, 7, 8}},
        ValueCase{"FloatLimits", "3.4028234663852886e38 -3.4028234663852886e38 1e-50 1.17549435e-38 0.1 2 3 4",
                  {3.4028234663852886e38f, -3.4028234663852886e38f, 0.0f, 1.17549435e-38f, 0.1f, 2, 3, 4}},
        // Under the toolkit's line rule TAB separates and other control
        // bytes are dropped, so "2\v3\f4" reads as 234.
        ValueCase{"TabsSeparateControlBytesVanish", "1\t2\v3\f4 5 6 7 8 9 10", {1, 234, 5, 6, 7, 8, 9, 10}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(CubeReaderTest, SecondReadIsEndWithClearedOutputs) {
  CubeMolSource source(Put(Cube("1 0 0 0\n" + kAxes + "6 6 0 0 0\n" + kEight)));
  QvGraphMol mol;
  std::vector<QvScalarGrid> grids;
  ASSERT_TRUE(source.next(mol.GetMol(), grids));
  EXPECT_EQ(mol.NumAtoms(), 1u);
  EXPECT_FALSE(source.next(mol.GetMol(), grids));
  EXPECT_TRUE(mol.NumAtoms() == 0 && grids.empty());
  EXPECT_EQ(source.next_record(mol).status, velk::ReadStatus::End);
}

TEST_F(CubeReaderTest, GridPointerFormFillsWhatFits) {
  std::string block;
  for (int i = 0; i < 24; ++i) block += std::to_string(i) + " ";
  CubeMolSource source(Put(Cube("-1 0 0 0\n" + kAxes + "6 6 0 0 0\n3 1 2 3\n" + block + "\n")));
  QvScalarGrid first;
  std::vector<QvScalarGrid*> targets = {&first, nullptr};
  unsigned count = 99;
  QvGraphMol mol;
  ASSERT_TRUE(source.next(mol.GetMol(), targets, &count));
  EXPECT_EQ(std::tuple(count, mol.NumAtoms(), first.GetSize()), std::tuple(3u, 1u, 8u));
  EXPECT_EQ(first.GetValue(0, 0, 1), 3.0f);  // voxel 1 of orbital 0 is value 3
  EXPECT_FALSE(source.next(mol.GetMol(), targets, &count));
  EXPECT_EQ(count, 3u);  // untouched at the end of input
}

}  // namespace
